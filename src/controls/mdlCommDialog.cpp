#include "controls/mdlCommDialog.h"

#include "controls/Units.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include <optional>

namespace {

const QString kSettingsApp = QStringLiteral("Pathkeep");
const QString kSettingsKey = QStringLiteral("path/last_path");

std::optional<QStringList> g_nextOpen;
std::optional<QColor> g_nextColor;
QString g_lastInitialFolder;
OpenFileRequest g_lastRequest;
bool g_customColorsFilled = false;

// The per-user settings file of the remembered path, named outright: Qt's
// default user settings location is pointed elsewhere (below).
QString pathkeepFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QCoreApplication::organizationName() + QLatin1Char('/') + kSettingsApp + QStringLiteral(".conf");
}

void rememberPath(const QString &path)
{
    QSettings s(pathkeepFile(), QSettings::IniFormat);
    s.setValue(kSettingsKey, path);
}

// Qt's own dialogs keep their state (the colour dialog's custom colours, the
// file dialog's history) in a QtProject.conf of the user's: this program
// stores neither. Qt's default per-user settings are pointed at a place where
// no file can be made, before the first dialog reads or writes them.
void keepQtDialogStateUnstored()
{
    static const bool done = [] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
        return true;
    }();
    Q_UNUSED(done);
}

// Moves a dialog once, when it is first shown: its size is known then, and the
// toolkit's own placement (centred on the parent) is overridden.
class Placer : public QObject
{
public:
    Placer(QWidget *dialog, QWidget *owner, bool centerOnOwner)
        : QObject(dialog), m_dialog(dialog), m_owner(owner), m_centerOnOwner(centerOnOwner)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Show) {
            m_dialog->removeEventFilter(this);
            QRect area;
            if (m_centerOnOwner && m_owner)
                area = m_owner->window()->frameGeometry();
            if (!area.isValid()) {
                const QScreen *screen = m_owner ? m_owner->screen() : nullptr;
                if (!screen)
                    screen = QGuiApplication::primaryScreen();
                if (screen)
                    area = screen->geometry();
            }
            if (area.isValid())
                m_dialog->move(mdlCommDialog::CentredTopLeft(m_dialog->frameGeometry().size(), area));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_dialog;
    QPointer<QWidget> m_owner;
    bool m_centerOnOwner;
};

QStringList runOpenDialog(const OpenFileRequest &request, const QString &folder, QWidget *owner, bool centerOnOwner)
{
    QFileDialog dlg(owner, request.Title, folder);
    dlg.setObjectName(QStringLiteral("dlgOpenFile"));
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setOption(QFileDialog::DontResolveSymlinks, true);
    dlg.setOption(QFileDialog::HideNameFilterDetails, true);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFiles);
    const QStringList filters = mdlCommDialog::NameFilters(request.Filter);
    if (!filters.isEmpty())
        dlg.setNameFilters(filters);
    new Placer(&dlg, owner, centerOnOwner);
    if (dlg.exec() != QDialog::Accepted)
        return {};
    return dlg.selectedFiles();
}

} // namespace

QString SelectedFiles::FilePath(int index) const
{
    if (index < 1 || index > FileNames.size())
        return QString();
    return Folder + QLatin1Char('/') + FileNames.at(index - 1);
}

namespace mdlCommDialog {

QStringList NameFilters(const QString &filter)
{
    QStringList out;
    const QStringList parts = filter.split(QChar(0));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        if (description.isEmpty())
            break;
        static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
        const QStringList patterns = parts.at(i + 1).split(separators, Qt::SkipEmptyParts);
        // The dialog takes the patterns from the last parenthesis and, with
        // HideNameFilterDetails, shows only the text before it.
        out << description + QStringLiteral(" (") + (patterns.isEmpty() ? QStringLiteral("*") : patterns.join(QLatin1Char(' '))) +
                   QLatin1Char(')');
    }
    return out;
}

SelectedFiles SelectionFromPaths(const QStringList &paths)
{
    SelectedFiles result;
    if (paths.isEmpty())
        return result;
    const QString first = QFileInfo(paths.first()).absoluteFilePath();
    const qsizetype slash = first.lastIndexOf(QLatin1Char('/'));
    result.Folder = first.left(slash);
    const QDir folder(result.Folder.isEmpty() ? QStringLiteral("/") : result.Folder);
    for (const QString &p : paths) {
        if (result.FileNames.size() >= MaxSelectedFiles)
            break;
        const QString full = QFileInfo(p).absoluteFilePath();
        // The dialog returns files of one folder; anything else stays reachable
        // from Folder all the same.
        if (full.size() > slash && full.at(slash) == QLatin1Char('/') && full.left(slash) == result.Folder &&
            full.indexOf(QLatin1Char('/'), slash + 1) < 0)
            result.FileNames << full.mid(slash + 1);
        else
            result.FileNames << folder.relativeFilePath(full);
    }
    result.FileCount = int(result.FileNames.size());
    result.Cancelled = false;
    return result;
}

QPoint CentredTopLeft(const QSize &size, const QRect &area)
{
    return QPoint(area.left() + area.width() / 2 - size.width() / 2, area.top() + area.height() / 2 - size.height() / 2);
}

QString RememberedPath()
{
    const QSettings s(pathkeepFile(), QSettings::IniFormat);
    return s.value(kSettingsKey).toString();
}

QString InitialFolder()
{
    const QString remembered = RememberedPath();
    const QFileInfo info(remembered);
    if (!remembered.isEmpty() && info.isAbsolute()) {
        if (info.isDir())
            return info.absoluteFilePath();
        const QString folder = info.absolutePath();
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

QList<QColor> DefaultCustomColors()
{
    QList<QColor> colors = {QColor(139, 155, 184), QColor(188, 213, 254), QColor(115, 172, 183),
                            QColor(200, 249, 198), QColor(189, 194, 253), QColor(200, 249, 255),
                            QColor(108, 213, 210), QColor(236, 164, 236)};
    while (colors.size() < 16)
        colors << QColor(160, 160, 160);
    return colors;
}

} // namespace mdlCommDialog

SelectedFiles ShowOpenDialog(const OpenFileRequest &request, QWidget *owner, bool centerOnOwner)
{
    keepQtDialogStateUnstored();
    const QString folder = mdlCommDialog::InitialFolder();
    g_lastInitialFolder = folder;
    g_lastRequest = request;

    QStringList paths;
    if (g_nextOpen) {
        paths = *g_nextOpen;
        g_nextOpen.reset();
    } else {
        paths = runOpenDialog(request, folder, owner, centerOnOwner);
    }

    const SelectedFiles result = mdlCommDialog::SelectionFromPaths(paths);
    if (!result.Cancelled && result.FileCount == 1)
        rememberPath(result.FilePath(1));
    return result;
}

SelectedColor ShowColorDialog(QWidget *owner, bool centerOnOwner)
{
    keepQtDialogStateUnstored();
    // Filled at the first use of the run only, so the user's own custom colours
    // are offered again for as long as the program runs.
    if (!g_customColorsFilled) {
        const QList<QColor> colors = mdlCommDialog::DefaultCustomColors();
        for (int i = 0; i < colors.size() && i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, colors.at(i));
        g_customColorsFilled = true;
    }

    QColor chosen;
    if (g_nextColor) {
        chosen = *g_nextColor;
        g_nextColor.reset();
    } else {
        QColorDialog dlg(QColor(Qt::white), owner);
        dlg.setObjectName(QStringLiteral("dlgColor"));
        dlg.setOption(QColorDialog::DontUseNativeDialog, true);
        new Placer(&dlg, owner, centerOnOwner);
        if (dlg.exec() == QDialog::Accepted)
            chosen = dlg.selectedColor();
    }

    SelectedColor result;
    if (chosen.isValid()) {
        result.Color = Units::BgrFromColor(chosen);
        result.Cancelled = false;
    }
    return result;
}

namespace CommDialogForTests {

void SetNextOpenResult(const QStringList &files)
{
    g_nextOpen = files;
}

void SetNextColor(const QColor &color)
{
    g_nextColor = color;
}

QString LastInitialFolder()
{
    return g_lastInitialFolder;
}

OpenFileRequest LastOpenRequest()
{
    return g_lastRequest;
}

void ForgetRememberedPath()
{
    QSettings s(pathkeepFile(), QSettings::IniFormat);
    s.remove(kSettingsKey);
}

void Reset()
{
    g_nextOpen.reset();
    g_nextColor.reset();
    g_lastInitialFolder.clear();
    g_lastRequest = OpenFileRequest();
}

} // namespace CommDialogForTests
