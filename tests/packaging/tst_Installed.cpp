// The program as a user gets it: installed with `cmake --install`, run as a process of its own.
#include "support/CoreTestSupport.h"
#include <QDirIterator>
#include <QProcess>
#include <QtTest>

namespace {

// Every entry under `root` with its size and time: a file written there, or a
// folder added to, shows as a difference.
QStringList listing(const QString &root)
{
    QStringList out;
    for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo fi(it.next());
        out << QStringLiteral("%1 %2 %3").arg(fi.filePath()).arg(fi.size()).arg(fi.lastModified().toMSecsSinceEpoch());
    }
    return out;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class tst_Installed : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The runs inherit the test's own home (see CoreTestSupport). The system's
        // data folders could hold an installed copy that hides a wrong lookup.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_root.filePath("no-system-data")));
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(ARDENTIA_CMAKE, {"--install", ARDENTIA_BUILD_DIR, "--prefix", m_prefix});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && !install.exitCode(), install.readAll().constData());
    }
    // The first run keeps the database and the user's copy of the language file in the
    // per-user data folder and writes nothing under the prefix; a second start just ends.
    void firstRunUsesTheUsersFolders()
    {
        const QStringList before = listing(m_prefix);
        QProcess first;
        first.start(m_program, {});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(m_db) || first.state() == QProcess::NotRunning; }, 60000));
        QVERIFY2(first.state() == QProcess::Running && QFileInfo::exists(m_db), first.readAllStandardError().data());
        QCOMPARE(contents(m_data + "/trans/eng.txt"), contents(m_prefix + "/share/ardentia/trans/eng.txt"));
        QCOMPARE(run(), 0);
        QCOMPARE(listing(m_prefix), before);
        first.kill();
        first.waitForFinished();
    }
    // With no screen the failure goes to stderr; the file stays as it was.
    void damagedDatabase()
    {
        const QByteArray garbage = QByteArray("not a database ").repeated(300);
        QVERIFY(QDir().mkpath(m_data + "/db") && WriteFile(m_db, garbage));
        QCOMPARE(run(), 1);
        QVERIFY2(m_err.contains(m_db) && m_err.contains("file is not a database"), qPrintable(m_err));
        QCOMPARE(contents(m_db), garbage);
    }

private:
    // The exit code, or -1 when it still runs after 20 s (a QProcess kills its process when it goes).
    int run()
    {
        QProcess p;
        p.start(m_program, {});
        if (!p.waitForFinished(20000))
            return -1;
        m_err = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QTemporaryDir m_root;
    const QString m_prefix = m_root.filePath("prefix"), m_program = m_prefix + "/bin/ardentia";
    const QString m_data = qEnvironmentVariable("HOME") + "/.local/share/Quillmere/Ardentia";
    const QString m_db = m_data + "/db/db.sqlite";
    QString m_err;
};

QTEST_GUILESS_MAIN(tst_Installed)
#include "tst_Installed.moc"
