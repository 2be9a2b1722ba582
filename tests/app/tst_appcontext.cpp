// The application context, the single-instance guard and start-up in process.
#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "app/SingleInstance.h"
#include "app/mdlMain.h"
#include "mainwindow/frmMain.h"
#include "store/mdlMDB.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

class tst_AppContext : public QObject
{
    Q_OBJECT

private slots:
    void filesBesideTheProgram()
    {
        TempAppFolder folder;
        QCOMPARE(AppFilePath("/db/db.sqlite"), folder.path() + "/db/db.sqlite");
        QCOMPARE(AppFilePath("\\trans\\eng.txt"), folder.path() + "/trans/eng.txt");
        SetApplicationFolder(folder.path() + "/");
        QCOMPARE(AppFilePath("\\Notes"), folder.path() + "/Notes");
    }

    void secondGuardRefuses()
    {
        TempAppFolder folder;
        const QString exe = folder.file("ardentia");
        auto first = std::make_unique<SingleInstanceGuard>(exe);
        QVERIFY(first->tryAcquire());
        SingleInstanceGuard second(exe);
        QCOMPARE(second.lockPath(), first->lockPath());
        QVERIFY(!second.tryAcquire());
        QVERIFY(SingleInstanceGuard(folder.file("other/ardentia")).tryAcquire());
        first.reset();
        QVERIFY(second.tryAcquire());
    }

    // A lock left by a process that died, or half written, does not keep the program from starting.
    void staleLockTakenOver()
    {
        TempAppFolder folder;
        const QString exe = folder.file("ardentia");
        const pid_t child = fork();
        if (child == 0) {
            SingleInstanceGuard guard(exe);
            _exit(guard.tryAcquire() ? 0 : 1); // dies holding the lock
        }
        int status = -1;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        SingleInstanceGuard guard(exe);
        QVERIFY(QFile::exists(guard.lockPath()));
        QVERIFY(guard.tryAcquire());

        const QString exe2 = folder.file("ardentia2");
        QFile empty(SingleInstanceGuard(exe2).lockPath());
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(SingleInstanceGuard(exe2).tryAcquire());
    }

    void startAndClose()
    {
        TempAppFolder folder;
        QCOMPARE(Main(), StartResult::Running);
        QVERIFY(MainWindow() && MainWindow()->isVisible());
        QCOMPARE(MainWindow()->windowTitle(), QStringLiteral("Ardentia 1.0"));
        QVERIFY(SharedDb());
        QVERIFY(QFile::exists(folder.file("db/db.sqlite")));
        DestroyMainWindow();
        QVERIFY(!MainWindow());
        QVERIFY(!SharedDb());
        QVERIFY(App().AppClosing);
        QVERIFY(MsgBox::AskedTexts().isEmpty());
    }

    // Without a screen a box is not shown: its default answer is taken at once.
    void headlessBoxes()
    {
        TempAppFolder folder;
        MsgBox::SetHeadless(true);
        QVERIFY(!MsgBox::AskYesNo(nullptr, "Remove?"));
        MsgBox::Fail(nullptr, "broken");
        QCOMPARE(MsgBox::AskedTexts(), QStringList({"Remove?", "broken"}));
        MsgBox::SetHeadless(false);
    }

    // A damaged database: the user is told which file and what the engine said; nothing runs.
    void startWithDamagedDatabase()
    {
        TempAppFolder folder;
        QDir().mkpath(folder.file("db"));
        QFile f(folder.file("db/db.sqlite"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x5a'));
        f.close();
        MsgBox::QueueAnswers({QMessageBox::Ok});
        QCOMPARE(Main(), StartResult::Failed);
        QVERIFY(!MainWindow());
        QVERIFY(!SharedDb());
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        const QString text = MsgBox::AskedTexts().first();
        QVERIFY2(text.contains(folder.file("db/db.sqlite")), qPrintable(text));
        QVERIFY2(text.contains("file is not a database"), qPrintable(text));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(4096, '\x5a'));
    }
};

QTEST_MAIN(tst_AppContext)
#include "tst_appcontext.moc"
