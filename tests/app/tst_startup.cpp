// The built program as a user starts it: first start, second start, a crashed
// first instance, and a damaged database.
#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

#include <memory>
#include <vector>

namespace {

// The program with the files it expects beside it, in a fresh folder that the
// marker makes portable, so it keeps its database there.
struct Installed
{
    QTemporaryDir dir;
    QString program() const { return dir.filePath("ardentia"); }
    QString db() const { return dir.filePath("db/db.sqlite"); }

    Installed()
    {
        QDir(dir.path()).mkpath("trans");
        QFile::copy(ARDENTIA_BINARY, program());
        QFile::copy(ARDENTIA_BUILD_DIR "/trans/eng.txt", dir.filePath("trans/eng.txt"));
        QFile::copy(ARDENTIA_BUILD_DIR "/icon.ico", dir.filePath("icon.ico"));
        QFile::copy(ARDENTIA_BUILD_DIR "/portable", dir.filePath("portable"));
    }
};

// Every process a test starts is killed when the test ends, passed or not.
class Processes
{
public:
    ~Processes()
    {
        for (auto &p : m_list) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    QProcess *start(const Installed &app)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(app.dir.path());
        p->start(app.program(), {});
        p->waitForStarted(5000);
        m_list.push_back(std::move(p));
        return m_list.back().get();
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_list;
};

// The columns of Contacts, read without changing the file; empty until the table exists.
QStringList contactColumns(const QString &path)
{
    QStringList columns;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT * FROM Contacts", -1, &st, nullptr) == SQLITE_OK) {
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                columns << QString::fromUtf8(sqlite3_column_name(st, i));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return columns;
}

bool keepsRunning(QProcess *p, int ms)
{
    return !p->waitForFinished(ms) && p->state() == QProcess::Running;
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void oneInstance()
    {
        Installed app;
        Processes processes;
        QProcess *first = processes.start(app);
        QTRY_COMPARE_WITH_TIMEOUT(contactColumns(app.db()).size(), 12, 20000);
        QVERIFY2(keepsRunning(first, 1000), first->readAllStandardError().constData());

        QProcess *second = processes.start(app);
        QVERIFY(second->waitForFinished(2000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(first->state() == QProcess::Running);

        // A crashed first instance does not keep the next one from starting.
        first->kill();
        QVERIFY(first->waitForFinished(5000));
        QProcess *third = processes.start(app);
        QVERIFY2(keepsRunning(third, 3000), third->readAllStandardError().constData());
        QCOMPARE(contactColumns(app.db()).size(), 12);
    }

    // With no screen to show the failure on, the program says it on stderr and ends.
    void damagedDatabase()
    {
        Installed app;
        QDir(app.dir.path()).mkpath("db");
        QFile f(app.db());
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray garbage = QByteArray("not a database ").repeated(300);
        f.write(garbage);
        f.close();
        Processes processes;
        QProcess *p = processes.start(app);
        QVERIFY2(p->waitForFinished(20000), "the program waits for a click nobody can give");
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QVERIFY(p->exitCode() != 0);
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        QVERIFY2(err.contains(app.db()) && err.contains("file is not a database"), qPrintable(err));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), garbage);
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
