#pragma once

#include "settings/RegistryStore.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

// Typed values in the settings store, as the rest of the program sees them.
// The object is bound to a root (`hkey`), a key path below it (`KeyRoot`) and a
// current subkey (`Subkey`); value operations act on KeyRoot + "\" + Subkey.
// It holds no open key between calls.
//
// Dynamic results: an invalid QVariant is "empty"; otherwise a QString (REG_SZ,
// REG_EXPAND_SZ expanded, REG_MULTI_SZ with its NUL separators), a qint32
// (REG_DWORD), a QByteArray (REG_BINARY), or the text "Error!" from a remote
// read whose computer cannot be reached. Nothing throws or shows a message:
// failure shows only in the result.
class RegistryRoutines
{
public:
    using RegistryValues = QList<QPair<QString, QVariant>>;

    qint32 hkey() const { return m_hkey; }
    void setHkey(qint32 hkey) { m_hkey = hkey; }
    QString KeyRoot() const { return m_keyRoot; }
    void setKeyRoot(const QString &keyRoot) { m_keyRoot = keyRoot; }
    QString Subkey() const { return m_subkey; }
    void setSubkey(const QString &subkey) { m_subkey = subkey; }

    // The value `ValueName` of KeyRoot\Subkey converted by its type, or
    // `DefaultValue` when the key or value is missing, a REG_SZ or REG_EXPAND_SZ
    // is zero bytes long, a REG_MULTI_SZ's first string is empty, or the type is
    // none of the five.
    QVariant GetRegistryValue(const QString &ValueName, const QVariant &DefaultValue = QVariant()) const;
    // Stores `value` in the existing key KeyRoot\Subkey (nothing is created).
    // DType 1, 2, 7: as text (Booleans "True"/"False", integers in decimal) with a
    // NUL terminator; for 7 the caller puts the NULs between the strings.
    // 3: `value` must hold a QByteArray. 4: `value` as a 32-bit integer, stored
    // little-endian. True when the store reported success.
    bool SetRegistryValue(const QString &ValueName, const QVariant &value, qint32 DType);
    // The text before the first NUL; `item` is shortened to it when a NUL is present.
    static QString TrimNull(QString &item);

    // True when KeyRoot\Subkey can be opened for reading.
    bool KeyExists() const;
    // Creates KeyRoot + "\" + KeyName (Subkey when KeyName is invalid) with any
    // missing parents. "0" when it was created or already existed, "" on failure.
    QString CreateKey(const QVariant &KeyName = QVariant());
    // Deletes KeyRoot + "\" + KeyName: 0, or the store's result code (a key that
    // still has subkeys is not deleted: Reg::ERROR_ACCESS_DENIED).
    qint32 DeleteKey(const QString &KeyName);
    // Deletes a value of KeyRoot\Subkey: 0, or the store's result code.
    qint32 DeleteValue(const QString &ValueName);
    // Subkey names of `KeyName` below `hkey` (of `hkey` itself when KeyName is
    // empty), sorted by name without regard to case. Empty when it cannot be opened.
    QStringList EnumRegistryKeys(qint32 hkey, const QString &KeyName) const;
    // (name, value) of every value of `KeyName` below `hkey`, in creation order.
    // REG_SZ and REG_EXPAND_SZ as text (expanded), REG_BINARY as upper-case hex
    // pairs separated by spaces ("0A FF 10"), REG_DWORD as qint32, REG_MULTI_SZ
    // joined by ",", other types empty.
    RegistryValues EnumRegistryValues(qint32 hkey, const QString &KeyName) const;
    // Value `ValueName` of `KeyPath` (KeyRoot\Subkey when empty) below root `hkey`
    // of the named computer: "Error!" when the computer cannot be reached,
    // empty when the key or value is missing.
    QVariant ReadRemoteRegistryValue(const QString &sRemoteComputer, qint32 hkey, const QString &ValueName,
                                     const QString &KeyPath = QString()) const;
    bool WriteRemoteRegistryValue(const QString &sRemoteComputer, qint32 hkey, const QString &ValueName,
                                  const QVariant &value, qint32 DType, const QString &KeyPath = QString());

private:
    QString valueKeyPath() const;

    qint32 m_hkey = Reg::HKEY_LOCAL_MACHINE;
    QString m_keyRoot;
    QString m_subkey;
};
