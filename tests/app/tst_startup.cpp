// Start-up and the single-instance guard; the program's own runs are in tst_Installed.
#include "support/GuiTestSupport.h"
#include "app/SingleInstance.h"
#include "app/mdlMain.h"
#include <QtTest>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Whether a guard taken in a child process (as `user` when given) is granted.
// The child ends without unlocking, as a crashed instance would.
static bool childAcquires(const QString &exe, const passwd *user = nullptr)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(user && (::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0) ? 2
                : (new SingleInstanceGuard(exe))->tryAcquire()                   ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class tst_Startup : public QObject
{
    Q_OBJECT
private slots:
    // Already running: the start ends before it opens a window or the database.
    void alreadyRunning()
    {
        GuiTempAppFolder folder;
        SingleInstanceGuard first(QCoreApplication::applicationFilePath());
        QVERIFY(first.tryAcquire());
        QCOMPARE(Main(), StartResult::AlreadyRunning);
        QVERIFY(!MainWindow() && QApplication::topLevelWidgets().isEmpty() && !QFileInfo::exists(folder.file("db")));
    }
    void guardTurnsAwayOnlyTheSameUser()
    {
        const QString exe = QStringLiteral("/opt/ardentia/bin/ardentia");
        QVERIFY(childAcquires(exe)); // its holder is gone: taken over
        SingleInstanceGuard mine(exe);
        QVERIFY(mine.tryAcquire());
        QVERIFY(!childAcquires(exe));
        // Another user, with no runtime folder (a file stands where Qt would make
        // one) and the lock in the shared temporary folder, runs their own.
        const passwd *other = ::getpwnam("nobody");
        if (::geteuid() != 0 || !other)
            QSKIP("needs root and a user 'nobody' to act as a second user");
        QTemporaryDir shared;
        QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
        QVERIFY(WriteFile(shared.filePath("runtime-root"), {}) && WriteFile(shared.filePath("runtime-nobody"), {}));
        const QByteArray tmp = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(shared.path()));
        qunsetenv("XDG_RUNTIME_DIR");
        SingleInstanceGuard rootsInShared(exe);
        const bool rootHolds = rootsInShared.tryAcquire(), theirs = childAcquires(exe, other);
        qputenv("TMPDIR", tmp);
        qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY(rootHolds && rootsInShared.lockPath().startsWith(shared.path() + '/') && theirs);
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
