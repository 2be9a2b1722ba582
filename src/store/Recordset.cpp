#include "store/Recordset.h"

#include "store/Connection.h"
#include "store/Statements.h"
#include "store/StoreError.h"

#include <sqlite3.h>

namespace {

// Rows a slice spans at most: a step over a slice in which nothing matches
// takes a few milliseconds even when every row is compared nine times.
constexpr qint64 kSliceKeys = 8192;

// The last key of the slice that starts at `from`.
qint64 sliceEnd(qint64 from, qint64 last)
{
    return quint64(last) - quint64(from) < quint64(kSliceKeys) ? last : from + kSliceKeys - 1;
}

// The lowest or highest key of Contacts; false when the table is empty.
bool keyBound(sqlite3 *db, const char *sql, qint64 &out)
{
    Statement st(db, sql);
    if (st.step() != SQLITE_ROW || st.isNull(0))
        return false;
    out = st.int64(0);
    return true;
}

void bindValue(Statement &st, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        st.bindNull(index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        st.bind(index, qint64(value.toLongLong()));
        return;
    default:
        st.bind(index, value.toString());
    }
}

const QString kGone = QStringLiteral("The contact no longer exists in the database.");

} // namespace

Recordset::Recordset(Connection &cn) : m_cn(cn) {}

void Recordset::open(const QString &statement)
{
    prepare(statement);
    start();
}

void Recordset::readInSlices(std::function<bool()> between)
{
    m_between = std::move(between);
}

void Recordset::prepare(const QString &statement)
{
    prepareStatement(statement, false);
}

void Recordset::prepare(const Statements::Query &query)
{
    prepareStatement(query.text, query.sliceable && m_between);
}

void Recordset::prepareStatement(const QString &statement, bool sliceable)
{
    close();
    const QByteArray sql = statement.toUtf8();
    Statement st(m_cn.handle(), sql);
    if (st.prepareResult() == SQLITE_MISUSE && !st.isPrepared())
        throw StoreError(SQLITE_MISUSE, QStringLiteral("The statement is empty."), m_cn.path());
    if (!st.isPrepared())
        m_cn.fail(st.prepareResult());
    if (st.hadTail())
        throw StoreError(SQLITE_MISUSE, QStringLiteral("Only one statement may be run at a time."), m_cn.path());
    if (sliceable) {
        // The same statement narrowed to a key range; the engine folds the
        // two into one range search on the key.
        Statement sliced(m_cn.handle(), "SELECT * FROM (" + sql + ") WHERE ContactID BETWEEN ?1 AND ?2");
        if (sliced.isPrepared()) {
            qint64 first = 0;
            if (keyBound(m_cn.handle(), "SELECT min(ContactID) FROM Contacts", first) &&
                keyBound(m_cn.handle(), "SELECT max(ContactID) FROM Contacts", m_lastKey)) {
                m_sliceFrom = first;
                sliced.bind(1, m_sliceFrom).bind(2, sliceEnd(m_sliceFrom, m_lastKey));
            } else {
                // An empty table: one empty slice.
                m_sliceFrom = m_lastKey = 0;
                sliced.bind(1, 1).bind(2, 0);
            }
            st = std::move(sliced);
            m_sliced = true;
        }
    }
    m_stmt.emplace(std::move(st));
    m_keyColumn = columnIndex("ContactID");
    m_atEnd = true;
}

void Recordset::start()
{
    if (!m_stmt)
        throw StoreError(SQLITE_MISUSE, QStringLiteral("The record set is not open."), m_cn.path());
    m_atEnd = false;
    step();
}

// The first key of the slice after the current one: the next key there is,
// so that a stretch without keys costs no slices; false when none is left.
bool Recordset::advanceSlice()
{
    const qint64 done = sliceEnd(m_sliceFrom, m_lastKey);
    if (done >= m_lastKey)
        return false;
    Statement next(m_cn.handle(), "SELECT min(ContactID) FROM Contacts WHERE ContactID > ?1");
    next.bind(1, done);
    if (next.step() != SQLITE_ROW || next.isNull(0) || next.int64(0) > m_lastKey)
        return false;
    m_sliceFrom = next.int64(0);
    m_stmt->bind(1, m_sliceFrom).bind(2, sliceEnd(m_sliceFrom, m_lastKey));
    return true;
}

// Moves on to the next slice of keys; false when there is none, or when the
// caller's `between` asks for a pause.
bool Recordset::nextSlice()
{
    if (sliceEnd(m_sliceFrom, m_lastKey) >= m_lastKey)
        return false;
    m_stmt->reset();
    if (!m_between()) {
        m_paused = true;
        return false;
    }
    return advanceSlice();
}

void Recordset::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    if (!advanceSlice()) {
        m_atEnd = true;
        return;
    }
    step();
}

void Recordset::step()
{
    int rc = m_stmt->step();
    while (m_sliced && rc == SQLITE_DONE && nextSlice())
        rc = m_stmt->step();
    if (rc == SQLITE_ROW) {
        m_atEnd = false;
        m_key = m_keyColumn >= 0 && !m_stmt->isNull(m_keyColumn) ? m_stmt->int64(m_keyColumn) : -1;
        return;
    }
    m_key = -1;
    if (m_paused) {
        m_atEnd = false;
        return;
    }
    m_atEnd = true;
    if (rc != SQLITE_DONE) {
        m_stmt->reset();
        m_cn.fail(rc);
    }
}

void Recordset::moveNext()
{
    if (!m_stmt || m_atEnd || m_paused)
        throw StoreError(SQLITE_MISUSE, QStringLiteral("There is no current row."), m_cn.path());
    m_pending.clear();
    m_adding = false;
    step();
}

void Recordset::close()
{
    m_stmt.reset();
    m_atEnd = true;
    m_adding = false;
    m_paused = false;
    m_key = -1;
    m_keyColumn = -1;
    m_pending.clear();
    m_sliced = false;
}

int Recordset::columnCount() const
{
    return m_stmt ? m_stmt->columnCount() : 0;
}

int Recordset::columnIndex(const char *name) const
{
    return m_stmt ? m_stmt->columnIndex(name) : -1;
}

int Recordset::requireColumn(const char *name) const
{
    const int column = columnIndex(name);
    if (column < 0)
        throw StoreError(SQLITE_RANGE, QStringLiteral("No column named %1.").arg(QLatin1String(name)), m_cn.path());
    return column;
}

void Recordset::requireCurrent(const char *operation) const
{
    if (!m_stmt || m_atEnd || m_paused)
        throw StoreError(SQLITE_NOTFOUND,
                         QStringLiteral("%1: there is no current row; the contact no longer exists in the database.")
                             .arg(QLatin1String(operation)),
                         m_cn.path());
}

QVariant Recordset::field(int column) const
{
    requireCurrent("Reading a field");
    if (column < 0 || column >= m_stmt->columnCount())
        throw StoreError(SQLITE_RANGE, QStringLiteral("No such column."), m_cn.path());
    switch (m_stmt->columnType(column)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qlonglong(m_stmt->int64(column)));
    case SQLITE_FLOAT:
        return QVariant(m_stmt->real(column));
    case SQLITE_BLOB:
        return m_stmt->blob(column);
    default:
        return text(column);
    }
}

QVariant Recordset::field(const char *name) const
{
    return field(requireColumn(name));
}

QString Recordset::text(int column) const
{
    const QByteArrayView bytes = utf8(column);
    return QString::fromUtf8(bytes.data(), bytes.size());
}

QString Recordset::text(const char *name) const
{
    return text(requireColumn(name));
}

bool Recordset::isNull(int column) const
{
    requireCurrent("Reading a field");
    return m_stmt->isNull(column);
}

QByteArrayView Recordset::utf8(int column) const
{
    requireCurrent("Reading a field");
    return m_stmt->utf8(column);
}

void Recordset::addNew()
{
    if (!m_stmt)
        throw StoreError(SQLITE_MISUSE, QStringLiteral("The record set is not open."), m_cn.path());
    m_pending.clear();
    m_adding = true;
}

void Recordset::setField(const char *name, const QVariant &value)
{
    if (!m_adding)
        requireCurrent("Changing a field");
    const QString column = QString::fromLatin1(name);
    if (!ContactColumns().contains(column, Qt::CaseInsensitive) ||
        column.compare(QLatin1String("ContactID"), Qt::CaseInsensitive) == 0)
        throw StoreError(SQLITE_RANGE, QStringLiteral("The column %1 cannot be written.").arg(column), m_cn.path());
    for (auto &p : m_pending) {
        if (p.first.compare(column, Qt::CaseInsensitive) == 0) {
            p.second = value;
            return;
        }
    }
    m_pending.emplace_back(column, value);
}

void Recordset::update()
{
    if (!m_adding)
        requireCurrent("Saving the row");
    if (m_pending.empty() && !m_adding)
        return;
    QString sql;
    if (m_adding) {
        QStringList names, marks;
        for (const auto &p : m_pending) {
            names << p.first;
            marks << QStringLiteral("?");
        }
        sql = names.isEmpty() ? QStringLiteral("INSERT INTO Contacts DEFAULT VALUES")
                              : QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)")
                                    .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    } else {
        QStringList sets;
        for (const auto &p : m_pending)
            sets << p.first + QStringLiteral("=?");
        sql = QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID=?").arg(sets.join(QLatin1Char(',')));
    }
    Statement st(m_cn.handle(), sql.toUtf8());
    if (!st.isPrepared())
        m_cn.fail(st.prepareResult());
    int i = 1;
    for (const auto &p : m_pending)
        bindValue(st, i++, p.second);
    if (!m_adding)
        st.bind(i, m_key);
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        m_cn.fail(rc);
    if (m_adding) {
        m_key = sqlite3_last_insert_rowid(m_cn.handle());
    } else if (sqlite3_changes(m_cn.handle()) == 0) {
        throw StoreError(SQLITE_NOTFOUND, kGone, m_cn.path());
    }
    m_pending.clear();
    m_adding = false;
}

void Recordset::deleteCurrent()
{
    requireCurrent("Deleting the row");
    Statement st(m_cn.handle(), "DELETE FROM Contacts WHERE ContactID=?");
    const int rc = st.bind(1, m_key).step();
    if (rc != SQLITE_DONE)
        m_cn.fail(rc);
    if (sqlite3_changes(m_cn.handle()) == 0)
        throw StoreError(SQLITE_NOTFOUND, kGone, m_cn.path());
}
