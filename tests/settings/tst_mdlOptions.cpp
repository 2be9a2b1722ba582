#include "app/AppContext.h"
#include "common/TestSupport.h"
#include "settings/VbConvert.h"
#include "settings/mdlOptions.h"

#include <QtTest>

#include <limits>
#include <memory>

Q_DECLARE_METATYPE(std::optional<int>)
Q_DECLARE_METATYPE(std::optional<bool>)

using namespace Reg;

namespace {

// Stores a text as the options dialog would, creating the subkey when needed.
void storeText(const QString &subkey, const QString &name, const QString &text)
{
    RegistryRoutines reg = OptionsRegistry();
    QCOMPARE(reg.CreateKey(subkey), QStringLiteral("0"));
    reg.setSubkey(subkey);
    QVERIFY(reg.SetRegistryValue(name, text, REG_SZ));
}

} // namespace

class tst_mdlOptions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<TempAppFolder>();
        RegistryStore::instance().setFile(m_folder->file(QStringLiteral("config/registry.sqlite")));
        Options() = OptionState();
    }
    void cleanup() { m_folder.reset(); }

    void nothingStored()
    {
        // Even after other values were loaded, a missing value means its default.
        Options().OptSortByFirstName = true;
        Options().OptAppColor = 0x123456;
        Options().OptViewGrid = true;
        const StoredOptions s = GetOptions();
        QVERIFY(!s.chkRunWhenWindowsStarts && !s.ptnSortByFirstName && !s.ptnSortByLastName);
        QVERIFY(!s.chkHoTrack && !s.chkViewGrid && !s.picColor && !s.picTextColor);
        QCOMPARE(Options().OptSortByFirstName, false);
        QCOMPARE(Options().OptAppColor, 0);
        QCOMPARE(Options().OptTextColor, 0);
        QCOMPARE(Options().OptHoTrack, false);
        QCOMPARE(Options().OptViewGrid, false);
        QCOMPARE(Options().OptRunWhenWindowsStarts, false);
    }

    void unconvertibleValueKeepsThePreviousOne()
    {
        Options().OptAppColor = 0x00FF00;
        Options().OptHoTrack = true;
        storeText(QStringLiteral("Display"), QStringLiteral("picColor"), QStringLiteral("letters"));
        storeText(QStringLiteral("Display"), QStringLiteral("chkHoTrack"), QStringLiteral("5"));
        storeText(QStringLiteral("Display"), QStringLiteral("picTextColor"), QStringLiteral("255"));
        const StoredOptions s = GetOptions();
        QVERIFY(!s.picColor);
        QCOMPARE(Options().OptAppColor, 0x00FF00);
        QVERIFY(!s.chkHoTrack);
        QCOMPARE(Options().OptHoTrack, true);
        // The steps after a failing one still run.
        QCOMPARE(s.picTextColor, std::optional<qint32>(255));
        QCOMPARE(Options().OptTextColor, 255);
    }

    void sortByFirstName_data()
    {
        QTest::addColumn<QString>("first"); // null: not stored
        QTest::addColumn<QString>("last");
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("after");
        QTest::newRow("first True, last True") << "True" << "True" << false << true;
        QTest::newRow("first True only") << "True" << QString() << false << true;
        QTest::newRow("first False, last True") << "False" << "True" << true << false;
        QTest::newRow("neither") << QString() << "True" << true << false;
        QTest::newRow("number 1") << "1" << QString() << false << true;
        QTest::newRow("number 0") << "0" << QString() << true << false;
        QTest::newRow("unconvertible keeps true") << "yes" << QString() << true << true;
        QTest::newRow("unconvertible keeps false") << "yes" << QString() << false << false;
    }
    void sortByFirstName()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(bool, before);
        QFETCH(bool, after);
        if (!first.isNull())
            storeText(QStringLiteral("Options"), QStringLiteral("ptnSortByFirstName"), first);
        if (!last.isNull())
            storeText(QStringLiteral("Options"), QStringLiteral("ptnSortByLastName"), last);
        Options().OptSortByFirstName = before;
        GetOptions();
        QCOMPARE(Options().OptSortByFirstName, after);
    }

    void checkBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<int>>("stored");
        QTest::addColumn<bool>("on");
        QTest::newRow("1") << "1" << std::optional<int>(1) << true;
        QTest::newRow("0") << "0" << std::optional<int>(0) << false;
        QTest::newRow("grayed") << "2" << std::optional<int>(2) << false;
        QTest::newRow("out of range keeps previous") << "5" << std::optional<int>() << true;
        QTest::newRow("True keeps previous") << "True" << std::optional<int>() << true;
    }
    void checkBoxes()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<int>, stored);
        QFETCH(bool, on);
        storeText(QStringLiteral("Display"), QStringLiteral("chkViewGrid"), text);
        Options().OptViewGrid = true;
        const StoredOptions s = GetOptions();
        QCOMPARE(s.chkViewGrid, stored);
        QCOMPARE(Options().OptViewGrid, on);
    }

    void writersSurviveARestart()
    {
        QVERIFY(EnsureOptionKeys());
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(SaveRunWhenWindowsStarts(reg, 1));
        QVERIFY(SaveSortByFirstName(reg, true));
        QVERIFY(SaveSortByLastName(reg, false));
        QVERIFY(SaveHoTrack(reg, 1));
        QVERIFY(SaveViewGrid(reg, 0));
        QVERIFY(SaveAppColor(reg, 0x00FFFFFF));
        QVERIFY(SaveTextColor(reg, qint32(0x80000005u)));

        RegistryStore::instance().reopen();
        const StoredOptions s = GetOptions();
        QCOMPARE(s.ptnSortByLastName, std::optional<bool>(false));
        QCOMPARE(s.chkViewGrid, std::optional<int>(0));
        QCOMPARE(Options().OptRunWhenWindowsStarts, true);
        QCOMPARE(Options().OptSortByFirstName, true);
        QCOMPARE(Options().OptHoTrack, true);
        QCOMPARE(Options().OptViewGrid, false);
        QCOMPARE(Options().OptAppColor, 0x00FFFFFF);
        QCOMPARE(Options().OptTextColor, qint32(0x80000005u));
    }

    void writersFailWithoutTheKeys()
    {
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(!SaveAppColor(reg, 1));
        QVERIFY(!SaveSortByFirstName(reg, true));
        QVERIFY(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, QString()).isEmpty());
    }

    void ensureOptionKeys()
    {
        App().ProductName.clear(); // the helper fills the product constants itself
        const RegistryRoutines reg = OptionsRegistry();

        QVERIFY(EnsureOptionKeys());
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE")),
                 QStringList{QStringLiteral("Quillmere")});
        QCOMPARE(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, reg.KeyRoot()),
                 (QStringList{QStringLiteral("Display"), QStringLiteral("Options")}));
        for (const char *sub : {"Options", "Display"}) {
            const QString path = reg.KeyRoot() + QLatin1Char('\\') + QLatin1String(sub);
            QVERIFY(reg.EnumRegistryKeys(HKEY_LOCAL_MACHINE, path).isEmpty());
            QVERIFY(reg.EnumRegistryValues(HKEY_LOCAL_MACHINE, path).isEmpty());
        }
        // A second start leaves what was stored.
        RegistryRoutines writer = OptionsRegistry();
        QVERIFY(SaveAppColor(writer, 42));
        QVERIFY(EnsureOptionKeys());
        GetOptions();
        QCOMPARE(Options().OptAppColor, 42);
        QCOMPARE(RegistryStore::instance().openHandleCount(), 0);
    }

    void integerTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint32>>("value");
        const auto v = [](qint32 n) { return std::optional<qint32>(n); };
        QTest::newRow("negative") << "-2147483648" << v(std::numeric_limits<qint32>::min());
        QTest::newRow("largest") << "2147483647" << v(std::numeric_limits<qint32>::max());
        QTest::newRow("too large") << "2147483648" << std::optional<qint32>();
        QTest::newRow("spaces") << "  7\t" << v(7);
        QTest::newRow("1.0") << "1.0" << v(1);
        QTest::newRow("half to even down") << "2.5" << v(2);
        QTest::newRow("half to even up") << "3.5" << v(4);
        QTest::newRow("exponent") << "1e3" << v(1000);
        QTest::newRow("empty") << "" << std::optional<qint32>();
        QTest::newRow("letters") << "letters" << std::optional<qint32>();
        QTest::newRow("hex") << "&HFF" << std::optional<qint32>();
        QTest::newRow("trailing letters") << "12abc" << std::optional<qint32>();
    }
    void integerTexts()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<qint32>, value);
        QCOMPARE(VbTextToLong(text), value);
    }

    void booleanValues_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<std::optional<bool>>("result");
        QTest::newRow("True") << QVariant("True") << std::optional<bool>(true);
        QTest::newRow("FALSE") << QVariant(" FALSE ") << std::optional<bool>(false);
        QTest::newRow("-1") << QVariant("-1") << std::optional<bool>(true);
        QTest::newRow("0.0") << QVariant("0.0") << std::optional<bool>(false);
        QTest::newRow("dword 0") << QVariant(0) << std::optional<bool>(false);
        QTest::newRow("yes") << QVariant("yes") << std::optional<bool>();
        QTest::newRow("bytes") << QVariant(QByteArray("\x01")) << std::optional<bool>();
    }
    void booleanValues()
    {
        QFETCH(QVariant, value);
        QFETCH(std::optional<bool>, result);
        QCOMPARE(VbToBoolean(value), result);
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
};

QTEST_MAIN(tst_mdlOptions)
#include "tst_mdlOptions.moc"
