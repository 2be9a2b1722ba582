// Sync from the window against a real server: an account set up in Tools >
// Sync accounts syncs at once; Sync now brings the server's cards in; a
// conflict is asked with both versions side by side; a server that is gone is
// told in the status bar, without a box, and the next sync completes.
#include "support/GuiTestSupport.h"
#include "support/RadicaleServer.h"

#include "controls/MsgBox.h"
#include "mainwindow/frmMain.h"
#include "settings/mdlOptions.h"
#include "store/mdlMDB.h"
#include "syncing/frmConflict.h"
#include "syncing/frmSyncAccounts.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_SyncWindow : public QObject
{
    Q_OBJECT

    QString status(frmMain *w) const { return w->findChild<QStatusBar *>("cStatusBar1")->currentMessage(); }
    // Waits for the status bar to say how a sync ended.
    bool synced(frmMain *w, const char *word = "Synced with")
    {
        return QTest::qWaitFor([&] { return status(w).contains(QLatin1String(word)); }, 30000);
    }

private slots:
    void setUpSyncAndConflict()
    {
        RadicaleServer server;
        QVERIFY(server.start());
        GuiTempAppFolder folder;
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Adams"}, {"Notes", "first"}},
                      {{"First_Name", "Bob"}, {"Last_Name", "Brown"}}});
        std::unique_ptr<frmMain> w = OpenMainWindow(2);
        QVERIFY(w);

        // The account: found at the server, set up, synced at once.
        OnModal<frmSyncAccounts> setUp([&](frmSyncAccounts *dlg) {
            QTest::keyClicks(dlg->findChild<QLineEdit *>("txtServer"), server.url());
            QTest::keyClicks(dlg->findChild<QLineEdit *>("txtUser"), QString::fromLatin1(RadicaleServer::kUser));
            QTest::keyClicks(dlg->findChild<QLineEdit *>("txtPassword"), QString::fromLatin1(RadicaleServer::kPassword));
            QTest::mouseClick(dlg->findChild<QPushButton *>("cmdAddAccount"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(dlg->findChild<QListWidget *>("lstAccounts")->count(), 1, 15000);
            dlg->reject();
        }, 10000);
        ChooseMenu(w.get(), "mnuToolsTop", u"&Sync accounts..."_s);
        QTRY_VERIFY_WITH_TIMEOUT(setUp.ran(), 15000);
        QVERIFY2(synced(w.get()), qPrintable(status(w.get())));
        const QString book = QUrl(QueryText("SELECT BookUrl FROM SyncAccount")).path();
        QCOMPARE(server.cards(book).size(), 2);

        // A card another device put on the server comes in with Sync now.
        QCOMPARE(server.http("PUT", book + "zoe.vcf",
                             "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zoe-1\r\nFN:Zoë Zed\r\nN:Zed;Zoë;;;\r\n"
                             "BDAY:1990-05-06\r\nEND:VCARD\r\n",
                             {{"Content-Type", "text/vcard"}})
                     .status,
                 201);
        w->findChild<QStatusBar *>("cStatusBar1")->clearMessage();
        ChooseMenu(w.get(), "mnuToolsTop", u"Sync &now"_s);
        QVERIFY2(synced(w.get()), qPrintable(status(w.get())));
        QTRY_COMPARE(CountContacts(), 3);
        QTRY_VERIFY(ListColumn(w.get(), ColLastName).contains(u"Zed"_s));

        // Changed on both sides, the user asked: both versions shown, the server's kept.
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(EnsureOptionKeys() && SaveSync(reg, 15, u"ask"_s));
        GetOptions();
        SharedDb()->exec(u"UPDATE Contacts SET Notes = 'changed here' WHERE Last_Name = 'Adams'"_s);
        QString href;
        for (auto [path, text] : server.cards(book).asKeyValueRange())
            if (text.contains("Adams"))
                href = path;
        const RadicaleServer::Answer before = server.http("GET", href);
        QByteArray there = before.body;
        there.replace("NOTE:first", "NOTE:changed there");
        QCOMPARE(server.http("PUT", href, there, {{"If-Match", before.etag}, {"Content-Type", "text/vcard"}}).status / 100, 2);
        QString shown;
        OnModal<frmConflict> conflict([&](frmConflict *dlg) {
            shown = dlg->findChild<QTextBrowser *>("txtLocal")->toPlainText() + u" | "_s +
                    dlg->findChild<QTextBrowser *>("txtServer")->toPlainText();
            QTest::mouseClick(dlg->findChild<QPushButton *>("cmdKeepServer"), Qt::LeftButton);
        }, 30000);
        w->findChild<QStatusBar *>("cStatusBar1")->clearMessage();
        ChooseMenu(w.get(), "mnuToolsTop", u"Sync &now"_s);
        QTRY_VERIFY_WITH_TIMEOUT(conflict.ran(), 30000);
        QVERIFY2(shown.contains(u"changed here"_s) && shown.contains(u"changed there"_s), qPrintable(shown));
        QVERIFY2(synced(w.get()), qPrintable(status(w.get())));
        QCOMPARE(QueryText("SELECT Notes FROM Contacts WHERE Last_Name = 'Adams'"), u"changed there"_s);

        // The server goes away: the status bar says so, no box; back again, the change goes.
        server.kill();
        SharedDb()->exec(u"UPDATE Contacts SET Notes = 'while away' WHERE Last_Name = 'Brown'"_s);
        OnModal<QDialog> noBox([](QDialog *d) { d->reject(); }, 3000);
        w->findChild<QStatusBar *>("cStatusBar1")->clearMessage();
        ChooseMenu(w.get(), "mnuToolsTop", u"Sync &now"_s);
        QVERIFY2(synced(w.get(), "failed"), qPrintable(status(w.get())));
        QTest::qWait(500);
        QVERIFY(!noBox.ran());
        QVERIFY(server.start());
        w->findChild<QStatusBar *>("cStatusBar1")->clearMessage();
        ChooseMenu(w.get(), "mnuToolsTop", u"Sync &now"_s);
        QVERIFY2(synced(w.get()), qPrintable(status(w.get())));
        bool sent = false;
        for (const QByteArray &text : server.cards(book))
            sent = sent || text.contains("while away");
        QVERIFY(sent);
    }
};

QTEST_MAIN(tst_SyncWindow)
#include "tst_syncwindow.moc"
