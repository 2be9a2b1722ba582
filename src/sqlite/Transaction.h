#pragma once

#include <QByteArray>

struct sqlite3;

// A change that happens whole or not at all: BEGIN IMMEDIATE ... COMMIT, rolled
// back unless committed. Opened while another transaction runs on the same
// connection it is a savepoint inside it: its own rollback undoes only its
// part, and the outer one decides in the end.
class Transaction
{
public:
    explicit Transaction(sqlite3 *db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // False when it could not begin (the file is locked or read-only).
    bool active() const { return m_active; }
    // The result of BEGIN (or SAVEPOINT).
    int beginResult() const { return m_beginRc; }
    // True when committed (or released into the outer transaction).
    bool commit();
    // The result of the last commit attempt.
    int commitResult() const { return m_commitRc; }
    void rollback();

private:
    sqlite3 *m_db;
    QByteArray m_savepoint; // empty for an outermost transaction
    bool m_active = false;
    int m_beginRc = 0;
    int m_commitRc = 0;
};
