// `ardentia --sync` end to end: the program itself, without a display, sets up
// an account on a real Radicale, syncs both ways, and fails with one line.
#include "support/CoreTestSupport.h"
#include "support/RadicaleServer.h"

#include <QProcess>
#include <QtTest>

class tst_SyncCommand : public QObject
{
    Q_OBJECT
private slots:
    void syncFromTheCommandLine()
    {
        TempAppFolder folder;
        RadicaleServer server;
        QVERIFY(server.start());
        server.makeBook("home");
        const QString work = server.makeBook("work");
        QCOMPARE(server.http("PUT", work + "w.vcf",
                             "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:uid-w\r\nFN:Wu Wei\r\nN:Wei;Wu;;;\r\nEND:VCARD\r\n").status, 201);
        // The program keeps its book beside itself when a "portable" file is there.
        const QString bin = folder.file("ardentia");
        QVERIFY(QFile::copy(ARDENTIA_BINARY, bin) && WriteFile(folder.file("portable"), {}));
        QVERIFY(WriteFile(folder.file("pw"), "secret\n") && WriteFile(folder.file("bad"), "wrong\n"));
        QVERIFY(WriteFile(folder.file("in.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Li Lo\r\nN:Lo;Li;;;\r\nEND:VCARD\r\n"));
        QString out, err;
        auto run = [&](const QStringList &args) {
            QProcess p;
            auto env = QProcessEnvironment::systemEnvironment();
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            env.insert("ASAN_OPTIONS", "detect_leaks=0");
            p.setProcessEnvironment(env);
            p.start(bin, args);
            p.waitForFinished(120000);
            out = QString::fromUtf8(p.readAllStandardOutput());
            err = QString::fromUtf8(p.readAllStandardError());
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QCOMPARE(run({"--help"}), 0);
        QVERIFY(out.contains("--sync") && out.contains("--password-file") && out.contains("--book"));
        QCOMPARE(run({"--sync"}), 1);
        QVERIFY2(err.startsWith("ardentia: no sync account") && err.count('\n') == 1, qPrintable(err));

        QCOMPARE(run({"--import", folder.file("in.vcf")}), 0);
        QCOMPARE(run({"--sync", server.url(), "--user", "ann", "--password-file", folder.file("pw"), "--book", "work"}), 0);
        QVERIFY2(out.contains("(work): 1 added") && out.contains("1 sent"), qPrintable(out + err));
        QCOMPARE(CountContacts(), 2);
        QCOMPARE(server.cards(work).size(), 2);

        // Later: every stored account; a change on the server comes in.
        QCOMPARE(server.http("DELETE", work + "w.vcf").status, 200);
        QCOMPARE(run({"--sync", "--password-file", folder.file("pw")}), 0);
        QVERIFY2(out.contains("1 moved to the Recycle bin"), qPrintable(out + err));
        QCOMPARE(CountContacts(), 1);

        QCOMPARE(run({"--sync", "--password-file", folder.file("bad")}), 1);
        QVERIFY2(err.startsWith("ardentia: sync with ann@127.0.0.1") && err.contains("(401)") && err.count('\n') == 1,
                 qPrintable(err));
        server.kill();
        QCOMPARE(run({"--sync", "--password-file", folder.file("pw")}), 1);
        QVERIFY2(err.contains("refuses connections") && err.count('\n') == 1, qPrintable(err));
        QCOMPARE(CountContacts(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_SyncCommand)
#include "tst_synccommand.moc"
