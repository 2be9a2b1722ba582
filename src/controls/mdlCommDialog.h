#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

// The open-file and colour dialogs of the program, with the last chosen file
// remembered per user. Both dialogs are Qt's own (never the desktop's), so they
// behave the same everywhere, and are placed by the program: centred on the
// screen or on the owner window.

// What the caller asks of the open-file dialog.
struct OpenFileRequest
{
    // Pairs of description and pattern list, each followed by a NUL, the list
    // ended by one more NUL ("Pictures\0*.bmp; *.jpg\0\0"). Patterns are
    // separated by ";" and/or blanks.
    QString Filter;
    QString Title;
};

struct SelectedFiles
{
    int FileCount = 0;
    // The chosen names without folder, in the dialog's order. FileNames[0] is
    // the first file (FileNames(1) in the counting from 1 the program uses
    // elsewhere), so FileNames.size() == FileCount.
    QStringList FileNames;
    // The folder of the chosen files without a trailing "/"; a file in the root
    // folder gives "". Folder + "/" + FileNames[i] is always the full path.
    QString Folder;
    bool Cancelled = true;

    // The full path of the file at 1-based `index`; empty when there is none.
    QString FilePath(int index) const;
};

struct SelectedColor
{
    // 0x00BBGGRR, or -1 when cancelled.
    qint32 Color = -1;
    bool Cancelled = true;
};

// At most this many names are returned; further ones are dropped.
constexpr int MaxSelectedFiles = 1000;

SelectedFiles ShowOpenDialog(const OpenFileRequest &request, QWidget *owner, bool centerOnOwner);
SelectedColor ShowColorDialog(QWidget *owner, bool centerOnOwner);

namespace mdlCommDialog {

// The Qt name filters of a NUL-separated filter list. Each entry shows its
// description alone; the patterns are given to the dialog separately.
QStringList NameFilters(const QString &filter);
// The result for the full paths a dialog returned (all in one folder); an empty
// list is a cancel.
SelectedFiles SelectionFromPaths(const QStringList &paths);
// Where a window of `size` goes to be centred on `area`.
QPoint CentredTopLeft(const QSize &size, const QRect &area);

// The remembered path ("" when none) and the folder the next open-file dialog
// starts in: the remembered file's folder, or the home folder when there is no
// remembered path or its folder is gone.
QString RememberedPath();
QString InitialFolder();

// The custom colours the colour dialog starts with at the first use in a run.
QList<QColor> DefaultCustomColors();

} // namespace mdlCommDialog

// Lets a test answer the next dialog instead of a user. A given answer is taken
// once, by the next call, which then shows no dialog; everything else (result
// records, remembered path) works as with a real answer.
namespace CommDialogForTests {

// The full paths chosen; an empty list answers Cancel.
void SetNextOpenResult(const QStringList &files);
// The colour chosen; an invalid QColor answers Cancel.
void SetNextColor(const QColor &color);
// The folder and request the last open-file call used.
QString LastInitialFolder();
OpenFileRequest LastOpenRequest();
void ForgetRememberedPath();
void Reset();

} // namespace CommDialogForTests
