#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cTreeView.h"
#include "mainwindow/frmMain.h"
#include "settings/Autostart.h"
#include "settings/RegistryStore.h"
#include "settings/frmOptions.h"
#include "settings/mdlCommDialog.h"
#include "settings/mdlOptions.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

// The options dialog as the main window loads it: hidden at start-up, shown by
// the Options command, hidden again when closed.
class tst_frmOptions : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempAppFolder> m_folder;
    std::unique_ptr<frmMain> m_main;

    frmOptions *load()
    {
        m_main = std::make_unique<frmMain>();
        if (!m_main->Load())
            return nullptr;
        return frmOptions::Instance();
    }
    template <typename T>
    T *control(const char *name)
    {
        return frmOptions::Instance()->findChild<T *>(QLatin1String(name));
    }
    QVariant stored(const char *subkey, const char *name)
    {
        RegistryRoutines reg = OptionsRegistry();
        reg.setSubkey(QLatin1String(subkey));
        return reg.GetRegistryValue(QLatin1String(name));
    }
    static QColor swatch(QWidget *w) { return QColor(w->styleSheet().section(QLatin1String("background-color: "), 1).left(7)); }

private slots:
    void init()
    {
        m_folder = std::make_unique<TempAppFolder>();
        CommDialogForTests::Reset();
    }
    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
        QFile::remove(Autostart::EntryPath());
    }

    void nothingStored()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        QVERIFY(!dlg->isVisible());
        QVERIFY(!control<QCheckBox>("chkViewGrid")->isChecked());
        QVERIFY(!control<QCheckBox>("chkHoTrack")->isChecked());
        QVERIFY(!control<QCheckBox>("chkRunWhenWindowsStarts")->isChecked());
        QVERIFY(!control<QRadioButton>("ptnSortByFirstName")->isChecked());
        QVERIFY(!control<QRadioButton>("ptnSortByLastName")->isChecked());
        QCOMPARE(swatch(control<QPushButton>("picColor")), QColor(Qt::black));
        QCOMPARE(swatch(control<QPushButton>("picTextColor")), QColor(Qt::black));
        // The General page first, the View page on its node.
        QVERIFY(control<QWidget>("froGeneral")->isVisibleTo(dlg));
        QVERIFY(!control<QWidget>("froDisplay")->isVisibleTo(dlg));
        auto *tree = control<cTreeView>("cTreeView1");
        dlg->cTreeView1_NodeClick(tree->NodeByKey(QStringLiteral("View")));
        QVERIFY(control<QWidget>("froDisplay")->isVisibleTo(dlg));
        QVERIFY(!control<QWidget>("froGeneral")->isVisibleTo(dlg));
        QCOMPARE(control<QLabel>("lblTitle")->text(), QStringLiteral("View"));
    }

    void okStoresAndApplies()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        m_main->Grid()->SetGridLines(false);
        dlg->show();
        control<QCheckBox>("chkViewGrid")->setChecked(true);
        control<QCheckBox>("chkHoTrack")->setChecked(true);
        control<QRadioButton>("ptnSortByFirstName")->setChecked(true);
        dlg->cmdOK_Click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(stored("Display", "chkViewGrid").toString(), QStringLiteral("1"));
        QCOMPARE(stored("Display", "chkHoTrack").toString(), QStringLiteral("1"));
        QCOMPARE(stored("Options", "ptnSortByFirstName").toString(), QStringLiteral("True"));
        QCOMPARE(stored("Options", "ptnSortByLastName").toString(), QStringLiteral("False"));
        QCOMPARE(stored("Options", "chkRunWhenWindowsStarts").toString(), QStringLiteral("0"));
        QCOMPARE(stored("Display", "picColor").toString(), QStringLiteral("0"));
        QVERIFY(m_main->Grid()->GridLines());
        QVERIFY(m_main->Grid()->HotTrack());
        QVERIFY(Options().OptSortByFirstName);
        QVERIFY(Options().OptViewGrid);
    }

    // OK stores all or nothing. A store that cannot be written is told once;
    // the dialog's values stay on screen and are used for the rest of the run.
    void unwritableStoreIsToldOnceAndTheChoiceKept()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        dlg->show();
        RegistryRoutines reg = OptionsRegistry();
        QCOMPARE(reg.DeleteKey(QStringLiteral("Display")), 0); // the second half of OK fails
        control<QRadioButton>("ptnSortByFirstName")->setChecked(true);
        control<QCheckBox>("chkHoTrack")->setChecked(true);
        MsgBox::QueueAnswers({QMessageBox::Ok, QMessageBox::Ok});
        dlg->cmdOK_Click();
        QVERIFY(!stored("Options", "ptnSortByFirstName").isValid());
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(QDir::toNativeSeparators(RegistryStore::instance().fileName())));
        QVERIFY(Options().OptSortByFirstName);
        QVERIFY(Options().OptHoTrack);
        QVERIFY(control<QRadioButton>("ptnSortByFirstName")->isChecked());
        CommDialogForTests::SetNextColor(QColor(255, 255, 255));
        dlg->picColor_Click();
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QCOMPARE(Options().OptAppColor, 0xFFFFFF);
    }

    // A damaged settings file is set aside at start, and the user is told where it went.
    void damagedStoreIsToldAtStart()
    {
        const QString file = RegistryStore::instance().fileName();
        QFile garbage(file);
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
        garbage.write(QByteArray(4096, 'x'));
        garbage.close();
        RegistryStore::instance().reopen();
        MsgBox::QueueAnswers({QMessageBox::Ok});
        QVERIFY(load());
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(QDir::toNativeSeparators(RegistryStore::instance().setAsideFileName())));
    }

    void swatchStoresAtOnceAndCloseBoxKeepsIt()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        dlg->show();
        CommDialogForTests::SetNextColor(QColor(255, 255, 255));
        dlg->picColor_Click();
        QCOMPARE(stored("Display", "picColor").toString(), QStringLiteral("16777215"));
        QCOMPARE(m_main->TitleStrip()->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(control<QWidget>("picTitle")->palette().color(QPalette::Window), QColor(Qt::white));
        CommDialogForTests::SetNextColor(QColor(0, 128, 0));
        dlg->picTextColor_Click();
        QCOMPARE(stored("Display", "picTextColor").toString(), QString::number(0x008000));
        QCOMPARE(m_main->TitleLabel()->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        dlg->close(); // the close box stores nothing more and keeps what was picked
        QVERIFY(!dlg->isVisible());
        QCOMPARE(frmOptions::Instance(), dlg);
        QCOMPARE(stored("Display", "picColor").toString(), QStringLiteral("16777215"));
        // The shared colour follows at the next read.
        QCOMPARE(Options().OptAppColor, 0);
        dlg->GetOptions();
        QCOMPARE(Options().OptAppColor, 16777215);
    }

    void cancellingTheColourDialogStoresNothing()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        CommDialogForTests::SetNextColor(QColor());
        dlg->picColor_Click();
        QVERIFY(!stored("Display", "picColor").isValid());
        QCOMPARE(m_main->TitleStrip()->palette().color(QPalette::Window), QColor(Qt::red));
    }

    void closeBoxKeepsUnconfirmedChangesCancelRestores()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        dlg->show();
        control<QCheckBox>("chkHoTrack")->setChecked(true);
        dlg->close();
        QVERIFY(!stored("Display", "chkHoTrack").isValid());
        dlg->show();
        QVERIFY(control<QCheckBox>("chkHoTrack")->isChecked()); // still shown toggled
        dlg->cmdCancel_Click();
        QVERIFY(!dlg->isVisible());
        QVERIFY(!control<QCheckBox>("chkHoTrack")->isChecked()); // back to what is stored
        QVERIFY(!stored("Display", "chkHoTrack").isValid());
    }

    void runAtLoginWritesAnAutostartEntry()
    {
        frmOptions *dlg = load();
        QVERIFY(dlg);
        control<QCheckBox>("chkRunWhenWindowsStarts")->setChecked(true);
        dlg->cmdOK_Click();
        QVERIFY(QFile::exists(Autostart::EntryPath()));
        QFile entry(Autostart::EntryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY(text.contains(QStringLiteral("Exec=\"") + QCoreApplication::applicationFilePath() + "\""));
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]")));
        control<QCheckBox>("chkRunWhenWindowsStarts")->setChecked(false);
        dlg->cmdOK_Click();
        QVERIFY(!QFile::exists(Autostart::EntryPath()));
    }

    void unloadsForRealWhenTheMainWindowCloses()
    {
        QVERIFY(load());
        QPointer<frmOptions> dlg = frmOptions::Instance();
        m_main->close();
        QVERIFY(App().AppClosing);
        QVERIFY(dlg.isNull());
    }
};

QTEST_MAIN(tst_frmOptions)
#include "tst_frmOptions.moc"
