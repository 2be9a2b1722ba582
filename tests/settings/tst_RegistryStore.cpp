#include "common/TestSupport.h"
#include "settings/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace Reg;

namespace {

RegistryStore &store()
{
    return RegistryStore::instance();
}

HKEY createKey(HKEY root, const QString &path, qint32 access = KEY_ALL_ACCESS)
{
    HKEY h = 0;
    const qint32 rc = store().createKey(root, path, access, &h);
    if (rc != ERROR_SUCCESS)
        qWarning("createKey %s: %d", qPrintable(path), rc);
    return h;
}

QByteArray readValue(HKEY key, const QString &name, qint32 *type = nullptr, qint32 *rc = nullptr)
{
    QByteArray data;
    qint32 length = 1 << 20;
    const qint32 r = store().queryValue(key, name, type, &data, &length);
    if (rc)
        *rc = r;
    return data;
}

QStringList subkeys(HKEY key)
{
    QStringList names;
    QString name;
    for (qint32 i = 0; store().enumKey(key, i, &name) == ERROR_SUCCESS; ++i)
        names << name;
    return names;
}

QStringList valueNames(HKEY key)
{
    QStringList names;
    QString name;
    for (qint32 i = 0; store().enumValue(key, i, &name, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i)
        names << name;
    return names;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void makeForeignDatabase(const QString &path, const char *sql)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

} // namespace

class tst_RegistryStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<TempAppFolder>();
        m_file = m_folder->file(QStringLiteral("config/registry.sqlite"));
        store().setFile(m_file);
        QVERIFY(store().isAvailable());
    }
    void cleanup()
    {
        store().setFile(m_folder->file(QStringLiteral("idle/registry.sqlite")));
        m_folder.reset();
    }

    void rootsAreSeparate()
    {
        const QList<HKEY> roots = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
        for (HKEY root : roots) {
            const HKEY k = createKey(root, QStringLiteral("Shared"));
            QCOMPARE(store().setValue(k, QStringLiteral("root"), REG_DWORD, QByteArray::number(root)), ERROR_SUCCESS);
            store().closeKey(k);
        }
        for (HKEY root : roots) {
            HKEY k = 0;
            QCOMPARE(store().openKey(root, QStringLiteral("Shared"), KEY_READ, &k), ERROR_SUCCESS);
            QCOMPARE(readValue(k, QStringLiteral("root")), QByteArray::number(root));
            store().closeKey(k);
            QCOMPARE(store().closeKey(root), ERROR_SUCCESS);
        }
        QCOMPARE(store().openHandleCount(), 0);
    }

    void invalidHandles()
    {
        HKEY k = 0;
        for (HKEY bad : {HKEY(0), HKEY(0x80000004u)}) {
            QCOMPARE(store().openKey(bad, QString(), KEY_READ, &k), ERROR_INVALID_HANDLE);
            QCOMPARE(store().setValue(bad, QStringLiteral("v"), REG_SZ, "x"), ERROR_INVALID_HANDLE);
            QCOMPARE(store().closeKey(bad), ERROR_INVALID_HANDLE);
        }
        k = createKey(HKEY_CURRENT_USER, QStringLiteral("A"));
        QCOMPARE(store().closeKey(k), ERROR_SUCCESS);
        QCOMPARE(store().closeKey(k), ERROR_INVALID_HANDLE);
        qint32 type = 0;
        qint32 len = 10;
        QCOMPARE(store().queryValue(k, QStringLiteral("v"), &type, nullptr, &len), ERROR_INVALID_HANDLE);
    }

    void accessRights()
    {
        store().closeKey(createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App")));
        HKEY w = 0;
        QCOMPARE(store().openKey(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App"), KEY_WRITE, &w), ERROR_SUCCESS);
        QCOMPARE(store().setValue(w, QStringLiteral("v"), REG_SZ, QByteArray("x", 2)), ERROR_SUCCESS);
        qint32 rc = 0;
        readValue(w, QStringLiteral("v"), nullptr, &rc);
        QCOMPARE(rc, ERROR_ACCESS_DENIED);
        QString name;
        QCOMPARE(store().enumKey(w, 0, &name), ERROR_ACCESS_DENIED);

        HKEY r = 0;
        QCOMPARE(store().openKey(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App"), KEY_READ, &r), ERROR_SUCCESS);
        QCOMPARE(readValue(r, QStringLiteral("v"), nullptr, &rc), QByteArray("x", 2));
        QCOMPARE(store().setValue(r, QStringLiteral("v"), REG_SZ, "y"), ERROR_ACCESS_DENIED);
        QCOMPARE(store().deleteValue(r, QStringLiteral("v")), ERROR_ACCESS_DENIED);
        HKEY sub = 0;
        QCOMPARE(store().createKey(r, QStringLiteral("New"), KEY_ALL_ACCESS, &sub), ERROR_ACCESS_DENIED);
        QCOMPARE(subkeys(r), QStringList());
        store().closeKey(r);
        store().closeKey(w);
    }

    void namesIgnoreCase_data()
    {
        QTest::addColumn<QString>("created");
        QTest::addColumn<QString>("lookedUp");
        QTest::newRow("ascii") << "ptnSortByLastName" << "ptnSortBylastName";
        QTest::newRow("umlaut") << QString::fromUtf8("ÄRGER") << QString::fromUtf8("ärger");
        QTest::newRow("cyrillic") << QString::fromUtf8("журнал") << QString::fromUtf8("ЖУРНАЛ");
    }
    void namesIgnoreCase()
    {
        QFETCH(QString, created);
        QFETCH(QString, lookedUp);
        const HKEY parent = createKey(HKEY_CURRENT_USER, QStringLiteral("Names"));
        const HKEY k = createKey(parent, created);
        QCOMPARE(store().setValue(k, created, REG_SZ, "1"), ERROR_SUCCESS);
        store().closeKey(k);

        HKEY again = 0;
        QCOMPARE(store().openKey(parent, lookedUp, KEY_ALL_ACCESS, &again), ERROR_SUCCESS);
        QCOMPARE(readValue(again, lookedUp), QByteArray("1"));
        // Writing under the other spelling replaces the value, which keeps its name.
        QCOMPARE(store().setValue(again, lookedUp, REG_SZ, "2"), ERROR_SUCCESS);
        QCOMPARE(valueNames(again), QStringList{created});
        QCOMPARE(readValue(again, created), QByteArray("2"));
        // Creating under the other spelling opens the existing key.
        bool isNew = true;
        HKEY same = 0;
        QCOMPARE(store().createKey(parent, lookedUp, KEY_ALL_ACCESS, &same, &isNew), ERROR_SUCCESS);
        QVERIFY(!isNew);
        QCOMPARE(subkeys(parent), QStringList{created});
        for (HKEY h : {again, same, parent})
            store().closeKey(h);
    }

    void valueRoundTrip_data()
    {
        QTest::addColumn<qint32>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("sz") << REG_SZ << QString::fromUtf8("Grüße").toUtf8().append('\0');
        QTest::newRow("expand") << REG_EXPAND_SZ << QByteArray("%HOME%\\x", 9);
        QTest::newRow("binary") << REG_BINARY << QByteArray("\x00\x0a\xff\x00", 4);
        QTest::newRow("dword") << REG_DWORD << QByteArray("\xfe\xff\xff\xff", 4);
        QTest::newRow("multi") << REG_MULTI_SZ << QByteArray("a\0b\0\0", 5);
        QTest::newRow("empty sz") << REG_SZ << QByteArray();
        QTest::newRow("big-endian dword") << 5 << QByteArray("\x00\x00\x00\x07", 4);
        QTest::newRow("qword") << 11 << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
        QTest::newRow("negative code") << qint32(-3) << QByteArray("z", 1);
    }
    void valueRoundTrip()
    {
        QFETCH(qint32, type);
        QFETCH(QByteArray, bytes);
        HKEY k = createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Types"));
        QCOMPARE(store().setValue(k, QStringLiteral("v"), type, bytes), ERROR_SUCCESS);
        store().closeKey(k);

        store().reopen(); // from the file, as after a restart
        QCOMPARE(store().openKey(HKEY_LOCAL_MACHINE, QStringLiteral("Types"), KEY_READ, &k), ERROR_SUCCESS);
        qint32 readType = -1;
        qint32 rc = -1;
        QCOMPARE(readValue(k, QStringLiteral("v"), &readType, &rc), bytes);
        QCOMPARE(rc, ERROR_SUCCESS);
        QCOMPARE(readType, type);
        store().closeKey(k);
    }

    void moreData()
    {
        const HKEY k = createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Big"));
        const QByteArray big(5000, 'q');
        QCOMPARE(store().setValue(k, QStringLiteral("v"), REG_BINARY, big), ERROR_SUCCESS);

        QByteArray data("untouched");
        qint32 type = 0;
        qint32 length = 1024;
        QCOMPARE(store().queryValue(k, QStringLiteral("v"), &type, &data, &length), ERROR_MORE_DATA);
        QCOMPARE(length, 5000);
        QCOMPARE(type, REG_BINARY);
        QCOMPARE(data, QByteArray("untouched"));
        QCOMPARE(store().queryValue(k, QStringLiteral("v"), &type, &data, &length), ERROR_SUCCESS);
        QCOMPARE(data, big);
        length = 0; // size only
        QCOMPARE(store().queryValue(k, QStringLiteral("v"), &type, nullptr, &length), ERROR_SUCCESS);
        QCOMPARE(length, 5000);
        // Enumeration honours the buffer as well.
        QString name;
        length = 4096;
        QCOMPARE(store().enumValue(k, 0, &name, &type, &data, &length), ERROR_MORE_DATA);
        QCOMPARE(length, 5000);
        QCOMPARE(name, QStringLiteral("v"));
        store().closeKey(k);
    }

    void missingKeyIsNeverCreated()
    {
        HKEY k = 0x77;
        QCOMPARE(store().openKey(HKEY_LOCAL_MACHINE, QStringLiteral("No\\Such"), KEY_WRITE, &k), ERROR_FILE_NOT_FOUND);
        QCOMPARE(k, HKEY(0x77));
        QCOMPARE(subkeys(HKEY_LOCAL_MACHINE), QStringList());
        qint32 rc = 0;
        readValue(HKEY_LOCAL_MACHINE, QStringLiteral("absent"), nullptr, &rc);
        QCOMPARE(rc, ERROR_FILE_NOT_FOUND);
    }

    void createKeyWithParents()
    {
        bool isNew = false;
        HKEY k = 0;
        QCOMPARE(store().createKey(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Vendor\\App"), KEY_ALL_ACCESS, &k,
                                   &isNew),
                 ERROR_SUCCESS);
        QVERIFY(isNew);
        store().closeKey(k);
        // Doubled, leading and trailing separators name the same key.
        QCOMPARE(store().createKey(HKEY_LOCAL_MACHINE, QStringLiteral("\\software\\\\VENDOR\\app\\"), KEY_ALL_ACCESS,
                                   &k, &isNew),
                 ERROR_SUCCESS);
        QVERIFY(!isNew);
        store().closeKey(k);
        QCOMPARE(subkeys(HKEY_LOCAL_MACHINE), QStringList{QStringLiteral("SOFTWARE")});

        QCOMPARE(store().createKey(HKEY_LOCAL_MACHINE, QString(256, QLatin1Char('n')), KEY_ALL_ACCESS, &k),
                 ERROR_INVALID_PARAMETER);
        QCOMPARE(store().createKey(HKEY_LOCAL_MACHINE, QString(255, QLatin1Char('n')), KEY_ALL_ACCESS, &k),
                 ERROR_SUCCESS);
        store().closeKey(k);
    }

    void deleteKey()
    {
        const HKEY parent = createKey(HKEY_CURRENT_USER, QStringLiteral("P"));
        const HKEY child = createKey(parent, QStringLiteral("C"));
        QCOMPARE(store().setValue(child, QStringLiteral("v"), REG_SZ, "1"), ERROR_SUCCESS);

        QCOMPARE(store().deleteKey(HKEY_CURRENT_USER, QStringLiteral("P")), ERROR_ACCESS_DENIED);
        QCOMPARE(subkeys(parent), QStringList{QStringLiteral("C")});
        QCOMPARE(store().deleteKey(HKEY_CURRENT_USER, QStringLiteral("p\\c")), ERROR_SUCCESS);
        QCOMPARE(store().deleteKey(HKEY_CURRENT_USER, QStringLiteral("P\\C")), ERROR_FILE_NOT_FOUND);
        // A handle to the deleted key no longer works.
        QCOMPARE(store().setValue(child, QStringLiteral("w"), REG_SZ, "1"), ERROR_KEY_DELETED);
        store().closeKey(child);
        // Its values went with it.
        const HKEY again = createKey(parent, QStringLiteral("C"));
        QCOMPARE(valueNames(again), QStringList());
        store().closeKey(again);

        QCOMPARE(store().deleteKey(HKEY_CURRENT_USER, QString()), ERROR_ACCESS_DENIED);
        QCOMPARE(store().deleteValue(parent, QStringLiteral("nothing")), ERROR_FILE_NOT_FOUND);
        store().closeKey(parent);
    }

    void enumerationOrder()
    {
        const HKEY k = createKey(HKEY_CURRENT_USER, QStringLiteral("Order"));
        // Subkeys come sorted by name without regard to case, as in the registry.
        for (const char *name : {"beta", "Alpha", "gamma", "Ärger", "Delta"})
            store().closeKey(createKey(k, QString::fromUtf8(name)));
        QCOMPARE(subkeys(k), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("Delta"),
                                          QStringLiteral("gamma"), QString::fromUtf8("Ärger")}));
        // Values come in the order they were created; replacing keeps the place.
        for (const char *name : {"z", "a", "M"})
            QCOMPARE(store().setValue(k, QLatin1String(name), REG_SZ, "1"), ERROR_SUCCESS);
        QCOMPARE(store().setValue(k, QStringLiteral("A"), REG_SZ, "2"), ERROR_SUCCESS);
        QCOMPARE(valueNames(k), (QStringList{QStringLiteral("z"), QStringLiteral("a"), QStringLiteral("M")}));
        QCOMPARE(store().deleteValue(k, QStringLiteral("z")), ERROR_SUCCESS);
        QCOMPARE(store().setValue(k, QStringLiteral("z"), REG_SZ, "1"), ERROR_SUCCESS);
        QCOMPARE(valueNames(k), (QStringList{QStringLiteral("a"), QStringLiteral("M"), QStringLiteral("z")}));

        QString name;
        QCOMPARE(store().enumKey(k, 5, &name), ERROR_NO_MORE_ITEMS);
        QCOMPARE(store().enumKey(k, -1, &name), ERROR_NO_MORE_ITEMS);
        QCOMPARE(store().enumValue(k, 3, &name, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
        store().closeKey(k);
    }

    void unusableFileIsSetAside_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("garbage bytes") << 0;
        QTest::newRow("another program's database") << 1;
        QTest::newRow("store of a newer schema") << 2;
        QTest::newRow("truncated store") << 3;
    }
    void unusableFileIsSetAside()
    {
        QFETCH(int, kind);
        const QString path = m_folder->file(QStringLiteral("broken/registry.sqlite"));
        switch (kind) {
        case 0:
            writeFile(path, QByteArray("this is not a settings store at all, only some text. ").repeated(100));
            // A side file must not be left for the fresh store to pick up.
            writeFile(path + QStringLiteral("-wal"), QByteArray("stale log"));
            break;
        case 1:
            makeForeignDatabase(path, "CREATE TABLE foo (x); INSERT INTO foo VALUES (1);");
            break;
        case 2:
            store().setFile(path);
            store().closeKey(createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Old")));
            store().setFile(m_file);
            makeForeignDatabase(path, "PRAGMA user_version = 2;");
            break;
        case 3: {
            store().setFile(path);
            const HKEY k = createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Old"));
            for (int i = 0; i < 200; ++i)
                store().setValue(k, QString::number(i), REG_BINARY, QByteArray(300, char(i)));
            store().closeKey(k);
            store().setFile(m_file);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(f.size() / 2));
            break;
        }
        }
        QFile original(path);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();

        store().setFile(path);
        QVERIFY(store().isAvailable());
        const QString aside = store().setAsideFileName();
        QVERIFY(aside.startsWith(path + QStringLiteral(".broken-")));
        QFile moved(aside);
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), before);
        if (kind == 0) {
            QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
        }
        // A fresh store works and lasts.
        QCOMPARE(subkeys(HKEY_LOCAL_MACHINE), QStringList());
        const HKEY k = createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Fresh"));
        QCOMPARE(store().setValue(k, QStringLiteral("v"), REG_SZ, "1"), ERROR_SUCCESS);
        store().closeKey(k);
        store().reopen();
        QVERIFY(store().setAsideFileName().isEmpty());
        QCOMPARE(subkeys(HKEY_LOCAL_MACHINE), QStringList{QStringLiteral("Fresh")});
    }

    void emptyFileBecomesAStore()
    {
        const QString path = m_folder->file(QStringLiteral("empty/registry.sqlite"));
        writeFile(path, QByteArray());
        store().setFile(path);
        QVERIFY(store().isAvailable());
        QVERIFY(store().setAsideFileName().isEmpty());
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files), QStringList{"registry.sqlite"});
    }

    void unusableLocationRunsEmpty()
    {
        // A file where the folder should be: nothing can be created there.
        writeFile(m_folder->file(QStringLiteral("blocked")), "x");
        store().setFile(m_folder->file(QStringLiteral("blocked/registry.sqlite")));
        QVERIFY(!store().isAvailable());
        HKEY k = 0;
        QCOMPARE(store().openKey(HKEY_LOCAL_MACHINE, QStringLiteral("Any"), KEY_READ, &k), ERROR_FILE_NOT_FOUND);
        QCOMPARE(store().createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Any"), KEY_ALL_ACCESS, &k), ERROR_CANTWRITE);
        QCOMPARE(store().setValue(HKEY_LOCAL_MACHINE, QStringLiteral("v"), REG_SZ, "1"), ERROR_CANTWRITE);
        qint32 rc = 0;
        readValue(HKEY_LOCAL_MACHINE, QStringLiteral("v"), nullptr, &rc);
        QCOMPARE(rc, ERROR_FILE_NOT_FOUND);
        QString name;
        QCOMPARE(store().enumKey(HKEY_LOCAL_MACHINE, 0, &name), ERROR_NO_MORE_ITEMS);
        QCOMPARE(QFile(m_folder->file(QStringLiteral("blocked"))).size(), 1);
    }

    void expandEnvironmentStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expanded");
        QTest::newRow("known") << "%ARDENTIA_TEST_VAR%\\x" << "C:\\data\\x";
        QTest::newRow("any letter case") << "%ardentia_test_var%" << "C:\\data";
        QTest::newRow("unknown kept") << "%NO_SUCH_VARIABLE_QX%\\x" << "%NO_SUCH_VARIABLE_QX%\\x";
        QTest::newRow("unknown then known") << "%NO_SUCH%ARDENTIA_TEST_VAR%" << "%NO_SUCHC:\\data";
        QTest::newRow("lone percent") << "100% sure" << "100% sure";
    }
    void expandEnvironmentStrings()
    {
        QFETCH(QString, text);
        QFETCH(QString, expanded);
        qputenv("ARDENTIA_TEST_VAR", "C:\\data");
        QCOMPARE(RegistryStore::expandEnvironmentStrings(text), expanded);
    }

    void computerNames_data()
    {
        const QString host = QSysInfo::machineHostName();
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint32>("result");
        QTest::newRow("empty") << QString() << ERROR_SUCCESS;
        QTest::newRow("localhost") << "LocalHost" << ERROR_SUCCESS;
        QTest::newRow("unc host") << QStringLiteral("\\\\") + host.toUpper() << ERROR_SUCCESS;
        QTest::newRow("unc dot") << "\\\\." << ERROR_SUCCESS;
        QTest::newRow("unc other") << "\\\\otherhost" << ERROR_BAD_NETPATH;
    }
    void computerNames()
    {
        QFETCH(QString, name);
        QFETCH(qint32, result);
        if (QSysInfo::machineHostName().compare(QLatin1String("otherhost"), Qt::CaseInsensitive) == 0)
            QSKIP("this machine is called otherhost");
        const HKEY k = createKey(HKEY_LOCAL_MACHINE, QStringLiteral("Remote"));
        QCOMPARE(store().setValue(k, QStringLiteral("v"), REG_SZ, "here"), ERROR_SUCCESS);
        store().closeKey(k);

        HKEY root = 0;
        QCOMPARE(store().connectRegistry(name, HKEY_LOCAL_MACHINE, &root), result);
        if (result != ERROR_SUCCESS)
            return;
        HKEY remote = 0;
        QCOMPARE(store().openKey(root, QStringLiteral("Remote"), KEY_ALL_ACCESS, &remote), ERROR_SUCCESS);
        QCOMPARE(readValue(remote, QStringLiteral("v")), QByteArray("here"));
        store().closeKey(remote);
        QCOMPARE(store().closeKey(root), ERROR_SUCCESS);
        QCOMPARE(store().connectRegistry(name, 0x1234, &root), ERROR_INVALID_HANDLE);
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
    QString m_file;
};

QTEST_MAIN(tst_RegistryStore)
#include "tst_RegistryStore.moc"
