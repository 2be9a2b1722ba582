#include "sqlite/Statement.h"

#include "sqlite/TextSanitize.h"

#include <sqlite3.h>

#include <utility>

Statement::Statement(sqlite3 *db, QByteArrayView sql)
{
    const char *tail = nullptr;
    m_rc = db ? sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &m_stmt, &tail) : SQLITE_MISUSE;
    if (m_rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return;
    }
    if (!m_stmt) {
        m_rc = SQLITE_MISUSE; // only blanks or comments
        return;
    }
    const char *end = sql.data() + sql.size();
    while (tail && tail < end && (*tail == ' ' || *tail == '\n' || *tail == '\r' || *tail == '\t' || *tail == ';'))
        ++tail;
    m_tail = tail && tail < end;
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement &&other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr)), m_rc(other.m_rc), m_tail(other.m_tail),
      m_bound(std::move(other.m_bound))
{
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_rc = other.m_rc;
        m_tail = other.m_tail;
        m_bound = std::move(other.m_bound);
    }
    return *this;
}

Statement &Statement::bind(int index, qint64 value)
{
    if (m_stmt)
        sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

// Always text, the empty text included: NULL only by bindNull().
Statement &Statement::bind(int index, const QString &text)
{
    QByteArray utf8 = SanitizedText(text).toUtf8();
    if (!m_stmt || index < 1 || index > sqlite3_bind_parameter_count(m_stmt))
        return bindUtf8(index, utf8); // refused by the engine, as bindUtf8 has it
    const size_t at = size_t(index - 1);
    if (m_bound.size() <= at)
        m_bound.resize(at + 1);
    sqlite3_bind_text(m_stmt, index, utf8.isEmpty() ? "" : utf8.constData(), int(utf8.size()), SQLITE_STATIC);
    // The bytes bound before go only now that the engine no longer reads them.
    m_bound[at] = std::move(utf8);
    return *this;
}

Statement &Statement::bindUtf8(int index, QByteArrayView utf8)
{
    // A null pointer would bind NULL, not the empty text.
    if (m_stmt)
        sqlite3_bind_text(m_stmt, index, utf8.isEmpty() ? "" : utf8.data(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement &Statement::bindBlob(int index, const QByteArray &bytes)
{
    if (m_stmt) {
        if (bytes.isEmpty())
            sqlite3_bind_zeroblob(m_stmt, index, 0);
        else
            sqlite3_bind_blob(m_stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    return *this;
}

Statement &Statement::bindNull(int index)
{
    if (m_stmt)
        sqlite3_bind_null(m_stmt, index);
    return *this;
}

int Statement::step()
{
    return m_stmt ? sqlite3_step(m_stmt) : m_rc;
}

void Statement::reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

int Statement::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

const char *Statement::columnName(int column) const
{
    return m_stmt ? sqlite3_column_name(m_stmt, column) : nullptr;
}

int Statement::columnIndex(const char *name) const
{
    const int n = columnCount();
    for (int i = 0; i < n; ++i) {
        if (sqlite3_stricmp(sqlite3_column_name(m_stmt, i), name) == 0)
            return i;
    }
    return -1;
}

int Statement::columnType(int column) const
{
    return sqlite3_column_type(m_stmt, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QByteArrayView Statement::utf8(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return p ? QByteArrayView(p, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

QString Statement::text(int column) const
{
    const QByteArrayView v = utf8(column);
    return QString::fromUtf8(v.data(), v.size());
}

QByteArray Statement::blob(int column) const
{
    const void *p = sqlite3_column_blob(m_stmt, column);
    const int n = sqlite3_column_bytes(m_stmt, column);
    return p && n > 0 ? QByteArray(static_cast<const char *>(p), n) : QByteArray();
}
