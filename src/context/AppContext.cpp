#include "context/AppContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef ARDENTIA_APP_ID
#error "ARDENTIA_APP_ID is set by the build"
#endif
#ifndef ARDENTIA_DATA_FROM_BIN
#error "ARDENTIA_DATA_FROM_BIN is set by the build"
#endif

namespace {
AppContext g_context;
QString g_folder;
bool g_folderChosen = false;

QString withoutTrailingSeparator(const QString &folder)
{
    QString f = QDir::cleanPath(folder);
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    return f;
}

QString slashes(const QString &relative)
{
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return rel;
}

// The installed data folder, relative to the executable so a moved prefix works.
QString installedDataFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(ARDENTIA_DATA_FROM_BIN));
}
} // namespace

AppContext &App()
{
    return g_context;
}

void InitProductConstants()
{
    g_context.ProductName = QStringLiteral("Ardentia");
    g_context.ProductVersion = QStringLiteral("1.0");
    g_context.VendorSegment = QStringLiteral("Quillmere");
    g_context.AppTitle = g_context.ProductName + QLatin1Char(' ') + g_context.ProductVersion;
    if (QCoreApplication::instance()) {
        QCoreApplication::setApplicationName(g_context.ProductName);
        QCoreApplication::setOrganizationName(g_context.VendorSegment);
        QCoreApplication::setApplicationVersion(g_context.ProductVersion);
    }
}

QString ApplicationId()
{
    return QStringLiteral(ARDENTIA_APP_ID);
}

bool IsPortable()
{
    const QString dir = QCoreApplication::applicationDirPath();
    if (!QFileInfo::exists(dir + QStringLiteral("/portable")))
        return false;
    // A marker in a read-only folder (an installed copy) cannot make it portable:
    // SQLite needs to create its journal beside the database.
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}

QString ApplicationFolder()
{
    if (g_folderChosen)
        return g_folder;
    if (IsPortable())
        return withoutTrailingSeparator(QCoreApplication::applicationDirPath());
    return withoutTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void SetApplicationFolder(const QString &folder)
{
    g_folder = withoutTrailingSeparator(folder);
    g_folderChosen = true;
}

QString AppFilePath(const QString &relative)
{
    return ApplicationFolder() + slashes(relative);
}

QString ShippedFilePath(const QString &relative)
{
    QString rel = slashes(relative);
    while (rel.startsWith(QLatin1Char('/')))
        rel.remove(0, 1);
    if (IsPortable())
        return QCoreApplication::applicationDirPath() + QLatin1Char('/') + rel;
    const QString installed = installedDataFolder() + QLatin1Char('/') + rel;
    if (QFileInfo::exists(installed))
        return installed;
    // Installed with its data elsewhere on the system's data path.
    const QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("ardentia/") + rel);
    return found.isEmpty() ? installed : found;
}

void PrepareApplicationFolder()
{
    if (g_folderChosen || IsPortable())
        return;
    const QString folder = ApplicationFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString language = AppFilePath(QStringLiteral("/trans/eng.txt"));
    if (QFileInfo::exists(language))
        return;
    const QString shipped = ShippedFilePath(QStringLiteral("trans/eng.txt"));
    if (!QFileInfo::exists(shipped) || !QDir().mkpath(QFileInfo(language).absolutePath()))
        return;
    if (QFile::copy(shipped, language)) {
        // The installed original is read-only for the user; their copy is theirs to edit.
        QFile::setPermissions(language, QFile::permissions(language) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    }
}
