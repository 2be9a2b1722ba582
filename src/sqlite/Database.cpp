#include "sqlite/Database.h"

#include <QFile>

#include <sqlite3.h>

#include <utility>

Database::~Database()
{
    close();
}

Database::Database(Database &&other) noexcept : m_db(std::exchange(other.m_db, nullptr)) {}

Database &Database::operator=(Database &&other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
    }
    return *this;
}

int Database::open(const QString &path, Mode mode, int busyTimeoutMs)
{
    close();
    const int flags = mode == Mode::ReadOnly          ? SQLITE_OPEN_READONLY
                      : mode == Mode::ReadWrite       ? SQLITE_OPEN_READWRITE
                                                      : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(name.constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        m_openError = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return rc;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    m_db = db;
    m_openError.clear();
    return SQLITE_OK;
}

void Database::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

int Database::exec(const char *sql)
{
    if (!m_db)
        return SQLITE_MISUSE;
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

QString Database::errorMessage(int rc) const
{
    if (m_db)
        return QString::fromUtf8(sqlite3_errmsg(m_db));
    if (!m_openError.isEmpty())
        return m_openError;
    return QString::fromUtf8(sqlite3_errstr(rc));
}
