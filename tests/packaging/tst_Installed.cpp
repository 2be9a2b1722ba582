// The program as a user gets it: installed into a prefix with `cmake --install`,
// started as a separate process with its own HOME, then killed.

#include "app/AppContext.h"
#include "common/TestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {

const int kStartTimeoutMs = 60000;

// Every entry under `root` with its size and time: any file the program writes
// there, or any folder it adds to, shows up as a difference.
QStringList listing(const QString &root)
{
    QStringList out;
    if (!QFileInfo::exists(root))
        return out;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        out << QStringLiteral("%1 %2 %3")
                   .arg(base.relativeFilePath(fi.filePath()))
                   .arg(fi.isDir() ? 0 : fi.size())
                   .arg(fi.lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// One person on the machine: a home and a private runtime folder, and nothing
// from the test machine's own XDG folders.
class User
{
public:
    User(const QString &root, const QString &name)
        : m_home(root + QLatin1Char('/') + name)
    {
        QDir().mkpath(m_home);
        QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_dataDirs = root + QStringLiteral("/no-system-data");
    }
    QString home() const { return m_home; }
    QString runtime() const { return m_home + QStringLiteral("/runtime"); }
    // Where QStandardPaths puts AppDataLocation for organisation Quillmere, application Ardentia.
    QString dataFolder() const { return m_home + QStringLiteral("/.local/share/Quillmere/Ardentia"); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                              "XDG_CONFIG_DIRS", "QT_PLUGIN_PATH"})
            env.remove(QString::fromLatin1(v));
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        // The system's data folders could hold an installed copy that would hide a wrong lookup.
        env.insert(QStringLiteral("XDG_DATA_DIRS"), m_dataDirs);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

private:
    QString m_home;
    QString m_dataDirs;
};

// A started program that is killed when the test leaves, however it leaves.
class Started
{
public:
    Started(const QString &program, const User &user)
    {
        m_process.setProgram(program);
        m_process.setProcessEnvironment(user.environment());
        m_process.setWorkingDirectory(user.home());
        m_process.start();
    }
    ~Started() { stop(); }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    QProcess &process() { return m_process; }
    QByteArray errors() { return m_process.readAllStandardError(); }

private:
    QProcess m_process;
};

// Waits until `path` exists or the program has ended.
bool waitForFile(Started &program, const QString &path)
{
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(path))
            return true;
        if (program.process().state() == QProcess::NotRunning)
            return QFileInfo::exists(path);
        program.process().waitForFinished(100);
    }
    return false;
}

QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.contains(QLatin1Char('=')))
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    return keys;
}

} // namespace

class Installed : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsProgramAndDesktopFiles_data();
    void installsProgramAndDesktopFiles();
    void desktopFilesAgreeOnTheId();
    void keepsWritableFilesInTheRightFolder_data();
    void keepsWritableFilesInTheRightFolder();
    void oneInstancePerUser();

private:
    QString bin() const { return m_prefix + QStringLiteral("/bin/ardentia"); }
    QString share(const QString &rel) const { return m_prefix + QStringLiteral("/share/") + rel; }

    QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/ardentia-installed-XXXXXX")};
    QString m_prefix;
};

void Installed::initTestCase()
{
    QVERIFY(m_root.isValid());
    InitProductConstants();
    m_prefix = m_root.path() + QStringLiteral("/prefix");
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(ARDENTIA_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(ARDENTIA_BUILD_DIR), QStringLiteral("--prefix"), m_prefix});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());
}

void Installed::installsProgramAndDesktopFiles_data()
{
    QTest::addColumn<QString>("relative");
    const QString id = ApplicationId();
    QTest::newRow("program") << QStringLiteral("bin/ardentia");
    QTest::newRow("language file") << QStringLiteral("share/ardentia/trans/eng.txt");
    QTest::newRow("help page") << QStringLiteral("share/ardentia/help/index.html");
    QTest::newRow("tray image") << QStringLiteral("share/ardentia/icon.ico");
    QTest::newRow("desktop entry") << QStringLiteral("share/applications/%1.desktop").arg(id);
    QTest::newRow("metainfo") << QStringLiteral("share/metainfo/%1.metainfo.xml").arg(id);
    QTest::newRow("icon") << QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(id);
}

void Installed::installsProgramAndDesktopFiles()
{
    QFETCH(QString, relative);
    const QFileInfo fi(m_prefix + QLatin1Char('/') + relative);
    QVERIFY2(fi.isFile() && fi.size() > 0, qPrintable(fi.filePath()));
    // The build tree's portable marker must never reach an installed copy.
    QVERIFY(!QFileInfo::exists(m_prefix + QStringLiteral("/bin/portable")));
}

void Installed::desktopFilesAgreeOnTheId()
{
    const QString id = ApplicationId();
    const auto entry = desktopEntry(share(QStringLiteral("applications/%1.desktop").arg(id)));
    QCOMPARE(entry.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0), QFileInfo(bin()).fileName());
    QCOMPARE(entry.value(QStringLiteral("Icon")), id);

    QFile xml(share(QStringLiteral("metainfo/%1.metainfo.xml").arg(id)));
    QVERIFY(xml.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&xml);
    QString componentId, launchable, binary;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QStringLiteral("id"))
            componentId = reader.readElementText();
        else if (reader.name() == QStringLiteral("launchable"))
            launchable = reader.readElementText();
        else if (reader.name() == QStringLiteral("binary"))
            binary = reader.readElementText();
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(componentId, id);
    QCOMPARE(launchable, id + QStringLiteral(".desktop"));
    QCOMPARE(binary, QFileInfo(bin()).fileName());
}

void Installed::keepsWritableFilesInTheRightFolder_data()
{
    QTest::addColumn<bool>("portableFolder");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("installed under a prefix") << false << false;
    QTest::newRow("unpacked folder with the portable marker") << true << false;
    QTest::newRow("read-only folder with the portable marker") << true << true;
}

void Installed::keepsWritableFilesInTheRightFolder()
{
    QFETCH(bool, portableFolder);
    QFETCH(bool, readOnly);
    if (readOnly && ::geteuid() == 0)
        QSKIP("root writes into read-only folders");

    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const User user(m_root.path(), QStringLiteral("home-") + tag);
    QString program = bin();
    QString programFolder = m_prefix;
    if (portableFolder) {
        // An unpacked copy: everything beside the program, as the build tree has it.
        programFolder = m_root.path() + QStringLiteral("/unpacked-") + tag;
        QVERIFY(QDir().mkpath(programFolder + QStringLiteral("/trans")));
        program = programFolder + QStringLiteral("/ardentia");
        QVERIFY(QFile::copy(bin(), program));
        QVERIFY(QFile::copy(share(QStringLiteral("ardentia/trans/eng.txt")), programFolder + QStringLiteral("/trans/eng.txt")));
        QFile marker(programFolder + QStringLiteral("/portable"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        if (readOnly) {
            QVERIFY(QFile::setPermissions(programFolder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
    }
    const bool beside = portableFolder && !readOnly;
    const QString folder = beside ? programFolder : user.dataFolder();
    const QStringList programFilesBefore = listing(programFolder);

    {
        Started run(program, user);
        const bool created = waitForFile(run, folder + QStringLiteral("/db/db.sqlite"));
        QVERIFY2(created, run.errors().constData());
        QVERIFY2(run.running(), run.errors().constData());
        if (!portableFolder) {
            // The first run gives the user their own copy of the language file.
            QCOMPARE(fileHash(folder + QStringLiteral("/trans/eng.txt")), fileHash(share(QStringLiteral("ardentia/trans/eng.txt"))));
        }
        run.stop();
    }

    if (beside) {
        QVERIFY2(!QFileInfo::exists(user.dataFolder()), "a portable copy wrote into the user's data folder");
    } else {
        QCOMPARE(listing(programFolder), programFilesBefore);
    }
    if (readOnly)
        QFile::setPermissions(programFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void Installed::oneInstancePerUser()
{
    const User first(m_root.path(), QStringLiteral("home-first"));
    const User second(m_root.path(), QStringLiteral("home-second"));

    Started running(bin(), first);
    QVERIFY2(waitForFile(running, first.dataFolder() + QStringLiteral("/db/db.sqlite")), running.errors().constData());
    QVERIFY(running.running());

    // The same user starting it again: the new process ends at once, quietly.
    {
        Started again(bin(), first);
        QVERIFY(again.process().waitForFinished(kStartTimeoutMs));
        QCOMPARE(again.process().exitCode(), 0);
    }

    // Another user on the same machine runs their own.
    {
        Started theirs(bin(), second);
        QVERIFY2(waitForFile(theirs, second.dataFolder() + QStringLiteral("/db/db.sqlite")), theirs.errors().constData());
        QVERIFY(theirs.running());
    }
    running.stop();
}

QTEST_GUILESS_MAIN(Installed)
#include "tst_Installed.moc"
