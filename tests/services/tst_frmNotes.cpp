#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "mainwindow/frmMain.h"
#include "services/frmNotes.h"

#include <QAccessible>
#include <QApplication>

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

void closeAndWait(frmNotes *w)
{
    QVERIFY(w->close());
    QTRY_VERIFY(!frmNotes::existing());
}

} // namespace

class tst_frmNotes : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<TempAppFolder>(); }
    void cleanup()
    {
        if (frmNotes *w = frmNotes::existing()) {
            MsgBox::QueueAnswers({QMessageBox::Yes});
            w->close();
            delete w;
        }
        m_folder.reset();
    }

    void savesAndReloads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("two lines") << "a\nb" << QByteArray("a\r\nb\r\n");
        QTest::newRow("empty") << "" << QByteArray("\r\n");
        QTest::newRow("ends with a line break") << "a\n" << QByteArray("a\r\n\r\n");
        QTest::newRow("blank lines inside") << "a\n\n\nb" << QByteArray("a\r\n\r\n\r\nb\r\n");
        const QString intl = QStringLiteral("Grüße aus Zürich\n東京 \u00a0no-break\u00a0space, 😀");
        QTest::newRow("non-ASCII") << intl << (intl.toUtf8().replace("\n", "\r\n") + "\r\n");
    }
    void savesAndReloads()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, stored);
        frmNotes::instance()->Text1->setPlainText(text);
        closeAndWait(frmNotes::instance());
        QCOMPARE(readBytes(m_folder->file("Notes")), stored);
        // toPlainText() would hide a no-break space turned into a plain one.
        QCOMPARE(frmNotes::instance()->Text1->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'), text);
        QVERIFY(MsgBox::AskedTexts().isEmpty());
    }

    void readsLineEnds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << "a\nb";
        QTest::newRow("no final line break") << QByteArray("a\r\nb") << "a\nb";
        QTest::newRow("mixed") << QByteArray("a\n\rb\r\n\nc") << "a\n\nb\n\nc";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("one line break") << QByteArray("\r\n") << "";
        QTest::newRow("two line breaks") << QByteArray("\r\n\r\n") << "\n";
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFx\r\n") << "x";
        // Not UTF-8: read byte for byte instead of being replaced.
        QTest::newRow("8-bit text") << QByteArray("caf\xE9\r\n\xFC") << QStringLiteral("café\nü");
        QTest::newRow("8-bit quotes and euro") << QByteArray("\x93q\x94 \x80\x81") << QStringLiteral("“q” €\u0081");
    }
    void readsLineEnds()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        QCOMPARE(frmNotes::DecodeNotes(file), text);
    }

    void eightBitNotesSurviveOpenAndClose()
    {
        writeBytes(m_folder->file("Notes"), "Caf\xE9 \xB0\r\n");
        closeAndWait(frmNotes::instance());
        QCOMPARE(readBytes(m_folder->file("Notes")), QStringLiteral("Café °\r\n").toUtf8());
    }

    void missingFileIsCreatedEmpty()
    {
        QVERIFY(!QFile::exists(m_folder->file("Notes")));
        frmNotes *w = frmNotes::instance();
        QVERIFY(QFile::exists(m_folder->file("Notes")));
        QCOMPARE(QFileInfo(m_folder->file("Notes")).size(), 0);
        QVERIFY(w->Text1->toPlainText().isEmpty());
        QVERIFY(!w->Text1->isReadOnly());
    }

    void textBoxSize_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("usual") << QSize(8115, 5445) << QSize(8015, 4945);
        QTest::newRow("exactly zero") << QSize(100, 500) << QSize(0, 0);
        QTest::newRow("too narrow") << QSize(99, 5445) << QSize(777, 4945);
        QTest::newRow("too small") << QSize(0, 0) << QSize(777, 888);
    }
    void textBoxSize()
    {
        QFETCH(QSize, window);
        QFETCH(QSize, expected);
        QCOMPARE(frmNotes::TextSizeTwips(window, QSize(777, 888)), expected);
    }

    void failedSaveKeepsOldFileAndText_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("write fails midway") << "file size limit";
        QTest::newRow("notes became a folder") << "folder";
        QTest::newRow("read-only application folder") << "read-only";
    }
    void failedSaveKeepsOldFileAndText()
    {
        QFETCH(QString, failure);
        if (failure == "read-only" && ::geteuid() == 0)
            QSKIP("root ignores file permissions");

        const QString notes = m_folder->file("Notes");
        const QByteArray old("old notes\r\n");
        writeBytes(notes, old);
        frmNotes *w = frmNotes::instance();
        const QString typed = QString("typed by the user ").repeated(50);
        w->Text1->setPlainText(typed);

        struct rlimit saved = {};
        std::function<void()> undo;
        if (failure == "file size limit") {
            ::getrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit low = saved;
            low.rlim_cur = 64;
            ::setrlimit(RLIMIT_FSIZE, &low);
            undo = [&] {
                ::setrlimit(RLIMIT_FSIZE, &saved);
                std::signal(SIGXFSZ, SIG_DFL);
            };
        } else if (failure == "folder") {
            QVERIFY(QFile::remove(notes));
            QVERIFY(QDir().mkdir(notes));
            undo = [&] { QDir().rmdir(notes); };
        } else {
            QFile::setPermissions(m_folder->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            undo = [&] {
                QFile::setPermissions(m_folder->path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            };
        }

        MsgBox::QueueAnswers({QMessageBox::No});
        const bool closed = w->close();
        undo();
        QVERIFY(!closed);
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY2(MsgBox::AskedTexts().first().contains(notes), qPrintable(MsgBox::AskedTexts().first()));
        QCOMPARE(frmNotes::existing(), w);
        QCOMPARE(w->Text1->toPlainText(), typed);
        if (failure != "folder")
            QCOMPARE(readBytes(notes), old);
        // No half-written temporary file left behind.
        const QStringList files = failure == "folder" ? QStringList() : QStringList{"Notes"};
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), files);

        // Once the cause is gone, closing saves.
        closeAndWait(w);
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QCOMPARE(readBytes(notes), (typed + "\r\n").toUtf8());
    }

    void unchangedTextClosesDespiteFailedSave()
    {
        writeBytes(m_folder->file("Notes"), "kept\r\n");
        frmNotes *w = frmNotes::instance();
        QVERIFY(QFile::remove(m_folder->file("Notes")));
        QVERIFY(QDir().mkdir(m_folder->file("Notes")));
        closeAndWait(w);
        QVERIFY(MsgBox::AskedTexts().isEmpty());
    }

    void unreadableNotesAreNotOverwritten()
    {
        // A folder in place of the file: it cannot be read, and closing must
        // not replace it with the (empty) text shown.
        QVERIFY(QDir().mkdir(m_folder->file("Notes")));
        MsgBox::QueueAnswers({QMessageBox::Ok});
        frmNotes *w = frmNotes::instance();
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(m_folder->file("Notes")));
        QVERIFY(w->Text1->isReadOnly());
        closeAndWait(w);
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(QFileInfo(m_folder->file("Notes")).isDir());
    }

    void oneWindowReloadedEachTime()
    {
        writeBytes(m_folder->file("Notes"), "first\r\n");
        frmNotes::ShowNotes();
        frmNotes *w = frmNotes::instance();
        QCOMPARE(frmNotes::existing(), w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        QCOMPARE(w->Text1->toPlainText(), QStringLiteral("first"));
        // A window to assistive technology, not a filler.
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->role(), QAccessible::Window);
        closeAndWait(w);

        writeBytes(m_folder->file("Notes"), "second\r\n");
        frmNotes::ShowNotes();
        QCOMPARE(frmNotes::instance()->Text1->toPlainText(), QStringLiteral("second"));
    }

    // Closing the main window leaves the notes open with their text; the
    // program ends when they close too, and they are saved then.
    void outliveTheMainWindow()
    {
        std::unique_ptr<frmMain> main = OpenMainWindow(0);
        QVERIFY(main);
        frmNotes::ShowNotes();
        frmNotes::instance()->Text1->setPlainText(QStringLiteral("keep me"));
        QVERIFY(main->close());
        QVERIFY(frmNotes::existing() && frmNotes::existing()->isVisible());
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        closeAndWait(frmNotes::existing());
        QVERIFY(std::none_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                             [](QWidget *w) { return w->isVisible(); }));
        QCOMPARE(readBytes(m_folder->file("Notes")), QByteArray("keep me\r\n"));
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
};

QTEST_MAIN(tst_frmNotes)
#include "tst_frmNotes.moc"
