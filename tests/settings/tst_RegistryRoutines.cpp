#include "common/TestSupport.h"
#include "settings/RegistryRoutines.h"

#include <QFile>
#include <QtTest>

#include <memory>

using namespace Reg;

namespace {

RegistryStore &store()
{
    return RegistryStore::instance();
}

const QString kKeyRoot = QStringLiteral("SOFTWARE\\Test");

RegistryRoutines routines(const QString &subkey = QStringLiteral("Sub"))
{
    RegistryRoutines reg;
    reg.setHkey(HKEY_LOCAL_MACHINE);
    reg.setKeyRoot(kKeyRoot);
    reg.setSubkey(subkey);
    return reg;
}

// Writes raw bytes below the routines' key, bypassing their conversions.
void putRaw(const QString &name, qint32 type, const QByteArray &bytes, const QString &subkey = QStringLiteral("Sub"))
{
    HKEY k = 0;
    QCOMPARE(store().createKey(HKEY_LOCAL_MACHINE, kKeyRoot + QLatin1Char('\\') + subkey, KEY_ALL_ACCESS, &k),
             ERROR_SUCCESS);
    QCOMPARE(store().setValue(k, name, type, bytes), ERROR_SUCCESS);
    store().closeKey(k);
}

QByteArray getRaw(const QString &name, qint32 *type = nullptr)
{
    HKEY k = 0;
    if (store().openKey(HKEY_LOCAL_MACHINE, kKeyRoot + QStringLiteral("\\Sub"), KEY_READ, &k) != ERROR_SUCCESS)
        return "<no key>";
    QByteArray data;
    qint32 length = 1 << 20;
    const qint32 rc = store().queryValue(k, name, type, &data, &length);
    store().closeKey(k);
    return rc == ERROR_SUCCESS ? data : QByteArray("<no value>");
}

QString nulText(const char *s, int n)
{
    return QString::fromUtf8(s, n);
}

} // namespace

class tst_RegistryRoutines : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<TempAppFolder>();
        store().setFile(m_folder->file(QStringLiteral("config/registry.sqlite")));
        RegistryRoutines reg = routines();
        QCOMPARE(reg.CreateKey(), QStringLiteral("0"));
        qputenv("ARDENTIA_TEST_DIR", "/srv/data");
    }
    void cleanup()
    {
        // Every operation closes what it opened.
        QCOMPARE(store().openHandleCount(), 0);
        m_folder.reset();
    }

    void missingValueGivesDefault_data()
    {
        QTest::addColumn<QString>("subkey");
        QTest::addColumn<QVariant>("defaultValue");
        QTest::newRow("no value, no default") << "Sub" << QVariant();
        QTest::newRow("no value, default") << "Sub" << QVariant(7);
        QTest::newRow("no key, default") << "Nowhere" << QVariant(QStringLiteral("dflt"));
    }
    void missingValueGivesDefault()
    {
        QFETCH(QString, subkey);
        QFETCH(QVariant, defaultValue);
        const QVariant v = routines(subkey).GetRegistryValue(QStringLiteral("absent"), defaultValue);
        QCOMPARE(v, defaultValue);
        QCOMPARE(v.isValid(), defaultValue.isValid());
    }

    void setThenGet_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<qint32>("type");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QVariant>("read");
        QTest::newRow("text") << QVariant("1") << REG_SZ << QByteArray("1", 2) << QVariant("1");
        QTest::newRow("true") << QVariant(true) << REG_SZ << QByteArray("True", 5) << QVariant("True");
        QTest::newRow("integer") << QVariant(-16777216) << REG_SZ << QByteArray("-16777216", 10)
                                 << QVariant("-16777216");
        QTest::newRow("utf-8") << QVariant(QString::fromUtf8("Grüße")) << REG_SZ
                               << QString::fromUtf8("Grüße").toUtf8().append('\0')
                               << QVariant(QString::fromUtf8("Grüße"));
        QTest::newRow("expand") << QVariant("%ARDENTIA_TEST_DIR%/x") << REG_EXPAND_SZ
                                << QByteArray("%ARDENTIA_TEST_DIR%/x", 22) << QVariant("/srv/data/x");
        QTest::newRow("dword") << QVariant(-2) << REG_DWORD << QByteArray("\xfe\xff\xff\xff", 4) << QVariant(-2);
        QTest::newRow("dword from text") << QVariant("300") << REG_DWORD << QByteArray("\x2c\x01\0\0", 4)
                                         << QVariant(300);
        QTest::newRow("dword from Boolean") << QVariant(true) << REG_DWORD << QByteArray("\xff\xff\xff\xff", 4)
                                            << QVariant(-1);
        QTest::newRow("binary") << QVariant(QByteArray("\x00\x0a", 2)) << REG_BINARY << QByteArray("\x00\x0a", 2)
                                << QVariant(QByteArray("\x00\x0a", 2));
        QTest::newRow("multi") << QVariant(nulText("a\0b\0", 4)) << REG_MULTI_SZ << QByteArray("a\0b\0\0", 5)
                               << QVariant(nulText("a\0b", 3));
    }
    void setThenGet()
    {
        QFETCH(QVariant, value);
        QFETCH(qint32, type);
        QFETCH(QByteArray, stored);
        QFETCH(QVariant, read);
        RegistryRoutines reg = routines();
        QVERIFY(reg.SetRegistryValue(QStringLiteral("v"), value, type));
        qint32 storedType = -1;
        QCOMPARE(getRaw(QStringLiteral("v"), &storedType), stored);
        QCOMPARE(storedType, type);
        const QVariant v = reg.GetRegistryValue(QStringLiteral("v"), QStringLiteral("dflt"));
        QCOMPARE(v.typeId(), read.typeId());
        QCOMPARE(v, read);
    }

    void setRefused_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<qint32>("type");
        QTest::newRow("letters as dword") << QVariant("abc") << REG_DWORD;
        QTest::newRow("too big for dword") << QVariant(qint64(1) << 32) << REG_DWORD;
        QTest::newRow("text as binary") << QVariant("00 0A") << REG_BINARY;
        QTest::newRow("unconverted type") << QVariant(QByteArray("x")) << qint32(5);
        QTest::newRow("none") << QVariant("x") << REG_NONE;
    }
    void setRefused()
    {
        QFETCH(QVariant, value);
        QFETCH(qint32, type);
        putRaw(QStringLiteral("v"), REG_SZ, QByteArray("old", 4));
        QVERIFY(!routines().SetRegistryValue(QStringLiteral("v"), value, type));
        QCOMPARE(getRaw(QStringLiteral("v")), QByteArray("old", 4));
    }

    void storedDataConversions_data()
    {
        QTest::addColumn<qint32>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVariant>("read");
        const QVariant dflt(QStringLiteral("dflt"));
        QTest::newRow("zero-length sz") << REG_SZ << QByteArray() << dflt;
        QTest::newRow("zero-length expand") << REG_EXPAND_SZ << QByteArray() << dflt;
        QTest::newRow("sz without terminator") << REG_SZ << QByteArray("abc") << QVariant("abc");
        QTest::newRow("sz with inner NUL") << REG_SZ << QByteArray("ab\0cd\0", 6) << QVariant(nulText("ab\0cd", 5));
        QTest::newRow("multi, first string empty") << REG_MULTI_SZ << QByteArray("\0b\0\0", 4) << dflt;
        QTest::newRow("multi, nothing") << REG_MULTI_SZ << QByteArray("\0", 1) << dflt;
        QTest::newRow("multi, one NUL at end") << REG_MULTI_SZ << QByteArray("a\0b\0", 4)
                                               << QVariant(nulText("a\0b", 3));
        QTest::newRow("short dword") << REG_DWORD << QByteArray("\x05\x01", 2) << QVariant(261);
        QTest::newRow("max dword") << REG_DWORD << QByteArray("\xff\xff\xff\x7f", 4) << QVariant(2147483647);
        QTest::newRow("empty binary") << REG_BINARY << QByteArray() << QVariant(QByteArray());
        QTest::newRow("big-endian dword") << qint32(5) << QByteArray("\0\0\0\1", 4) << dflt;
        QTest::newRow("unknown type") << qint32(99) << QByteArray("raw") << dflt;
    }
    void storedDataConversions()
    {
        QFETCH(qint32, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QVariant, read);
        putRaw(QStringLiteral("v"), type, bytes);
        const QVariant v = routines().GetRegistryValue(QStringLiteral("v"), QStringLiteral("dflt"));
        QCOMPARE(v.typeId(), read.typeId());
        QCOMPARE(v, read);
    }

    void longValuesReadWhole()
    {
        RegistryRoutines reg = routines();
        const QString text = QString::fromUtf8("ärger-").repeated(400); // 2,800 bytes in UTF-8
        QVERIFY(reg.SetRegistryValue(QStringLiteral("text"), text, REG_SZ));
        QCOMPARE(reg.GetRegistryValue(QStringLiteral("text")).toString(), text);
        const QByteArray bytes(1025, '\x7f');
        QVERIFY(reg.SetRegistryValue(QStringLiteral("bytes"), bytes, REG_BINARY));
        QCOMPARE(reg.GetRegistryValue(QStringLiteral("bytes")).toByteArray(), bytes);
    }

    void writeIntoMissingKeyCreatesNothing()
    {
        RegistryRoutines reg = routines(QStringLiteral("Missing\\Deeper"));
        QVERIFY(!reg.SetRegistryValue(QStringLiteral("v"), "1", REG_SZ));
        QVERIFY(!reg.KeyExists());
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, kKeyRoot), QStringList{QStringLiteral("Sub")});
    }

    void trimNull_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("NUL inside") << nulText("abc\0def", 7) << "abc";
        QTest::newRow("no NUL") << "abc" << "abc";
    }
    void trimNull()
    {
        QFETCH(QString, item);
        QFETCH(QString, trimmed);
        QCOMPARE(RegistryRoutines::TrimNull(item), trimmed);
        QCOMPARE(item, trimmed);
    }

    void keyManagement()
    {
        RegistryRoutines reg = routines(QStringLiteral("Fresh"));
        QVERIFY(!reg.KeyExists());
        QCOMPARE(reg.CreateKey(), QStringLiteral("0"));
        QVERIFY(reg.KeyExists());
        QCOMPARE(reg.CreateKey(), QStringLiteral("0")); // already there
        QCOMPARE(reg.CreateKey(QStringLiteral("A\\B")), QStringLiteral("0"));
        QCOMPARE(reg.CreateKey(5), QStringLiteral("0"));
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, kKeyRoot),
                 (QStringList{QStringLiteral("5"), QStringLiteral("A"), QStringLiteral("Fresh"), QStringLiteral("Sub")}));

        QCOMPARE(reg.DeleteKey(QStringLiteral("A")), ERROR_ACCESS_DENIED); // has a subkey
        QCOMPARE(reg.DeleteKey(QStringLiteral("A\\B")), ERROR_SUCCESS);
        QCOMPARE(reg.DeleteKey(QStringLiteral("a")), ERROR_SUCCESS);
        QCOMPARE(reg.DeleteKey(QStringLiteral("A")), ERROR_FILE_NOT_FOUND);

        QVERIFY(reg.SetRegistryValue(QStringLiteral("v"), 1, REG_DWORD));
        QCOMPARE(reg.DeleteValue(QStringLiteral("V")), ERROR_SUCCESS);
        QCOMPARE(reg.DeleteValue(QStringLiteral("v")), ERROR_FILE_NOT_FOUND);
        reg.setSubkey(QStringLiteral("Gone"));
        QCOMPARE(reg.DeleteValue(QStringLiteral("v")), ERROR_FILE_NOT_FOUND);

        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, QStringLiteral("No\\Such")), QStringList());
        QCOMPARE(reg.EnumRegistryKeys(0x1234, QString()), QStringList());
    }

    void createKeyFailsOnAStoreThatCannotBeWritten()
    {
        QFile blocker(m_folder->file(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        store().setFile(m_folder->file(QStringLiteral("blocked/registry.sqlite")));
        RegistryRoutines reg = routines();
        QCOMPARE(reg.CreateKey(), QString());
        QVERIFY(!reg.SetRegistryValue(QStringLiteral("v"), 1, REG_SZ));
        QCOMPARE(reg.GetRegistryValue(QStringLiteral("v"), 3), QVariant(3));
    }

    void enumRegistryValues()
    {
        const QByteArray big(5000, 'b');
        putRaw(QStringLiteral("sz"), REG_SZ, QByteArray("abc", 4));
        putRaw(QStringLiteral("empty sz"), REG_SZ, QByteArray());
        putRaw(QStringLiteral("expand"), REG_EXPAND_SZ, QByteArray("%ARDENTIA_TEST_DIR%\0tail\0", 25));
        putRaw(QStringLiteral("bin"), REG_BINARY, QByteArray("\x00\x0a", 2));
        putRaw(QStringLiteral("bin3"), REG_BINARY, QByteArray("\x0a\xff\x10", 3));
        putRaw(QStringLiteral("empty bin"), REG_BINARY, QByteArray());
        putRaw(QStringLiteral("dword"), REG_DWORD, QByteArray("\xff\xff\xff\xff", 4));
        putRaw(QStringLiteral("multi"), REG_MULTI_SZ, QByteArray("a\0b\0\0", 5));
        putRaw(QStringLiteral("other"), 11, QByteArray("12345678"));
        putRaw(QStringLiteral("big"), REG_SZ, big + '\0');

        const RegistryRoutines::RegistryValues values =
            routines().EnumRegistryValues(HKEY_LOCAL_MACHINE, kKeyRoot + QStringLiteral("\\sub"));
        const RegistryRoutines::RegistryValues expected = {
            {QStringLiteral("sz"), QVariant("abc")},
            {QStringLiteral("empty sz"), QVariant("")},
            {QStringLiteral("expand"), QVariant("/srv/data")},
            {QStringLiteral("bin"), QVariant("00 0A")},
            {QStringLiteral("bin3"), QVariant("0A FF 10")},
            {QStringLiteral("empty bin"), QVariant("")},
            {QStringLiteral("dword"), QVariant(-1)},
            {QStringLiteral("multi"), QVariant("a,b")},
            {QStringLiteral("other"), QVariant()},
            {QStringLiteral("big"), QVariant(QString::fromLatin1(big))},
        };
        QCOMPARE(values.size(), expected.size());
        for (qsizetype i = 0; i < values.size(); ++i) {
            QCOMPARE(values.at(i).first, expected.at(i).first);
            QCOMPARE(values.at(i).second.typeId(), expected.at(i).second.typeId());
            QCOMPARE(values.at(i).second, expected.at(i).second);
        }
        QVERIFY(routines().EnumRegistryValues(HKEY_LOCAL_MACHINE, QStringLiteral("No\\Such")).isEmpty());
    }

    void twoObjectsShareTheStore()
    {
        RegistryRoutines first = routines();
        RegistryRoutines second = routines();
        second.setKeyRoot(kKeyRoot + QLatin1Char('\\')); // a trailing separator names the same key
        QVERIFY(first.SetRegistryValue(QStringLiteral("v"), "one", REG_SZ));
        QCOMPARE(second.GetRegistryValue(QStringLiteral("v")), QVariant("one"));
        QVERIFY(second.SetRegistryValue(QStringLiteral("V"), "two", REG_SZ));
        QCOMPARE(first.GetRegistryValue(QStringLiteral("v")), QVariant("two"));
        QCOMPARE(second.DeleteValue(QStringLiteral("v")), ERROR_SUCCESS);
        QCOMPARE(first.GetRegistryValue(QStringLiteral("v"), 0), QVariant(0));
    }

    // Computer names are resolved by the store (tst_RegistryStore::computerNames);
    // here only that the routines pass them through.
    void remoteValues()
    {
        if (QSysInfo::machineHostName().compare(QLatin1String("otherhost"), Qt::CaseInsensitive) == 0)
            QSKIP("this machine is called otherhost");
        RegistryRoutines reg = routines();
        QVERIFY(reg.WriteRemoteRegistryValue(QStringLiteral("."), HKEY_LOCAL_MACHINE, QStringLiteral("r"), 42, REG_DWORD));
        QCOMPARE(reg.ReadRemoteRegistryValue(QString(), HKEY_LOCAL_MACHINE, QStringLiteral("R"),
                                             kKeyRoot + QStringLiteral("\\SUB")),
                 QVariant(42));
        QCOMPARE(reg.ReadRemoteRegistryValue(QString(), HKEY_LOCAL_MACHINE, QStringLiteral("absent")), QVariant());
        QVERIFY(!reg.WriteRemoteRegistryValue(QString(), HKEY_LOCAL_MACHINE, QStringLiteral("r"), 1, REG_DWORD,
                                              QStringLiteral("No\\Key")));
        QVERIFY(!reg.WriteRemoteRegistryValue(QStringLiteral("otherhost"), HKEY_LOCAL_MACHINE, QStringLiteral("x"), 1,
                                              REG_DWORD));
        QCOMPARE(reg.ReadRemoteRegistryValue(QStringLiteral("otherhost"), HKEY_LOCAL_MACHINE, QStringLiteral("r")),
                 QVariant(QStringLiteral("Error!")));
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
};

QTEST_MAIN(tst_RegistryRoutines)
#include "tst_RegistryRoutines.moc"
