#include "settings/RegistryRoutines.h"

#include "settings/VbConvert.h"

#include <QtEndian>

#include <optional>

using namespace Reg;

namespace {

RegistryStore &store()
{
    return RegistryStore::instance();
}

// Reads a value whole: a first try with a 1024-byte buffer, then once more with
// the length the store asked for.
qint32 queryWhole(HKEY key, const QString &name, qint32 *type, QByteArray *data)
{
    qint32 length = 1024;
    qint32 rc = store().queryValue(key, name, type, data, &length);
    if (rc == ERROR_MORE_DATA)
        rc = store().queryValue(key, name, type, data, &length);
    return rc;
}

// The text of a string value: its terminator dropped. Data written without one
// is taken whole rather than losing its last character.
QString stringData(const QByteArray &data)
{
    return QString::fromUtf8(data.endsWith('\0') ? data.first(data.size() - 1) : data);
}

// A multi-string's text with the NULs between the strings kept; the closing two
// NULs dropped (only those actually present).
QString multiStringData(const QByteArray &data)
{
    qsizetype n = data.size();
    for (int i = 0; i < 2 && n > 0 && data.at(n - 1) == '\0'; ++i)
        --n;
    return QString::fromUtf8(data.first(n));
}

qint32 dwordData(const QByteArray &data)
{
    // Short data is zero-extended, as the zero-filled read buffer would give it.
    char bytes[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < 4 && i < data.size(); ++i)
        bytes[i] = data.at(i);
    return qFromLittleEndian<qint32>(bytes);
}

// Converts a value read by GetRegistryValue and the remote read.
QVariant convertForGet(qint32 type, const QByteArray &data, const QVariant &current)
{
    switch (type) {
    case REG_SZ:
        return data.isEmpty() ? current : QVariant(stringData(data));
    case REG_EXPAND_SZ:
        return data.isEmpty() ? current : QVariant(RegistryStore::expandEnvironmentStrings(stringData(data)));
    case REG_BINARY:
        return QVariant(data);
    case REG_DWORD:
        return QVariant(dwordData(data));
    case REG_MULTI_SZ: {
        const QString text = multiStringData(data);
        const qsizetype nul = text.indexOf(QChar(0));
        return (nul < 0 ? text : text.left(nul)).isEmpty() ? current : QVariant(text);
    }
    default:
        return current;
    }
}

// Reads `name` from an open key into `current`, which stays as it is when the
// value is missing or cannot be read.
QVariant readOpenKey(HKEY key, const QString &name, const QVariant &current)
{
    qint32 type = REG_NONE;
    QByteArray data;
    if (queryWhole(key, name, &type, &data) != ERROR_SUCCESS)
        return current;
    return convertForGet(type, data, current);
}

// The bytes SetRegistryValue stores, or nothing when the value cannot be given that type.
std::optional<QByteArray> encodeForSet(const QVariant &value, qint32 type)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        QByteArray bytes = VbToText(value).toUtf8();
        bytes.append('\0');
        return bytes;
    }
    case REG_BINARY:
        if (value.typeId() != QMetaType::QByteArray)
            return std::nullopt;
        return value.toByteArray();
    case REG_DWORD: {
        const std::optional<qint32> n = VbToLong(value);
        if (!n)
            return std::nullopt;
        QByteArray bytes(4, '\0');
        qToLittleEndian<qint32>(*n, bytes.data());
        return bytes;
    }
    default:
        return std::nullopt;
    }
}

bool writeOpenKey(HKEY key, const QString &name, const QVariant &value, qint32 type)
{
    const std::optional<QByteArray> bytes = encodeForSet(value, type);
    return bytes && store().setValue(key, name, type, *bytes) == ERROR_SUCCESS;
}

QString hexPairs(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex(' ').toUpper());
}

QVariant convertForEnum(qint32 type, const QByteArray &data)
{
    switch (type) {
    case REG_SZ:
        return QVariant(stringData(data));
    case REG_EXPAND_SZ: {
        QString text = RegistryStore::expandEnvironmentStrings(stringData(data));
        return QVariant(RegistryRoutines::TrimNull(text));
    }
    case REG_BINARY:
        return QVariant(hexPairs(data));
    case REG_DWORD:
        return QVariant(dwordData(data));
    case REG_MULTI_SZ:
        return QVariant(multiStringData(data).replace(QChar(0), QLatin1Char(',')));
    default:
        return QVariant();
    }
}

// Opens `keyName` below `root` for reading; an empty name means the root itself
// (then nothing is opened and nothing must be closed).
bool openForEnum(HKEY root, const QString &keyName, HKEY *key, bool *mustClose)
{
    *mustClose = false;
    if (keyName.isEmpty()) {
        *key = root;
        return true;
    }
    if (store().openKey(root, keyName, KEY_READ, key) != ERROR_SUCCESS)
        return false;
    *mustClose = true;
    return true;
}

} // namespace

QString RegistryRoutines::valueKeyPath() const
{
    return m_keyRoot + QLatin1Char('\\') + m_subkey;
}

QVariant RegistryRoutines::GetRegistryValue(const QString &ValueName, const QVariant &DefaultValue) const
{
    HKEY key = 0;
    if (store().openKey(m_hkey, valueKeyPath(), KEY_READ, &key) != ERROR_SUCCESS)
        return DefaultValue;
    const QVariant result = readOpenKey(key, ValueName, DefaultValue);
    store().closeKey(key);
    return result;
}

bool RegistryRoutines::SetRegistryValue(const QString &ValueName, const QVariant &value, qint32 DType)
{
    HKEY key = 0;
    if (store().openKey(m_hkey, valueKeyPath(), KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    const bool ok = writeOpenKey(key, ValueName, value, DType);
    store().closeKey(key);
    return ok;
}

QString RegistryRoutines::TrimNull(QString &item)
{
    const qsizetype nul = item.indexOf(QChar(0));
    if (nul >= 0)
        item.truncate(nul);
    return item;
}

bool RegistryRoutines::KeyExists() const
{
    HKEY key = 0;
    if (store().openKey(m_hkey, valueKeyPath(), KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    store().closeKey(key);
    return true;
}

QString RegistryRoutines::CreateKey(const QVariant &KeyName)
{
    const QString name = KeyName.isValid() ? VbToText(KeyName) : m_subkey;
    HKEY key = 0;
    if (store().createKey(m_hkey, m_keyRoot + QLatin1Char('\\') + name, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return QString();
    store().closeKey(key);
    return QStringLiteral("0");
}

qint32 RegistryRoutines::DeleteKey(const QString &KeyName)
{
    return store().deleteKey(m_hkey, m_keyRoot + QLatin1Char('\\') + KeyName);
}

qint32 RegistryRoutines::DeleteValue(const QString &ValueName)
{
    HKEY key = 0;
    if (const qint32 rc = store().openKey(m_hkey, valueKeyPath(), KEY_ALL_ACCESS, &key))
        return rc;
    const qint32 rc = store().deleteValue(key, ValueName);
    store().closeKey(key);
    return rc;
}

QStringList RegistryRoutines::EnumRegistryKeys(qint32 hkey, const QString &KeyName) const
{
    QStringList names;
    HKEY key = 0;
    bool mustClose = false;
    if (!openForEnum(hkey, KeyName, &key, &mustClose))
        return names;
    QString name;
    for (qint32 index = 0; store().enumKey(key, index, &name) == ERROR_SUCCESS; ++index)
        names.append(name);
    if (mustClose)
        store().closeKey(key);
    return names;
}

RegistryRoutines::RegistryValues RegistryRoutines::EnumRegistryValues(qint32 hkey, const QString &KeyName) const
{
    RegistryValues values;
    HKEY key = 0;
    bool mustClose = false;
    if (!openForEnum(hkey, KeyName, &key, &mustClose))
        return values;
    for (qint32 index = 0;; ++index) {
        QString name;
        qint32 type = REG_NONE;
        QByteArray data;
        qint32 length = 4096;
        qint32 rc = store().enumValue(key, index, &name, &type, &data, &length);
        if (rc == ERROR_MORE_DATA)
            rc = store().enumValue(key, index, &name, &type, &data, &length);
        if (rc != ERROR_SUCCESS)
            break;
        values.append(qMakePair(name, convertForEnum(type, data)));
    }
    if (mustClose)
        store().closeKey(key);
    return values;
}

QVariant RegistryRoutines::ReadRemoteRegistryValue(const QString &sRemoteComputer, qint32 hkey,
                                                   const QString &ValueName, const QString &KeyPath) const
{
    const QString path = KeyPath.isEmpty() ? valueKeyPath() : KeyPath;
    HKEY root = 0;
    if (store().connectRegistry(sRemoteComputer, hkey, &root) != ERROR_SUCCESS)
        return QVariant(QStringLiteral("Error!"));
    QVariant result;
    HKEY key = 0;
    if (store().openKey(root, path, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        result = readOpenKey(key, ValueName, QVariant());
        store().closeKey(key);
    }
    store().closeKey(root);
    return result;
}

bool RegistryRoutines::WriteRemoteRegistryValue(const QString &sRemoteComputer, qint32 hkey,
                                                const QString &ValueName, const QVariant &value, qint32 DType,
                                                const QString &KeyPath)
{
    const QString path = KeyPath.isEmpty() ? valueKeyPath() : KeyPath;
    HKEY root = 0;
    if (store().connectRegistry(sRemoteComputer, hkey, &root) != ERROR_SUCCESS)
        return false;
    bool ok = false;
    HKEY key = 0;
    if (store().openKey(root, path, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        ok = writeOpenKey(key, ValueName, value, DType);
        store().closeKey(key);
    }
    store().closeKey(root);
    return ok;
}
