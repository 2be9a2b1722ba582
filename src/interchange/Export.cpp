#include "interchange/Export.h"

#include "interchange/Bytes.h"
#include "interchange/ContactCard.h"
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"
#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/Connection.h"
#include "store/ItemList.h"
#include "store/StoreError.h"
#include "store/Uid.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <condition_variable>
#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include <cerrno>
#include <string>
#include <unordered_set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProgressEvery = 512;

const char kSelect[] = "SELECT c.First_Name, c.Last_Name, c.Company, c.Address, c.Category, c.Phones, c.Mails,"
                       " c.Websites, c.Notes, c.Date_Registed, c.Picture, m.Uid, m.Kept, m.Rev"
                       " FROM Contacts c LEFT JOIN ContactMeta m ON m.ContactID = c.ContactID";
// The same rows as a CSV file needs them: no date, picture, UID or time of
// change (neither layout has a place for them), and the kept lines for the
// web-mail layout only (the plain one has none either: one lookup a contact
// fewer).
const char kSelectCsvPlain[] = "SELECT c.First_Name, c.Last_Name, c.Company, c.Address, c.Category, c.Phones, c.Mails,"
                               " c.Websites, c.Notes, NULL, NULL, NULL, NULL, NULL FROM Contacts c";
const char kSelectCsvWebMail[] = "SELECT c.First_Name, c.Last_Name, c.Company, c.Address, c.Category, c.Phones,"
                                 " c.Mails, c.Websites, c.Notes, NULL, NULL, NULL, m.Kept, NULL"
                                 " FROM Contacts c LEFT JOIN ContactMeta m ON m.ContactID = c.ContactID";

// Reads the picture files the cards carry. Straight through the system:
// most contacts of a large book that name a picture name one that is not
// there (moved, another machine's), and each would cost a failed open and a
// walk of its path; a folder found missing is remembered, so the other
// pictures in it cost nothing.
class Pictures
{
public:
    // The file's bytes, when it is one the card can carry.
    QByteArray read(QByteArrayView path)
    {
        if (path.isEmpty() || path.contains('\0'))
            return QByteArray();
        const qsizetype slash = path.lastIndexOf('/');
        const std::string folder(path.data(), size_t(qMax<qsizetype>(slash, 0)));
        if (slash > 0 && m_missing.count(folder))
            return QByteArray();
        const std::string name(path.data(), size_t(path.size()));
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            struct stat st;
            if (errno == ENOENT && slash > 0 && ::stat(folder.c_str(), &st) != 0 && errno == ENOENT)
                m_missing.insert(folder);
            return QByteArray();
        }
        QByteArray bytes;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= VCard::Reader::kMaxValueBytes / 2) {
            bytes.resize(qsizetype(st.st_size));
            qsizetype got = 0;
            while (got < bytes.size()) {
                const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                got += n;
            }
            bytes.truncate(got); // shorter when it changed meanwhile
        }
        ::close(fd);
        return bytes;
    }

private:
    std::unordered_set<std::string> m_missing;
};

} // namespace

namespace Export {

namespace {

// A run of rows as the book stores them, copied out of the statement so that
// another thread can make them into text while the next run is read. A row
// answers as the statement did (utf8, text, isNull, ...).
class Rows
{
public:
    static constexpr int kMaxColumns = 16;

private:
    struct Cell
    {
        qint64 at = 0; // the integer itself for an INTEGER
        qsizetype size = 0;
        int type = SQLITE_NULL;
    };

public:
    explicit Rows(int columns) : m_columns(columns) { Q_ASSERT(columns <= kMaxColumns); }
    int count() const { return m_columns ? int(m_cells.size() / size_t(m_columns)) : 0; }
    // Empties it, keeping its memory for the next run.
    void clear()
    {
        m_cells.clear();
        m_bytes.resize(0);
    }
    void add(const Statement &st)
    {
        for (int i = 0; i < m_columns; ++i) {
            Cell c;
            c.type = st.columnType(i);
            if (c.type == SQLITE_INTEGER) {
                c.at = st.int64(i);
            } else if (c.type != SQLITE_NULL) {
                const QByteArrayView v = st.utf8(i); // a blob's bytes as they are
                c.at = m_bytes.size();
                c.size = v.size();
                AppendBytes(m_bytes, v);
            }
            m_cells.push_back(c);
        }
    }

    class Row
    {
    public:
        Row(const Rows &rows, int row) : m_rows(rows), m_first(size_t(row) * size_t(rows.m_columns)) {}
        int columnType(int i) const { return cell(i).type; }
        bool isNull(int i) const { return cell(i).type == SQLITE_NULL; }
        qint64 int64(int i) const { return cell(i).type == SQLITE_INTEGER ? cell(i).at : utf8(i).toLongLong(); }
        QByteArrayView utf8(int i) const
        {
            const Cell &c = cell(i);
            if (c.type == SQLITE_NULL)
                return QByteArrayView();
            if (c.type == SQLITE_INTEGER) // as the engine gives it: its text, kept while the row is
                return m_numbers[size_t(i)] = QByteArray::number(c.at);
            return QByteArrayView(m_rows.m_bytes.constData() + c.at, c.size);
        }
        QString text(int i) const { return QString::fromUtf8(utf8(i)); }

    private:
        const Cell &cell(int i) const { return m_rows.m_cells[m_first + size_t(i)]; }
        const Rows &m_rows;
        size_t m_first;
        mutable std::array<QByteArray, kMaxColumns> m_numbers;
    };
    Row row(int i) const { return Row(*this, i); }

private:
    int m_columns;
    std::vector<Cell> m_cells;
    QByteArray m_bytes;
};

// Rows read and made into text at a time.
constexpr int kRun = 1024;

QString uidOf(const Rows::Row &r)
{
    if (r.isNull(11)) // written by another program since the book was last opened here
        return Uid::Text(Uid::Create().bytes, true);
    return Uid::Text(r.utf8(11).toByteArray(), r.columnType(11) == SQLITE_BLOB);
}

void readColumns(const Rows::Row &r, QStringList &columns)
{
    for (int i = 0; i < ContactCard::ColumnCount; ++i)
        columns[i] = r.isNull(i) ? QString() : r.text(i);
}

// `each` gets the statement on each chosen contact's row (kSelect's columns,
// or those of `select`).
template <typename Each>
void forEachContact(Connection &cn, const Choice &choice, const Progress &progress, Result &result, Each each,
                    const char *select = kSelect)
{
    // One read transaction: every contact from the same state of the book, under one lock.
    Transaction reading(cn.handle());
    QByteArray sql = select;
    qint64 total = 0;
    if (choice.kind == Choice::Kind::Contacts) {
        sql += " WHERE c.ContactID = ?1";
        total = choice.contacts.size();
    } else {
        QByteArray count = "SELECT count(*) FROM Contacts";
        if (choice.kind == Choice::Kind::Category) {
            sql += " WHERE c.Category = ?1";
            count += " WHERE Category = ?1";
        }
        Statement st(cn.handle(), count);
        if (choice.kind == Choice::Kind::Category)
            st.bind(1, choice.category);
        if (st.step() != SQLITE_ROW)
            cn.fail(st.prepareResult() ? st.prepareResult() : SQLITE_ERROR);
        total = st.int64(0);
        sql += " ORDER BY c.ContactID";
    }
    Statement st(cn.handle(), sql);
    if (st.prepareResult() != SQLITE_OK)
        cn.fail(st.prepareResult());
    if (choice.kind == Choice::Kind::Category)
        st.bind(1, choice.category);
    qsizetype next = 0;
    qint64 seen = 0;
    for (;;) {
        if (choice.kind == Choice::Kind::Contacts) {
            if (next == choice.contacts.size())
                break;
            st.reset();
            st.bind(1, choice.contacts.at(next++));
        }
        const int rc = st.step();
        if (rc == SQLITE_DONE) {
            if (choice.kind == Choice::Kind::Contacts)
                continue; // gone since it was listed
            break;
        }
        if (rc != SQLITE_ROW)
            cn.fail(rc);
        if (!each(st))
            return;
        ++seen;
        if (progress && seen % kProgressEvery == 0 && !progress(seen, total)) {
            result.cancelled = true;
            return;
        }
    }
}

// How many threads turn runs into text: one per core (the reading thread
// mostly waits for them).
int makerCount()
{
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
}

using Make = std::function<void(int maker, const Rows &, QByteArray &)>;

// Runs made into the file's bytes on threads of their own and written here in
// their order; the buffers of runs written go round for the next ones. All of
// it is shared under `m`.
struct Made
{
    std::mutex m;
    std::condition_variable changed;
    std::map<qint64, std::pair<QByteArray, int>> done; // a run's bytes and contacts, by its place in the file
    std::vector<QByteArray> spare;                     // bytes written, for the next runs
    qint64 nextOut = 0;
    bool stop = false; // the rest is not wanted
    std::exception_ptr error;

    // An empty buffer, with the memory of a run written before when there is one.
    QByteArray buffer()
    {
        QByteArray bytes;
        if (!spare.empty()) {
            bytes = std::move(spare.back());
            spare.pop_back();
        }
        bytes.resize(0);
        return bytes;
    }
    // From a making thread's catch: the first failure ends the work.
    void failed()
    {
        std::lock_guard lock(m);
        if (!error)
            error = std::current_exception();
        stop = true;
        changed.notify_all();
    }
    // Writes the run next in the file, which is done, letting go of `lock`
    // meanwhile; false, and the rest not wanted, when `out` did not take it.
    bool writeNext(std::unique_lock<std::mutex> &lock, QIODevice &out, Result &result)
    {
        auto next = done.find(nextOut);
        auto [bytes, contacts] = std::move(next->second);
        done.erase(next);
        ++nextOut;
        lock.unlock();
        const bool written = bytes.isEmpty() || out.write(bytes) == bytes.size();
        lock.lock();
        spare.push_back(std::move(bytes));
        if (written) {
            result.written += contacts;
        } else {
            if (result.failure.isEmpty())
                result.failure = out.errorString();
            stop = true;
        }
        changed.notify_all();
        return written;
    }
};

// Connections of their own, one per maker, each in a read transaction begun
// while the first one's holds the book still (no writer can commit while any
// reader holds its lock): every one reads the same state of the book. Empty
// when that cannot be had at once: the book has no file or is in WAL mode
// (where a reader sees the state of its own start), the caller is inside a
// transaction of its own (its changes are not in the file yet), or a writer
// is about to commit.
std::vector<SharedConnection> readersOf(Connection &cn, int count)
{
    std::vector<SharedConnection> readers;
    if (cn.path().isEmpty() || cn.path() == QLatin1String(":memory:") || !sqlite3_get_autocommit(cn.handle()))
        return readers;
    try {
        for (int i = 0; i < count; ++i) {
            SharedConnection r = Connection::openForWalking(cn.path());
            // Waiting here for a writer that waits for the first reader would
            // hold both up: rather read on one thread.
            sqlite3_busy_timeout(r->handle(), 0);
            if (sqlite3_exec(r->handle(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
                return {};
            Statement mode(r->handle(), "PRAGMA journal_mode");
            if (mode.step() != SQLITE_ROW || mode.utf8(0).compare("wal", Qt::CaseInsensitive) == 0)
                return {};
            Statement lock(r->handle(), "SELECT count(*) FROM sqlite_master");
            if (lock.step() != SQLITE_ROW)
                return {};
            readers.push_back(std::move(r));
        }
    } catch (const StoreError &) {
        return {};
    }
    return readers;
}

// The chosen contacts (every one, or a category's) read and made into the
// file's bytes on `readers.size()` threads side by side, each through its own
// connection, a range of keys at a time; the bytes are written here, in
// order. False, with nothing done, when it does not pay (a few contacts).
bool pipelineSideBySide(const std::vector<SharedConnection> &readers, const Choice &choice, const Progress &progress,
                        Result &result, QIODevice &out, const Make &make, const char *select)
{
    const bool category = choice.kind == Choice::Kind::Category;
    // The lowest and highest key, and how many contacts the book noted it
    // holds (counting them would walk the whole file once more first).
    qint64 noted = 0, lowest = 0, highest = 0;
    {
        Connection &first = *readers.front();
        Statement st(first.handle(), "SELECT (SELECT min(ContactID) FROM Contacts), (SELECT max(ContactID) FROM Contacts),"
                                     " (SELECT Value FROM BookState WHERE Name = 'count')");
        if (st.step() != SQLITE_ROW)
            return false;
        lowest = st.int64(0);
        highest = st.int64(1);
        noted = st.int64(2);
    }
    if (noted < 4 * kRun || highest < lowest)
        return false;
    // Ranges of keys that hold about a run each, however sparse the keys.
    const qint64 span = std::max<qint64>(1, qint64(double(highest - lowest + 1) / double(noted) * kRun));
    const qint64 ranges = (highest - lowest) / span + 1;
    const int workers = int(readers.size());
    struct : Made
    {
        qint64 nextIn = 0; // the next range to read
    } sh;
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            try {
                Connection &cn = *readers[size_t(w)];
                QByteArray sql = QByteArray(select) + " WHERE c.ContactID >= ?1 AND c.ContactID < ?2";
                if (category)
                    sql += " AND c.Category = ?3";
                sql += " ORDER BY c.ContactID";
                Statement st(cn.handle(), sql);
                if (st.prepareResult() != SQLITE_OK)
                    cn.fail(st.prepareResult());
                if (category)
                    st.bind(3, choice.category);
                Rows rows(ContactCard::ColumnCount + 3);
                for (;;) {
                    std::unique_lock lock(sh.m);
                    // A few ranges ahead of the file at most: memory stays small.
                    sh.changed.wait(lock, [&] { return sh.stop || sh.nextIn >= ranges || sh.nextIn < sh.nextOut + 2 * workers; });
                    if (sh.stop || sh.nextIn >= ranges)
                        break;
                    const qint64 k = sh.nextIn++;
                    QByteArray bytes = sh.buffer();
                    lock.unlock();
                    rows.clear();
                    st.reset();
                    st.bind(1, lowest + k * span).bind(2, std::min(lowest + (k + 1) * span, highest + 1));
                    int rc;
                    while ((rc = st.step()) == SQLITE_ROW)
                        rows.add(st);
                    if (rc != SQLITE_DONE)
                        cn.fail(rc);
                    if (rows.count())
                        make(w, rows, bytes);
                    lock.lock();
                    sh.done.emplace(k, std::make_pair(std::move(bytes), rows.count()));
                    sh.changed.notify_all();
                }
            } catch (...) {
                sh.failed();
            }
        });
    }
    {
        qint64 told = 0;
        std::unique_lock lock(sh.m);
        while (sh.nextOut < ranges && !sh.stop) {
            sh.changed.wait(lock, [&] { return sh.stop || sh.done.count(sh.nextOut); });
            if (sh.stop || !sh.writeNext(lock, out, result))
                break;
            // How far through the keys: a category's share is not known ahead.
            if (progress && result.written - told >= kProgressEvery) {
                told = result.written;
                const qint64 at = sh.nextOut;
                lock.unlock();
                const bool going = progress(at, ranges);
                lock.lock();
                if (!going) {
                    result.cancelled = true;
                    sh.stop = true;
                    sh.changed.notify_all();
                }
            }
        }
    }
    for (std::thread &t : threads)
        t.join();
    if (sh.error)
        std::rethrow_exception(sh.error);
    return true;
}

// Reads the chosen contacts here, in runs, and has `make` turn each run into
// the file's bytes on threads of their own meanwhile (`maker` says which
// thread: each keeps its own state); the bytes are written here, in order.
// `make` gets an empty buffer to fill whose memory an earlier run used: runs
// and their bytes go round, so that a large book is not made of fresh memory
// run after run.
// `opened`: readers of readersOf() the caller has opened already, or none.
void pipeline(Connection &cn, const Choice &choice, const Progress &progress, Result &result, QIODevice &out,
              const Make &make, const char *select = kSelect, std::vector<SharedConnection> opened = {})
{
    if (choice.kind != Choice::Kind::Contacts) {
        const std::vector<SharedConnection> readers = opened.empty() ? readersOf(cn, makerCount()) : std::move(opened);
        if (!readers.empty() && pipelineSideBySide(readers, choice, progress, result, out, make, select))
            return;
    }
    const int columns = ContactCard::ColumnCount + 3;
    struct : Made
    {
        std::deque<std::pair<qint64, Rows>> todo; // runs by their place in the file
        std::vector<Rows> spareRows;              // runs made, for the next ones
        qint64 nextIn = 0;
        bool closed = false; // no more runs come
        int running = 0;
    } sh;
    const int makers = makerCount();
    std::vector<std::thread> threads;
    sh.running = makers;
    for (int maker = 0; maker < makers; ++maker) {
        threads.emplace_back([&, maker] {
            try {
                for (;;) {
                    std::unique_lock lock(sh.m);
                    sh.changed.wait(lock, [&] { return sh.stop || !sh.todo.empty() || sh.closed; });
                    if (sh.stop || sh.todo.empty())
                        break;
                    auto [place, rows] = std::move(sh.todo.front());
                    sh.todo.pop_front();
                    QByteArray bytes = sh.buffer();
                    lock.unlock();
                    make(maker, rows, bytes);
                    const int count = rows.count();
                    rows.clear();
                    lock.lock();
                    sh.done.emplace(place, std::make_pair(std::move(bytes), count));
                    sh.spareRows.push_back(std::move(rows));
                    sh.changed.notify_all();
                }
            } catch (...) {
                sh.failed();
            }
            std::lock_guard lock(sh.m);
            --sh.running;
            sh.changed.notify_all();
        });
    }
    // Writes what is made, in order (or drops it once the rest is not
    // wanted); false when it is not.
    auto writeDone = [&](std::unique_lock<std::mutex> &lock) {
        while (!sh.stop && sh.done.count(sh.nextOut))
            sh.writeNext(lock, out, result);
        if (sh.stop)
            sh.done.clear();
        return !sh.stop;
    };
    // Hands the run on and gives back an empty one to fill next.
    auto hand = [&](Rows &rows) {
        std::unique_lock lock(sh.m);
        // A few runs wait at most: memory stays small however large the book.
        for (;;) {
            if (!writeDone(lock))
                return false;
            if (sh.todo.size() <= size_t(makers))
                break;
            sh.changed.wait(lock, [&] {
                return sh.stop || sh.todo.size() <= size_t(makers) || sh.done.count(sh.nextOut);
            });
        }
        sh.todo.emplace_back(sh.nextIn++, std::move(rows));
        if (sh.spareRows.empty()) {
            rows = Rows(columns);
        } else {
            rows = std::move(sh.spareRows.back());
            sh.spareRows.pop_back();
        }
        sh.changed.notify_all();
        return true;
    };
    auto finish = [&](bool stop) {
        std::unique_lock lock(sh.m);
        sh.stop = sh.stop || stop;
        sh.closed = true;
        sh.changed.notify_all();
        for (;;) {
            writeDone(lock);
            if (!sh.running && !sh.done.count(sh.nextOut))
                break;
            sh.changed.wait(lock, [&] { return !sh.running || sh.done.count(sh.nextOut); });
        }
        lock.unlock();
        for (std::thread &t : threads)
            t.join();
    };
    Rows rows(columns);
    bool going = true;
    try {
        forEachContact(cn, choice, progress, result, [&](const Statement &st) {
            rows.add(st);
            if (rows.count() < kRun)
                return true;
            going = hand(rows);
            return going;
        }, select);
        if (going && !result.cancelled && rows.count())
            hand(rows);
    } catch (...) {
        finish(true);
        throw;
    }
    finish(result.cancelled);
    if (sh.error)
        std::rethrow_exception(sh.error);
}

Result writeCards(Connection &cn, QIODevice &out, VCard::Version version, const Choice &choice, const Progress &progress)
{
    Result result;
    const QByteArray now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toUtf8();
    // Each maker's own.
    struct State
    {
        explicit State(VCard::Version version) : w(version) {}
        VCard::Writer w;
        qint64 revSeconds = -1;
        QByteArray revText;
        QStringList columns = QStringList(ContactCard::ColumnCount);
        QByteArrayView stored[ContactCard::ColumnCount];
        Pictures pictures;
    };
    const size_t makers = size_t(makerCount());
    std::vector<State> states(makers, State(version));
    pipeline(cn, choice, progress, result, out, [&](int maker, const Rows &rows, QByteArray &bytes) {
        State &s = states[size_t(maker)];
        s.w.adopt(std::move(bytes));
        for (int i = 0; i < rows.count(); ++i) {
            const Rows::Row r = rows.row(i);
            // Many contacts share the second of their last change (an import).
            if (!r.isNull(13) && r.int64(13) != s.revSeconds) {
                s.revSeconds = r.int64(13);
                s.revText = QDateTime::fromSecsSinceEpoch(s.revSeconds, Qt::UTC)
                                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
                                .toUtf8();
            }
            const QByteArray &rev = r.isNull(13) ? now : s.revText;
            bool written = false;
            if (r.utf8(12).isEmpty()) {
                // Most contacts: written from the stored bytes, nothing converted.
                const QByteArray uid = uidOf(r).toUtf8();
                for (int c = 0; c < ContactCard::ColumnCount; ++c)
                    s.stored[c] = r.utf8(c);
                const QByteArray picture = s.stored[ContactCard::Picture].isEmpty()
                                               ? QByteArray()
                                               : s.pictures.read(s.stored[ContactCard::Picture]);
                written = ContactCard::ToCardFromStored(s.w, s.stored, uid, rev, picture);
            }
            if (!written) {
                readColumns(r, s.columns);
                ContactCard::ToCard(s.w, s.columns, uidOf(r), ContactCard::SplitKept(r.text(12)),
                                    QString::fromUtf8(rev), s.pictures.read(QFile::encodeName(s.columns.at(ContactCard::Picture))));
            }
        }
        bytes = s.w.take();
    });
    return result;
}

// The lists whose entries decide the web-mail layout's width.
const char kSelectLists[] = "SELECT c.Mails, c.Phones, c.Websites FROM Contacts c";

// Raises `most` to the entries each list of the statement's rows holds
// (kSelectLists' columns), counted in the stored bytes: a function of the
// engine called three times a contact weighed more than the counting.
void countEntries(Connection &cn, Statement &st, std::array<int, 3> &most)
{
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        for (int k = 0; k < 3; ++k)
            most[size_t(k)] = std::max(most[size_t(k)], StoredItemCount(st.utf8(k)));
    }
    if (rc != SQLITE_DONE)
        cn.fail(st.prepareResult() ? st.prepareResult() : rc);
}

// The most entries the chosen contacts' lists hold (mails, phones, web
// sites), counted by `readers` side by side, each over a share of the keys,
// for every contact or a category's.
std::array<int, 3> mostEntriesSideBySide(const std::vector<SharedConnection> &readers, const Choice &choice)
{
    QByteArray sql = QByteArray(kSelectLists) + " WHERE c.ContactID >= ?1 AND c.ContactID <= ?2";
    if (choice.kind == Choice::Kind::Category)
        sql += " AND c.Category = ?3";
    qint64 lowest = 0, highest = -1;
    {
        // Two lookups (both in one aggregate would walk the table).
        Statement st(readers.front()->handle(),
                     "SELECT (SELECT min(ContactID) FROM Contacts), (SELECT max(ContactID) FROM Contacts)");
        if (st.step() == SQLITE_ROW && !st.isNull(0)) {
            lowest = st.int64(0);
            highest = st.int64(1);
        }
    }
    const qint64 share = (highest - lowest) / qint64(readers.size()) + 1;
    std::vector<std::array<int, 3>> most(readers.size(), {0, 0, 0});
    std::vector<std::exception_ptr> failed(readers.size());
    std::vector<std::thread> threads;
    for (size_t r = 0; r < readers.size(); ++r) {
        threads.emplace_back([&, r] {
            try {
                Connection &cn = *readers[r];
                Statement st(cn.handle(), sql);
                if (st.prepareResult() != SQLITE_OK)
                    cn.fail(st.prepareResult());
                st.bind(1, lowest + qint64(r) * share).bind(2, std::min(highest, lowest + qint64(r + 1) * share - 1));
                if (choice.kind == Choice::Kind::Category)
                    st.bind(3, choice.category);
                countEntries(cn, st, most[r]);
            } catch (...) {
                failed[r] = std::current_exception();
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    std::array<int, 3> all = {0, 0, 0};
    for (size_t r = 0; r < readers.size(); ++r) {
        if (failed[r])
            std::rethrow_exception(failed[r]);
        for (size_t k = 0; k < 3; ++k)
            all[k] = std::max(all[k], most[r][k]);
    }
    return all;
}

// The web-mail layout has as many value columns as the fullest chosen contact
// needs: its lists counted, by the export's readers side by side when there
// are. Only the contacts with kept lines can need more than one address.
CsvMapping::Shape webMailShape(Connection &cn, const std::vector<SharedConnection> &readers, const Choice &choice)
{
    const bool sideBySide = !readers.empty() && choice.kind != Choice::Kind::Contacts;
    std::array<int, 3> most = sideBySide ? mostEntriesSideBySide(readers, choice) : std::array<int, 3>{};
    // The readers are in a transaction of their own already.
    Connection &on = sideBySide ? *readers.front() : cn;
    std::optional<Transaction> reading;
    if (!sideBySide)
        reading.emplace(cn.handle());
    QByteArray which;
    if (choice.kind == Choice::Kind::Category)
        which = " AND c.Category = ?1";
    else if (choice.kind == Choice::Kind::Contacts)
        which = " AND c.ContactID = ?1";
    Statement lists(on.handle(), QByteArray(kSelectLists) + " WHERE 1" + which);
    Statement kept(on.handle(), "SELECT c.Address, m.Kept FROM ContactMeta m CROSS JOIN Contacts c"
                                " ON c.ContactID = m.ContactID WHERE m.Kept <> ''" + which);
    CsvMapping::Shape shape;
    QStringList columns(ContactCard::ColumnCount);
    // Looks at the contacts the statements' ?1, bound by `bind`, picks.
    auto look = [&](const auto &bind) {
        for (Statement *st : {&lists, &kept}) {
            st->reset();
            bind(*st);
        }
        if (!sideBySide)
            countEntries(on, lists, most);
        int rc;
        while ((rc = kept.step()) == SQLITE_ROW) {
            columns[ContactCard::Address] = kept.text(0);
            shape.fit(columns, ContactCard::SplitKept(kept.text(1)));
        }
        if (rc != SQLITE_DONE)
            on.fail(kept.prepareResult() ? kept.prepareResult() : rc);
    };
    if (choice.kind == Choice::Kind::Contacts) {
        for (const qint64 id : choice.contacts)
            look([id](Statement &st) { st.bind(1, id); });
    } else if (choice.kind == Choice::Kind::Category) {
        look([&](Statement &st) { st.bind(1, choice.category); });
    } else {
        look([](Statement &) {});
    }
    shape.mails = qMax(shape.mails, most[0]);
    shape.phones = qMax(shape.phones, most[1]);
    shape.websites = qMax(shape.websites, most[2]);
    return shape;
}

Result writeCsv(Connection &cn, QIODevice &out, CsvMapping::ExportLayout layout, const Choice &choice,
                const Progress &progress)
{
    Result result;
    const size_t makers = size_t(makerCount());
    std::vector<QStringList> columns(makers, QStringList(ContactCard::ColumnCount));
    std::vector<SharedConnection> readers;
    if (choice.kind != Choice::Kind::Contacts)
        readers = readersOf(cn, makerCount());
    const CsvMapping::Shape shape =
        layout == CsvMapping::ExportLayout::WebMail ? webMailShape(cn, readers, choice) : CsvMapping::Shape();
    QByteArray header;
    {
        Csv::Writer w;
        w.row(CsvMapping::ExportHeader(layout, shape));
        header = w.take();
    }
    if (out.write(header) != header.size()) {
        result.failure = out.errorString();
        return result;
    }
    pipeline(cn, choice, progress, result, out, [&](int maker, const Rows &rows, QByteArray &bytes) {
        Csv::Writer w;
        w.adopt(std::move(bytes));
        QStringList &c = columns[size_t(maker)];
        QByteArrayView stored[ContactCard::ColumnCount];
        for (int i = 0; i < rows.count(); ++i) {
            // Most contacts: written from the stored bytes, nothing converted.
            const Rows::Row r = rows.row(i);
            for (int k = 0; k < ContactCard::ColumnCount; ++k)
                stored[k] = r.utf8(k);
            if (layout == CsvMapping::ExportLayout::Plain ? ContactCard::ToPlainCsvFromStored(w.buffer(), stored)
                                                          : r.utf8(12).isEmpty() &&
                                                                ContactCard::ToWebMailCsvFromStored(
                                                                    w.buffer(), stored, shape.mails, shape.phones,
                                                                    shape.addresses, shape.websites))
                continue;
            readColumns(r, c);
            w.row(CsvMapping::ExportRow(layout, c, ContactCard::SplitKept(r.text(12)), shape));
        }
        bytes = w.take();
    }, layout == CsvMapping::ExportLayout::Plain ? kSelectCsvPlain : kSelectCsvWebMail, std::move(readers));
    return result;
}

} // namespace

bool VersionFromName(const QString &name, VCard::Version &version)
{
    if (name == QLatin1String("vcard3"))
        version = VCard::Version::V30;
    else if (name == QLatin1String("vcard4"))
        version = VCard::Version::V40;
    else if (name == QLatin1String("vcard21"))
        version = VCard::Version::V21;
    else
        return false;
    return true;
}

bool FormatFromName(const QString &name, Format &format)
{
    static const struct
    {
        const char *name;
        Format format;
    } names[] = {{"vcard3", Format::VCard30}, {"vcard4", Format::VCard40}, {"vcard21", Format::VCard21},
                 {"csv-google", Format::CsvWebMail}, {"csv", Format::CsvPlain}};
    for (const auto &n : names) {
        if (name == QLatin1String(n.name)) {
            format = n.format;
            return true;
        }
    }
    return false;
}

Result Write(Connection &cn, QIODevice &out, Format format, const Choice &choice, const Progress &progress)
{
    switch (format) {
    case Format::VCard21:
        return writeCards(cn, out, VCard::Version::V21, choice, progress);
    case Format::VCard30:
        return writeCards(cn, out, VCard::Version::V30, choice, progress);
    case Format::VCard40:
        return writeCards(cn, out, VCard::Version::V40, choice, progress);
    case Format::CsvWebMail:
        return writeCsv(cn, out, CsvMapping::ExportLayout::WebMail, choice, progress);
    case Format::CsvPlain:
        return writeCsv(cn, out, CsvMapping::ExportLayout::Plain, choice, progress);
    }
    return Result();
}

Result Write(Connection &cn, QIODevice &out, VCard::Version version, const Choice &choice, const Progress &progress)
{
    return writeCards(cn, out, version, choice, progress);
}

Format FormatOf(VCard::Version version)
{
    return version == VCard::Version::V21 ? Format::VCard21
           : version == VCard::Version::V40 ? Format::VCard40
                                            : Format::VCard30;
}

namespace {

// A file that hands what it was given to the disk as it goes, so that the
// sync before it replaces the old file has only the last part left to wait
// for rather than the whole of a large export.
class EarlyWriteback : public QSaveFile
{
public:
    using QSaveFile::QSaveFile;

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 n = QSaveFile::writeData(data, size);
        if (n > 0)
            m_given += n;
        constexpr qint64 kStep = 16 << 20;
        if (m_given - m_started >= kStep && handle() >= 0) {
            ::sync_file_range(handle(), m_started, m_given - m_started, SYNC_FILE_RANGE_WRITE);
            m_started = m_given;
        }
        return n;
    }

private:
    qint64 m_given = 0, m_started = 0;
};

} // namespace

Result WriteFile(Connection &cn, const QString &path, Format format, const Choice &choice, const Progress &progress)
{
    EarlyWriteback file(path);
    Result result;
    if (!file.open(QIODevice::WriteOnly)) {
        result.failure = file.errorString();
        return result;
    }
    result = Write(cn, file, format, choice, progress);
    if (result.cancelled || !result.failure.isEmpty()) {
        file.cancelWriting();
        return result;
    }
    // The file replaced is let go of on a thread of its own: the file system
    // frees a large file's blocks as its last user closes it (70 ms for
    // 230 MB here), and nobody needs to wait for that.
    const int replaced = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (!file.commit())
        result.failure = file.errorString();
    if (replaced >= 0)
        std::thread([replaced] { ::close(replaced); }).detach();
    return result;
}

Result WriteFile(Connection &cn, const QString &path, VCard::Version version, const Choice &choice,
                 const Progress &progress)
{
    return WriteFile(cn, path, FormatOf(version), choice, progress);
}

} // namespace Export
