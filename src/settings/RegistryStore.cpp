#include "settings/RegistryStore.h"

#include "sqlite/Database.h"
#include "sqlite/Statement.h"
#include "sqlite/TextSanitize.h"
#include "sqlite/Transaction.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>

#include <sqlite3.h>

using namespace Reg;

namespace {

// 'ARGS' in the file header tells our store files from other SQLite files.
constexpr int kApplicationId = 0x41524753;
constexpr int kSchemaVersion = 1;
constexpr int kRootCount = 4;

const char kSchema[] =
    "PRAGMA application_id = 1095911251;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE reg_keys (id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, UNIQUE (parent, fold));"
    "CREATE TABLE reg_values (id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE (key, fold));"
    "INSERT INTO reg_keys VALUES (1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),"
    " (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'), (3, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine'),"
    " (4, 0, 'HKEY_USERS', 'hkey_users');";
static_assert(kApplicationId == 1095911251, "the schema text repeats the application id");

// Root keys are the first rows of reg_keys, in handle order.
bool isRootHandle(HKEY key)
{
    return quint32(key) >= quint32(HKEY_CLASSES_ROOT) && quint32(key) < quint32(HKEY_CLASSES_ROOT) + kRootCount;
}

qint64 rootKeyId(HKEY key)
{
    return qint64(quint32(key) - quint32(HKEY_CLASSES_ROOT)) + 1;
}

bool isRootKeyId(qint64 id)
{
    return id >= 1 && id <= kRootCount;
}

// A name as the store keeps it: it ends at a NUL, as a C string would, and
// unpaired surrogates (which the engine cannot bind) become U+FFFD.
QString cleanName(const QString &name)
{
    const qsizetype nul = name.indexOf(QChar(0));
    return SanitizedText(nul < 0 ? name : name.left(nul));
}

QStringList splitPath(const QString &path)
{
    return cleanName(path).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString fold(const QString &name)
{
    return name.toCaseFolded();
}

enum class Probe { Usable, Broken, Unusable };

bool isBusy(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_NOMEM;
}

// Decides whether an open file is a store of ours, making a new empty file one.
// A read that fails because another connection holds the file says nothing
// about the file: it is unusable for now, not broken.
Probe checkStore(sqlite3 *db)
{
    auto failed = [](int rc) { return isBusy(rc) ? Probe::Unusable : Probe::Broken; };
    qint64 objects = 0;
    {
        Statement count(db, "SELECT count(*) FROM sqlite_master");
        const int rc = count.step();
        if (rc != SQLITE_ROW)
            return failed(rc);
        objects = count.int64(0);
    }
    {
        Statement check(db, "PRAGMA quick_check");
        const int rc = check.step();
        if (rc != SQLITE_ROW)
            return failed(rc);
        if (check.text(0) != QLatin1String("ok"))
            return Probe::Broken;
    }
    qint64 appId = 0;
    qint64 version = 0;
    {
        Statement id(db, "PRAGMA application_id");
        int rc = id.step();
        if (rc != SQLITE_ROW)
            return failed(rc);
        appId = id.int64(0);
        Statement v(db, "PRAGMA user_version");
        rc = v.step();
        if (rc != SQLITE_ROW)
            return failed(rc);
        version = v.int64(0);
    }

    if (objects == 0 && appId == 0) {
        Transaction t(db);
        if (!t.active() || sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK || !t.commit())
            return Probe::Unusable;
        return Probe::Usable;
    }
    if (appId != kApplicationId || version != kSchemaVersion)
        return Probe::Broken;
    Statement roots(db, "SELECT count(*) FROM reg_keys WHERE id BETWEEN 1 AND 4 AND parent = 0");
    int rc = roots.step();
    if (rc != SQLITE_ROW)
        return failed(rc);
    if (roots.int64(0) != kRootCount)
        return Probe::Broken;
    Statement values(db, "SELECT id, key, name, fold, type, data FROM reg_values LIMIT 0");
    rc = values.step();
    if (rc != SQLITE_DONE)
        return failed(rc);
    return Probe::Usable;
}

Probe openStore(const QString &path, Database &out)
{
    const QFileInfo info(path);
    if (info.isDir() || !QDir().mkpath(info.absolutePath()))
        return Probe::Unusable;
    const bool existed = info.exists();
    Database db;
    if (db.open(path, Database::Mode::ReadWriteCreate) != SQLITE_OK)
        return existed ? Probe::Broken : Probe::Unusable;
    const Probe p = checkStore(db.handle());
    if (p == Probe::Usable)
        out = std::move(db);
    return p;
}

// Moves an unusable file (and its journal) out of the way; never deletes it.
QString setAside(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = path + QStringLiteral(".broken-") + stamp;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".broken-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, target))
        return QString();
    // A journal left beside a fresh file would be played back into it.
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const QString side = path + QLatin1String(suffix);
        if (QFileInfo::exists(side) && !QFile::rename(side, target + QLatin1String(suffix)))
            return QString();
    }
    return target;
}

} // namespace

// --- File --------------------------------------------------------------------------------

RegistryStore &RegistryStore::instance()
{
    static RegistryStore store;
    return store;
}

RegistryStore::~RegistryStore()
{
    closeFile();
}

QString RegistryStore::defaultFileName()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/registry.sqlite");
}

void RegistryStore::setFile(const QString &path)
{
    m_chosenPath = path;
    m_problemNoticed = false;
    openFile();
}

void RegistryStore::reopen()
{
    openFile();
}

QString RegistryStore::fileName() const
{
    return m_path;
}

bool RegistryStore::isAvailable()
{
    ensureOpen();
    return m_db != nullptr;
}

void RegistryStore::ensureOpen()
{
    if (!m_opened)
        openFile();
}

void RegistryStore::closeFile()
{
    m_file.close();
    m_db = nullptr;
    m_opened = false;
    // Handles refer to keys of the closed file. The counter goes on, so an old
    // handle never names a new key.
    m_handles.clear();
}

void RegistryStore::openFile()
{
    closeFile();
    m_opened = true;
    m_setAside.clear();
    m_path = m_chosenPath.isEmpty() ? defaultFileName() : m_chosenPath;
    if (m_path.isEmpty())
        return;
    Probe p = openStore(m_path, m_file);
    if (p == Probe::Broken) {
        m_setAside = setAside(m_path);
        if (!m_setAside.isEmpty())
            p = openStore(m_path, m_file);
    }
    if (p == Probe::Usable)
        m_db = m_file.handle();
}

bool RegistryStore::inOneTransaction(const std::function<bool()> &work)
{
    ensureOpen();
    if (!m_db)
        return false;
    // The writes inside are savepoints of this one transaction.
    Transaction t(m_db);
    if (!t.active())
        return false;
    return work() && t.commit();
}

// --- Keys --------------------------------------------------------------------------------

HKEY RegistryStore::newHandle(qint64 keyId, qint32 access)
{
    const HKEY h = m_nextHandle;
    m_nextHandle += 4;
    if (m_nextHandle <= 0)
        m_nextHandle = 0x100;
    m_handles.insert(h, OpenKey{keyId, access});
    return h;
}

qint32 RegistryStore::resolve(HKEY key, qint64 *keyId, qint32 *access)
{
    if (isRootHandle(key)) {
        *keyId = rootKeyId(key);
        *access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    const auto it = m_handles.constFind(key);
    if (it == m_handles.constEnd())
        return ERROR_INVALID_HANDLE;
    *keyId = it->keyId;
    *access = it->access;
    if (!m_db || isRootKeyId(it->keyId))
        return ERROR_SUCCESS;
    Statement s(m_db, "SELECT 1 FROM reg_keys WHERE id = ?");
    const int rc = s.bind(1, it->keyId).step();
    if (rc == SQLITE_ROW)
        return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ERROR_CANTREAD;
}

qint32 RegistryStore::findPath(qint64 from, const QStringList &parts, qint64 *keyId)
{
    qint64 id = from;
    for (const QString &part : parts) {
        if (!m_db)
            return ERROR_FILE_NOT_FOUND;
        Statement s(m_db, "SELECT id FROM reg_keys WHERE parent = ? AND fold = ?");
        const int rc = s.bind(1, id).bind(2, fold(part)).step();
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return ERROR_CANTREAD;
        id = s.int64(0);
    }
    *keyId = id;
    return ERROR_SUCCESS;
}

qint32 RegistryStore::openKey(HKEY key, const QString &subKey, qint32 access, HKEY *result)
{
    ensureOpen();
    if (!result)
        return ERROR_INVALID_PARAMETER;
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (const qint32 rc = findPath(id, splitPath(subKey), &id))
        return rc;
    *result = newHandle(id, access);
    return ERROR_SUCCESS;
}

qint32 RegistryStore::createKey(HKEY key, const QString &subKey, qint32 access, HKEY *result, bool *created)
{
    ensureOpen();
    if (!result)
        return ERROR_INVALID_PARAMETER;
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    const QStringList parts = splitPath(subKey);
    for (const QString &part : parts) {
        if (part.size() > MaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
    }

    // An existing key is only opened: no write, so this works on a store that
    // cannot be written too.
    qint64 existing = 0;
    const qint32 found = findPath(id, parts, &existing);
    if (found == ERROR_SUCCESS) {
        if (created)
            *created = false;
        *result = newHandle(existing, access);
        return ERROR_SUCCESS;
    }
    if (found != ERROR_FILE_NOT_FOUND)
        return found;
    if (!(rights & KEY_CREATE_SUB_KEY))
        return ERROR_ACCESS_DENIED;
    if (!m_db)
        return ERROR_CANTWRITE;

    Transaction t(m_db);
    if (!t.active())
        return ERROR_CANTWRITE;
    for (const QString &part : parts) {
        Statement find(m_db, "SELECT id FROM reg_keys WHERE parent = ? AND fold = ?");
        const int rc = find.bind(1, id).bind(2, fold(part)).step();
        if (rc == SQLITE_ROW) {
            id = find.int64(0);
            continue;
        }
        if (rc != SQLITE_DONE)
            return ERROR_CANTWRITE;
        Statement insert(m_db, "INSERT INTO reg_keys (parent, name, fold) VALUES (?, ?, ?)");
        if (insert.bind(1, id).bind(2, part).bind(3, fold(part)).step() != SQLITE_DONE)
            return ERROR_CANTWRITE;
        id = sqlite3_last_insert_rowid(m_db);
    }
    if (!t.commit())
        return ERROR_CANTWRITE;
    if (created)
        *created = true;
    *result = newHandle(id, access);
    return ERROR_SUCCESS;
}

qint32 RegistryStore::closeKey(HKEY key)
{
    if (isRootHandle(key))
        return ERROR_SUCCESS;
    return m_handles.remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

qint32 RegistryStore::deleteKey(HKEY key, const QString &subKey)
{
    ensureOpen();
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (const qint32 rc = findPath(id, splitPath(subKey), &id))
        return rc;
    if (isRootKeyId(id) || !m_db)
        return ERROR_ACCESS_DENIED;
    {
        // Like the registry: a key is deleted only once its subkeys are gone.
        Statement children(m_db, "SELECT 1 FROM reg_keys WHERE parent = ? LIMIT 1");
        const int rc = children.bind(1, id).step();
        if (rc == SQLITE_ROW)
            return ERROR_ACCESS_DENIED;
        if (rc != SQLITE_DONE)
            return ERROR_CANTREAD;
    }
    Transaction t(m_db);
    if (!t.active())
        return ERROR_CANTWRITE;
    Statement values(m_db, "DELETE FROM reg_values WHERE key = ?");
    Statement self(m_db, "DELETE FROM reg_keys WHERE id = ?");
    if (values.bind(1, id).step() != SQLITE_DONE || self.bind(1, id).step() != SQLITE_DONE || !t.commit())
        return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

qint32 RegistryStore::enumKey(HKEY key, qint32 index, QString *name)
{
    ensureOpen();
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (!(rights & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (!name)
        return ERROR_INVALID_PARAMETER;
    if (index < 0 || !m_db)
        return ERROR_NO_MORE_ITEMS;
    Statement s(m_db, "SELECT name FROM reg_keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
    const int rc = s.bind(1, id).bind(2, qint64(index)).step();
    if (rc == SQLITE_DONE)
        return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW)
        return ERROR_CANTREAD;
    *name = s.text(0);
    return ERROR_SUCCESS;
}

qint32 RegistryStore::connectRegistry(const QString &computerName, HKEY root, HKEY *result)
{
    ensureOpen();
    if (!result)
        return ERROR_INVALID_PARAMETER;
    if (!isLocalComputerName(computerName))
        return ERROR_BAD_NETPATH;
    if (!isRootHandle(root))
        return ERROR_INVALID_HANDLE;
    *result = newHandle(rootKeyId(root), KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}

// --- Values ------------------------------------------------------------------------------

namespace {

// Hands a found value to the caller, honouring the caller's buffer size.
qint32 deliver(qint32 storedType, const QByteArray &stored, qint32 *type, QByteArray *data, qint32 *dataLength)
{
    if (type)
        *type = storedType;
    const qint32 needed = qint32(stored.size());
    if (data && *dataLength < needed) {
        *dataLength = needed;
        return ERROR_MORE_DATA;
    }
    if (data)
        *data = stored;
    if (dataLength)
        *dataLength = needed;
    return ERROR_SUCCESS;
}

} // namespace

qint32 RegistryStore::queryValue(HKEY key, const QString &name, qint32 *type, QByteArray *data, qint32 *dataLength)
{
    ensureOpen();
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (!(rights & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data && !dataLength)
        return ERROR_INVALID_PARAMETER;
    if (!m_db)
        return ERROR_FILE_NOT_FOUND;
    Statement s(m_db, "SELECT type, data FROM reg_values WHERE key = ? AND fold = ?");
    const int rc = s.bind(1, id).bind(2, fold(cleanName(name))).step();
    if (rc == SQLITE_DONE)
        return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW)
        return ERROR_CANTREAD;
    return deliver(qint32(s.int64(0)), s.blob(1), type, data, dataLength);
}

qint32 RegistryStore::setValue(HKEY key, const QString &name, qint32 type, const QByteArray &data)
{
    ensureOpen();
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (!(rights & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    const QString clean = cleanName(name);
    if (clean.size() > MaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (!m_db)
        return ERROR_CANTWRITE;
    Transaction t(m_db);
    if (!t.active())
        return ERROR_CANTWRITE;
    // Replacing keeps the row, and with it the value's place in the enumeration.
    Statement s(m_db, "INSERT INTO reg_values (key, name, fold, type, data) VALUES (?, ?, ?, ?, ?)"
                      " ON CONFLICT (key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.bind(1, id).bind(2, clean).bind(3, fold(clean)).bind(4, qint64(type)).bindBlob(5, data);
    if (s.step() != SQLITE_DONE || !t.commit())
        return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

qint32 RegistryStore::deleteValue(HKEY key, const QString &name)
{
    ensureOpen();
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (!(rights & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!m_db)
        return ERROR_FILE_NOT_FOUND;
    const QString f = fold(cleanName(name));
    {
        Statement find(m_db, "SELECT 1 FROM reg_values WHERE key = ? AND fold = ?");
        const int rc = find.bind(1, id).bind(2, f).step();
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return ERROR_CANTREAD;
    }
    Transaction t(m_db);
    if (!t.active())
        return ERROR_CANTWRITE;
    Statement s(m_db, "DELETE FROM reg_values WHERE key = ? AND fold = ?");
    if (s.bind(1, id).bind(2, f).step() != SQLITE_DONE || !t.commit())
        return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

qint32 RegistryStore::enumValue(HKEY key, qint32 index, QString *name, qint32 *type, QByteArray *data,
                                qint32 *dataLength)
{
    ensureOpen();
    qint64 id = 0;
    qint32 rights = 0;
    if (const qint32 rc = resolve(key, &id, &rights))
        return rc;
    if (!(rights & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!name || (data && !dataLength))
        return ERROR_INVALID_PARAMETER;
    if (index < 0 || !m_db)
        return ERROR_NO_MORE_ITEMS;
    Statement s(m_db, "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
    const int rc = s.bind(1, id).bind(2, qint64(index)).step();
    if (rc == SQLITE_DONE)
        return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW)
        return ERROR_CANTREAD;
    *name = s.text(0);
    return deliver(qint32(s.int64(1)), s.blob(2), type, data, dataLength);
}

// --- Platform helpers --------------------------------------------------------------------

bool RegistryStore::isLocalComputerName(const QString &computerName)
{
    QString name = computerName.trimmed();
    if (name.startsWith(QLatin1String("\\\\")))
        name = name.mid(2);
    if (name.isEmpty() || name == QLatin1String("."))
        return true;
    const QString host = QSysInfo::machineHostName();
    const QStringList local = {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("::1"), host,
                               host.section(QLatin1Char('.'), 0, 0)};
    for (const QString &candidate : local) {
        if (!candidate.isEmpty() && name.compare(candidate, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

namespace {

bool lookupEnvironment(const QString &name, QString *value)
{
    if (name.contains(QLatin1Char('=')) || name.contains(QChar(0)))
        return false;
    if (qEnvironmentVariableIsSet(name.toLocal8Bit().constData())) {
        *value = qEnvironmentVariable(name.toLocal8Bit().constData());
        return true;
    }
    // The names of the original platform ignore letter case.
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList keys = env.keys();
    for (const QString &key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            *value = env.value(key);
            return true;
        }
    }
    return false;
}

} // namespace

QString RegistryStore::expandEnvironmentStrings(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%')) {
            const qsizetype end = text.indexOf(QLatin1Char('%'), i + 1);
            QString value;
            if (end > i + 1 && lookupEnvironment(text.mid(i + 1, end - i - 1), &value)) {
                out += value;
                i = end + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}
