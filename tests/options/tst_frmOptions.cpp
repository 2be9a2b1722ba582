#include "support/GuiTestSupport.h"

#include "controls/MsgBox.h"
#include "controls/cTreeView.h"
#include "controls/mdlCommDialog.h"
#include "options/Autostart.h"
#include "options/frmOptions.h"

#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QLabel>
#include <QSpinBox>
#include <QtTest>

#include <unistd.h>

class tst_frmOptions : public QObject
{
    Q_OBJECT
    std::unique_ptr<GuiTempAppFolder> m_folder;
    frmOptions *m_dlg = nullptr;

    template <typename T = QWidget>
    T *w(const char *name) { return m_dlg->findChild<T *>(name); }
    bool checked(const char *name) { return w(name)->property("checked").toBool(); }
    // Near the left edge: on the box of a check box or option button, where a user clicks.
    void click(const char *name) { QTest::mouseClick(w(name), Qt::LeftButton, {}, QPoint(w(name)->height() / 2, w(name)->height() / 2)); }
    void page(const char *key)
    {
        auto *tree = w<cTreeView>("cTreeView1");
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->NodeByKey(key)).center());
    }
    static QStringList stored(const QStringList &names) // "Subkey/name"
    {
        QStringList values;
        RegistryRoutines reg = OptionsRegistry();
        for (const QString &name : names)
            reg.setSubkey(name.section('/', 0, 0)), values << reg.GetRegistryValue(name.section('/', 1)).toString();
        return values;
    }
    bool open() { return (m_dlg = frmOptions::LoadHidden(nullptr, nullptr))->show(), QTest::qWaitForWindowExposed(m_dlg); }

private slots:
    void init() { m_folder = std::make_unique<GuiTempAppFolder>(); }
    void cleanup()
    {
        CommDialogForTests::Reset();
        frmOptions::UnloadForReal();
        QFile::remove(Autostart::EntryPath());
        m_folder.reset();
    }
    // Escape keeps what is shown, Cancel goes back to what is stored; OK stores every
    // option (the defaults where nothing was stored nor chosen) and tells the grid's look.
    void escapeCancelAndOk()
    {
        QVERIFY(open());
        page("View");
        QVERIFY(w("froDisplay")->isVisible() && !w("froGeneral")->isVisible());
        click("chkViewGrid");
        QTest::keyClick(m_dlg, Qt::Key_Escape);
        QVERIFY(!m_dlg->isVisible() && checked("chkViewGrid") && stored({"Display/chkViewGrid"}) == QStringList(""));
        m_dlg->show();
        click("cmdCancel");
        QVERIFY(!m_dlg->isVisible() && !checked("chkViewGrid"));
        m_dlg->show();
        page("General");
        QSignalSpy look(m_dlg, &frmOptions::gridLookChosen);
        click("ptnSortByLastName");
        click("ptnSortByFirstName"); // one sort order at a time
        page("View");
        // How long history is kept: the dialog says what it means, OK stores it.
        auto *days = m_dlg->findChild<QSpinBox *>("spnHistoryDays");
        QCOMPARE(days->value(), 90);
        days->setValue(30);
        QVERIFY(m_dlg->findChild<QLabel *>("lblHistoryNote")->text().contains("30 days"));
        // Search ignores accents unless told not to; phone numbers are from the locale's country unless chosen.
        page("General");
        QVERIFY(checked("chkFoldAccents"));
        click("chkFoldAccents");
        auto *region = w<QComboBox>("cboPhoneRegion");
        QCOMPARE(region->currentData().toString(), QString());
        region->setCurrentIndex(region->findData(QStringLiteral("GB")));
        page("View");
        click("chkHoTrack");
        click("cmdOK");
        QCOMPARE(stored({"Options/chkFoldAccents", "Options/PhoneRegion"}), QStringList({"0", "GB"}));
        QVERIFY(!Options().OptFoldAccents && PhoneRegion() == QStringLiteral("GB"));
        QVERIFY(!m_dlg->isVisible() && look == QList<QVariantList>{QVariantList({false, true})});
        QCOMPARE(stored({"Options/ptnSortByFirstName", "Options/ptnSortByLastName", "Options/chkRunWhenWindowsStarts", "Display/chkHoTrack",
                         "Display/chkViewGrid", "Display/picColor", "Display/picTextColor", "Options/HistoryDays",
                         "Options/HistorySteps"}),
                 QStringList({"True", "False", "0", "1", "0", "0", "0", "30", "1000"}));
        QVERIFY(Options().OptSortByFirstName && Options().OptHoTrack && !Options().OptViewGrid);
        QCOMPARE(Options().OptHistoryDays, 30);
    }
    // A swatch stores its colour at once and tells it; a cancelled colour dialog changes nothing.
    void swatches()
    {
        QVERIFY(open());
        page("View");
        QSignalSpy back(m_dlg, &frmOptions::titleBackgroundChosen), text(m_dlg, &frmOptions::titleTextChosen);
        for (const char *swatch : {"picColor", "picTextColor"}) {
            CommDialogForTests::SetNextColor(QColor());
            click(swatch);
            CommDialogForTests::SetNextColor(QColor(1, 0, 0)); // 0x000001
            click(swatch);
            QCOMPARE(w(swatch)->grab().toImage().pixelColor(w(swatch)->rect().center()), QColor(1, 0, 0)); // as shown
        }
        m_dlg->close(); // the close box keeps the choice
        QCOMPARE(back + text, (QList<QVariantList>{{1}, {1}}));
        QCOMPARE(stored({"Display/picColor", "Display/picTextColor"}), QStringList({"1", "1"}));
    }
    // OK stores all or nothing. A store that cannot be written is told once;
    // the dialog's values stay on screen and are used for the rest of the run.
    void unwritableStoreIsToldOnceAndTheChoiceKept()
    {
        QVERIFY(open());
        QCOMPARE(OptionsRegistry().DeleteKey("Display"), 0); // the second half of OK fails
        click("ptnSortByFirstName");
        page("View");
        click("chkHoTrack");
        MsgBox::QueueAnswers({QMessageBox::Ok, QMessageBox::Ok});
        click("cmdOK");
        QCOMPARE(stored({"Options/ptnSortByFirstName"}), QStringList(""));
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(QDir::toNativeSeparators(RegistryStore::instance().fileName())));
        QVERIFY(Options().OptSortByFirstName && Options().OptHoTrack && checked("ptnSortByFirstName"));
        CommDialogForTests::SetNextColor(Qt::white);
        click("picColor");
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QCOMPARE(Options().OptAppColor, 0xFFFFFF);
    }
    // A damaged store is set aside at start, and the user is told where it went.
    void damagedStoreIsToldAtStart()
    {
        WriteFile(RegistryStore::instance().fileName(), QByteArray(4096, 'x'));
        RegistryStore::instance().reopen();
        MsgBox::QueueAnswers({QMessageBox::Ok, QMessageBox::Ok}); // a second box must not hold the test
        QVERIFY(open());
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(QDir::toNativeSeparators(RegistryStore::instance().setAsideFileName())));
    }
    // Run at login: an autostart entry whose Exec line names this program, quoted for the desktop
    // entry format (the quoting, then the value's own backslash escapes). A copy of this test,
    // run from a folder named with every character to quote, writes the entry.
    void runAtLogin()
    {
        QVERIFY(open());
        click("chkRunWhenWindowsStarts");
        click("cmdOK");
        QVERIFY(QFile::exists(Autostart::EntryPath()));
        if (qEnvironmentVariableIsSet("ENTRY_COPY")) { // the copy: hand the entry over
            QVERIFY(QFile::copy(Autostart::EntryPath(), qEnvironmentVariable("ENTRY_COPY")));
            return;
        }
        m_dlg->show();
        click("chkRunWhenWindowsStarts");
        click("cmdOK");
        QVERIFY(!QFile::exists(Autostart::EntryPath()));
        QTemporaryDir dir(QCoreApplication::applicationDirPath() + "/entry-XXXXXX");
        const QString self = QCoreApplication::applicationFilePath(), name = QFileInfo(self).fileName();
        const QString exe = dir.filePath("a b\"c`d$e\\f/" + name);
        QVERIFY(QDir().mkpath(QFileInfo(exe).path()) && (!link(qPrintable(self), qPrintable(exe)) || QFile::copy(self, exe)));
        qputenv("ENTRY_COPY", dir.filePath("entry").toUtf8());
        QProcess copy;
        copy.start(exe, {"runAtLogin"});
        qunsetenv("ENTRY_COPY");
        QFile entry(dir.filePath("entry"));
        QVERIFY2(copy.waitForFinished(60000) && !copy.exitCode() && entry.open(QIODevice::ReadOnly), copy.readAll().constData());
        QCOMPARE(QString::fromUtf8(entry.readAll()).section("\nExec=", 1).section('\n', 0, 0), '"' + dir.filePath("a b\\\\\"c\\\\`d\\\\$e\\\\\\\\f/" + name) + '"');
    }
};

QTEST_MAIN(tst_frmOptions)
#include "tst_frmOptions.moc"
