#include "store/Connection.h"

#include "sqlite/Statement.h"
#include "store/SearchText.h"
#include "store/SqlLike.h"
#include "store/StoreError.h"
#include "store/Uid.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

const char kCreateContacts[] =
    "CREATE TABLE IF NOT EXISTS Contacts ("
    "ContactID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "First_Name TEXT, Last_Name TEXT, Company TEXT, Address TEXT, Category TEXT, "
    "Phones TEXT, Mails TEXT, Websites TEXT, Notes TEXT, Date_Registed TEXT, Picture TEXT)";

// new_uid(): a new random contact UID, as it is stored.
void newUid(sqlite3_context *ctx, int, sqlite3_value **)
{
    const Uid::Stored uid = Uid::Create();
    sqlite3_result_blob(ctx, uid.bytes.constData(), int(uid.bytes.size()), SQLITE_TRANSIENT);
}

} // namespace

const QStringList &ContactColumns()
{
    static const QStringList columns = {
        QStringLiteral("ContactID"), QStringLiteral("First_Name"), QStringLiteral("Last_Name"),
        QStringLiteral("Company"),   QStringLiteral("Address"),    QStringLiteral("Category"),
        QStringLiteral("Phones"),    QStringLiteral("Mails"),      QStringLiteral("Websites"),
        QStringLiteral("Notes"),     QStringLiteral("Date_Registed"), QStringLiteral("Picture")};
    return columns;
}

Connection::Connection(Database db, const QString &path) : m_db(std::move(db)), m_path(path) {}

std::shared_ptr<Connection> Connection::openFile(const QString &path, Database::Mode mode, bool mapped)
{
    Database db;
    const int rc = db.open(path, mode);
    if (rc != SQLITE_OK)
        throw StoreError(rc, db.errorMessage(rc), path);
    {
        // A file that is not a database opens fine; the first read tells.
        Statement probe(db.handle(), "SELECT count(*) FROM sqlite_master");
        const int step = probe.step();
        if (step != SQLITE_ROW)
            throw StoreError(step, db.errorMessage(step), path);
    }
    // Only with no statement running: the engine refuses to replace a
    // function while one is.
    RegisterLike(db.handle());
    SearchText::Register(db.handle());
    // Room for the pages a large change touches (an import, its undo: the
    // UIDs' index is written all over); taken only as it is used.
    sqlite3_exec(db.handle(), "PRAGMA cache_size = -32768", nullptr, nullptr, nullptr);
    if (mapped)
        sqlite3_exec(db.handle(), "PRAGMA mmap_size = 2147418112", nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db.handle(), "new_uid", 0, SQLITE_UTF8, nullptr, newUid, nullptr, nullptr, nullptr);
    return std::shared_ptr<Connection>(new Connection(std::move(db), path));
}

std::shared_ptr<Connection> Connection::open(const QString &path, bool mapped)
{
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (!existed && !QDir().mkpath(info.absolutePath()))
        throw StoreError(SQLITE_CANTOPEN, QStringLiteral("The folder %1 cannot be created.").arg(info.absolutePath()),
                         path);
    // An existing file is opened without the create flag so that nothing is
    // made in its place if it disappears in between.
    auto cn = openFile(path, existed ? Database::Mode::ReadWrite : Database::Mode::ReadWriteCreate, mapped);
    cn->exec(QString::fromLatin1(kCreateContacts));
    return cn;
}

std::shared_ptr<Connection> Connection::openForReading(const QString &path)
{
    return openFile(path, Database::Mode::ReadOnly);
}

std::shared_ptr<Connection> Connection::openForWalking(const QString &path)
{
    std::shared_ptr<Connection> cn = openFile(path, Database::Mode::ReadOnly);
    // A walk reads each page once: a few pages' room, used over and over,
    // stays in the processor's caches, where fresh room for every page (or a
    // map of the whole file) costs a miss on each.
    sqlite3_exec(cn->handle(), "PRAGMA cache_size = 64", nullptr, nullptr, nullptr);
    return cn;
}

qint64 Connection::dataVersion() const
{
    Statement st(handle(), "PRAGMA data_version");
    const int rc = st.step();
    if (rc != SQLITE_ROW)
        fail(rc);
    return st.int64(0);
}

void Connection::interrupt()
{
    sqlite3_interrupt(m_db.handle());
}

void Connection::exec(const QString &sql)
{
    const int rc = m_db.exec(sql.toUtf8().constData());
    if (rc != SQLITE_OK)
        fail(rc);
}

void Connection::fail(int rc, const QString &what) const
{
    QString msg = m_db.errorMessage(rc);
    if (!what.isEmpty())
        msg = what + QStringLiteral(": ") + msg;
    throw StoreError(rc, msg, m_path);
}
