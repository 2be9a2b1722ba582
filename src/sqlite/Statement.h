#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement. Binding counts from 1, columns from 0 (as the
// engine does). Text is bound as UTF-8 with NULs dropped and lone surrogates
// replaced (the engine would cut or refuse them otherwise). A statement that
// failed to prepare answers every step with the preparation's code.
class Statement
{
public:
    Statement(sqlite3 *db, QByteArrayView sql);
    ~Statement();
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // SQLITE_OK when prepared.
    int prepareResult() const { return m_rc; }
    bool isPrepared() const { return m_stmt != nullptr; }
    // True when text beyond the first statement was given (and ignored).
    bool hadTail() const { return m_tail; }

    Statement &bind(int index, qint64 value);
    Statement &bind(int index, const QString &text);
    Statement &bindUtf8(int index, QByteArrayView utf8);
    Statement &bindBlob(int index, const QByteArray &bytes);
    Statement &bindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Ready to step again from the start; the bindings stay.
    void reset();

    int columnCount() const;
    const char *columnName(int column) const;
    // Index of the named column (compared without regard to case), or -1.
    int columnIndex(const char *name) const;
    int columnType(int column) const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    // The raw bytes of a text column, valid until the next step or reset.
    QByteArrayView utf8(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;

    sqlite3_stmt *handle() const { return m_stmt; }

private:
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc = 0;
    bool m_tail = false;
    // Text bound by bind(), by parameter: the engine reads it from here
    // rather than from a copy of its own.
    std::vector<QByteArray> m_bound;
};
