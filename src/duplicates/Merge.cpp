#include "duplicates/Merge.h"

#include "duplicates/Phone.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/DateText.h"
#include "store/Folding.h"
#include "store/ItemList.h"
#include "store/StoreError.h"

#include <QDateTime>
#include <QSet>

#include <sqlite3.h>

#include <array>

namespace Duplicates {
namespace {

const char *const kColumns[] = {"First_Name", "Last_Name", "Company",  "Address",       "Category", "Phones",
                                "Mails",      "Websites",  "Notes",    "Date_Registed", "Picture"};
constexpr int kCount = 11;
enum Column { First, Last, Company, Address, Category, Phones, Mails, Websites, Notes, Registered, Picture };
const char kColumnList[] =
    "First_Name, Last_Name, Company, Address, Category, Phones, Mails, Websites, Notes, Date_Registed, Picture";

struct Contact
{
    std::array<QString, kCount> columns; // null where the column is NULL
    QString kept;
};

[[noreturn]] void gone(Connection &cn)
{
    throw StoreError(SQLITE_NOTFOUND, QStringLiteral("The contact no longer exists in the database."), cn.path());
}

QString textOrNull(const Statement &st, int column)
{
    if (st.isNull(column))
        return QString();
    const QString text = st.text(column);
    return text.isNull() ? QStringLiteral("") : text;
}

Contact load(Connection &cn, qint64 id)
{
    Statement st(cn.handle(), QByteArray("SELECT ") + kColumnList +
                                  ", (SELECT Kept FROM ContactMeta m WHERE m.ContactID = c.ContactID) FROM Contacts c "
                                  "WHERE ContactID = ?1");
    st.bind(1, id);
    const int rc = st.step();
    if (rc == SQLITE_DONE)
        gone(cn);
    if (rc != SQLITE_ROW)
        cn.fail(rc);
    Contact c;
    for (int i = 0; i < kCount; ++i)
        c.columns[size_t(i)] = textOrNull(st, i);
    c.kept = textOrNull(st, kCount);
    return c;
}

bool blank(const QString &s) { return s.trimmed().isEmpty(); }

// Entries of the others that the list lacks are added after its own, which
// keep their text as it is.
QString unitedList(const QString &own, const QList<const QString *> &others, Column column, const QString &region)
{
    auto key = [&](const QString &item) {
        if (column == Phones) {
            const QString e164 = Phone::ToE164(item, region);
            if (!e164.isEmpty())
                return e164;
        }
        return Fold(item.trimmed());
    };
    QSet<QString> seen;
    for (const ItemEntry &e : SplitItemList(own))
        seen.insert(key(e.sItem));
    QList<ItemEntry> added;
    for (const QString *list : others) {
        for (const ItemEntry &e : SplitItemList(*list)) {
            if (blank(e.sItem) && blank(e.sDescription))
                continue;
            const QString k = key(e.sItem);
            if (!seen.contains(k)) {
                seen.insert(k);
                added.append(e);
            }
        }
    }
    if (added.isEmpty())
        return own;
    QString out = own;
    if (!out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
        out += QStringLiteral("\r\n");
    return out + GetList(added);
}

Contact merged(const Contact &keep, const QList<Contact> &others, const QString &region)
{
    Contact out = keep;
    for (const Column c : {First, Last, Company, Address, Category, Registered, Picture}) {
        if (!blank(out.columns[c]))
            continue;
        for (const Contact &o : others) {
            if (!blank(o.columns[c])) {
                out.columns[c] = o.columns[c];
                break;
            }
        }
    }
    for (const Column c : {Phones, Mails, Websites}) {
        QList<const QString *> lists;
        for (const Contact &o : others)
            lists.append(&o.columns[c]);
        out.columns[c] = unitedList(keep.columns[c], lists, c, region);
    }
    QStringList notes;
    if (!blank(keep.columns[Notes]))
        notes << keep.columns[Notes].trimmed();
    QString &text = out.columns[Notes];
    for (const Contact &o : others) {
        const QString note = o.columns[Notes].trimmed();
        if (note.isEmpty() || notes.contains(note))
            continue;
        notes << note;
        text = blank(text) ? o.columns[Notes] : text + QStringLiteral("\n\n") + o.columns[Notes];
    }
    QStringList lines = keep.kept.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    bool more = false;
    for (const Contact &o : others) {
        for (const QString &line : o.kept.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (!lines.contains(line)) {
                lines << line;
                more = true;
            }
        }
    }
    if (more)
        out.kept = lines.join(QLatin1Char('\n'));
    return out;
}


// The group's others, each once, without the kept one.
QList<qint64> othersOf(const MergeGroup &group)
{
    QList<qint64> out;
    for (const qint64 id : group.others)
        if (id != group.keep && !out.contains(id))
            out.append(id);
    return out;
}

Contact mergedGroup(Connection &cn, const MergeGroup &group, const QString &region, Contact *before)
{
    const Contact keep = load(cn, group.keep);
    QList<Contact> others;
    for (const qint64 id : othersOf(group))
        others.append(load(cn, id));
    if (before)
        *before = keep;
    return merged(keep, others, region);
}

void run(Connection &cn, Statement &st)
{
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        cn.fail(rc);
}

} // namespace

ChangeSummary Merge(Connection &cn, const QList<MergeGroup> &groups, const QString &region)
{
    const QString dialIn = Phone::RegionOr(region);
    qsizetype count = 0;
    for (const MergeGroup &g : groups)
        count += othersOf(g).size();
    if (count == 0)
        return ChangeSummary();
    JournalStep step(cn, count == 1 ? QStringLiteral("merge of 1 duplicate")
                                    : QStringLiteral("merge of %1 duplicates").arg(count));
    for (const MergeGroup &g : groups) {
        step.keepBefore(g.keep);
        for (const qint64 id : othersOf(g))
            step.keepBefore(id);
    }
    const QString now = StoredDateTime(QDateTime::currentDateTime());
    for (const MergeGroup &g : groups) {
        Contact before;
        const Contact after = mergedGroup(cn, g, dialIn, &before);
        // Only what changed is written, so the rest keeps its bytes.
        for (int i = 0; i < kCount; ++i) {
            const QString &v = after.columns[size_t(i)];
            if (v == before.columns[size_t(i)] && v.isNull() == before.columns[size_t(i)].isNull())
                continue;
            Statement st(cn.handle(), QByteArray("UPDATE Contacts SET ") + kColumns[i] + " = ?2 WHERE ContactID = ?1");
            st.bind(1, g.keep);
            v.isNull() ? st.bindNull(2) : st.bind(2, v);
            run(cn, st);
        }
        if (after.kept != before.kept) {
            Statement st(cn.handle(), "UPDATE ContactMeta SET Kept = ?2 WHERE ContactID = ?1");
            st.bind(1, g.keep).bind(2, after.kept);
            run(cn, st);
        }
        for (const qint64 id : othersOf(g)) {
            Statement bin(cn.handle(), QByteArray("INSERT INTO RecycleBin (ContactID, ") + kColumnList +
                                           ", RemovedAt) SELECT ContactID, " + kColumnList +
                                           ", ?2 FROM Contacts WHERE ContactID = ?1");
            bin.bind(1, id).bind(2, now);
            run(cn, bin);
            if (sqlite3_changes(cn.handle()) == 0)
                gone(cn);
            Statement del(cn.handle(), "DELETE FROM Contacts WHERE ContactID = ?1");
            del.bind(1, id);
            run(cn, del);
        }
    }
    return step.commit();
}

ContactState MergedPreview(Connection &cn, const MergeGroup &group, const QString &region)
{
    const Contact after = mergedGroup(cn, group, Phone::RegionOr(region), nullptr);
    ContactState state;
    state.place = Place::Contacts;
    for (const QString &v : after.columns)
        state.columns.append(v);
    state.kept = after.kept;
    return state;
}

} // namespace Duplicates
