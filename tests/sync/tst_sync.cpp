// Two-way sync against a real CardDAV server (Radicale on a loopback port),
// with the server's state read back through python's HTTP client: discovery
// and a first sync into a book that has contacts, changes and deletions each
// way, every conflict policy, a sync on a thread of its own, a card changed
// during the sync (412), a server gone in the middle, failures, a card the
// server refuses, a forgotten sync token, a server without sync reports and
// an untrusted certificate. The merge rules are checked on their own first.
#include "support/CoreTestSupport.h"
#include "support/RadicaleServer.h"

#include "context/AppContext.h"
#include "interchange/Import.h"
#include "store/BookSchema.h"
#include "store/Journal.h"
#include "store/RecycleBin.h"
#include "store/mdlMDB.h"
#include "sync/CardMerge.h"
#include "sync/Sync.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTest>

#include <optional>

using ContactCard::Contact;

namespace {

QByteArray card(const QString &uid, const QString &first, const QString &last, const QByteArray &more = QByteArray())
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid.toUtf8() + "\r\nFN:" + (first + ' ' + last).toUtf8() +
           "\r\nN:" + last.toUtf8() + ";" + first.toUtf8() + ";;;\r\n" + more + "END:VCARD\r\n";
}

// A book in a fresh application folder, a server with an address book, and
// an account for it.
struct Bench
{
    TempAppFolder folder;
    RadicaleServer server;
    SharedConnection cn;
    QString book;
    qint64 account = 0;

    bool open()
    {
        if (!server.start())
            return false;
        book = server.makeBook(QStringLiteral("contacts"));
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), cn);
        const Sync::SetupResult s = Sync::Setup(*cn, server.url(), RadicaleServer::kUser, RadicaleServer::kPassword);
        account = s.account;
        return s.failure.isEmpty() && account > 0;
    }
    void import(const QByteArray &cards)
    {
        Import::Write(*cn, Import::ReadData(*cn, cards, QStringLiteral("in.vcf")), folder.file(QStringLiteral("pictures")));
    }
    Sync::Report sync(Sync::Options o = Sync::Options())
    {
        o.password = RadicaleServer::kPassword;
        o.picturesFolder = folder.file(QStringLiteral("pictures"));
        o.timeoutMs = 10000;
        return Sync::Run(*cn, account, o);
    }
    Sync::Report sync(Sync::Policy policy)
    {
        Sync::Options o;
        o.policy = policy;
        return sync(o);
    }
    QString query(const QString &sql) const { return QueryText(sql); }
    qint64 idOf(const QString &first) const
    {
        return query(QStringLiteral("SELECT ContactID FROM Contacts WHERE First_Name = '%1'").arg(first)).toLongLong();
    }
    // The server's only card whose text holds `needle`.
    QByteArray serverCard(const QByteArray &needle) const
    {
        QByteArray found;
        for (const QByteArray &c : server.cards(book)) {
            if (c.contains(needle)) {
                if (!found.isEmpty())
                    return "more than one";
                found = c;
            }
        }
        return found;
    }
    QString hrefOf(const QByteArray &needle) const
    {
        const QMap<QString, QByteArray> all = server.cards(book);
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            if (it.value().contains(needle))
                return it.key();
        }
        return QString();
    }
    // Changes a card on the server as another client would.
    bool editOnServer(const QByteArray &needle, const QByteArray &from, const QByteArray &to)
    {
        const QString href = hrefOf(needle);
        const RadicaleServer::Answer now = server.http("GET", href);
        QByteArray text = now.body;
        text.replace(from, to);
        return server.http("PUT", href, text, {{"If-Match", now.etag}, {"Content-Type", "text/vcard"}}).status / 100 == 2;
    }
};

// A server without sync reports: a proxy in front of Radicale that answers
// every sync-collection REPORT with 501 and passes everything else on.
const char kProxy[] = R"(
import http.server, sys, urllib.request, urllib.error
port, target = int(sys.argv[1]), sys.argv[2]
class Proxy(http.server.BaseHTTPRequestHandler):
    def relay(self):
        n = int(self.headers.get('Content-Length') or 0)
        body = self.rfile.read(n) if n else None
        if self.command == 'REPORT' and body and b'sync-collection' in body:
            self.send_response(501)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        req = urllib.request.Request(target + self.path, data=body, method=self.command)
        for k, v in self.headers.items():
            if k.lower() not in ('host', 'content-length', 'connection'):
                req.add_header(k, v)
        try:
            r = urllib.request.urlopen(req)
            status = r.status
        except urllib.error.HTTPError as e:
            r, status = e, e.code
        data = r.read()
        self.send_response(status)
        for k, v in r.headers.items():
            if k.lower() not in ('content-length', 'connection', 'transfer-encoding', 'date', 'server'):
                self.send_header(k, v)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)
    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_MKCOL = relay
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(('127.0.0.1', port), Proxy).serve_forever()
)";

Contact contact(const QString &first, const QString &phones, const QStringList &kept, const QString &notes = QString())
{
    Contact c;
    c.columns[ContactCard::First] = first;
    c.columns[ContactCard::Phones] = phones;
    c.columns[ContactCard::Notes] = notes;
    c.kept = kept;
    return c;
}

} // namespace

class tst_Sync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // What each side changed is kept; where both changed one field the winner's
    // value stays; what only the loser has is not dropped.
    void mergeRules()
    {
        const Contact base = contact("Ann", "1:*:\r\n", {"TITLE:Boss"}, "old");
        // Here: a second phone and new notes. There: a birthday, the title gone.
        const Contact here = contact("Ann", "1:*:\r\n2:*:\r\n", {"TITLE:Boss"}, "here");
        const Contact there = contact("Ann", "1:*:\r\n", {"BDAY:1980-01-02"}, "there");
        const Contact localWins = CardMerge::Merge(here, there, &base);
        QCOMPARE(localWins.columns[ContactCard::Notes], QString("here"));
        QCOMPARE(localWins.columns[ContactCard::Phones], QString("1:*:\r\n2:*:\r\n"));
        QCOMPARE(localWins.kept, QStringList{"BDAY:1980-01-02"});
        const Contact serverWins = CardMerge::Merge(there, here, &base);
        QCOMPARE(serverWins.columns[ContactCard::Notes], QString("there"));
        QCOMPARE(serverWins.columns[ContactCard::Phones], QString("1:*:\r\n2:*:\r\n"));
        QCOMPARE(serverWins.kept, QStringList{"BDAY:1980-01-02"});
        // Without a common version nothing either side has is dropped.
        const Contact blind = CardMerge::Merge(there, here, nullptr);
        QCOMPARE(blind.kept, (QStringList{"BDAY:1980-01-02", "TITLE:Boss"}));
        QCOMPARE(blind.columns[ContactCard::Phones], QString("1:*:\r\n2:*:\r\n"));
        QVERIFY(CardMerge::Same(serverWins, CardMerge::Merge(there, here, &base)) && !CardMerge::Same(here, there));
    }

    // Discovery from the bare server address; a first sync into a book that
    // has contacts doubles none (the same UID is one contact, put together)
    // and counts the likely duplicates; a second sync has nothing to do.
    void discoveryAndFirstSync()
    {
        Bench b;
        QVERIFY(b.server.start());
        b.book = b.server.makeBook("contacts");
        QCOMPARE(b.server.http("PUT", b.book + "a.vcf", card("uid-a", "Ann", "Adams", "TEL:+1 555 0199\r\nBDAY:1980-01-02\r\n")).status, 201);
        QCOMPARE(b.server.http("PUT", b.book + "b.vcf", card("uid-b", "Bo", "Berg", "EMAIL:bo@example.org\r\n")).status, 201);
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), b.cn);
        b.import(card("uid-a", "Ann", "Adams", "TEL:+1 555 0100\r\nNOTE:met here\r\n") +
                 card("uid-c", "Cy", "Cole", "EMAIL:bo@example.org\r\n"));

        const Sync::SetupResult bad = Sync::Setup(*b.cn, b.server.url(), "ann", "wrong");
        QVERIFY2(bad.account == 0 && bad.failure.contains("401"), qPrintable(bad.failure));
        const Sync::SetupResult s = Sync::Setup(*b.cn, b.server.url(), "ann", "secret");
        QVERIFY2(s.failure.isEmpty(), qPrintable(s.failure));
        QCOMPARE(s.bookName, QString("contacts"));
        b.account = s.account;

        const Sync::Report r = b.sync();
        QVERIFY2(r.ok, qPrintable(r.failure));
        QCOMPARE(CountContacts(), 3);
        QCOMPARE(r.likelyDuplicates, 1); // Bo Berg and Cy Cole share a mail address
        QCOMPARE(b.server.cards(b.book).size(), 3);
        const QByteArray ann = b.serverCard("uid-a");
        QVERIFY2(ann.contains("BDAY:1980-01-02") && ann.contains("555 0100") && ann.contains("555 0199") &&
                     ann.contains("met here"), ann.constData());
        QVERIFY(b.serverCard("uid-c").contains("Cole"));
        QVERIFY(b.query(QString("SELECT Kept FROM ContactMeta WHERE ContactID = %1").arg(b.idOf("Ann"))).contains("BDAY"));
        QCOMPARE(Journal::NextUndo(*b.cn)->name, "sync with ann@127.0.0.1:" + QString::number(b.server.port()));

        const Sync::Report again = b.sync();
        QVERIFY2(again.ok && again.text().startsWith("0 added, 0 updated, 0 moved to the Recycle bin, 0 restored here; 0 sent"),
                 qPrintable(again.text()));
    }

    // A change here goes there and one there comes here, as one step that
    // Undo takes back (the next sync sends the contact as it is again).
    void changesBothWays()
    {
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-e", "Eve", "Ek", "TEL:555 0300\r\n"));
        QVERIFY(b.sync().ok);
        b.cn->exec("UPDATE Contacts SET Company = 'Acme'");
        Sync::Report r = b.sync();
        QVERIFY(r.ok && r.sent == 1);
        QVERIFY(b.serverCard("uid-e").contains("ORG:Acme"));

        QVERIFY(b.editOnServer("uid-e", "ORG:Acme", "ORG:Globex\r\nTITLE:Chief"));
        r = b.sync();
        QVERIFY2(r.ok && r.updated == 1 && r.sent == 0, qPrintable(r.text()));
        QCOMPARE(b.query("SELECT Company FROM Contacts"), QString("Globex"));
        QVERIFY(b.query("SELECT Kept FROM ContactMeta").contains("TITLE:Chief"));
        QCOMPARE(Journal::NextUndo(*b.cn)->name, "sync with ann@127.0.0.1:" + QString::number(b.server.port()));
        Journal::Undo(*b.cn);
        QCOMPARE(b.query("SELECT Company FROM Contacts"), QString("Acme"));
        r = b.sync();
        QVERIFY(r.ok && r.sent == 1 && r.updated == 0);
        QVERIFY(b.serverCard("uid-e").contains("ORG:Acme"));
        r = b.sync();
        QVERIFY(r.ok && r.sent == 0 && r.updated == 0);
    }

    // Removed here: deleted there. Deleted there: to the bin here. Restored
    // here: back there, as a new card. Gone here without passing the bin: in
    // the bin, as the card was.
    void deletionsBothWays()
    {
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-x", "Xia", "Xu") + card("uid-y", "Yan", "Yu"));
        QVERIFY(b.sync().ok);
        QCOMPARE(b.server.cards(b.book).size(), 2);

        RecycleBin::Remove(*b.cn, b.idOf("Xia"));
        Sync::Report r = b.sync();
        QVERIFY(r.ok && r.deleted == 1);
        QVERIFY(b.serverCard("uid-x").isEmpty());

        const qint64 yan = b.idOf("Yan");
        QCOMPARE(b.server.http("DELETE", b.hrefOf("uid-y")).status, 200);
        r = b.sync();
        QVERIFY2(r.ok && r.binned == 1, qPrintable(r.text()));
        QCOMPARE(CountContacts(), 0);
        QCOMPARE(RecycleBin::Count(*b.cn), 2);

        RecycleBin::Restore(*b.cn, yan);
        r = b.sync();
        QVERIFY(r.ok && r.sent == 1);
        QVERIFY(b.serverCard("uid-y").contains("Yu"));
        QCOMPARE(b.server.cards(b.book).size(), 1);

        // A sync's new contact undone is removed there too, and waits in the bin here.
        QCOMPARE(b.server.http("PUT", b.book + "z.vcf", card("uid-zz", "Zak", "Zu")).status, 201);
        QVERIFY(b.sync().added == 1);
        Journal::Undo(*b.cn);
        QCOMPARE(b.idOf("Zak"), 0);
        r = b.sync();
        QVERIFY2(r.ok && r.deleted == 1, qPrintable(r.text() + r.failure));
        QVERIFY(b.serverCard("uid-zz").isEmpty());
        QCOMPARE(b.query("SELECT Last_Name FROM RecycleBin WHERE First_Name = 'Zak'"), QString("Zu"));

        // Rows of a contact that exists nowhere (another program deleted every trace) are forgotten.
        b.cn->exec("INSERT INTO SyncItem (Account, ContactID, Href) VALUES (1, 999999, '/ann/contacts/gone.vcf')");
        BookSchema::Reconcile(*b.cn);
        QCOMPARE(b.query("SELECT count(*) FROM SyncItem WHERE ContactID = 999999"), QString("0"));
        QCOMPARE(b.query("SELECT count(*) FROM SyncItem"), QString("1")); // Yan's
    }

    // Changed on both sides: each policy, with the birthday only the server
    // has never dropped.
    void conflicts_data()
    {
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("contacts");
        QTest::addColumn<QString>("notesHere");
        QTest::newRow("keep both") << int(Sync::Policy::KeepBoth) << 2 << "here";
        QTest::newRow("this computer wins") << int(Sync::Policy::Local) << 1 << "here";
        QTest::newRow("server wins") << int(Sync::Policy::Server) << 1 << "there";
        QTest::newRow("ask") << int(Sync::Policy::Ask) << 1 << "here";
    }
    void conflicts()
    {
        QFETCH(int, policy);
        QFETCH(int, contacts);
        QFETCH(QString, notesHere);
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-z", "Zoe", "Zed", "NOTE:before\r\n"));
        QVERIFY(b.sync().ok);
        b.cn->exec("UPDATE Contacts SET Notes = 'here'");
        QVERIFY(b.editOnServer("uid-z", "NOTE:before", "NOTE:there\r\nBDAY:1990-03-04"));

        std::optional<Sync::Conflict> asked;
        Sync::Options o;
        o.policy = Sync::Policy(policy);
        o.ask = [&](const Sync::Conflict &c) {
            asked = c;
            return Sync::Resolution::Local;
        };
        const Sync::Report r = b.sync(o);
        QVERIFY2(r.ok && r.conflicts == 1, qPrintable(r.text() + r.failure));
        QCOMPARE(asked.has_value(), policy == int(Sync::Policy::Ask));
        if (asked) {
            QCOMPARE(asked->name, QString("Zoe Zed"));
            QVERIFY(asked->local.columns[ContactCard::Notes] == "here" && asked->server.columns[ContactCard::Notes] == "there");
            QVERIFY(asked->serverCard.contains("BDAY"));
        }
        QCOMPARE(CountContacts(), contacts);
        QCOMPARE(b.query(QString("SELECT Notes FROM Contacts WHERE ContactID = %1").arg(b.idOf("Zoe"))), notesHere);
        const QMap<QString, QByteArray> cards = b.server.cards(b.book);
        QCOMPARE(cards.size(), contacts);
        if (contacts == 2) {
            // Ours replaced the server's card; the server's version is a contact of its own.
            QCOMPARE(b.query("SELECT group_concat(Notes, ',') FROM (SELECT Notes FROM Contacts ORDER BY Notes)"),
                     QString("here,there"));
            QCOMPARE(b.query("SELECT count(DISTINCT Uid) FROM ContactMeta"), QString("2"));
            QVERIFY(b.serverCard("NOTE:here").contains("uid-z") && !b.serverCard("NOTE:there").contains("uid-z"));
        } else {
            QVERIFY(b.serverCard("uid-z").contains("NOTE:" + notesHere.toUtf8()));
            QVERIFY(b.serverCard("uid-z").contains("BDAY:1990-03-04"));
            QVERIFY(b.query("SELECT Kept FROM ContactMeta").contains("BDAY:1990-03-04"));
        }
        QVERIFY(b.sync().text().startsWith("0 added, 0 updated, 0 moved to the Recycle bin, 0 restored here; 0 sent"));
    }

    // The card changes on the server after the sync listed it: the PUT gets
    // 412, and the server's new version is settled as a conflict.
    void staleETag()
    {
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-s", "Sam", "Stone"));
        QVERIFY(b.sync().ok);
        b.cn->exec("UPDATE Contacts SET Company = 'Here Inc'");
        Sync::Options o;
        o.policy = Sync::Policy::Local;
        o.progress = [&](const QString &stage, qint64 done, qint64) {
            if (stage == "Sending" && done == 0)
                b.editOnServer("uid-s", "END:VCARD", "NOTE:meanwhile\r\nEND:VCARD");
            return true;
        };
        const Sync::Report r = b.sync(o);
        QVERIFY2(r.ok && r.conflicts == 1 && r.sent == 1, qPrintable(r.text() + r.failure));
        const QByteArray there = b.serverCard("uid-s");
        QVERIFY2(there.contains("ORG:Here Inc") && there.contains("NOTE:meanwhile"), there.constData());
        QCOMPARE(b.query("SELECT Notes FROM Contacts"), QString("meanwhile"));
    }

    // The server dies in the middle: the sync ends with a reason, what was
    // sent is recorded, and the next sync sends the rest, doubling nothing.
    void serverGoneMidSync()
    {
        Bench b;
        QVERIFY(b.open());
        QByteArray many;
        for (int i = 0; i < 30; ++i)
            many += card(QStringLiteral("uid-%1").arg(i), QStringLiteral("P%1").arg(i), "Many");
        b.import(many);
        Sync::Options o;
        o.progress = [&](const QString &stage, qint64 done, qint64) {
            if (stage == "Sending" && done == 10)
                b.server.kill();
            return true;
        };
        Sync::Report r = b.sync(o);
        QVERIFY(!r.ok && !r.failure.isEmpty() && !r.failure.contains('\n'));
        QCOMPARE(b.query("SELECT count(*) FROM SyncItem"), QString("10"));
        QVERIFY(b.server.start());
        QCOMPARE(b.server.cards(b.book).size(), 10);
        r = b.sync();
        QVERIFY2(r.ok && r.sent == 20, qPrintable(r.text() + r.failure));
        QCOMPARE(b.server.cards(b.book).size(), 30);
        QCOMPARE(CountContacts(), 30);
        QCOMPARE(b.query("SELECT LastResult FROM SyncAccount"), r.text());
    }

    // A wrong password or no server: one line, nothing changed.
    void failures()
    {
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-f", "Fay", "Fox"));
        Sync::Options o;
        o.password = "wrong";
        Sync::Report r = Sync::Run(*b.cn, b.account, o);
        QVERIFY2(!r.ok && r.failure.contains("user name or password (401)"), qPrintable(r.failure));
        b.server.kill();
        r = b.sync();
        QVERIFY2(!r.ok && r.failure.contains("refuses connections"), qPrintable(r.failure));
        QCOMPARE(b.query("SELECT LastResult FROM SyncAccount"), r.failure);
        QCOMPARE(b.query("SELECT count(*) FROM SyncItem"), QString("0"));
        QVERIFY(Journal::NextUndo(*b.cn)->name.startsWith("import"));
    }

    // A card the server refuses is reported; the others are synced, and the
    // refused one is tried again at the next sync.
    void refusedCard()
    {
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-1", "Al", "One") + card("uid-2", "Bad", "Two") + card("uid-3", "Cy", "Three"));
        // A property name the server's parser does not take, as another program may have stored it.
        b.cn->exec(QString("UPDATE ContactMeta SET Kept = 'X-\u00c9T\u00c9:1' WHERE ContactID = %1").arg(b.idOf("Bad")));
        Sync::Report r = b.sync();
        QVERIFY2(r.ok && r.sent == 2 && r.rejected.size() == 1 && r.rejected.first().startsWith("Bad Two: "),
                 qPrintable(r.text() + r.failure + r.rejected.join(';')));
        QCOMPARE(b.server.cards(b.book).size(), 2);
        r = b.sync();
        QVERIFY(r.ok && r.sent == 0 && r.rejected.size() == 1);
    }

    // A certificate that does not verify is reported with its fingerprint and
    // accepted only once it is the trusted one.
    void untrustedCertificate()
    {
        TempAppFolder folder;
        RadicaleServer server(true);
        QVERIFY(server.start());
        server.makeBook("contacts");
        SharedConnection cn;
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), cn);
        const QString fingerprint = server.fingerprint();
        QCOMPARE(fingerprint.size(), 32 * 3 - 1);
        Sync::SetupResult s = Sync::Setup(*cn, server.url(), "ann", "secret");
        QVERIFY2(s.account == 0 && s.certificate && s.failure.contains("not trusted"), qPrintable(s.failure));
        QCOMPARE(s.certificate->fingerprint, fingerprint);
        QCOMPARE(s.certificate->issuer, QString("127.0.0.1"));
        s = Sync::Setup(*cn, server.url(), "ann", "secret", QString(), fingerprint);
        QVERIFY2(s.account > 0, qPrintable(s.failure));
        Sync::Options o;
        o.password = "secret";
        QVERIFY(Sync::Run(*cn, s.account, o).ok);
        Sync::Accounts::SetTrustedCertificate(*cn, s.account, QStringLiteral("00:11"));
        const Sync::Report r = Sync::Run(*cn, s.account, o);
        QVERIFY2(!r.ok && r.certificate && r.certificate->fingerprint == fingerprint, qPrintable(r.failure));
    }

    // A server without sync reports: every card's ETag is listed instead,
    // and a card deleted there is noticed all the same.
    void withoutSyncReports()
    {
        Bench b;
        QVERIFY(b.open());
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess proxy;
        proxy.start(RadicaleServer::python(), {"-c", kProxy, QString::number(port), b.server.url().chopped(1)});
        const auto stop = qScopeGuard([&] {
            proxy.kill();
            proxy.waitForFinished();
        });
        QTcpSocket up;
        for (int i = 0; i < 100 && up.state() != QAbstractSocket::ConnectedState; ++i) {
            up.connectToHost(QHostAddress::LocalHost, port);
            if (!up.waitForConnected(100))
                QTest::qWait(50);
        }
        QCOMPARE(up.state(), QAbstractSocket::ConnectedState);
        const QString viaProxy = QString("http://127.0.0.1:%1/").arg(port);
        const Sync::SetupResult s = Sync::Setup(*b.cn, viaProxy, "ann", "secret");
        QVERIFY2(s.failure.isEmpty(), qPrintable(s.failure));
        b.account = s.account;
        b.import(card("uid-p", "Pia", "Park") + card("uid-q", "Quinn", "Qu"));
        Sync::Report r = b.sync();
        QVERIFY2(r.ok && r.sent == 2 && r.listedAll, qPrintable(r.text() + r.failure));
        QCOMPARE(b.server.cards(b.book).size(), 2);
        QVERIFY(b.query(QString("SELECT SyncToken FROM SyncAccount WHERE Account = %1").arg(b.account)).isEmpty());
        QCOMPARE(b.server.http("DELETE", b.hrefOf("uid-q")).status, 200);
        r = b.sync();
        QVERIFY2(r.ok && r.binned == 1 && r.sent == 0, qPrintable(r.text() + r.failure));
    }

    // A sync token the server no longer knows: everything is listed again,
    // and a card deleted meanwhile is noticed.
    void forgottenToken()
    {
        Bench b;
        QVERIFY(b.open());
        b.import(card("uid-t", "Tim", "Tay") + card("uid-u", "Una", "Ulm"));
        QVERIFY(b.sync().ok);
        QVERIFY(!b.query("SELECT SyncToken FROM SyncAccount").isEmpty());
        QCOMPARE(b.server.http("DELETE", b.hrefOf("uid-u")).status, 200);
        b.cn->exec("UPDATE SyncAccount SET SyncToken = 'http://radicale.org/ns/sync/0000'");
        const Sync::Report r = b.sync();
        QVERIFY2(r.ok && r.listedAll && r.binned == 1, qPrintable(r.text() + r.failure));
        QCOMPARE(CountContacts(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Sync)
#include "tst_sync.moc"
