#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "sqlite/Database.h"

#include <functional>
#include <utility>

struct sqlite3;

// Numbers of the settings store. They are the registry's own, so that handles,
// type codes and result codes keep the meaning callers and stored data expect.
namespace Reg {

using HKEY = qint32;

// Predefined root keys: always open, never need closing.
inline constexpr HKEY HKEY_CLASSES_ROOT = HKEY(0x80000000u);
inline constexpr HKEY HKEY_CURRENT_USER = HKEY(0x80000001u);
inline constexpr HKEY HKEY_LOCAL_MACHINE = HKEY(0x80000002u);
inline constexpr HKEY HKEY_USERS = HKEY(0x80000003u);

// Access rights; a handle may do only what it was opened for.
inline constexpr qint32 KEY_QUERY_VALUE = 0x0001;
inline constexpr qint32 KEY_SET_VALUE = 0x0002;
inline constexpr qint32 KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr qint32 KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr qint32 KEY_READ = 0x20019;
inline constexpr qint32 KEY_WRITE = 0x20006;
inline constexpr qint32 KEY_ALL_ACCESS = 0xF003F;

// Value types. Any other code is stored and returned as raw bytes.
inline constexpr qint32 REG_NONE = 0;
inline constexpr qint32 REG_SZ = 1;
inline constexpr qint32 REG_EXPAND_SZ = 2;
inline constexpr qint32 REG_BINARY = 3;
inline constexpr qint32 REG_DWORD = 4;
inline constexpr qint32 REG_MULTI_SZ = 7;

// Result codes.
inline constexpr qint32 ERROR_SUCCESS = 0;
inline constexpr qint32 ERROR_FILE_NOT_FOUND = 2;   // key or value does not exist
inline constexpr qint32 ERROR_ACCESS_DENIED = 5;    // handle lacks the right; key has subkeys; root key
inline constexpr qint32 ERROR_INVALID_HANDLE = 6;   // not an open handle
inline constexpr qint32 ERROR_BAD_NETPATH = 53;     // computer other than this one
inline constexpr qint32 ERROR_INVALID_PARAMETER = 87; // name too long, missing out-argument
inline constexpr qint32 ERROR_MORE_DATA = 234;      // buffer too small; the length says how much is needed
inline constexpr qint32 ERROR_NO_MORE_ITEMS = 259;  // enumeration index past the end
inline constexpr qint32 ERROR_CANTREAD = 1012;      // the store file could not be read
inline constexpr qint32 ERROR_CANTWRITE = 1013;     // the store file could not be written (nothing changed)
inline constexpr qint32 ERROR_KEY_DELETED = 1018;   // the handle's key was deleted meanwhile

inline constexpr int MaxKeyNameLength = 255;
inline constexpr int MaxValueNameLength = 16383;

} // namespace Reg

// A hierarchical settings store with the registry's semantics, kept in one SQLite
// file (by default "registry.sqlite" in the per-user configuration folder).
//
// - Keys are backslash-separated paths below one of the four predefined roots.
//   Empty path parts are ignored ("a\\\\b\\" is "a\\b"); a name ends at a NUL.
// - Key and value names are compared after Unicode case folding and keep the
//   spelling they were created with.
// - Values are typed bytes, stored exactly as given, whatever the type code.
// - Subkeys enumerate sorted by their case-folded names (as the registry does);
//   values enumerate in the order they were created; overwriting a value keeps
//   its place.
// - Every change is one transaction: a failed write changes nothing.
// - A file that cannot be read or is not a store is renamed to
//   "<file>.broken-<yyyyMMdd-HHmmss>" and a fresh store is started. When no file
//   can be used at all, the store runs empty: reads find nothing and writes fail
//   with ERROR_CANTWRITE.
//
// One object per process (instance()); every user sees every write at once.
// Used from the user-interface thread only.
class RegistryStore
{
public:
    static RegistryStore &instance();

    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;
    ~RegistryStore();

    // The file used when none was chosen: AppConfigLocation + "/registry.sqlite".
    static QString defaultFileName();
    // Points the store at `path` (empty: the default file) and opens it. Every
    // open handle becomes invalid.
    void setFile(const QString &path);
    // Closes the file and opens it again, as a restart of the program would.
    void reopen();
    // The file in use, once opened.
    QString fileName() const;
    // False when no file could be opened (the store then runs empty).
    bool isAvailable();
    // True the first time it is asked after the file was chosen: a problem
    // with the store is told to the user once.
    bool firstProblemNotice() { return !std::exchange(m_problemNoticed, true); }
    // Where the last unusable file was moved to; empty when none was.
    QString setAsideFileName() const { return m_setAside; }
    // Runs `work` as one transaction: every change it makes is kept, or none
    // is (when it returns false, or the commit fails). True when kept.
    bool inOneTransaction(const std::function<bool()> &work);
    // Handles opened and not yet closed (predefined roots not counted).
    int openHandleCount() const { return int(m_handles.size()); }

    // Opens `subKey` below `key`; an empty `subKey` opens a new handle to `key`.
    qint32 openKey(Reg::HKEY key, const QString &subKey, qint32 access, Reg::HKEY *result);
    // Opens `subKey` below `key`, creating it and any missing parents. An existing
    // key is opened as it is. `created` tells whether the last part was new.
    // Needs KEY_CREATE_SUB_KEY on `key`.
    qint32 createKey(Reg::HKEY key, const QString &subKey, qint32 access, Reg::HKEY *result,
                     bool *created = nullptr);
    // Closing a predefined root succeeds and does nothing.
    qint32 closeKey(Reg::HKEY key);
    // Reads a value. On entry `*dataLength` is the size of the caller's buffer in
    // bytes. On success `*type`, `*data` (exactly the stored bytes) and
    // `*dataLength` are set; when the value is longer than the buffer the answer
    // is ERROR_MORE_DATA with the needed length in `*dataLength` and `*data` left
    // alone. With `data` null only the type and length are returned. `type` may
    // be null. Needs KEY_QUERY_VALUE.
    qint32 queryValue(Reg::HKEY key, const QString &name, qint32 *type, QByteArray *data, qint32 *dataLength);
    // Stores `data` with `type` under `name` (created or replaced). The key must
    // exist: nothing is ever created by a write. Needs KEY_SET_VALUE.
    qint32 setValue(Reg::HKEY key, const QString &name, qint32 type, const QByteArray &data);
    // Deletes the key `subKey` below `key` with its values. A key with subkeys is
    // refused with ERROR_ACCESS_DENIED, as is a predefined root.
    qint32 deleteKey(Reg::HKEY key, const QString &subKey);
    // Needs KEY_SET_VALUE.
    qint32 deleteValue(Reg::HKEY key, const QString &name);
    // The name of the subkey at `index`, or ERROR_NO_MORE_ITEMS. Needs
    // KEY_ENUMERATE_SUB_KEYS.
    qint32 enumKey(Reg::HKEY key, qint32 index, QString *name);
    // The value at `index` (name, type, data as queryValue gives them), or
    // ERROR_NO_MORE_ITEMS. Needs KEY_QUERY_VALUE.
    qint32 enumValue(Reg::HKEY key, qint32 index, QString *name, qint32 *type, QByteArray *data,
                     qint32 *dataLength);
    // A handle to the predefined root `root` of the named computer. Only this
    // computer is reachable (see isLocalComputerName); others give ERROR_BAD_NETPATH.
    qint32 connectRegistry(const QString &computerName, Reg::HKEY root, Reg::HKEY *result);

    // True for "", ".", "localhost", "127.0.0.1", "::1" and this machine's host
    // name (whole or its first label), in any letter case, with or without a
    // leading "\\\\".
    static bool isLocalComputerName(const QString &computerName);
    // Replaces every %NAME% by the environment variable NAME (matched exactly,
    // else without regard to case); unknown names stay as they are.
    static QString expandEnvironmentStrings(const QString &text);

private:
    RegistryStore() = default;

    struct OpenKey
    {
        qint64 keyId;
        qint32 access;
    };

    void ensureOpen();
    void openFile();
    void closeFile();
    qint32 resolve(Reg::HKEY key, qint64 *keyId, qint32 *access);
    qint32 findPath(qint64 from, const QStringList &parts, qint64 *keyId);
    Reg::HKEY newHandle(qint64 keyId, qint32 access);

    Database m_file;
    sqlite3 *m_db = nullptr; // m_file's handle while it is usable
    bool m_opened = false;
    QString m_chosenPath;
    QString m_path;
    QString m_setAside;
    QHash<Reg::HKEY, OpenKey> m_handles;
    Reg::HKEY m_nextHandle = 0x100;
    bool m_problemNoticed = false;
};
