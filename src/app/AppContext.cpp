#include "app/AppContext.h"

#include <QCoreApplication>
#include <QDir>

namespace {
AppContext g_context;
QString g_folder;
bool g_folderChosen = false;
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

QString ApplicationFolder()
{
    if (!g_folderChosen)
        return QCoreApplication::applicationDirPath();
    return g_folder;
}

void SetApplicationFolder(const QString &folder)
{
    QString f = QDir::cleanPath(folder);
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    g_folder = f;
    g_folderChosen = true;
}

QString AppFilePath(const QString &relative)
{
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return ApplicationFolder() + rel;
}
