#include "support/CoreTestSupport.h"

#include "context/AppContext.h"
#include "settings/RegistryStore.h"
#include "settings/mdlOptions.h"
#include "store/mdlMDB.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtEndian>

namespace {

// Runs before main(): the tests never touch the machine's own files or folders.
void prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ardentia-test-home-XXXXXX"));
    qputenv("HOME", home.path().toUtf8());
    QDir(home.path()).mkpath(QStringLiteral("runtime"));
    const QString runtime = home.path() + QStringLiteral("/runtime");
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    for (const char *v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qunsetenv(v);
    QStandardPaths::setTestModeEnabled(true);
}
Q_CONSTRUCTOR_FUNCTION(prepareProcess)

} // namespace

TempAppFolder::TempAppFolder()
{
    QStandardPaths::setTestModeEnabled(true);
    InitProductConstants();
    App().AppClosing = false;
    App().Terminating = false;
    SetApplicationFolder(m_dir.path());
    RegistryStore::instance().setFile(m_dir.path() + QStringLiteral("/config/registry.sqlite"));
    Options() = OptionState();
}

void TempAppFolder::installLanguageFile() const
{
    QDir(path()).mkpath(QStringLiteral("trans"));
    QFile::copy(QStringLiteral(ARDENTIA_SOURCE_DIR "/resources/trans/eng.txt"), file(QStringLiteral("trans/eng.txt")));
}

void SeedContacts(const QList<ContactRow> &rows)
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    cn->exec(QStringLiteral("BEGIN"));
    for (const ContactRow &row : rows) {
        Recordset rs(*cn);
        rs.open(QStringLiteral("SELECT * FROM Contacts WHERE 0"));
        rs.addNew();
        for (auto it = row.begin(); it != row.end(); ++it)
            rs.setField(it.key().toLatin1().constData(), it.value());
        rs.update();
    }
    cn->exec(QStringLiteral("COMMIT"));
}

QString QueryText(const QString &sql)
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    Recordset rs(*cn);
    rs.open(sql);
    return rs.atEnd() ? QString() : rs.text(0);
}

int CountContacts()
{
    return QueryText(QStringLiteral("SELECT count(*) FROM Contacts")).toInt();
}

OpenDb::OpenDb()
{
    mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), SharedDb());
}

OpenDb::~OpenDb()
{
    mdlMDB::CloseDatabase(SharedDb());
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

qint64 FileChangeCounter(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(24))
        return -1;
    const QByteArray counter = f.read(4);
    return counter.size() == 4 ? qint64(qFromBigEndian<quint32>(counter.constData())) : -1;
}
