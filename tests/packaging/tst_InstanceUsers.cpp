// Two users of one machine each get their own running copy, even when neither
// has a usable runtime folder and the lock falls back to the shared temporary one.

#include "app/SingleInstance.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class InstanceUsers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sharedTempFolderKeepsUsersApart();

private:
    QByteArray m_tmpdir, m_runtime;
};

void InstanceUsers::init()
{
    m_tmpdir = qgetenv("TMPDIR");
    m_runtime = qgetenv("XDG_RUNTIME_DIR");
}

void InstanceUsers::cleanup()
{
    qputenv("TMPDIR", m_tmpdir);
    qputenv("XDG_RUNTIME_DIR", m_runtime);
    if (m_tmpdir.isEmpty())
        qunsetenv("TMPDIR");
}

void InstanceUsers::sharedTempFolderKeepsUsersApart()
{
    if (::geteuid() != 0)
        QSKIP("needs root to act as a second user");
    const passwd *other = ::getpwnam("nobody");
    if (!other)
        QSKIP("no user 'nobody'");

    // A temporary folder everyone may write to, like /tmp, where neither user's
    // runtime folder can be made (a file stands in its place).
    QTemporaryDir shared(QDir::tempPath() + QStringLiteral("/ardentia-shared-tmp-XXXXXX"));
    QVERIFY(shared.isValid());
    QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    for (const QString &name : {QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name),
                                QString::fromLocal8Bit(other->pw_name)}) {
        QFile blocker(shared.path() + QStringLiteral("/runtime-") + name);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    qputenv("TMPDIR", QFile::encodeName(shared.path()));
    qunsetenv("XDG_RUNTIME_DIR");
    QVERIFY2(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).isEmpty(),
             "the runtime folder was usable after all");

    const QString program = QStringLiteral("/opt/ardentia/bin/ardentia");
    SingleInstanceGuard mine(program);
    QVERIFY(mine.lockPath().startsWith(shared.path() + QLatin1Char('/')));
    QVERIFY(mine.tryAcquire());

    // The same user again is turned away.
    SingleInstanceGuard again(program);
    QVERIFY(!again.tryAcquire());

    // The other user, in a child process of their own, starts.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::setgid(other->pw_gid) != 0 || ::setuid(other->pw_uid) != 0)
            ::_exit(2);
        SingleInstanceGuard theirs(program);
        ::_exit(theirs.tryAcquire() ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_GUILESS_MAIN(InstanceUsers)
#include "tst_InstanceUsers.moc"
