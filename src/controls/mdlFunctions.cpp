#include "controls/mdlFunctions.h"

#include "context/AppContext.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace {
bool g_capture = false;
QStringList g_opened;
} // namespace

void ShellOpen(QWidget *owner, const QString &target)
{
    Q_UNUSED(owner);
    if (g_capture) {
        g_opened.append(target);
        return;
    }
    QUrl url(target);
    const bool looksLikeAddress = url.isValid() && url.scheme().size() > 1;
    if (!looksLikeAddress) {
        // A document path, relative ones taken from the application folder.
        QString path = target;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QFileInfo(path).isRelative())
            path = QDir(ApplicationFolder()).absoluteFilePath(path);
        url = QUrl::fromLocalFile(path);
    }
    QDesktopServices::openUrl(url);
}

namespace ShellOpenForTests {
void Capture(bool on)
{
    g_capture = on;
    g_opened.clear();
}
QStringList Opened()
{
    return g_opened;
}
} // namespace ShellOpenForTests
