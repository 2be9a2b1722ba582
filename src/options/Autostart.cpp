#include "options/Autostart.h"

#include "context/AppContext.h"

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

// An Exec line quotes an argument with double quotes and escapes \ " ` $
// inside them; a percent sign is written twice (a single one starts a field
// code). The value as a whole then takes the escapes every string value of the
// file takes, so each backslash of the quoting is doubled.
QString quotedExec(const QString &path)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        else if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
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
