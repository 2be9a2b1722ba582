#pragma once

#include "sqlite/Database.h"

#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;

// One open contact database: case-insensitive like() for every letter is
// registered on it. Shared: whoever reads through it (a list fill running on
// the event loop) holds it, so it cannot close under them.
class Connection
{
public:
    // Opens (or, when the file does not exist, creates with the Contacts table)
    // the database at `path`. A file that is not a database or cannot be read is
    // left exactly as it is and reported with StoreError. `mapped`: pages are
    // read through a map of the file rather than copied in one system call
    // each; for a process that has no window (the command line), since
    // mapping a file that grows, or letting go of the map, holds up every
    // thread of the process.
    static std::shared_ptr<Connection> open(const QString &path, bool mapped = false);
    // Opens an existing database for reading only (nothing is created); for
    // work done on a thread of its own beside the shared connection.
    static std::shared_ptr<Connection> openForReading(const QString &path);
    // The same for a walk over the whole book (an export, the tree's letters):
    // its pages are read through a room of a few pages that is used over and
    // over (a tenth less time than a map of the file, or the usual large room,
    // where every page lands in memory the processor has not seen lately).
    static std::shared_ptr<Connection> openForWalking(const QString &path);

    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db.handle(); }
    QString path() const { return m_path; }
    // Makes the statement running on this connection stop soon with an
    // interruption error; may be called from any thread.
    void interrupt();

    // Whether the program's side tables (UIDs, the bin, undo) can be used on
    // this connection; when not, why (a newer version's book, a book that
    // cannot be written). Set by whoever opened it; usable by default.
    bool sideTablesUsable() const { return m_sideTablesProblem.isEmpty(); }
    QString sideTablesProblem() const { return m_sideTablesProblem; }
    void setSideTablesProblem(const QString &why) { m_sideTablesProblem = why; }

    // The engine's count of other connections' commits (PRAGMA data_version).
    qint64 dataVersion() const;
    // The data version up to which other connections' writes to Contacts
    // have been looked into (BookSchema::ChangedOutside); -1 for none.
    qint64 lookedIntoVersion() const { return m_lookedInto; }
    void setLookedIntoVersion(qint64 version) { m_lookedInto = version; }

    // Runs statements that return no rows; throws StoreError on failure.
    void exec(const QString &sql);
    // Throws StoreError with the engine's message for `rc` (after `what`).
    [[noreturn]] void fail(int rc, const QString &what = QString()) const;

private:
    Connection(Database db, const QString &path);
    static std::shared_ptr<Connection> openFile(const QString &path, Database::Mode mode, bool mapped = false);

    Database m_db;
    QString m_path;
    QString m_sideTablesProblem;
    qint64 m_lookedInto = -1;
};

using SharedConnection = std::shared_ptr<Connection>;

// The columns of Contacts, in table order.
const QStringList &ContactColumns();
