#include "store/Journal.h"

#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/BookSchema.h"
#include "store/Connection.h"
#include "store/SearchText.h"
#include "store/DateText.h"
#include "store/StoreError.h"

#include <QDateTime>

#include <sqlite3.h>

#include <optional>

namespace {

// A change touching more contacts than this has the tree read again instead
// of following contact by contact.
constexpr int kFewContacts = 2000;

const char *const kColumns[] = {"First_Name", "Last_Name", "Company", "Address", "Category", "Phones",
                                "Mails",      "Websites",  "Notes",   "Date_Registed", "Picture"};
constexpr int kColumnCount = 11;

// "First_Name, Last_Name, ..." with each name after `prefix`.
QByteArray columns(const char *prefix = "")
{
    QByteArray out;
    for (int i = 0; i < kColumnCount; ++i) {
        if (i)
            out += ", ";
        out += prefix;
        out += kColumns[i];
    }
    return out;
}

// The time of a change, in seconds since 1970 (small on disk: every contact has one).
#define kNowUtc "CAST(strftime('%s', 'now') AS INTEGER)"

// A contact's kept lines, by the table alias that holds its key.
#define kKeptOf(alias) "(SELECT Kept FROM ContactMeta m WHERE m.ContactID = " alias ".ContactID)"

// Runs a statement that returns no rows, binding ?1, ?2, ... to `values`.
void exec(Connection &cn, const QByteArray &sql, std::initializer_list<qint64> values = {})
{
    Statement st(cn.handle(), sql);
    int i = 1;
    for (const qint64 v : values)
        st.bind(i++, v);
    const int rc = st.step();
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        cn.fail(rc);
}

int changes(Connection &cn)
{
    return sqlite3_changes(cn.handle());
}

// Copies into phase `to` of the step the present state of every contact that
// phase `from` of the step holds: in Contacts, else in the bin, else nowhere.
// One walk over the step's rows, however many there are.
void keepPresent(Connection &cn, qint64 step, int from, int to)
{
    QByteArray present;
    for (int i = 0; i < kColumnCount; ++i)
        present += QByteArray(", iif(c.ContactID IS NOT NULL, c.") + kColumns[i] + ", b." + kColumns[i] + ")";
    exec(cn,
         "INSERT INTO JournalRows (Step, ContactID, Phase, Place, RemovedAt, Kept, " + columns() + ") SELECT ?1,"
         " j.ContactID, ?3, CASE WHEN c.ContactID IS NOT NULL THEN 1 WHEN b.ContactID IS NOT NULL THEN 2 ELSE 0 END,"
         " iif(c.ContactID IS NULL, b.RemovedAt, NULL),"
         " iif(c.ContactID IS NOT NULL OR b.ContactID IS NOT NULL, m.Kept, NULL)" + present +
         " FROM JournalRows j LEFT JOIN Contacts c ON c.ContactID = j.ContactID"
         " LEFT JOIN RecycleBin b ON c.ContactID IS NULL AND b.ContactID = j.ContactID"
         " LEFT JOIN ContactMeta m ON m.ContactID = j.ContactID"
         " WHERE j.Step = ?1 AND j.Phase = ?2",
         {step, from, to});
}

// Puts every contact of the step where and as its phase `phase` holds it;
// says by how many contacts Contacts grew (or shrank).
qint64 apply(Connection &cn, qint64 step, int phase)
{
    const QByteArray cols = columns();
    const QByteArray touched = "(SELECT ContactID FROM JournalRows WHERE Step = ?1 AND Phase = ?2)";
    exec(cn, "DELETE FROM Contacts WHERE ContactID IN " + touched, {step, phase});
    const qint64 removed = changes(cn);
    exec(cn, "DELETE FROM RecycleBin WHERE ContactID IN " + touched, {step, phase});
    exec(cn,
         "INSERT INTO Contacts (ContactID, " + cols + ") SELECT ContactID, " + cols +
             " FROM JournalRows WHERE Step = ?1 AND Phase = ?2 AND Place = 1",
         {step, phase});
    const qint64 added = changes(cn);
    exec(cn,
         "INSERT INTO RecycleBin (ContactID, " + cols + ", RemovedAt) SELECT ContactID, " + cols +
             ", RemovedAt FROM JournalRows WHERE Step = ?1 AND Phase = ?2 AND Place = 2",
         {step, phase});
    exec(cn,
         "UPDATE ContactMeta SET Kept = j.Kept, Rev = " kNowUtc " FROM (SELECT ContactID, Kept FROM JournalRows"
         " WHERE Step = ?1 AND Phase = ?2 AND Place <> 0) j WHERE ContactMeta.ContactID = j.ContactID",
         {step, phase});
    return added - removed;
}

ChangeSummary::Keys keysAt(const Statement &st, int placeColumn)
{
    ChangeSummary::Keys k;
    k.present = st.int64(placeColumn) == int(Place::Contacts);
    k.first = st.text(placeColumn + 1);
    k.last = st.text(placeColumn + 2);
    k.category = st.text(placeColumn + 3);
    return k;
}

// What the step did, between its two phases.
ChangeSummary summarise(Connection &cn, qint64 step, int beforePhase, int afterPhase)
{
    ChangeSummary s;
    Statement st(cn.handle(),
                 "SELECT a.ContactID, a.Place, a.First_Name, a.Last_Name, a.Category,"
                 " b.Place, b.First_Name, b.Last_Name, b.Category FROM JournalRows a"
                 " JOIN JournalRows b ON b.Step = a.Step AND b.ContactID = a.ContactID AND b.Phase = ?3"
                 " WHERE a.Step = ?1 AND a.Phase = ?2 LIMIT ?4");
    st.bind(1, step).bind(2, beforePhase).bind(3, afterPhase).bind(4, kFewContacts + 1);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        if (s.contacts.size() == kFewContacts) {
            s.many = true;
            break;
        }
        s.contacts << st.int64(0);
        s.before << keysAt(st, 1);
        s.after << keysAt(st, 5);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        cn.fail(rc);
    return s;
}

// Keeps the book's noted count and highest key up to date with a change of
// ours, by the change's size rather than by counting a large table again; a
// count that was already off (another program wrote) stays off and is noticed.
void noteCountChange(Connection &cn, const QByteArray &delta, std::initializer_list<qint64> values)
{
    exec(cn, "UPDATE BookState SET Value = Value + (" + delta + ") WHERE Name = 'count'", values);
    exec(cn, "UPDATE BookState SET Value = (SELECT max(ContactID) FROM Contacts) WHERE Name = 'last'");
}

std::optional<Journal::StepInfo> stepWhere(Connection &cn, const char *sql)
{
    Statement st(cn.handle(), sql);
    const int rc = st.step();
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        cn.fail(rc);
    return Journal::StepInfo{st.int64(0), st.text(1), st.text(2)};
}

ChangeSummary move(Connection &cn, bool undo)
{
    Transaction t(cn.handle());
    if (!t.active())
        cn.fail(t.beginResult());
    const std::optional<Journal::StepInfo> s = undo ? Journal::NextUndo(cn) : Journal::NextRedo(cn);
    if (!s)
        return ChangeSummary();
    // The states the step is about to replace are kept in the other phase, so
    // that it can be moved back again; they are what is there now.
    const int target = undo ? 0 : 1;
    const int other = 1 - target;
    exec(cn, "DELETE FROM JournalRows WHERE Step = ?1 AND Phase = ?2", {s->step, other});
    keepPresent(cn, s->step, target, other);
    const qint64 grown = apply(cn, s->step, target);
    exec(cn, "UPDATE Journal SET Undone = ?2 WHERE Step = ?1", {s->step, undo ? 1 : 0});
    ChangeSummary summary = summarise(cn, s->step, other, target);
    noteCountChange(cn, "?1", {grown});
    SearchText::Refresh(cn);
    if (!t.commit())
        cn.fail(t.commitResult());
    return summary;
}

} // namespace

QString ContactState::value(const char *column) const
{
    for (int i = 0; i < kColumnCount && i < columns.size(); ++i) {
        if (qstrcmp(kColumns[i], column) == 0)
            return columns.at(i);
    }
    return QString();
}

struct JournalStep::Private
{
    explicit Private(sqlite3 *db) : transaction(db) {}
    Transaction transaction;
    qint64 step = 0;
    // keepBefore's statements, prepared once: a large step calls it often.
    std::optional<Statement> fromContacts, fromBin, fromNowhere;
};

JournalStep::JournalStep(Connection &cn, const QString &name) : m_cn(cn), d(std::make_unique<Private>(cn.handle()))
{
    if (!d->transaction.active())
        cn.fail(d->transaction.beginResult());
    // A new change ends what could be redone.
    exec(cn, "DELETE FROM JournalRows WHERE Step IN (SELECT Step FROM Journal WHERE Undone)");
    exec(cn, "DELETE FROM Journal WHERE Undone");
    Statement st(cn.handle(), "INSERT INTO Journal (Name, At) VALUES (?1, ?2)");
    st.bind(1, name).bind(2, StoredDateTime(QDateTime::currentDateTime()));
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        cn.fail(rc);
    d->step = sqlite3_last_insert_rowid(cn.handle());
}

JournalStep::~JournalStep() = default;

void JournalStep::keepBefore(qint64 contactId)
{
    if (!d->fromContacts) {
        const QByteArray cols = columns();
        d->fromContacts.emplace(m_cn.handle(),
                                "INSERT OR IGNORE INTO JournalRows (Step, ContactID, Phase, Place, RemovedAt, Kept, " +
                                    cols + ") SELECT ?1, ContactID, 0, 1, NULL, " kKeptOf("Contacts") ", " + cols +
                                    " FROM Contacts WHERE ContactID = ?2");
        d->fromBin.emplace(m_cn.handle(),
                           "INSERT OR IGNORE INTO JournalRows (Step, ContactID, Phase, Place, RemovedAt, Kept, " + cols +
                               ") SELECT ?1, ContactID, 0, 2, RemovedAt, " kKeptOf("RecycleBin") ", " + cols +
                               " FROM RecycleBin WHERE ContactID = ?2");
        d->fromNowhere.emplace(m_cn.handle(),
                               "INSERT OR IGNORE INTO JournalRows (Step, ContactID, Phase, Place) VALUES (?1, ?2, 0, 0)");
    }
    // In Contacts, else in the bin, else nowhere: the first that finds it counts.
    for (std::optional<Statement> *st : {&d->fromContacts, &d->fromBin, &d->fromNowhere}) {
        Statement &s = **st;
        s.reset();
        s.bind(1, d->step).bind(2, contactId);
        const int rc = s.step();
        if (rc != SQLITE_DONE)
            m_cn.fail(rc);
        if (changes(m_cn))
            return;
    }
}

void JournalStep::keepAdded(qint64 first, qint64 last, bool giveUids)
{
    exec(m_cn,
         "INSERT OR IGNORE INTO JournalRows (Step, ContactID, Phase, Place) SELECT ?1, ContactID, 0, 0 FROM Contacts"
         " WHERE ContactID BETWEEN ?2 AND ?3",
         {d->step, first, last});
    if (!giveUids)
        return;
    exec(m_cn,
         "INSERT OR IGNORE INTO ContactMeta (ContactID, Uid, Rev) SELECT ContactID, new_uid(), " kNowUtc
         " FROM Contacts WHERE ContactID BETWEEN ?1 AND ?2",
         {first, last});
}

ChangeSummary JournalStep::commit()
{
    // The state after the step is the present one until it is undone: it is
    // kept then, not now, so a large step costs little.
    ChangeSummary summary;
    {
        const QByteArray sql = "SELECT j.ContactID, j.Place, j.First_Name, j.Last_Name, j.Category,"
                               " c.ContactID IS NOT NULL, c.First_Name, c.Last_Name, c.Category FROM JournalRows j"
                               " LEFT JOIN Contacts c ON c.ContactID = j.ContactID WHERE j.Step = ?1 AND j.Phase = 0"
                               " LIMIT ?2";
        Statement st(m_cn.handle(), sql);
        st.bind(1, d->step).bind(2, kFewContacts + 1);
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            if (summary.contacts.size() == kFewContacts) {
                summary.many = true;
                break;
            }
            summary.contacts << st.int64(0);
            summary.before << keysAt(st, 1);
            summary.after << keysAt(st, 5);
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_cn.fail(rc);
    }
    exec(m_cn,
         "UPDATE ContactMeta SET Rev = " kNowUtc " WHERE ContactID IN (SELECT ContactID FROM JournalRows"
         " WHERE Step = ?1 AND Phase = 0 AND Place <> 0)",
         {d->step});
    noteCountChange(m_cn,
                    "(SELECT count(*) FROM JournalRows j WHERE j.Step = ?1 AND j.Phase = 0 AND EXISTS"
                    " (SELECT 1 FROM Contacts c WHERE c.ContactID = j.ContactID))"
                    " - (SELECT count(*) FROM JournalRows WHERE Step = ?1 AND Phase = 0 AND Place = 1)",
                    {d->step});
    SearchText::Refresh(m_cn);
    if (!d->transaction.commit())
        m_cn.fail(d->transaction.commitResult());
    return summary;
}

namespace Journal {

std::optional<StepInfo> NextUndo(Connection &cn)
{
    return stepWhere(cn, "SELECT Step, Name, At FROM Journal WHERE NOT Undone ORDER BY Step DESC LIMIT 1");
}

std::optional<StepInfo> NextRedo(Connection &cn)
{
    return stepWhere(cn, "SELECT Step, Name, At FROM Journal WHERE Undone ORDER BY Step LIMIT 1");
}

ChangeSummary Undo(Connection &cn)
{
    return move(cn, true);
}

ChangeSummary Redo(Connection &cn)
{
    return move(cn, false);
}

QList<Version> History(Connection &cn, qint64 contactId)
{
    QList<Version> out;
    Statement st(cn.handle(), "SELECT s.Step, s.Name, s.At, j.Place, j.RemovedAt, j.Kept, " + columns("j.") +
                                  " FROM JournalRows j JOIN Journal s ON s.Step = j.Step WHERE j.ContactID = ?1"
                                  " AND j.Phase = 0 AND j.Place <> 0 AND NOT s.Undone ORDER BY s.Step DESC");
    st.bind(1, contactId);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        Version v;
        v.replacedBy = {st.int64(0), st.text(1), st.text(2)};
        v.state.place = Place(st.int64(3));
        v.state.removedAt = st.text(4);
        v.state.kept = st.text(5);
        for (int i = 0; i < kColumnCount; ++i)
            v.state.columns << st.text(6 + i);
        out << v;
    }
    if (rc != SQLITE_DONE)
        cn.fail(rc);
    return out;
}

int Prune(Connection &cn, int keepDays, int keepSteps)
{
    Transaction t(cn.handle());
    if (!t.active())
        cn.fail(t.beginResult());
    const QString cutoff = StoredDateTime(QDateTime::currentDateTime().addDays(-keepDays));
    Statement old(cn.handle(), "SELECT coalesce(max(Step), 0) FROM Journal WHERE At < ?1 OR Step <= (SELECT Step FROM"
                               " Journal ORDER BY Step DESC LIMIT 1 OFFSET ?2)");
    old.bind(1, cutoff).bind(2, qint64(keepSteps));
    if (old.step() != SQLITE_ROW)
        cn.fail(SQLITE_ERROR);
    const qint64 upTo = old.int64(0);
    exec(cn, "DELETE FROM JournalRows WHERE Step <= ?1", {upTo});
    exec(cn, "DELETE FROM Journal WHERE Step <= ?1", {upTo});
    Statement bin(cn.handle(), "DELETE FROM RecycleBin WHERE RemovedAt < ?1");
    bin.bind(1, cutoff);
    if (bin.step() != SQLITE_DONE)
        cn.fail(SQLITE_ERROR);
    const int leftBin = changes(cn);
    // The side rows of contacts that are now gone for good; only when
    // something was forgotten (at every start it would cost a scan of them all).
    if (upTo > 0 || leftBin > 0) {
        exec(cn, "DELETE FROM ContactMeta WHERE ContactID NOT IN (SELECT ContactID FROM Contacts)"
                 " AND ContactID NOT IN (SELECT ContactID FROM RecycleBin)"
                 " AND ContactID NOT IN (SELECT ContactID FROM JournalRows)");
    }
    if (!t.commit())
        cn.fail(t.commitResult());
    return leftBin;
}

} // namespace Journal
