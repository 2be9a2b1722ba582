// The application context: constants, where files are kept, portable or installed, the first run's
// copy of the language file. The program's place decides its mode: copies of this test probe it.
#include "support/CoreTestSupport.h"

#include "context/AppContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <unistd.h>

// Runs in a copy: what the context answers there, as "key=value" lines.
static int probe(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    InitProductConstants();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QStringList out = {"portable=" + QString::number(IsPortable()), "folder=" + ApplicationFolder(), "data=" + data,
                       "shipped=" + ShippedFilePath("trans/eng.txt"), "help=" + ShippedFilePath("\\help\\index.html")};
    PrepareApplicationFolder();
    QFile copy(AppFilePath("\\trans\\eng.txt")), shipped(ShippedFilePath("trans/eng.txt"));
    const bool copied = copy.open(QIODevice::ReadOnly) && shipped.open(QIODevice::ReadOnly) && copy.readAll() == shipped.readAll();
    copy.close();
    WriteFile(copy.fileName(), "edited"); // the user's copy is theirs: the next start leaves it alone
    PrepareApplicationFolder();
    const bool kept = copy.open(QIODevice::ReadOnly) && copy.readAll() == "edited";
    out << "made=" + QString::number(QFile::exists(data)) + QString::number(copied) + QString::number(kept); // data folder, copy, kept
    std::fputs(qPrintable(out.join('\n') + '\n'), stdout);
    return 0;
}

class tst_AppContext : public QObject
{
    Q_OBJECT

    TempAppFolder m_folder;

    // Runs the probe in a copy in `folder`; in a read-only one as somebody else, since root writes anywhere.
    QMap<QString, QString> probeIn(const QString &folder, bool readOnly = false)
    {
        QMap<QString, QString> answers;
        QProcess p;
        if (!QFile::copy(QCoreApplication::applicationFilePath(), folder + "/probe"))
            return answers;
        if (readOnly && QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)) && ::geteuid() == 0)
            p.setChildProcessModifier([] { if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3); });
        p.start(folder + "/probe", {"--probe"});
        p.waitForFinished(120000);
        for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            answers.insert(line.section('=', 0, 0), line.section('=', 1));
        return answers;
    }

private slots:
    void inProcess()
    {
        const AppContext &app = App();
        // The standard folders are named after the maker and the product.
        QVERIFY(!app.ProductVersion.isEmpty() && app.AppTitle == app.ProductName + " " + app.ProductVersion &&
                QCoreApplication::applicationName() == app.ProductName && QCoreApplication::organizationName() == app.VendorSegment);
        QCOMPARE(AppFilePath("/db/db.sqlite"), m_folder.path() + "/db/db.sqlite");
        SetApplicationFolder(m_folder.path() + "/");
        QCOMPARE(AppFilePath("\\trans\\eng.txt"), m_folder.path() + "/trans/eng.txt");
        PrepareApplicationFolder(); // a folder chosen by the caller is left as it is
        QVERIFY(!QFile::exists(m_folder.file("trans")));
        QFile::setPermissions(m_folder.path(), QFileDevice::Permissions(0x7755));
    }
    // Installed: files in the user's data folder, shipped ones in <prefix>/share, the language file copied once.
    // Portable (a marker beside the program): all beside it; not so when the program cannot write there.
    void modes()
    {
        QVERIFY(QDir().mkpath(m_folder.file("prefix/share/ardentia/trans")) &&
                WriteFile(m_folder.file("prefix/share/ardentia/trans/eng.txt"), "shipped"));
        const struct { const char *where; bool marker, portable; const char *made; } cases[] = {
            {"prefix/bin", false, false, "111"}, {"unpacked", true, true, "000"}, {"read-only", true, false, "100"}};
        for (const auto &c : cases) {
            const QString dir = m_folder.file(c.where), data = App().VendorSegment + "/" + App().ProductName;
            QVERIFY(QDir().mkpath(dir) && (!c.marker || WriteFile(dir + "/portable", {})));
            const QMap<QString, QString> a = probeIn(dir, QByteArray(c.where) == "read-only");
            QFile::setPermissions(dir, QFileDevice::Permissions(0x7755));
            const QString shipped = c.portable ? dir : QDir::cleanPath(dir + "/../share/ardentia");
            QVERIFY2(a.value("data").endsWith(data) && a.value("folder") == (c.portable ? dir : a.value("data")), c.where);
            QCOMPARE(a.value("shipped") + " " + a.value("help"), shipped + "/trans/eng.txt " + shipped + "/help/index.html");
            QCOMPARE(a.value("portable") + a.value("made"), QString::number(c.portable) + c.made);
        }
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && QByteArray(argv[1]) == "--probe")
        return probe(argc, argv);
    QCoreApplication app(argc, argv);
    tst_AppContext test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appcontext.moc"
