#include "common/TestSupport.h"

#include "app/MsgBox.h"
#include "app/Termination.h"
#include "services/frmNotes.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <unistd.h>

// Runs in a process of its own: after a signal the application has been told
// to quit, which no later test could undo.
class tst_Termination : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { InstallTerminationHandler(); }

    void signalSavesOpenNotes_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalSavesOpenNotes()
    {
        QFETCH(int, sig);
        TempAppFolder folder;
        frmNotes::ShowNotes();
        frmNotes::instance()->Text1->setPlainText(QStringLiteral("typed\nbefore %1").arg(sig));
        ::kill(::getpid(), sig);
        QTRY_VERIFY(!frmNotes::existing());
        QVERIFY(TerminationRequested());
        QFile notes(folder.file("Notes"));
        QVERIFY(notes.open(QIODevice::ReadOnly));
        QCOMPARE(notes.readAll(), QStringLiteral("typed\r\nbefore %1\r\n").arg(sig).toUtf8());
        QVERIFY(MsgBox::AskedTexts().isEmpty());
    }

    void failedSaveKeepsARescueCopy()
    {
        TempAppFolder folder;
        const QString rescueFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        QDir(rescueFolder).removeRecursively();
        frmNotes::ShowNotes();
        frmNotes::instance()->Text1->setPlainText(QStringLiteral("worth keeping"));
        QVERIFY(QFile::remove(folder.file("Notes")));
        QVERIFY(QDir().mkdir(folder.file("Notes")));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be saved.*kept in"));
        ::kill(::getpid(), SIGTERM);
        QTRY_VERIFY(!frmNotes::existing());
        QVERIFY(MsgBox::AskedTexts().isEmpty());
        const QStringList copies = QDir(rescueFolder).entryList({"Notes-unsaved-*"}, QDir::Files);
        QCOMPARE(copies.size(), 1);
        QFile copy(rescueFolder + '/' + copies.first());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("worth keeping\r\n"));
    }
};

QTEST_MAIN(tst_Termination)
#include "tst_Termination.moc"
