#include "services/frmNotes.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/Units.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTextDocument>

namespace {

QPointer<frmNotes> g_notes;

// The window's size at first showing, in twips.
constexpr QSize kDefaultSizeTwips(8115, 5445);

// Windows-1252, the 8-bit code page notes written elsewhere most likely use:
// Latin-1 with printable characters in 0x80-0x9F. The five bytes it leaves
// undefined keep their Latin-1 code points, so no byte is lost.
QString fromWindows1252(const QByteArray &data)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(data.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const uchar b = uchar(data.at(i));
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return out;
}

// Writes a new file and renames it over the old one, so that a failure never
// leaves the file half-written. Unbuffered, with every write checked: a failed
// final flush goes unnoticed by QSaveFile::commit() in Qt 6.4.
bool writeWholeFile(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qint64 done = 0;
        while (done < data.size()) {
            const qint64 n = file.write(data.constData() + done, data.size() - done);
            if (n <= 0)
                break;
            done += n;
        }
        if (done == data.size() && file.commit())
            return true;
    }
    *error = file.errorString();
    return false;
}

} // namespace

frmNotes::frmNotes(QWidget *parent)
    : QMainWindow(parent, Qt::Window), Text1(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("frmNotes"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Notes"));
    setFont(QFont(QStringLiteral("Tahoma")));
    Text1->setObjectName(QStringLiteral("Text1"));
    resize(qRound(kDefaultSizeTwips.width() / Units::TwipsPerPixelX(this)),
           qRound(kDefaultSizeTwips.height() / Units::TwipsPerPixelY(this)));
    Form_Load();
}

frmNotes *frmNotes::instance()
{
    if (!g_notes)
        g_notes = new frmNotes();
    return g_notes;
}

frmNotes *frmNotes::existing()
{
    return g_notes;
}

void frmNotes::ShowNotes()
{
    frmNotes *w = instance();
    w->show();
    w->raise();
    w->activateWindow();
}

QString frmNotes::NotesFile()
{
    return AppFilePath(QStringLiteral("\\Notes"));
}

QString frmNotes::DecodeNotes(const QByteArray &data)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString all = utf8(data);
    if (utf8.hasError())
        all = fromWindows1252(data);
    if (all.startsWith(QChar(0xFEFF)))
        all.remove(0, 1);

    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QChar c = all.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(all.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < all.size() && all.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < all.size())
        lines.append(all.mid(start));
    // Each line was followed by a line break; the last one is dropped again.
    return lines.join(QLatin1Char('\n'));
}

QByteArray frmNotes::EncodeNotes(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    out += QLatin1String("\r\n");
    return out.toUtf8();
}

QSize frmNotes::TextSizeTwips(const QSize &windowTwips, const QSize &currentTwips)
{
    const int width = windowTwips.width() - 100;
    const int height = windowTwips.height() - 500;
    return QSize(width < 0 ? currentTwips.width() : width, height < 0 ? currentTwips.height() : height);
}

QString frmNotes::text() const
{
    // toPlainText() would turn no-break spaces into plain ones.
    QString raw = Text1->document()->toRawText();
    for (QChar &c : raw) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    return raw;
}

void frmNotes::Form_Load()
{
    Text1->move(0, 0);
    const QString path = NotesFile();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) {
            QFile created(path);
            created.open(QIODevice::WriteOnly);
            return;
        }
    } else {
        const QByteArray data = file.readAll();
        m_loadedText = DecodeNotes(data);
        Text1->setPlainText(m_loadedText);
        if (file.error() == QFileDevice::NoError)
            return;
    }
    m_loadFailed = true;
    Text1->setReadOnly(true);
    MsgBox::Fail(this, tr("The notes could not be read from \"%1\":\n%2\n\n"
                          "They are shown read-only so that the file is not overwritten.")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
}

bool frmNotes::save(QString *error) const
{
    return writeWholeFile(NotesFile(), EncodeNotes(text()), error);
}

void frmNotes::keepRescueCopy(const QString &error) const
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString rescue = folder + QStringLiteral("/Notes-unsaved-") +
                           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QDir().mkpath(folder);
    QString rescueError;
    if (writeWholeFile(rescue, EncodeNotes(text()), &rescueError))
        qWarning("The notes could not be saved to %s (%s); they were kept in %s", qPrintable(NotesFile()),
                 qPrintable(error), qPrintable(rescue));
    else
        qWarning("The notes could not be saved to %s (%s), nor to %s (%s)", qPrintable(NotesFile()), qPrintable(error),
                 qPrintable(rescue), qPrintable(rescueError));
}

bool frmNotes::Form_Unload()
{
    if (m_loadFailed)
        return true;
    QString error;
    if (save(&error))
        return true;
    // The old file is intact, so an unchanged text loses nothing.
    if (text() == m_loadedText)
        return true;
    if (App().Terminating) {
        keepRescueCopy(error);
        return true;
    }
    return MsgBox::AskYesNo(this, tr("The notes could not be saved to \"%1\":\n%2\n\n"
                                     "Close the window anyway and lose the changes?")
                                      .arg(QDir::toNativeSeparators(NotesFile()), error));
}

void frmNotes::Form_Resize()
{
    const double tx = Units::TwipsPerPixelX(this);
    const double ty = Units::TwipsPerPixelY(this);
    const QSize outer = frameGeometry().size();
    const QSize current(qRound(Text1->width() * tx), qRound(Text1->height() * ty));
    const QSize wanted = TextSizeTwips(QSize(qRound(outer.width() * tx), qRound(outer.height() * ty)), current);
    Text1->setGeometry(0, 0, qRound(wanted.width() / tx), qRound(wanted.height() / ty));
}

void frmNotes::closeEvent(QCloseEvent *event)
{
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

void frmNotes::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}
