#include "settings/Autostart.h"

#include "app/AppContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
QString appId()
{
    return ApplicationId();
}

// Exec lines quote arguments with double quotes and escape \ " ` $ inside them.
QString quotedExec(const QString &path)
{
    QString escaped;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}
} // namespace

namespace Autostart {

QString EntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/") +
           appId() + QStringLiteral(".desktop");
}

bool Apply(bool on)
{
    const QString path = EntryPath();
    if (!on)
        return !QFile::exists(path) || QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nIcon=%3\n"
                                         "Terminal=false\nX-GNOME-Autostart-enabled=true\n")
                              .arg(App().ProductName.isEmpty() ? QStringLiteral("Ardentia") : App().ProductName,
                                   quotedExec(QCoreApplication::applicationFilePath()), appId());
    file.write(entry.toUtf8());
    return file.commit();
}

bool IsOn()
{
    return QFile::exists(EntryPath());
}

} // namespace Autostart
