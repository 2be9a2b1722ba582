#include "support/GuiTestSupport.h"
#include "app/Termination.h"
#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "mainwindow/frmMain.h"
#include "services/frmNotes.h"
#include <QAccessible>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The text box; the window is opened (and loaded) when there is none.
QPlainTextEdit *textBox() { return frmNotes::instance()->findChild<QPlainTextEdit *>(QStringLiteral("Text1")); }

// toPlainText() would hide a no-break space turned into a plain one.
QString shown() { return textBox()->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'); }

// A closed window deletes itself later.
void closeAndWait() { QVERIFY(frmNotes::existing()->close()); QTRY_VERIFY(!frmNotes::existing()); }

} // namespace

class tst_frmNotes : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<GuiTempAppFolder>(); }
    void cleanup() { delete frmNotes::existing(); m_folder.reset(); }
    // What a file shows and what closing writes back; opening leaves the file alone.
    void loadedAndSaved_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("no file: created empty") << QByteArray() << "" << QByteArray("\r\n");
        QTest::newRow("no final break") << QByteArray("a\r\nb") << "a\nb" << QByteArray("a\r\nb\r\n");
        QTest::newRow("CR, LF, CR LF") << QByteArray("a\n\rb\r\nc\rd") << "a\n\nb\nc\nd"
                                       << QByteArray("a\r\n\r\nb\r\nc\r\nd\r\n");
        QTest::newRow("final blank line") << QByteArray("a\r\n\r\n") << "a\n" << QByteArray("a\r\n\r\n");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFx\r\n") << "x" << QByteArray("x\r\n");
        const QString intl = QStringLiteral("Grüße\n東京 \u00a0no-break, 😀");
        const QByteArray intlFile = intl.toUtf8().replace("\n", "\r\n");
        QTest::newRow("UTF-8, no-break space") << intlFile << intl << intlFile + "\r\n";
        // Not UTF-8: each byte is its Windows-1252 character, none replaced.
        const QString cp1252 = QStringLiteral("Café °\n“q” €\u0081");
        QTest::newRow("8-bit") << QByteArray("Caf\xE9 \xB0\r\n\x93q\x94 \x80\x81") << cp1252
                               << cp1252.toUtf8().replace("\n", "\r\n") + "\r\n";
    }
    void loadedAndSaved()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        QFETCH(QByteArray, saved);
        const QString notes = m_folder->file("Notes");
        QVERIFY(file.isNull() || WriteFile(notes, file));
        QCOMPARE(shown(), text);
        QCOMPARE(readBytes(notes), file);
        closeAndWait();
        QCOMPARE(readBytes(notes), saved);
        QVERIFY(MsgBox::AskedTexts().isEmpty());
    }
    // A save renames a new file over the old one: a write failing midway leaves
    // the old one whole and nothing stray; a changed text goes only if the user agrees.
    void failedSave_data()
    {
        QTest::addColumn<int>("answer"); // 0: the text was not changed
        QTest::newRow("keep the text") << int(QMessageBox::No);
        QTest::newRow("lose the text") << int(QMessageBox::Yes);
        QTest::newRow("unchanged: no question") << 0;
    }
    void failedSave()
    {
        QFETCH(int, answer);
        const QString notes = m_folder->file("Notes"), typed = QStringLiteral("typed by the user ").repeated(50);
        const QByteArray old = QByteArray("more than the size limit ").repeated(4) + "\r\n";
        QVERIFY(WriteFile(notes, old));
        textBox()->setPlainText(answer ? typed : shown());
        rlimit saved = {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit low = {64, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &low), 0);
        MsgBox::QueueAnswers({QMessageBox::StandardButton(answer)});
        const bool closed = frmNotes::existing()->close();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(closed, answer != QMessageBox::No);
        QCOMPARE(MsgBox::AskedTexts().size(), answer ? 1 : 0);
        QVERIFY(!answer || MsgBox::AskedTexts().first().contains(notes));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Notes"});
        QCOMPARE(readBytes(notes), old);
        if (closed)
            return;
        QCOMPARE(shown(), typed);
        closeAndWait(); // the cause gone, it saves without asking again
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QCOMPARE(readBytes(notes), (typed + "\r\n").toUtf8());
    }
    // Notes that cannot be read (a link to a file that is gone) are shown
    // read-only, and closing writes nothing, neither the link nor its target.
    void unreadableNotesAreKept()
    {
        QVERIFY(QFile::link(m_folder->file("gone"), m_folder->file("Notes")));
        MsgBox::QueueAnswers({QMessageBox::Ok});
        QVERIFY(textBox()->isReadOnly());
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(m_folder->file("Notes")));
        closeAndWait();
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::System | QDir::Hidden), QStringList{"Notes"});
        QVERIFY(QFileInfo(m_folder->file("Notes")).isSymLink() && MsgBox::AskedTexts().size() == 1);
    }
    // One window, not modal, a window to assistive technology; closing the
    // main window leaves it open, and it is saved when it closes.
    void outliveTheMainWindow()
    {
        std::unique_ptr<frmMain> main = OpenMainWindow(0);
        QVERIFY(main);
        auto *button = main->findChild<QToolButton *>(QStringLiteral("button_Notes"));
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(frmNotes::existing() && frmNotes::existing()->isVisible() && !frmNotes::existing()->isModal());
        const QPointer<frmNotes> first = frmNotes::existing();
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE(frmNotes::existing(), first.data());
        QCOMPARE(QAccessible::queryAccessibleInterface(first)->role(), QAccessible::Window);
        QTest::keyClicks(textBox(), QStringLiteral("keep me"));
        QVERIFY(main->close());
        QVERIFY(first && first->isVisible() && QGuiApplication::quitOnLastWindowClosed());
        closeAndWait();
        QCOMPARE(readBytes(m_folder->file("Notes")), QByteArray("keep me\r\n"));
    }
    // Last, as the application has been told to quit then. Told to end, the
    // program saves the notes without a question; a save that fails leaves a copy.
    void endingSavesTheNotes()
    {
        InstallTerminationHandler();
        const QString notes = m_folder->file("Notes");
        const QString rescue = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            App().Terminating = false;
            frmNotes::ShowNotes();
            textBox()->setPlainText(QStringLiteral("typed\n%1").arg(sig));
            if (sig == SIGHUP) {
                QVERIFY(QFile::remove(notes) && QDir().mkdir(notes));
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be saved.*kept in"));
            }
            MsgBox::QueueAnswers({QMessageBox::No}); // a question would keep the window open
            ::kill(::getpid(), sig);
            QTRY_VERIFY(!frmNotes::existing());
            QVERIFY(App().Terminating && MsgBox::AskedTexts().isEmpty());
            const QString copy = rescue + '/' + QDir(rescue).entryList({"Notes-unsaved-*"}).value(0);
            QCOMPARE(readBytes(sig == SIGHUP ? copy : notes), QStringLiteral("typed\r\n%1\r\n").arg(sig).toUtf8());
        }
    }

private:
    std::unique_ptr<GuiTempAppFolder> m_folder;
};

QTEST_MAIN(tst_frmNotes)
#include "tst_frmNotes.moc"
