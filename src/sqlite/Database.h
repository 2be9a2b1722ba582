#pragma once

#include <QByteArray>
#include <QString>

struct sqlite3;

// An owning handle of one SQLite connection, opened the one way the program
// opens its files: extended result codes on, a busy timeout for the other
// processes that may share the file. Nothing here throws: every call answers
// with the engine's result code.
class Database
{
public:
    enum class Mode { ReadOnly, ReadWrite, ReadWriteCreate };

    Database() = default;
    ~Database();
    Database(Database &&other) noexcept;
    Database &operator=(Database &&other) noexcept;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens `path`; SQLITE_OK or the engine's code, with errorMessage() set.
    // A failed open leaves the handle closed.
    int open(const QString &path, Mode mode, int busyTimeoutMs = 2000);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }

    // Runs statements that return no rows.
    int exec(const char *sql);
    // The engine's message for the last failure on this connection (or for
    // `rc` when the connection is closed).
    QString errorMessage(int rc = 0) const;

private:
    sqlite3 *m_db = nullptr;
    QString m_openError;
};
