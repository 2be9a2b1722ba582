#include "sqlite/Transaction.h"

#include <sqlite3.h>

#include <atomic>

Transaction::Transaction(sqlite3 *db) : m_db(db)
{
    if (!m_db) {
        m_beginRc = SQLITE_MISUSE;
        return;
    }
    if (sqlite3_get_autocommit(m_db)) {
        m_beginRc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    } else {
        static std::atomic<unsigned> next{0};
        m_savepoint = "sp" + QByteArray::number(++next);
        m_beginRc = sqlite3_exec(m_db, ("SAVEPOINT " + m_savepoint).constData(), nullptr, nullptr, nullptr);
    }
    m_active = m_beginRc == SQLITE_OK;
}

Transaction::~Transaction()
{
    rollback();
}

bool Transaction::commit()
{
    if (!m_active)
        return false;
    m_commitRc = sqlite3_exec(m_db, m_savepoint.isEmpty() ? "COMMIT" : ("RELEASE " + m_savepoint).constData(),
                              nullptr, nullptr, nullptr);
    if (m_commitRc != SQLITE_OK)
        return false;
    m_active = false;
    return true;
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_savepoint.isEmpty()) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        // Back to where the savepoint began, and the savepoint gone.
        sqlite3_exec(m_db, ("ROLLBACK TO " + m_savepoint + "; RELEASE " + m_savepoint).constData(), nullptr, nullptr,
                     nullptr);
    }
}
