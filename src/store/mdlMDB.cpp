#include "store/mdlMDB.h"

#include "app/AppContext.h"
#include "store/SqlLike.h"
#include "store/TextSanitize.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

const char kCreateContacts[] =
    "CREATE TABLE IF NOT EXISTS Contacts ("
    "ContactID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "First_Name TEXT, Last_Name TEXT, Company TEXT, Address TEXT, Category TEXT, "
    "Phones TEXT, Mails TEXT, Websites TEXT, Notes TEXT, Date_Registed TEXT, Picture TEXT)";

QString engineMessage(sqlite3 *db, int rc)
{
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

void bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
        return;
    case QMetaType::Double:
        sqlite3_bind_double(stmt, index, value.toDouble());
        return;
    default: {
        const QByteArray bytes = SanitizedText(value.toString()).toUtf8();
        sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    }
}

} // namespace

StoreError::StoreError(int code, const QString &message, const QString &file)
    : std::runtime_error(message.toStdString()), m_code(code), m_message(message), m_file(file)
{
}

const QStringList &ContactColumns()
{
    static const QStringList columns = {
        QStringLiteral("ContactID"), QStringLiteral("First_Name"), QStringLiteral("Last_Name"),
        QStringLiteral("Company"),   QStringLiteral("Address"),    QStringLiteral("Category"),
        QStringLiteral("Phones"),    QStringLiteral("Mails"),      QStringLiteral("Websites"),
        QStringLiteral("Notes"),     QStringLiteral("Date_Registed"), QStringLiteral("Picture")};
    return columns;
}

// --- Connection ---------------------------------------------------------------------------

Connection::Connection(sqlite3 *db, const QString &path) : m_db(db), m_path(path) {}

Connection::~Connection()
{
    sqlite3_close_v2(m_db);
}

std::unique_ptr<Connection> Connection::open(const QString &path)
{
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (!existed && !QDir().mkpath(info.absolutePath()))
        throw StoreError(SQLITE_CANTOPEN, QStringLiteral("The folder %1 cannot be created.").arg(info.absolutePath()),
                         path);

    // An existing file is opened without the create flag so that nothing is
    // made in its place if it disappears in between.
    const int flags = SQLITE_OPEN_READWRITE | (existed ? 0 : SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = engineMessage(db, rc);
        sqlite3_close_v2(db);
        throw StoreError(rc, msg, path);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    std::unique_ptr<Connection> cn(new Connection(db, path));

    // A file that is not a database opens fine; the first read tells.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw StoreError(rc, engineMessage(db, rc), path);

    RegisterLike(db);
    cn->exec(QString::fromLatin1(kCreateContacts));
    return cn;
}

std::unique_ptr<Connection> Connection::openForReading(const QString &path)
{
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = engineMessage(db, rc);
        sqlite3_close_v2(db);
        throw StoreError(rc, msg, path);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    std::unique_ptr<Connection> cn(new Connection(db, path));
    RegisterLike(db);
    return cn;
}

void Connection::interrupt()
{
    sqlite3_interrupt(m_db);
}

void Connection::exec(const QString &sql)
{
    char *err = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString msg = err ? QString::fromUtf8(err) : engineMessage(m_db, rc);
        sqlite3_free(err);
        throw StoreError(rc, msg, m_path);
    }
}

void Connection::fail(int rc, const QString &what) const
{
    QString msg = engineMessage(m_db, rc);
    if (!what.isEmpty())
        msg = what + QStringLiteral(": ") + msg;
    throw StoreError(rc, msg, m_path);
}

// --- Recordset ----------------------------------------------------------------------------

Recordset::Recordset(Connection &cn) : m_cn(cn) {}

Recordset::~Recordset()
{
    close();
}

namespace {

// Rows a slice spans at most: a step over a slice in which nothing matches
// takes a few milliseconds even when every row is compared nine times.
constexpr qint64 kSliceKeys = 8192;

// Whether a statement is a filtered whole-row query on Contacts that reads the
// same rows in the same order when its key range is cut into slices: no
// ordering, grouping, limit, compound or join outside its quoted texts. (Every
// row of the whole table comes at once anyway: that one is not cut.)
bool sliceable(const QByteArray &sql)
{
    static const QByteArray head = "SELECT * FROM Contacts WHERE ";
    if (!sql.startsWith(head))
        return false;
    const QByteArray rest = sql.mid(head.size() - 1);
    static const char *const refused[] = {"ORDER", "GROUP", "LIMIT", "OFFSET", "UNION", "INTERSECT", "EXCEPT",
                                          "JOIN", "DISTINCT", "HAVING", "WINDOW", "SELECT", "FROM"};
    QByteArray word;
    bool quoted = false;
    auto refusedWord = [&] {
        for (const char *r : refused) {
            if (word.compare(r, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    };
    for (const char c : rest + ' ') {
        if (quoted) {
            if (c == '\'')
                quoted = false; // a doubled quote closes and opens again
            continue;
        }
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (letter) {
            word += c;
            continue;
        }
        if (refusedWord())
            return false;
        word.clear();
        if (c == '\'')
            quoted = true;
        else if (c == ';' || c == '"' || c == '[' || c == '`')
            return false;
    }
    return !quoted;
}

// The last key of the slice that starts at `from`.
qint64 sliceEnd(qint64 from, qint64 last)
{
    return quint64(last) - quint64(from) < quint64(kSliceKeys) ? last : from + kSliceKeys - 1;
}

// The lowest or highest key of Contacts; false when the table is empty.
bool keyBound(sqlite3 *db, const char *sql, qint64 &out)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        return false;
    const bool ok = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL;
    if (ok)
        out = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return ok;
}

} // namespace

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
    close();
    const QByteArray sql = statement.toUtf8();
    const char *tail = nullptr;
    int rc = sqlite3_prepare_v2(m_cn.handle(), sql.constData(), int(sql.size()), &m_stmt, &tail);
    if (rc != SQLITE_OK) {
        m_stmt = nullptr;
        m_cn.fail(rc);
    }
    if (!m_stmt)
        throw StoreError(SQLITE_MISUSE, QStringLiteral("The statement is empty."), m_cn.path());
    if (tail && *tail && QByteArray(tail).trimmed().size() > 0) {
        close();
        throw StoreError(SQLITE_MISUSE, QStringLiteral("Only one statement may be run at a time."), m_cn.path());
    }
    if (m_between && sliceable(sql)) {
        // The same statement narrowed to a key range; the engine folds the
        // two into one range search on the key.
        const QByteArray narrowed = "SELECT * FROM (" + sql + ") WHERE ContactID BETWEEN ?1 AND ?2";
        sqlite3_stmt *sliced = nullptr;
        qint64 first = 0;
        if (sqlite3_prepare_v2(m_cn.handle(), narrowed.constData(), int(narrowed.size()), &sliced, nullptr) ==
            SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = sliced;
            m_sliced = true;
            if (keyBound(m_cn.handle(), "SELECT min(ContactID) FROM Contacts", first) &&
                keyBound(m_cn.handle(), "SELECT max(ContactID) FROM Contacts", m_lastKey)) {
                m_sliceFrom = first;
                sqlite3_bind_int64(m_stmt, 1, m_sliceFrom);
                sqlite3_bind_int64(m_stmt, 2, sliceEnd(m_sliceFrom, m_lastKey));
            } else {
                // An empty table: one empty slice.
                m_sliceFrom = m_lastKey = 0;
                sqlite3_bind_int64(m_stmt, 1, 1);
                sqlite3_bind_int64(m_stmt, 2, 0);
            }
        } else {
            sqlite3_finalize(sliced);
        }
    }
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

// Moves on to the next slice of keys; false when there is none, or when the
// caller's `between` ends the reading.
bool Recordset::nextSlice()
{
    const qint64 done = sliceEnd(m_sliceFrom, m_lastKey);
    if (done >= m_lastKey)
        return false;
    sqlite3_reset(m_stmt);
    if (!m_between())
        return false;
    m_sliceFrom = done + 1;
    sqlite3_bind_int64(m_stmt, 1, m_sliceFrom);
    sqlite3_bind_int64(m_stmt, 2, sliceEnd(m_sliceFrom, m_lastKey));
    return true;
}

void Recordset::step()
{
    int rc = sqlite3_step(m_stmt);
    while (m_sliced && rc == SQLITE_DONE && nextSlice())
        rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        m_atEnd = false;
        m_key = m_keyColumn >= 0 && sqlite3_column_type(m_stmt, m_keyColumn) != SQLITE_NULL
                    ? sqlite3_column_int64(m_stmt, m_keyColumn)
                    : -1;
        return;
    }
    m_atEnd = true;
    m_key = -1;
    if (rc != SQLITE_DONE) {
        const int code = rc;
        sqlite3_reset(m_stmt);
        m_cn.fail(code);
    }
}

void Recordset::moveNext()
{
    if (!m_stmt || m_atEnd)
        throw StoreError(SQLITE_MISUSE, QStringLiteral("There is no current row."), m_cn.path());
    m_pending.clear();
    m_adding = false;
    step();
}

void Recordset::close()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_atEnd = true;
    m_adding = false;
    m_key = -1;
    m_keyColumn = -1;
    m_pending.clear();
    m_sliced = false;
}

int Recordset::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

int Recordset::columnIndex(const char *name) const
{
    if (!m_stmt)
        return -1;
    const int n = sqlite3_column_count(m_stmt);
    for (int i = 0; i < n; ++i) {
        if (sqlite3_stricmp(sqlite3_column_name(m_stmt, i), name) == 0)
            return i;
    }
    return -1;
}

void Recordset::requireCurrent(const char *operation) const
{
    if (!m_stmt || m_atEnd)
        throw StoreError(SQLITE_NOTFOUND,
                         QStringLiteral("%1: there is no current row; the contact no longer exists in the database.")
                             .arg(QLatin1String(operation)),
                         m_cn.path());
}

QVariant Recordset::field(int column) const
{
    requireCurrent("Reading a field");
    if (column < 0 || column >= sqlite3_column_count(m_stmt))
        throw StoreError(SQLITE_RANGE, QStringLiteral("No such column."), m_cn.path());
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_stmt, column)),
                          sqlite3_column_bytes(m_stmt, column));
    default:
        return text(column);
    }
}

QVariant Recordset::field(const char *name) const
{
    const int column = columnIndex(name);
    if (column < 0)
        throw StoreError(SQLITE_RANGE, QStringLiteral("No column named %1.").arg(QLatin1String(name)), m_cn.path());
    return field(column);
}

QString Recordset::text(int column) const
{
    const QByteArrayView bytes = utf8(column);
    return QString::fromUtf8(bytes.data(), bytes.size());
}

QString Recordset::text(const char *name) const
{
    const int column = columnIndex(name);
    if (column < 0)
        throw StoreError(SQLITE_RANGE, QStringLiteral("No column named %1.").arg(QLatin1String(name)), m_cn.path());
    return text(column);
}

bool Recordset::isNull(int column) const
{
    requireCurrent("Reading a field");
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QByteArrayView Recordset::utf8(int column) const
{
    requireCurrent("Reading a field");
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!p)
        return QByteArrayView();
    return QByteArrayView(p, sqlite3_column_bytes(m_stmt, column));
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
    sqlite3_stmt *st = nullptr;
    const QByteArray utf8Sql = sql.toUtf8();
    int rc = sqlite3_prepare_v2(m_cn.handle(), utf8Sql.constData(), int(utf8Sql.size()), &st, nullptr);
    if (rc != SQLITE_OK)
        m_cn.fail(rc);
    int i = 1;
    for (const auto &p : m_pending)
        bindValue(st, i++, p.second);
    if (!m_adding)
        sqlite3_bind_int64(st, i, m_key);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        m_cn.fail(rc);
    if (m_adding) {
        m_key = sqlite3_last_insert_rowid(m_cn.handle());
    } else if (sqlite3_changes(m_cn.handle()) == 0) {
        throw StoreError(SQLITE_NOTFOUND, QStringLiteral("The contact no longer exists in the database."),
                         m_cn.path());
    }
    m_pending.clear();
    m_adding = false;
}

void Recordset::deleteCurrent()
{
    requireCurrent("Deleting the row");
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(m_cn.handle(), "DELETE FROM Contacts WHERE ContactID=?", -1, &st, nullptr);
    if (rc != SQLITE_OK)
        m_cn.fail(rc);
    sqlite3_bind_int64(st, 1, m_key);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        m_cn.fail(rc);
    if (sqlite3_changes(m_cn.handle()) == 0)
        throw StoreError(SQLITE_NOTFOUND, QStringLiteral("The contact no longer exists in the database."),
                         m_cn.path());
}

// --- The shared connection ----------------------------------------------------------------

SharedConnection &SharedDb()
{
    static SharedConnection shared;
    return shared;
}

void mdlMDB::OpenDatabase(const QString &relativePath, SharedConnection &cn)
{
    cn.reset();
    cn = Connection::open(AppFilePath(relativePath));
}

void mdlMDB::CloseDatabase(SharedConnection &cn)
{
    cn.reset();
}
