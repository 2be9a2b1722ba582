#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QMainWindow>

class QPlainTextEdit;

// A free-text scratch pad kept in the file "Notes" in the application folder.
// The text is read when the window is created and written back when it closes;
// at most one window exists, and it is deleted when it closes. A main window
// of its own, so that assistive technology sees it as a window.
class frmNotes : public QMainWindow
{
    Q_OBJECT
public:
    // The window, created and loaded on first reference.
    static frmNotes *instance();
    // The window if one exists; never creates it.
    static frmNotes *existing();
    // Shows the window (not modal) and brings it to the front.
    static void ShowNotes();

    // Application folder + "/Notes".
    static QString NotesFile();

    // The file's bytes as the text box shows them. A line ends at CR LF, at a
    // CR alone or at an LF alone; the text box separates lines with "\n".
    // A file that is not UTF-8 is read as Windows-1252, so nothing is replaced.
    static QString DecodeNotes(const QByteArray &data);
    // The text box's text as the file holds it: lines joined by CR LF and one
    // CR LF after the last, in UTF-8.
    static QByteArray EncodeNotes(const QString &text);
    // The text box's size in twips for a window of outer size windowTwips; a
    // dimension that would be negative keeps its value from currentTwips.
    static QSize TextSizeTwips(const QSize &windowTwips, const QSize &currentTwips);

    QPlainTextEdit *const Text1;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    explicit frmNotes(QWidget *parent = nullptr);

    void Form_Load();
    // True when the window may close.
    bool Form_Unload();
    void Form_Resize();

    QString text() const;
    bool save(QString *error) const;
    void keepRescueCopy(const QString &error) const;

    // Set when the file could not be read whole: closing then writes nothing,
    // so that a partial text never replaces the notes.
    bool m_loadFailed = false;
    QString m_loadedText;
};
