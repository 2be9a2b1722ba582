#include "interchange/Import.h"

#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/Connection.h"
#include "store/DateText.h"
#include "store/Journal.h"
#include "store/SearchText.h"
#include "store/StoreError.h"
#include "store/Uid.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <thread>
#include <vector>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <sqlite3.h>

namespace {

// How often (in cards) progress is told.
constexpr int kProgressEvery = 256;
// A CSV table of this many rows is made into contacts in two halves side by side.
constexpr qsizetype kSideBySideRows = 20000;

struct Cancelled
{
};

// Work on a thread of its own beside this one (half of a large file); told to
// stop, and waited for, when it goes out of scope.
class Beside
{
public:
    // `work` gets the flag that says to stop.
    template <typename Work>
    explicit Beside(Work work)
        : m_thread([this, work = std::move(work)]() mutable {
              try {
                  work(m_stop);
              } catch (...) {
                  m_failed = std::current_exception();
              }
              m_done = true;
          })
    {
    }
    ~Beside()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Waits for the work to end, asking `going` meanwhile (the window may be
    // waiting, and told how far): false cancels.
    template <typename Going>
    void wait(Going going)
    {
        while (!m_done) {
            if (!going())
                throw Cancelled();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_thread.join();
        if (m_failed)
            std::rethrow_exception(m_failed);
    }

private:
    std::atomic<bool> m_stop{false}, m_done{false};
    std::exception_ptr m_failed;
    std::thread m_thread; // last: it starts once the rest is there
};

// Finds the contact a UID belongs to: in Contacts or the bin (the card then
// updates it), or nowhere any more (the card is new and needs a UID of its own).
class UidLookup
{
public:
    explicit UidLookup(Connection &cn)
        : m_cn(cn),
          m_st(cn.handle(), "SELECT m.ContactID, EXISTS (SELECT 1 FROM Contacts c WHERE c.ContactID = m.ContactID)"
                            " OR EXISTS (SELECT 1 FROM RecycleBin b WHERE b.ContactID = m.ContactID)"
                            " FROM ContactMeta m WHERE m.Uid = ?1")
    {
    }
    // 0 when the UID is free; -1 when it is taken by a contact that is gone.
    qint64 find(const QString &uid)
    {
        const Uid::Stored s = Uid::FromText(uid);
        m_st.reset();
        if (s.blob)
            m_st.bindBlob(1, s.bytes);
        else
            m_st.bindUtf8(1, s.bytes);
        const int rc = m_st.step();
        if (rc == SQLITE_DONE)
            return 0;
        if (rc != SQLITE_ROW)
            m_cn.fail(rc);
        return m_st.int64(1) ? m_st.int64(0) : -1;
    }

private:
    Connection &m_cn;
    Statement m_st;
};

// A card or row as read: the contact, or where and why it was skipped.
struct Parsed
{
    bool skipped = false;
    ContactCard::Contact contact;
    int line = 0;
    QString reason;
};

// Where a large file can be read in two halves that read as the whole does:
// after the middle, an END:VCARD line right before a BEGIN:VCARD line (not
// the end of a card inside another, nor a quoted-printable line going on);
// 0 for none.
qsizetype halfway(QByteArrayView data)
{
    constexpr qsizetype kSmall = 4 << 20;
    if (data.size() < kSmall)
        return 0;
    for (qsizetype at = data.size() / 2; (at = data.indexOf("\nEND:VCARD", at)) > 0; at += 10) {
        qsizetype next = at + 10;
        if (next < data.size() && data[next] == '\r')
            ++next;
        if (next >= data.size() || data[next] != '\n' || !data.sliced(next + 1).startsWith("BEGIN:VCARD"))
            continue;
        qsizetype before = at - 1;
        if (before >= 0 && data[before] == '\r')
            --before;
        if (before >= 0 && data[before] == '=')
            continue;
        return next + 1;
    }
    return 0;
}

// Reads the cards of `part`; their problems' lines counted from `firstLine`.
// `going` is asked every few cards and says whether to go on.
template <typename Going>
std::vector<Parsed> parse(QByteArrayView part, int firstLine, Going going)
{
    std::vector<Parsed> out;
    VCard::Reader reader(part);
    VCard::Card card;
    VCard::Problem problem;
    for (int n = 1;; ++n) {
        const VCard::Reader::Result r = reader.next(card, problem);
        if (r == VCard::Reader::Result::End)
            break;
        if (n % kProgressEvery == 0 && !going(reader.position()))
            break;
        Parsed p;
        if (r == VCard::Reader::Result::Skipped) {
            p.skipped = true;
            p.line = firstLine + problem.line;
            p.reason = problem.reason;
        } else {
            p.contact = ContactCard::FromCard(card);
        }
        out.push_back(std::move(p));
    }
    return out;
}

void readInto(Import::Plan &plan, Connection &cn, QByteArrayView data, const QString &file, UidLookup &uids,
              QHash<QString, int> &byUid, qint64 base, qint64 total, const Import::Progress &progress)
{
    // A large file is read in two halves side by side; what the cards mean
    // for the book is then decided here, in the file's order.
    const qsizetype split = halfway(data);
    std::vector<Parsed> second;
    std::optional<Beside> other;
    if (split) {
        other.emplace([&second, data, split](const std::atomic<bool> &stop) {
            // Its problems' lines go on from the first half's (counted here:
            // the first bytes of a large file would hold the window up).
            const int linesBefore = int(std::count(data.begin(), data.begin() + split, '\n'));
            second = parse(data.sliced(split), linesBefore, [&](qsizetype) { return !stop.load(); });
        });
    }
    bool cancelled = false;
    std::vector<Parsed> cards = parse(split ? data.first(split) : data, 0, [&](qsizetype at) {
        // Two halves at once: the first one's way is half the file's.
        cancelled = progress && !progress(base + (split ? 2 * at : at), total);
        return !cancelled;
    });
    if (cancelled)
        throw Cancelled();
    if (other)
        other->wait([&] { return !progress || progress(base + split, total); });
    int n = 0;
    for (std::vector<Parsed> *part : {&cards, &second}) {
        for (Parsed &p : *part) {
            if (progress && ++n % kProgressEvery == 0 && !progress(base + data.size(), total))
                throw Cancelled();
            if (p.skipped) {
                plan.skipped << Import::Skipped{file, p.line, p.reason};
                continue;
            }
            ContactCard::Contact &contact = p.contact;
            qint64 existing = 0;
            if (!contact.uid.isEmpty()) {
                if (const auto it = byUid.constFind(contact.uid); it != byUid.constEnd()) {
                    // The same card twice in one import: the later one wins.
                    plan.contacts[*it] = std::move(contact);
                    continue;
                }
                existing = uids.find(contact.uid);
                if (existing < 0) {
                    contact.uid.clear();
                    existing = 0;
                }
            }
            if (!contact.uid.isEmpty())
                byUid.insert(contact.uid, int(plan.contacts.size()));
            plan.contacts << std::move(contact);
            plan.existing << existing;
            ++(existing ? plan.updated : plan.added);
        }
    }
    Q_UNUSED(cn);
}

// A CSV file into the plan: its rows, mapped as a known exporter's, or as
// `choose` says. Returns why the file is refused, or nothing.
QString readCsv(Import::Plan &plan, QByteArrayView data, const QString &file, bool byName,
                const Import::ChooseMapping &choose, qint64 base, qint64 total, const Import::Progress &progress)
{
    const QString name = QDir::toNativeSeparators(file);
    // A large file is read into cells beside the caller, which keeps telling
    // progress (the window answers meanwhile).
    Csv::Table table;
    if (data.size() >= (1 << 20)) {
        Beside reading([&](const std::atomic<bool> &) { table = Csv::Read(data); });
        reading.wait([&] { return !progress || progress(base, total); });
    } else {
        table = Csv::Read(data);
    }
    if (!table.refused.isEmpty()) {
        return byName ? QStringLiteral("%1 cannot be imported: %2").arg(name, table.refused)
                      : QStringLiteral("%1 is neither a vCard nor a CSV file; nothing was imported.").arg(name);
    }
    CsvMapping::Mapping mapping = CsvMapping::ForHeader(table.header);
    if (mapping.layout == CsvMapping::Layout::Unknown) {
        if (!choose) {
            return QStringLiteral("%1: the columns (%2) are of no known exporter; choose what each means in the "
                                  "window's File > Import. Nothing was imported.")
                .arg(name, table.header.join(QStringLiteral(", ")));
        }
        if (!choose(file, table, mapping)) {
            plan.cancelled = true;
            return QString();
        }
    }
    for (const Csv::Problem &p : table.problems)
        plan.skipped << Import::Skipped{file, p.line, p.reason};
    // Row by row, telling progress as the cards do; the second half of a
    // large table on a thread of its own meanwhile.
    auto map = [&](qsizetype from, qsizetype to, auto going) {
        std::vector<Parsed> out;
        out.reserve(size_t(to - from));
        for (qsizetype r = from; r < to; ++r) {
            if ((r - from) % kProgressEvery == 0 && !going(r))
                break;
            Parsed p;
            p.skipped = !CsvMapping::ToContact(mapping, table.header, table.cells(r), p.contact, &p.reason);
            p.line = table.line(r);
            out.push_back(std::move(p));
        }
        return out;
    };
    const qsizetype rows = table.rowCount();
    const qsizetype half = rows >= kSideBySideRows ? rows / 2 : rows;
    std::vector<Parsed> second;
    std::optional<Beside> other;
    if (half < rows)
        other.emplace([&](const std::atomic<bool> &stop) { second = map(half, rows, [&](qsizetype) { return !stop.load(); }); });
    bool cancelled = false;
    std::vector<Parsed> first = map(0, half, [&](qsizetype r) {
        cancelled = progress && !progress(base + data.size() * (half < rows ? 2 * r : r) / rows, total);
        return !cancelled;
    });
    if (cancelled)
        throw Cancelled();
    if (other)
        other->wait([&] { return !progress || progress(base + data.size() * half / rows, total); });
    for (std::vector<Parsed> *part : {&first, &second}) {
        for (Parsed &p : *part) {
            if (p.skipped) {
                plan.skipped << Import::Skipped{file, p.line, p.reason};
                continue;
            }
            plan.contacts << std::move(p.contact);
            plan.existing << 0;
            ++plan.added;
        }
    }
    return QString();
}

QString notVCard(const QString &file)
{
    return QStringLiteral("%1 is not a vCard file (it does not begin with BEGIN:VCARD); nothing was imported.")
        .arg(QDir::toNativeSeparators(file));
}

void step(Connection &cn, Statement &st)
{
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        cn.fail(rc);
}

// Writes an embedded picture under a name of its content, so that the same
// picture imported twice is one file.
QString savePicture(const ContactCard::Contact &c, const QString &folder)
{
    if (c.photo.isEmpty() || folder.isEmpty())
        return QString();
    QDir().mkpath(folder);
    const QString name = QString::fromLatin1(QCryptographicHash::hash(c.photo, QCryptographicHash::Sha1).toHex().left(20)) +
                         QLatin1Char('.') + c.photoType;
    const QString path = QDir(folder).absoluteFilePath(name);
    if (QFileInfo(path).size() == c.photo.size())
        return path;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(c.photo) != c.photo.size() || !f.commit())
        return QString();
    return path;
}

// "INSERT ... VALUES (?, ...), (?, ...), ..." with `rows` rows of `columns`
// values: the engine's cost per statement is most of a small row's.
QByteArray valuesOf(const char *head, int columns, int rows)
{
    QByteArray sql = head;
    sql += " VALUES ";
    for (int r = 0; r < rows; ++r) {
        sql += r ? ", (" : "(";
        for (int c = 0; c < columns; ++c)
            sql += c ? ", ?" : "?";
        sql += ')';
    }
    return sql;
}

// New contacts are written this many at a time.
constexpr int kBatch = 16;

// Writes `count` rows: kBatch to a statement through `many` (valuesOf's
// kBatch rows), the rest one by one through `one`. `bind(st, base, i)` binds
// row i from parameter base + 1 on.
template <typename Bind>
void insertRows(Connection &cn, Statement &many, Statement &one, int columns, size_t count, Bind bind)
{
    size_t at = 0;
    for (; at + kBatch <= count; at += kBatch) {
        many.reset();
        for (int k = 0; k < kBatch; ++k)
            bind(many, k * columns, at + size_t(k));
        step(cn, many);
    }
    for (; at < count; ++at) {
        one.reset();
        bind(one, 0, at);
        step(cn, one);
    }
}

} // namespace

namespace Import {

Plan Read(Connection &cn, const QStringList &files, const Progress &progress, const ChooseMapping &choose)
{
    Plan plan;
    qint64 total = 0;
    for (const QString &f : files)
        total += QFileInfo(f).size();
    // One read transaction: the lookups of every card share one lock of the file.
    Transaction reading(cn.handle());
    UidLookup uids(cn);
    QHash<QString, int> byUid;
    qint64 base = 0;
    try {
        for (const QString &path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                plan.refused = QStringLiteral("%1 could not be read: %2").arg(QDir::toNativeSeparators(path), f.errorString());
                return plan;
            }
            const qint64 size = f.size();
            uchar *mapped = size > 0 ? f.map(0, size) : nullptr;
            QByteArray copy;
            QByteArrayView data;
            if (mapped) {
                data = QByteArrayView(reinterpret_cast<const char *>(mapped), size);
            } else {
                copy = f.readAll();
                data = copy;
            }
            const QString suffix = QFileInfo(path).suffix().toLower();
            const bool csvName = suffix == QLatin1String("csv") || suffix == QLatin1String("tsv") ||
                                 suffix == QLatin1String("txt");
            const bool vcfName = suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard");
            if (!csvName && VCard::LooksLikeVCard(data)) {
                readInto(plan, cn, data, path, uids, byUid, base, total, progress);
            } else if (vcfName) {
                plan = Plan();
                plan.refused = notVCard(path);
                return plan;
            } else {
                const QString refused = readCsv(plan, data, path, csvName, choose, base, total, progress);
                if (plan.cancelled) {
                    plan = Plan();
                    plan.cancelled = true;
                    return plan;
                }
                if (!refused.isEmpty()) {
                    plan = Plan();
                    plan.refused = refused;
                    return plan;
                }
            }
            base += size;
        }
    } catch (const Cancelled &) {
        plan = Plan();
        plan.cancelled = true;
    }
    return plan;
}

Plan ReadData(Connection &cn, const QByteArray &data, const QString &name, const Progress &progress)
{
    Plan plan;
    if (!VCard::LooksLikeVCard(data)) {
        plan.refused = notVCard(name);
        return plan;
    }
    Transaction reading(cn.handle());
    UidLookup uids(cn);
    QHash<QString, int> byUid;
    try {
        readInto(plan, cn, data, name, uids, byUid, 0, data.size(), progress);
    } catch (const Cancelled &) {
        plan = Plan();
        plan.cancelled = true;
    }
    return plan;
}

Result Write(Connection &cn, const Plan &plan, const QString &picturesFolder, const Progress &progress)
{
    Result result;
    if (plan.contacts.isEmpty() || !plan.refused.isEmpty())
        return result;
    using namespace ContactCard;
    const QString name = plan.contacts.size() == 1
                             ? QStringLiteral("import of ") +
                                   (plan.contacts.first().columns.at(First) + QLatin1Char(' ') +
                                    plan.contacts.first().columns.at(Last)).trimmed()
                             : QStringLiteral("import of %1 contacts").arg(plan.contacts.size());
    // The contacts' folded search text is made on another core while the
    // rows are written, and written beside them at the end.
    std::vector<QByteArray> folded(size_t(plan.contacts.size()));
    std::jthread folding([&plan, &folded] {
        for (qsizetype i = 0; i < plan.contacts.size(); ++i) {
            const QStringList &c = plan.contacts.at(i).columns;
            folded[size_t(i)] = SearchText::FoldedRow({c.at(First), c.at(Last), c.at(Company), c.at(Phones), c.at(Mails),
                                                       c.at(Category), c.at(Address), c.at(Websites), c.at(Notes)})
                                    .toUtf8();
        }
    });
    std::vector<std::pair<qint64, qsizetype>> written;
    written.reserve(size_t(plan.contacts.size()));
    try {
        JournalStep journal(cn, name);
        const SearchText::WriterFolds writerFolds(cn);
        const char *const insertHead = "INSERT INTO Contacts (First_Name, Last_Name, Company, Address, Category, Phones,"
                                       " Mails, Websites, Notes, Date_Registed, Picture)";
        Statement insertOne(cn.handle(), valuesOf(insertHead, ColumnCount, 1));
        Statement insertMany(cn.handle(), valuesOf(insertHead, ColumnCount, kBatch));
        Statement metaOne(cn.handle(), "INSERT INTO ContactMeta (ContactID, Uid, Kept, Rev) VALUES (?1, ?2, ?3, ?4)");
        Statement update(cn.handle(), "UPDATE Contacts SET First_Name = ?1, Last_Name = ?2, Company = ?3, Address = ?4,"
                                      " Category = ?5, Phones = ?6, Mails = ?7, Websites = ?8, Notes = ?9,"
                                      " Picture = coalesce(?11, Picture) WHERE ContactID = ?12");
        Statement restore(cn.handle(), "INSERT INTO Contacts (ContactID, First_Name, Last_Name, Company, Address, Category,"
                                       " Phones, Mails, Websites, Notes, Date_Registed, Picture) SELECT ContactID, First_Name, Last_Name, Company, Address,"
                                       " Category, Phones, Mails, Websites, Notes, Date_Registed, Picture FROM RecycleBin"
                                       " WHERE ContactID = ?1");
        Statement unbin(cn.handle(), "DELETE FROM RecycleBin WHERE ContactID = ?1");
        const qint64 rev = QDateTime::currentSecsSinceEpoch();
        Statement keptOf(cn.handle(), "UPDATE ContactMeta SET Kept = ?2 WHERE ContactID = ?1");
        const QString now = StoredDateTime(QDateTime::currentDateTime());
        qint64 firstNew = 0, lastNew = 0;
        // A contact's columns from parameter `base` + 1 on; an update's picture
        // stays when the card has none (NULL), a new contact's is empty.
        auto bindColumns = [&](Statement &st, int base, const Contact &c, const QString &picture, bool isNew) {
            for (int col = 0; col < ColumnCount; ++col) {
                if (col == Registered)
                    st.bind(base + col + 1, now);
                else if (col == Picture && picture.isEmpty() && !isNew)
                    st.bindNull(base + col + 1);
                else
                    st.bind(base + col + 1, col == Picture ? picture : c.columns.at(col));
            }
        };
        // Kept lines as stored: none is NULL.
        auto bindKept = [](Statement &st, int index, const QString &kept) {
            if (kept.isEmpty())
                st.bindNull(index);
            else
                st.bind(index, kept);
        };
        // New contacts wait here until there are kBatch of them.
        struct New
        {
            qsizetype index;
            QString picture, kept;
        };
        std::vector<New> pending;
        pending.reserve(kBatch);
        auto writeNew = [&] {
            if (pending.empty())
                return;
            insertRows(cn, insertMany, insertOne, ColumnCount, pending.size(), [&](Statement &st, int base, size_t k) {
                bindColumns(st, base, plan.contacts.at(pending[k].index), pending[k].picture, true);
            });
            // One transaction's new rows get keys one after another.
            const qint64 first = sqlite3_last_insert_rowid(cn.handle()) - qint64(pending.size()) + 1;
            // The UIDs go one by one: their index is written all over, and a
            // statement of many rows keeps a copy of every page it touches
            // until it is through (a file once it is large).
            for (size_t k = 0; k < pending.size(); ++k) {
                const qint64 id = first + qint64(k);
                const Contact &c = plan.contacts.at(pending[k].index);
                const Uid::Stored u = c.uid.isEmpty() ? Uid::Create() : Uid::FromText(c.uid);
                metaOne.reset();
                metaOne.bind(1, id).bind(4, rev);
                if (u.blob)
                    metaOne.bindBlob(2, u.bytes);
                else
                    metaOne.bindUtf8(2, u.bytes);
                bindKept(metaOne, 3, pending[k].kept);
                step(cn, metaOne);
                written.emplace_back(id, pending[k].index);
            }
            if (!firstNew)
                firstNew = first;
            lastNew = first + qint64(pending.size()) - 1;
            result.added += int(pending.size());
            pending.clear();
        };
        for (qsizetype i = 0; i < plan.contacts.size(); ++i) {
            if (progress && i % kProgressEvery == 0 && !progress(i, plan.contacts.size())) {
                result = Result();
                result.cancelled = true;
                return result; // the step rolls back
            }
            const Contact &c = plan.contacts.at(i);
            const QString picture = savePicture(c, picturesFolder);
            const QString kept = JoinKept(c.kept);
            const qint64 id = plan.existing.at(i);
            if (!id) {
                pending.push_back({i, picture, kept});
                if (pending.size() == size_t(kBatch))
                    writeNew();
                continue;
            }
            journal.keepBefore(id);
            unbin.reset();
            restore.reset();
            restore.bind(1, id);
            // A card of a contact in the bin brings it back.
            if (restore.step() == SQLITE_DONE && sqlite3_changes(cn.handle()) > 0) {
                unbin.bind(1, id);
                step(cn, unbin);
            }
            update.reset();
            bindColumns(update, 0, c, picture, false);
            update.bind(12, id);
            step(cn, update);
            keptOf.reset();
            keptOf.bind(1, id);
            bindKept(keptOf, 2, kept);
            step(cn, keptOf);
            written.emplace_back(id, i);
            ++result.updated;
        }
        writeNew();
        folding.join();
        const char *const foldHead = "INSERT OR REPLACE INTO ContactFolded (ContactID, Folded)";
        Statement foldOne(cn.handle(), valuesOf(foldHead, 2, 1));
        Statement foldMany(cn.handle(), valuesOf(foldHead, 2, kBatch));
        insertRows(cn, foldMany, foldOne, 2, written.size(), [&](Statement &st, int base, size_t k) {
            st.bind(base + 1, written[k].first).bindUtf8(base + 2, folded[size_t(written[k].second)]);
        });
        if (firstNew)
            journal.keepAdded(firstNew, lastNew, false);
        result.summary = journal.commit();
    } catch (const Cancelled &) {
        result = Result();
        result.cancelled = true;
    }
    return result;
}

QString RememberedMapping(Connection &cn, const QString &key)
{
    Statement st(cn.handle(), "SELECT Value FROM BookState WHERE Name = ?1");
    st.bind(1, QStringLiteral("csv-mapping:") + key);
    return st.step() == SQLITE_ROW ? st.text(0) : QString();
}

void RememberMapping(Connection &cn, const QString &key, const QString &mapping)
{
    Statement st(cn.handle(), "INSERT OR REPLACE INTO BookState (Name, Value) VALUES (?1, ?2)");
    st.bind(1, QStringLiteral("csv-mapping:") + key).bind(2, mapping);
    step(cn, st);
}

QString Summary(int added, int updated, int skipped)
{
    return QStringLiteral("%1 added, %2 updated, %3 skipped").arg(added).arg(updated).arg(skipped);
}

} // namespace Import
