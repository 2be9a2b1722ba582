#include "context/AppContext.h"
#include "settings/RegistryRoutines.h"
#include "settings/VbConvert.h"
#include "settings/mdlOptions.h"
#include "support/CoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QtTest>

#include <sqlite3.h>

#include <climits>
#include <memory>

using namespace Reg;
using Codes = QList<qint32>;
using Values = RegistryRoutines::RegistryValues;
using OptLong = std::optional<qint32>;
using OptBool = std::optional<bool>;

namespace {

RegistryStore &store() { return RegistryStore::instance(); }
const QString kRoot = "SOFTWARE\\Test";

HKEY create(HKEY parent, const QString &path)
{
    HKEY h = 0;
    return store().createKey(parent, path, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS ? h : 0;
}

// A value's bytes, or "<result code>" when it cannot be read.
QByteArray read(HKEY key, const QString &name, qint32 *type = nullptr)
{
    QByteArray data;
    qint32 length = 1 << 20;
    const qint32 rc = store().queryValue(key, name, type, &data, &length);
    return rc == ERROR_SUCCESS ? data : "<" + QByteArray::number(rc) + ">";
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Another program's connection to a file, after it ran `sql`; null when that failed.
using Foreign = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;
Foreign foreign(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    Foreign owner(db, &sqlite3_close);
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        owner.reset();
    return owner;
}

RegistryRoutines routines(const QString &subkey = "Sub")
{
    RegistryRoutines reg; // on HKEY_LOCAL_MACHINE unless told otherwise
    reg.setKeyRoot(kRoot);
    reg.setSubkey(subkey);
    return reg;
}

QStringList rootKeys() { return routines().EnumRegistryKeys(HKEY_LOCAL_MACHINE, ""); }

// Every loaded option by the name of its stored value, Booleans as 0 / 1.
QMap<QString, qint32> options()
{
    const OptionState &o = Options();
    return {{"chkRunWhenWindowsStarts", o.OptRunWhenWindowsStarts}, {"ptnSortByFirstName", o.OptSortByFirstName},
            {"chkHoTrack", o.OptHoTrack}, {"chkViewGrid", o.OptViewGrid}, {"picColor", o.OptAppColor},
            {"picTextColor", o.OptTextColor}};
}

} // namespace

class tst_settings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<TempAppFolder>();
        qputenv("ARDX", "/d");
    }
    void cleanup()
    {
        QCOMPARE(store().openHandleCount(), 0); // every operation closes what it opened
        m_folder.reset();
    }

    void handles()
    {
        RegistryStore &s = store();
        HKEY k = 0, gone = 0;
        QString name;
        for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
            QCOMPARE(Codes({s.setValue(k = create(root, "Shared"), "root", REG_SZ, QByteArray::number(root)),
                            s.closeKey(k), s.closeKey(k), s.closeKey(root), s.openKey(k, "", KEY_READ, &k),
                            s.closeKey(HKEY(0x80000004u))}),
                     Codes({ERROR_SUCCESS, ERROR_SUCCESS, ERROR_INVALID_HANDLE, ERROR_SUCCESS, ERROR_INVALID_HANDLE,
                            ERROR_INVALID_HANDLE}));
        // A handle may do only what it was opened for.
        QCOMPARE(Codes({s.openKey(HKEY_CURRENT_USER, "shared", KEY_WRITE, &k), s.setValue(k, "w", REG_SZ, "1"),
                        s.enumKey(k, 0, &name), s.enumValue(k, 0, &name, nullptr, nullptr, nullptr),
                        s.queryValue(k, "root", nullptr, nullptr, nullptr)}),
                 Codes({ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}));
        s.reopen(); // as after a restart: the handles are gone, the data is not
        QCOMPARE(Codes({s.setValue(k, "w", REG_SZ, "2"), s.openKey(HKEY_CURRENT_USER, "Shared", KEY_READ, &k)}),
                 Codes({ERROR_INVALID_HANDLE, ERROR_SUCCESS}));
        QCOMPARE(read(k, "root") + read(k, "w"), QByteArray::number(HKEY_CURRENT_USER) + "1"); // a tree per root
        // A buffer one byte short is left alone and told the length; with no buffer only the length is given.
        QByteArray data("untouched");
        qint32 length = 10, size = 0; // the value is 11 bytes
        QCOMPARE(Codes({s.queryValue(k, "root", nullptr, &data, &length), length,
                        s.queryValue(k, "root", nullptr, nullptr, &size), size, s.setValue(k, "w", REG_SZ, "2"),
                        s.deleteValue(k, "w"), s.createKey(k, "New", KEY_ALL_ACCESS, &gone)}),
                 Codes({ERROR_MORE_DATA, 11, ERROR_SUCCESS, 11, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                        ERROR_ACCESS_DENIED}));
        QCOMPARE(data, "untouched");
        // A deleted key takes its values and its handles with it.
        gone = create(HKEY_USERS, "Shared\\Gone");
        QCOMPARE(Codes({s.setValue(gone, "v", REG_SZ, "1"), s.deleteKey(HKEY_USERS, "shared\\gone"),
                        s.setValue(gone, "w", REG_SZ, "1"), s.closeKey(gone)}),
                 Codes({ERROR_SUCCESS, ERROR_SUCCESS, ERROR_KEY_DELETED, ERROR_SUCCESS}));
        bool isNew[2] = {false, true};
        for (bool &created : isNew)
            QCOMPARE(Codes({s.createKey(HKEY_USERS, "shared\\GONE", KEY_READ, &gone, &created), s.closeKey(gone)}),
                     Codes({ERROR_SUCCESS, ERROR_SUCCESS}));
        QVERIFY(isNew[0] && !isNew[1]);
        QCOMPARE(routines().EnumRegistryValues(HKEY_USERS, "Shared\\Gone"), Values());
        s.closeKey(k);
    }

    void inOneTransaction()
    {
        RegistryRoutines reg = routines();
        QCOMPARE(reg.CreateKey(), "0");
        for (bool fail : {true, false}) { // a write into a missing key fails: then nothing before it is kept either
            QCOMPARE(store().inOneTransaction([&] {
                return reg.SetRegistryValue("a", "1", REG_SZ) && reg.CreateKey("New") == "0"
                    && (!fail || routines("Missing").SetRegistryValue("b", "2", REG_SZ));
            }), !fail);
            QCOMPARE(Codes({reg.GetRegistryValue("a").isValid(), routines("New").KeyExists()}), Codes({!fail, !fail}));
        }
        store().reopen();
        QVERIFY(reg.GetRegistryValue("a") == "1" && routines("New").KeyExists() && !routines("Missing").KeyExists());
    }

    // A file that is not a store is moved aside, with the files beside it, and a fresh store started.
    void brokenFileIsSetAside_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("side"); // a file beside it that goes with it
        QTest::newRow("empty file: made a store") << 0 << "";
        QTest::newRow("garbage with a journal") << 1 << "-journal";
        QTest::newRow("another program's database, open, with its log") << 2 << "-wal";
        QTest::newRow("another program's empty database") << 3 << "";
        QTest::newRow("store of a newer schema") << 4 << "";
        QTest::newRow("store damaged inside") << 5 << "";
    }
    void brokenFileIsSetAside()
    {
        QFETCH(int, kind);
        QFETCH(QString, side);
        const QString path = m_folder->file("broken.sqlite");
        Foreign other(nullptr, &sqlite3_close);
        if (kind <= 1)
            QVERIFY(WriteFile(path, QByteArray("not a settings store. ").repeated(kind * 200)));
        if (kind == 1) // zeros, not a hot journal: the engine itself leaves it
            QVERIFY(WriteFile(path + "-journal", QByteArray(512, '\0')));
        if (kind == 2) // still open in the other program, so the engine keeps its log
            QVERIFY(other = foreign(path, "PRAGMA journal_mode=WAL; CREATE TABLE t (x); INSERT INTO t VALUES (1);"));
        if (kind == 3)
            QVERIFY(foreign(path, "PRAGMA application_id = 7;"));
        if (kind >= 4) {
            store().setFile(path);
            for (int i = 0; i < 200; ++i)
                store().setValue(HKEY_LOCAL_MACHINE, QString::number(i), REG_BINARY, QByteArray(300, char(i)));
            store().setFile(m_folder->file("other.sqlite"));
            const QByteArray damaged = fileBytes(path).replace(QFileInfo(path).size() / 2, 4096, QByteArray(4096, 'x'));
            QVERIFY(kind == 4 ? bool(foreign(path, "PRAGMA user_version = 2;")) : WriteFile(path, damaged));
        }
        const QByteArrayList before = {fileBytes(path), fileBytes(path + side)};
        store().setFile(path);
        const QString aside = store().setAsideFileName();
        QVERIFY2(store().isAvailable() && (kind == 0 ? aside.isEmpty() : aside.startsWith(path + ".broken-")),
                 qPrintable(aside));
        if (kind != 0)
            QCOMPARE(QByteArrayList({fileBytes(aside), fileBytes(aside + side)}), before);
        // The fresh store works and lasts.
        store().closeKey(create(HKEY_LOCAL_MACHINE, "Fresh"));
        store().reopen();
        QVERIFY(store().setAsideFileName().isEmpty());
        QCOMPARE(rootKeys(), QStringList{"Fresh"});
    }

    // A file that cannot be used now is left alone, and the store runs empty.
    void unusableStoreRunsEmpty_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("a file where the folder should be") << 0;
        QTest::newRow("a folder where the file should be") << 1;
        QTest::newRow("locked by another connection") << 2;
    }
    void unusableStoreRunsEmpty()
    {
        QFETCH(int, kind);
        const QString kept = m_folder->file(kind == 0 ? "blocked" : "config/registry.sqlite");
        Foreign other(nullptr, &sqlite3_close);
        store().closeKey(create(HKEY_LOCAL_MACHINE, "Kept"));
        QVERIFY(kind != 0 || WriteFile(kept, "x"));
        QVERIFY(kind != 1 || (QFile::remove(kept) && QDir().mkpath(kept)));
        QVERIFY(kind != 2 || (other = foreign(kept, "BEGIN EXCLUSIVE;")));
        const QByteArray before = fileBytes(kept);
        store().setFile(kind == 0 ? kept + "/registry.sqlite" : kept);
        QVERIFY(!store().isAvailable());
        QVERIFY(store().firstProblemNotice() && !store().firstProblemNotice());
        QVERIFY(store().setAsideFileName().isEmpty());
        HKEY k = 0;
        QCOMPARE(Codes({store().openKey(HKEY_LOCAL_MACHINE, "Kept", KEY_READ, &k),
                        store().queryValue(HKEY_LOCAL_MACHINE, "v", nullptr, nullptr, nullptr),
                        store().setValue(HKEY_LOCAL_MACHINE, "v", REG_SZ, "1"),
                        store().createKey(HKEY_LOCAL_MACHINE, "Any", KEY_ALL_ACCESS, &k)}),
                 Codes({ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_CANTWRITE, ERROR_CANTWRITE}));
        QVERIFY(rootKeys().isEmpty() && routines().CreateKey().isEmpty());
        bool ran = false;
        QVERIFY(!store().inOneTransaction([&] { return ran = true; }) && !ran);
        QCOMPARE(QDir(QFileInfo(kept).absolutePath()).entryList({"*.broken-*"}), QStringList());
        QCOMPARE(fileBytes(kept), before);
        if (kind != 2)
            return;
        other.reset();
        store().setFile(kept);
        QVERIFY(store().firstProblemNotice()); // asked anew for a newly chosen file
        QCOMPARE(rootKeys(), QStringList{"Kept"});
    }

    // Written through the routines (or else stored as the bytes), read back after a restart, read and listed.
    void values_data()
    {
        QTest::addColumn<QVariant>("written"); // invalid: the bytes are stored as they are
        QTest::addColumn<qint32>("type");
        QTest::addColumn<QByteArray>("bytes"); // "<2>": nothing stored
        QTest::addColumn<QVariant>("value");   // "dflt": the default given to the read
        QTest::addColumn<QVariant>("listed");
        const auto t = [](const char *s, int n = -1) { return QVariant(QString::fromUtf8(s, n)); };
        const auto b = [](const char *s, int n = -1) { return QByteArray(s, n); };
        const QByteArray big = QByteArray("ärger-").repeated(1000), bin("\x0a\xff\x10", 3);
        const QVariant no, raw, dflt("dflt"), bigText(QString::fromUtf8(big));
        QTest::newRow("text") << QVariant("1") << REG_SZ << b("1", 2) << t("1") << t("1");
        QTest::newRow("Boolean") << QVariant(true) << REG_SZ << b("True", 5) << t("True") << t("True");
        QTest::newRow("utf-8, long") << bigText << REG_SZ << big + '\0' << bigText << bigText;
        QTest::newRow("multi") << t("a\0b\0", 4) << REG_MULTI_SZ << b("a\0b\0\0", 5) << t("a\0b", 3) << t("a,b");
        QTest::newRow("dword") << QVariant(-2) << REG_DWORD << b("\xfe\xff\xff\xff") << QVariant(-2) << QVariant(-2);
        QTest::newRow("binary") << QVariant(bin) << REG_BINARY << bin << QVariant(bin) << t("0A FF 10");
        QTest::newRow("letters as dword") << QVariant("abc") << REG_DWORD << b("<2>") << dflt << no;
        QTest::newRow("text as binary") << QVariant("00 0A") << REG_BINARY << b("<2>") << dflt << no;
        QTest::newRow("unconverted type") << QVariant(b("x")) << qint32(5) << b("<2>") << dflt << no;
        QTest::newRow("sz, no terminator") << raw << REG_SZ << b("abc") << t("abc") << t("abc");
        QTest::newRow("sz, NUL inside") << raw << REG_SZ << b("ab\0c\0", 5) << t("ab\0c", 4) << t("ab\0c", 4);
        QTest::newRow("empty sz") << raw << REG_SZ << b("") << dflt << t("");
        QTest::newRow("empty expand") << raw << REG_EXPAND_SZ << b("") << dflt << t("");
        QTest::newRow("expand") << QVariant("%ARDX%x") << REG_EXPAND_SZ << b("%ARDX%x\0", 8) << t("/dx") << t("/dx");
        QTest::newRow("expand, odd names") << raw << REG_EXPAND_SZ << b("%N%ardx%1%") << t("%N/d1%") << t("%N/d1%");
        QTest::newRow("expand + NUL") << raw << REG_EXPAND_SZ << b("%ARDX%\0t\0", 9) << t("/d\0t", 4) << t("/d");
        QTest::newRow("multi, one NUL") << raw << REG_MULTI_SZ << b("a\0b\0", 4) << t("a\0b", 3) << t("a,b");
        QTest::newRow("multi, first string empty") << raw << REG_MULTI_SZ << b("\0b\0\0", 4) << dflt << t(",b");
        QTest::newRow("short dword") << raw << REG_DWORD << b("\x05\x01") << QVariant(261) << QVariant(261);
        QTest::newRow("empty binary") << raw << REG_BINARY << b("") << QVariant(b("")) << t("");
        QTest::newRow("big-endian dword") << raw << qint32(5) << b("\0\0\0\1", 4) << dflt << no;
        QTest::newRow("negative type") << raw << qint32(-3) << b("raw") << dflt << no;
    }
    void values()
    {
        QFETCH(QVariant, written);
        QFETCH(qint32, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QVariant, value);
        QFETCH(QVariant, listed);
        HKEY k = create(HKEY_LOCAL_MACHINE, kRoot + "\\Sub");
        const bool stored = bytes != "<2>";
        QCOMPARE(written.isValid() ? routines().SetRegistryValue("V", written, type)
                                   : store().setValue(k, "V", type, bytes) == ERROR_SUCCESS, stored);
        store().reopen();
        QCOMPARE(store().openKey(HKEY_LOCAL_MACHINE, kRoot + "\\sub", KEY_READ, &k), ERROR_SUCCESS);
        qint32 storedType = -1;
        QCOMPARE(read(k, "v", &storedType), bytes);
        QCOMPARE(storedType, stored ? type : -1);
        store().closeKey(k);
        QCOMPARE(routines().GetRegistryValue("v", "dflt"), value);
        QCOMPARE(routines().EnumRegistryValues(HKEY_LOCAL_MACHINE, kRoot + "\\sub"),
                 stored ? Values({{"V", listed}}) : Values());
    }

    void keysAndRemoteComputers()
    {
        RegistryRoutines reg = routines("Fresh");
        QVERIFY(!reg.SetRegistryValue("v", "1", REG_SZ) && !reg.KeyExists()); // nothing is created by a write
        QCOMPARE(reg.GetRegistryValue("v", 7), QVariant(7));
        QCOMPARE(reg.CreateKey() + reg.CreateKey() + reg.CreateKey("\\A\\\\B\\") + reg.CreateKey(5), "0000");
        QCOMPARE(reg.CreateKey(QString(256, 'n')) + reg.CreateKey(QString(255, 'n')), "0");
        // Names are compared without regard to case, also beyond ASCII, and keep their first spelling.
        for (const char *name : {"beta", "Alpha", "ÄRGER", "delta", "οδος", "ärger", "ΟΔΟΣ", "ALPHA"})
            QCOMPARE(reg.CreateKey(QString::fromUtf8(name)), "0");
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, kRoot), // sorted by their case-folded names
                 QStringList({"5", "A", "Alpha", "beta", "delta", "Fresh", QString(255, 'n'), "ÄRGER", "οδος"}));
        QCOMPARE(Codes({reg.DeleteKey("A"), reg.DeleteKey("A\\B"), reg.DeleteKey("a"), reg.DeleteKey("A"),
                        store().deleteKey(HKEY_USERS, "")}), // a root stays, even an empty one
                 Codes({ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}));
        // Values listed in the order they were created; replacing one keeps its place and spelling.
        for (const char *name : {"ä", "z", "Ä"})
            QVERIFY(reg.SetRegistryValue(QString::fromUtf8(name), name, REG_SZ));
        QVERIFY(reg.SetRegistryValue(QString::fromUtf8("Z\0x", 3), "Z", REG_SZ)); // a name ends at a NUL
        QCOMPARE(reg.EnumRegistryValues(HKEY_LOCAL_MACHINE, kRoot + "\\fresh"), Values({{"ä", "Ä"}, {"z", "Z"}}));
        QCOMPARE(Codes({reg.DeleteValue("Z"), reg.DeleteValue("z"), routines("Gone").DeleteValue("ä")}),
                 Codes({ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}));
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, "None") + reg.EnumRegistryKeys(0x1234, ""), QStringList());
        QString item = QString::fromUtf8("abc\0def", 7);
        QCOMPARE(RegistryRoutines::TrimNull(item) + item, "abcabc");
        const QString host = QSysInfo::machineHostName();
        for (const QString &name : {QString(), QString("\\\\."), QString("LocalHost"), QString("127.0.0.1"),
                                    QString("::1"), "\\\\" + host.toUpper(), host.section('.', 0, 0)})
            QVERIFY2(RegistryStore::isLocalComputerName(name), qPrintable(name));
        QVERIFY(reg.WriteRemoteRegistryValue(".", HKEY_LOCAL_MACHINE, "r", 42, REG_DWORD));
        reg.setSubkey("beta"); // a path given is used instead
        QCOMPARE(reg.ReadRemoteRegistryValue(host, HKEY_LOCAL_MACHINE, "R", kRoot + "\\FRESH"), QVariant(42));
        QVERIFY(!reg.WriteRemoteRegistryValue("\\\\" + host + "x", HKEY_LOCAL_MACHINE, "r", 1, REG_DWORD));
        QCOMPARE(reg.ReadRemoteRegistryValue(host + "x", HKEY_LOCAL_MACHINE, "r"), QVariant("Error!"));
    }

    // One stored text and the options it gives, every option set to `before` first.
    void storedText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text"); // null: not stored
        QTest::addColumn<qint32>("before");
        QTest::addColumn<qint32>("after");
        QTest::newRow("grid 1") << "chkViewGrid" << "1" << 0 << 1;
        QTest::newRow("grid ' 1.0'") << "chkViewGrid" << " 1.0" << 0 << 1;
        QTest::newRow("grid grayed is off") << "chkViewGrid" << "2" << 1 << 0;
        QTest::newRow("grid 3 refused") << "chkViewGrid" << "3" << 1 << 1;
        QTest::newRow("grid -1 refused") << "chkViewGrid" << "-1" << 1 << 1;
        QTest::newRow("grid True refused") << "chkViewGrid" << "True" << 1 << 1;
        QTest::newRow("nothing stored") << "chkViewGrid" << QString() << 1 << 0;
        QTest::newRow("first name ' TRUE '") << "ptnSortByFirstName" << " TRUE " << 0 << 1;
        QTest::newRow("first name False") << "ptnSortByFirstName" << "False" << 1 << 0;
        QTest::newRow("first name 0.5") << "ptnSortByFirstName" << "0.5" << 0 << 1;
        QTest::newRow("first name yes refused") << "ptnSortByFirstName" << "yes" << 1 << 1;
        QTest::newRow("last name True only") << "ptnSortByLastName" << "True" << 1 << 0;
        QTest::newRow("last name False only") << "ptnSortByLastName" << "False" << 1 << 0;
        QTest::newRow("colour") << "picColor" << "-16777216" << 5 << -16777216;
        QTest::newRow("colour letters refused") << "picColor" << "letters" << 5 << 5;
    }
    void storedText()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(qint32, before);
        QFETCH(qint32, after);
        RegistryRoutines reg = OptionsRegistry();
        reg.setSubkey(name.startsWith("ptn") || name.startsWith("chkRun") ? "Options" : "Display");
        QVERIFY(reg.CreateKey() == "0" && (text.isNull() || reg.SetRegistryValue(name, text, REG_SZ)));
        QMap<QString, qint32> expected = options(); // the defaults: nothing else is stored
        // The first-name option follows its own value alone: not stored, it is off whatever the last name says.
        expected[name == "ptnSortByLastName" ? "ptnSortByFirstName" : name] = after;
        Options() = {bool(before), before, before, bool(before), bool(before), bool(before)};
        GetOptions();
        QCOMPARE(options(), expected);
    }

    void writersSurviveARestart()
    {
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(EnsureOptionKeys() && SaveRunWhenWindowsStarts(reg, 0) && SaveSortByFirstName(reg, true));
        QVERIFY(SaveSortByLastName(reg, true) && SaveHoTrack(reg, 1) && SaveViewGrid(reg, 2));
        QVERIFY(SaveAppColor(reg, 0x00FFFFFF) && SaveTextColor(reg, qint32(0x80000005u)));
        RegistryStore::instance().reopen();
        const StoredOptions s = GetOptions();
        QCOMPARE(options(), (QMap<QString, qint32>{{"chkRunWhenWindowsStarts", 0}, {"ptnSortByFirstName", 1},
                                                   {"chkHoTrack", 1}, {"chkViewGrid", 0}, {"picColor", 0xFFFFFF},
                                                   {"picTextColor", qint32(0x80000005u)}}));
        QVERIFY(s.chkRunWhenWindowsStarts == 0 && s.chkHoTrack == 1 && s.chkViewGrid == 2);
        QVERIFY(s.ptnSortByFirstName == true && s.ptnSortByLastName == true); // colours: in the look below
        // The look: what is stored, else the built-in one.
        auto look = [](DisplayLook l) { return Codes({l.titleBackground, l.titleText, l.gridLines, l.hotTrack}); };
        QCOMPARE(look(LookFrom(s)), Codes({0xFFFFFF, qint32(0x80000005u), false, true}));
        QCOMPARE(look(LookFrom(StoredOptions())), look(DisplayLook()));
    }

    void optionKeys()
    {
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(!SaveAppColor(reg, 1) && !SaveSortByFirstName(reg, true) && rootKeys().isEmpty()); // no keys yet
        App().ProductName.clear(); // the product constants are filled again when missing
        reg = OptionsRegistry();
        QVERIFY(!App().ProductName.isEmpty() && reg.KeyRoot().endsWith("\\" + App().ProductName));
        QVERIFY(EnsureOptionKeys() && SaveAppColor(reg, 42) && EnsureOptionKeys()); // a second start keeps it
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, reg.KeyRoot()), QStringList({"Display", "Options"}));
        QCOMPARE(GetOptions().picColor, OptLong(42));
    }

    void conversions_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<OptLong>("asLong");
        QTest::addColumn<OptBool>("asBoolean");
        const OptLong noLong;
        const OptBool noBool;
        QTest::newRow("text -1") << QVariant("-1") << OptLong(-1) << OptBool(true);
        QTest::newRow("text 0.0") << QVariant("0.0") << OptLong(0) << OptBool(false);
        QTest::newRow("text 2.5: half to even") << QVariant("2.5") << OptLong(2) << OptBool(true);
        QTest::newRow("text 3.5") << QVariant("3.5") << OptLong(4) << OptBool(true);
        QTest::newRow("largest, spaces") << QVariant(" 2147483647\t") << OptLong(INT_MAX) << OptBool(true);
        QTest::newRow("text 1e3") << QVariant("1e3") << OptLong(1000) << OptBool(true);
        QTest::newRow("smallest") << QVariant("-2147483648") << OptLong(INT_MIN) << OptBool(true);
        QTest::newRow("too large") << QVariant("2147483648") << noLong << OptBool(true);
        QTest::newRow("hex") << QVariant("&HFF") << noLong << noBool;
        QTest::newRow("thousands") << QVariant("1,000") << noLong << noBool;
        QTest::newRow("Boolean true") << QVariant(true) << OptLong(-1) << OptBool(true);
        QTest::newRow("double -0.5") << QVariant(-0.5) << OptLong(0) << OptBool(true);
        QTest::newRow("double 0.0") << QVariant(0.0) << OptLong(0) << OptBool(false);
        QTest::newRow("int 0") << QVariant(0) << OptLong(0) << OptBool(false);
        QTest::newRow("unsigned too large") << QVariant(3000000000u) << noLong << OptBool(true);
        QTest::newRow("64-bit 2^32") << QVariant(qint64(1) << 32) << noLong << OptBool(true);
        QTest::newRow("bytes") << QVariant(QByteArray("1")) << noLong << noBool;
        QTest::newRow("empty") << QVariant() << noLong << noBool;
    }
    void conversions()
    {
        QFETCH(QVariant, value);
        QFETCH(OptLong, asLong);
        QFETCH(OptBool, asBoolean);
        QCOMPARE(VbToLong(value), asLong);
        QCOMPARE(VbToBoolean(value), asBoolean);
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
};

QTEST_MAIN(tst_settings)
#include "tst_settings.moc"
