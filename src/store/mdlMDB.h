#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// An engine failure: the engine's own message, the file it concerns and its
// extended result code. Store operations throw it; the window that started the
// user action catches it, shows the message and abandons the action.
class StoreError : public std::runtime_error
{
public:
    StoreError(int code, const QString &message, const QString &file = QString());
    int code() const { return m_code; }
    QString message() const { return m_message; }
    QString file() const { return m_file; }

private:
    int m_code;
    QString m_message;
    QString m_file;
};

// One open database file. Case-insensitive like() for every letter is
// registered on it, extended result codes are on.
class Connection
{
public:
    // Opens (or, when the file does not exist, creates with the Contacts table)
    // the database at `path`. A file that is not a database or cannot be read is
    // left exactly as it is and reported with StoreError.
    static std::unique_ptr<Connection> open(const QString &path);
    // Opens an existing database for reading only (nothing is created); for
    // work done on a thread of its own beside the shared connection.
    static std::unique_ptr<Connection> openForReading(const QString &path);
    ~Connection();

    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db; }
    // Makes the statement running on this connection stop soon with an
    // interruption error; may be called from any thread.
    void interrupt();
    QString path() const { return m_path; }

    // Runs statements that return no rows; throws StoreError on failure.
    void exec(const QString &sql);
    [[noreturn]] void fail(int rc, const QString &what = QString()) const;

private:
    Connection(sqlite3 *db, const QString &path);
    sqlite3 *m_db;
    QString m_path;
};

// A forward-only record set on one catalogue statement with the operations the
// program relies on. Update and delete act on the current row, found by its
// ContactID. Columns are looked up by name once; row reads go by index.
class Recordset
{
public:
    explicit Recordset(Connection &cn);
    ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    void open(const QString &statement);
    // open() in two steps: prepare() reports what is wrong with the statement
    // itself, start() reads the first row.
    void prepare(const QString &statement);
    void start();
    bool atEnd() const { return m_atEnd; }

    // Set before prepare(): a whole-row statement on Contacts ("SELECT * FROM
    // Contacts" with a WHERE clause at most) is then read in slices of the key
    // range, in the same order, so that no single step walks more than a slice
    // of the table, however few rows match. `between` runs between two slices,
    // when no step is in progress (so it may use the connection); when it
    // returns false the record set ends there. Other statements are read whole.
    void readInSlices(std::function<bool()> between);
    void moveNext();
    void close();

    int columnCount() const;
    // Index of the named column in the result, or -1.
    int columnIndex(const char *name) const;

    // The current row's value of a column: null, text or number.
    QVariant field(const char *name) const;
    QVariant field(int column) const;
    // The value as text; null gives the empty text.
    QString text(const char *name) const;
    QString text(int column) const;
    bool isNull(int column) const;
    // The raw UTF-8 bytes of a column, valid until the next move.
    QByteArrayView utf8(int column) const;

    void addNew();
    void setField(const char *name, const QVariant &value);
    void update();
    void deleteCurrent();

    // The key of the current row (or of the row just added).
    qint64 currentKey() const { return m_key; }

private:
    void step();
    bool nextSlice();
    void requireCurrent(const char *operation) const;

    Connection &m_cn;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_atEnd = true;
    bool m_adding = false;
    qint64 m_key = -1;
    int m_keyColumn = -1;
    std::vector<std::pair<QString, QVariant>> m_pending;
    std::function<bool()> m_between;
    bool m_sliced = false;
    qint64 m_sliceFrom = 0; // the current slice's first key
    qint64 m_lastKey = 0;   // the table's highest key when the statement started
};

// The process's one connection, alive from the main window's load to its unload.
using SharedConnection = std::unique_ptr<Connection>;
SharedConnection &SharedDb();

namespace mdlMDB {
// Opens application folder + relativePath into `cn`; throws StoreError.
void OpenDatabase(const QString &relativePath, SharedConnection &cn);
// Closes and releases the connection; the reference becomes empty.
void CloseDatabase(SharedConnection &cn);
} // namespace mdlMDB

// The columns of Contacts, in table order.
const QStringList &ContactColumns();
