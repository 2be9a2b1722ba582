// The sync benchmark: a first sync of 10 000 contacts from a CardDAV server on
// the loopback (Radicale) into an empty book, against vdirsyncer doing the
// same first sync into a folder; then an incremental sync with one contact
// changed on the server, one changed here, and none. Medians of several runs
// after a warm-up. Run by bench/run.sh sync.
#include "Generator.h"
#include "Probes.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "mainwindow/frmMain.h"
#include "syncing/frmSyncAccounts.h"

#include "interchange/Export.h"
#include "store/BookSchema.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "support/RadicaleServer.h"
#include "sync/Sync.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <optional>

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The benchmark's contact book as vCards, as the program exports them.
QByteArray cards(const QString &data, int count)
{
    const QString folder = QStringLiteral("%1/book-%2").arg(data).arg(count);
    if (!BenchData::EnsureBook(folder, count, QStringLiteral(ARDENTIA_SOURCE_DIR "/resources/trans/eng.txt")))
        return QByteArray();
    // On a copy: the side tables are not added to the shared book.
    QTemporaryDir copy;
    const QString db = copy.filePath(QStringLiteral("db.sqlite"));
    QFile::copy(folder + QStringLiteral("/db/db.sqlite"), db);
    QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    SharedConnection cn = Connection::open(db);
    BookSchema::Prepare(*cn);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    Export::Write(*cn, out, VCard::Version::V30, Export::Choice());
    return out.data();
}

struct Book
{
    QTemporaryDir dir;
    SharedConnection cn;
    qint64 account = 0;
    explicit Book(const QString &bookUrl)
    {
        cn = Connection::open(dir.filePath(QStringLiteral("db/db.sqlite")));
        BookSchema::Prepare(*cn);
        Sync::Account a;
        a.server = bookUrl;
        a.user = QString::fromLatin1(RadicaleServer::kUser);
        a.bookUrl = bookUrl;
        a.bookName = QStringLiteral("bench");
        account = Sync::Accounts::Add(*cn, a);
    }
    // Where the last sync's time went: listing the changes, fetching the
    // cards, and the rest (deciding, sending, writing here).
    double listing = 0, fetching = 0, rest = 0;

    // The sync's time in ms; negative when it failed.
    double sync(Sync::Report *report = nullptr)
    {
        Sync::Options o;
        o.password = QString::fromLatin1(RadicaleServer::kPassword);
        o.picturesFolder = dir.filePath(QStringLiteral("pictures"));
        QElapsedTimer t;
        double firstReceive = -1, lastReceive = -1;
        o.progress = [&](const QString &stage, qint64 done, qint64 total) {
            if (stage == QLatin1String("Receiving")) {
                const double now = t.nsecsElapsed() / 1e6;
                if (firstReceive < 0)
                    firstReceive = now;
                if (done == total)
                    lastReceive = now;
            }
            return true;
        };
        t.start();
        const Sync::Report r = Sync::Run(*cn, account, o);
        const double ms = t.nsecsElapsed() / 1e6;
        listing = firstReceive;
        fetching = lastReceive - firstReceive;
        rest = ms - lastReceive;
        if (report)
            *report = r;
        if (!r.ok)
            say(QStringLiteral("sync failed: ") + r.failure);
        return r.ok ? ms : -1;
    }
    int count()
    {
        Statement st(cn->handle(), "SELECT count(*) FROM Contacts");
        return st.step() == SQLITE_ROW ? int(st.int64(0)) : -1;
    }
};

// vdirsyncer's first sync of the same address book into an empty folder; ms,
// negative when it failed. `files` gets how many cards it wrote.
double vdirsyncer(const RadicaleServer &server, const QString &bookPath, int *files)
{
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("config")));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[general]\nstatus_path = \"%1/status/\"\n\n"
                                "[pair bench]\na = \"remote\"\nb = \"local\"\ncollections = null\n\n"
                                "[storage remote]\ntype = \"carddav\"\nurl = \"%2\"\nusername = \"%3\"\npassword = \"%4\"\n\n"
                                "[storage local]\ntype = \"filesystem\"\npath = \"%1/cards/\"\nfileext = \".vcf\"\n")
                     .arg(dir.path(), server.url().chopped(1) + bookPath, QLatin1String(RadicaleServer::kUser),
                          QLatin1String(RadicaleServer::kPassword))
                     .toUtf8());
    config.close();
    QDir().mkpath(dir.filePath(QStringLiteral("cards")));
    auto run = [&](const QString &verb) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("vdirsyncer"), {QStringLiteral("-c"), config.fileName(), verb});
        p.waitForStarted();
        p.write("y\ny\n");
        p.closeWriteChannel();
        p.waitForFinished(600000);
        const QByteArray out = p.readAll();
        if (p.exitCode() != 0)
            say(QStringLiteral("vdirsyncer %1 failed: %2").arg(verb, QString::fromUtf8(out.right(400))));
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    if (!run(QStringLiteral("discover")))
        return -1;
    QElapsedTimer t;
    t.start();
    const bool ok = run(QStringLiteral("sync"));
    const double ms = t.nsecsElapsed() / 1e6;
    *files = int(QDir(dir.filePath(QStringLiteral("cards"))).entryList({QStringLiteral("*.vcf")}, QDir::Files).size());
    return ok ? ms : -1;
}

} // namespace

// Chooses an entry of the window's Tools menu once it is offered.
void chooseTool(frmMain *w, const QString &text)
{
    for (QAction *a : w->findChild<QMenu *>(QStringLiteral("mnuToolsTop"))->actions()) {
        if (a->text() != text)
            continue;
        QElapsedTimer t;
        t.start();
        while (!a->isEnabled() && t.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // From the event loop, as a click would.
        QTimer::singleShot(0, a, &QAction::trigger);
    }
}

// Lets the window run until the status bar says a sync ended; false after `ms`.
bool waitForSync(frmMain *w, int ms)
{
    QElapsedTimer t;
    t.start();
    auto *bar = w->findChild<QStatusBar *>(QStringLiteral("cStatusBar1"));
    while (t.elapsed() < ms) {
        const QString m = bar->currentMessage();
        if (m.startsWith(QLatin1String("Synced with")) || m.contains(QLatin1String("failed")))
            return m.startsWith(QLatin1String("Synced with"));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

// The window with an empty book syncing it: set up through Tools > Sync
// accounts (which syncs every card in at once), then Sync now with one card
// changed on the server by another device. The event loop's longest wait over
// all of it, the window's refills after each sync included.
double windowGap(const QString &bookUrl, const QString &href, const RadicaleServer &server,
                 int *syncs, double stallMs)
{
    QTemporaryDir app;
    QDir().mkpath(app.filePath(QStringLiteral("db")));
    SetApplicationFolder(app.path());
    MsgBox::SetHeadless(true);
    auto w = std::make_unique<frmMain>();
    if (!w->Load())
        return -1;
    w->show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000 || w->IsFilling())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    GapTimer gaps;
    gaps.start();
    auto *stalls = static_cast<StallApplication *>(qApp);
    if (stallMs > 0)
        stalls->watch(stallMs);
    // Fills the dialog in once it is up, as a user would.
    QTimer fill;
    fill.setInterval(20);
    QObject::connect(&fill, &QTimer::timeout, [&] {
        frmSyncAccounts *dlg = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<frmSyncAccounts *>(top); d && d->isVisible())
                dlg = d;
        if (!dlg)
            return;
        fill.stop();
        dlg->findChild<QLineEdit *>(QStringLiteral("txtServer"))->setText(bookUrl);
        dlg->findChild<QLineEdit *>(QStringLiteral("txtUser"))->setText(QString::fromLatin1(RadicaleServer::kUser));
        dlg->findChild<QLineEdit *>(QStringLiteral("txtPassword"))->setText(QString::fromLatin1(RadicaleServer::kPassword));
        dlg->findChild<QPushButton *>(QStringLiteral("cmdAddAccount"))->click();
        dlg->reject();
    });
    fill.start();
    chooseTool(w.get(), QStringLiteral("&Sync accounts..."));
    *syncs = waitForSync(w.get(), 120000);
    say(QStringLiteral("window: set up and synced: %1").arg(w->findChild<QStatusBar *>(QStringLiteral("cStatusBar1"))->currentMessage()));
    w->findChild<QStatusBar *>(QStringLiteral("cStatusBar1"))->clearMessage();
    {
        // Another device changes a card; the window goes on meanwhile.
        std::atomic<bool> changedThere = false;
        std::thread other([&] {
            const RadicaleServer::Answer now = server.http("GET", href);
            QByteArray changed = now.body;
            changed.replace("END:VCARD", "X-BENCH:window\r\nEND:VCARD");
            server.http("PUT", href, changed, {{"If-Match", now.etag}, {"Content-Type", "text/vcard"}});
            changedThere = true;
        });
        while (!changedThere)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        other.join();
    }
    chooseTool(w.get(), QStringLiteral("Sync &now"));
    *syncs += waitForSync(w.get(), 120000);
    say(QStringLiteral("window: synced again: %1").arg(w->findChild<QStatusBar *>(QStringLiteral("cStatusBar1"))->currentMessage()));
    // The window's own look for the sync's writes, and its refill.
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 3000 || w->IsFilling())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const double gap = gaps.stopMs();
    for (const QString &stall : stalls->stop())
        say(QStringLiteral("window: ") + stall);
    w->close();
    return gap;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    StallApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    int size = 10000, runs = 5;
    // --window: only the window's part;
    // --stalls MS: what kept the window waiting longer than MS.
    bool windowOnly = false;
    double stallMs = 0;
    QString data = QStringLiteral("/tmp/ardentia-bench");
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        const bool valued = i + 1 < argc;
        if (a == "--window")
            windowOnly = true;
        else if (!valued)
            break;
        else if (a == "--sizes" || a == "--size")
            size = QByteArray(argv[++i]).toInt();
        else if (a == "--runs")
            runs = std::max(1, QByteArray(argv[++i]).toInt());
        else if (a == "--data")
            data = QString::fromUtf8(argv[++i]);
        else if (a == "--stalls")
            stallMs = QByteArray(argv[++i]).toDouble();
    }
    const QByteArray all = cards(data, size);
    if (all.isEmpty()) {
        say(QStringLiteral("the benchmark book could not be made"));
        return 1;
    }
    RadicaleServer server;
    if (!server.start()) {
        say(QStringLiteral("Radicale did not start"));
        return 1;
    }
    const QString bookPath = QStringLiteral("/ann/bench/");
    const int put = server.http("PUT", bookPath, all, {{"Content-Type", "text/vcard"}}).status;
    const QByteArray onServer = server.http("PROPFIND", bookPath, "<propfind xmlns=\"DAV:\"><prop><getetag/></prop></propfind>",
                                            {{"Depth", "1"}}).body;
    const int listed = int(onServer.count("<href>")) - 1;
    // The card another device changes while the window syncs: the last one listed.
    const qsizetype lastHref = onServer.lastIndexOf("<href>") + 6;
    const QString changedHref = QString::fromUtf8(onServer.mid(lastHref, onServer.indexOf("</href>", lastHref) - lastHref));
    say(QStringLiteral("%1 cards on the server (upload %2), %3 KB of vCards").arg(listed).arg(put).arg(all.size() / 1024));
    const QString bookUrl = server.url().chopped(1) + bookPath;

    // First sync, ours and vdirsyncer's, alternating; the first of each is a warm-up.
    QList<double> ours, theirs, listing, fetching, rest;
    int gotHere = 0, gotThere = 0;
    std::optional<Book> kept;
    for (int run = 0; run <= runs && !windowOnly; ++run) {
        auto book = std::make_optional<Book>(bookUrl);
        const double ms = book->sync();
        gotHere = book->count();
        const double other = vdirsyncer(server, bookPath, &gotThere);
        if (ms < 0 || other < 0)
            return 1;
        if (run > 0) {
            ours << ms;
            theirs << other;
            listing << book->listing;
            fetching << book->fetching;
            rest << book->rest;
        }
        kept = std::move(book);
    }
    if (!windowOnly)
        say(QStringLiteral("first sync: %1 contacts here, %2 files by vdirsyncer; of our time %3 ms listing the cards,"
                           " %4 ms fetching them (multiget), %5 ms deciding and writing them here")
                .arg(gotHere)
                .arg(gotThere)
                .arg(median(listing), 0, 'f', 0)
                .arg(median(fetching), 0, 'f', 0)
                .arg(median(rest), 0, 'f', 0));

    // Incremental: one card changed on the server, one contact changed here, nothing.
    QList<double> oneThere, oneHere, nothing, listThere, listHere, listNothing;
    Sync::Report report;
    bool right = true;
    for (int run = 0; run <= runs && !windowOnly; ++run) {
        Statement pick(kept->cn->handle(), "SELECT Href FROM SyncItem ORDER BY Href LIMIT 1 OFFSET ?1");
        pick.bind(1, qint64(run));
        pick.step();
        const QString href = pick.text(0);
        const RadicaleServer::Answer now = server.http("GET", href);
        QByteArray changed = now.body;
        changed.replace("END:VCARD", "X-BENCH:" + QByteArray::number(run) + "\r\nEND:VCARD");
        server.http("PUT", href, changed, {{"If-Match", now.etag}, {"Content-Type", "text/vcard"}});
        const double there = kept->sync(&report);
        const double thereListing = kept->listing;
        right = right && report.updated == 1 && report.sent == 0;
        kept->cn->exec(QStringLiteral("UPDATE Contacts SET Company = 'Bench %1' WHERE ContactID ="
                                      " (SELECT ContactID FROM Contacts ORDER BY ContactID LIMIT 1 OFFSET %1)").arg(run));
        const double here = kept->sync(&report);
        const double hereListing = kept->listing;
        right = right && report.sent == 1 && report.updated == 0;
        const double none = kept->sync(&report);
        const double noneListing = kept->listing;
        right = right && report.sent == 0 && report.updated == 0;
        if (there < 0 || here < 0 || none < 0)
            return 1;
        if (run > 0) {
            oneThere << there;
            oneHere << here;
            nothing << none;
            listThere << thereListing;
            listHere << hereListing;
            listNothing << noneListing;
        }
    }
    say(QStringLiteral("incremental syncs %1").arg(right ? "changed exactly the one contact each" : "DID NOT DO WHAT WAS EXPECTED"));
    int windowSyncs = 0;
    const double gap = windowGap(bookUrl, changedHref, server, &windowSyncs, stallMs);
    say(QStringLiteral("the window synced %1 of 2 times (set up, then Sync now)").arg(windowSyncs));

    const double first = median(ours), other = median(theirs);
    // Most of an incremental sync is the server working out what changed.
    auto serverPart = [](const QList<double> &listing) {
        return QStringLiteral("of which the server's sync report %1 ms").arg(median(listing), 0, 'f', 0);
    };
    struct Row
    {
        QString what;
        double ms;
        QString figure;
        QString target;
        bool met;
    };
    QList<Row> rows = {
        {QStringLiteral("First sync into an empty book"), first,
         QStringLiteral("%1x vdirsyncer (%2 ms)").arg(first / other, 0, 'f', 2).arg(other, 0, 'f', 0),
         QStringLiteral("-"), true},
        {QStringLiteral("Incremental: one contact changed on the server"), median(oneThere), serverPart(listThere),
         QStringLiteral("<= 1000 ms"), median(oneThere) <= 1000},
        {QStringLiteral("Incremental: one contact changed here"), median(oneHere), serverPart(listHere),
         QStringLiteral("<= 1000 ms"), median(oneHere) <= 1000},
        {QStringLiteral("Incremental: nothing changed"), median(nothing), serverPart(listNothing),
         QStringLiteral("<= 1000 ms"), median(nothing) <= 1000},
        {QStringLiteral("Window's longest wait while it sets up an account, syncs every card in, and syncs one change"), gap,
         QStringLiteral("%1 ms").arg(gap, 0, 'f', 1), QStringLiteral("<= 50 ms"), gap >= 0 && gap <= 50 && windowSyncs == 2},
    };
    if (windowOnly)
        rows = rows.mid(rows.size() - 1);
    say(QString());
    say(QStringLiteral("| What | Size | Median ms | Ratio / figure | Target | Met |"));
    say(QStringLiteral("|---|---|---|---|---|---|"));
    int met = 0;
    for (const Row &r : rows) {
        met += r.met;
        say(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                .arg(r.what)
                .arg(size)
                .arg(r.ms, 0, 'f', 1)
                .arg(r.figure, r.target, r.met ? QStringLiteral("yes") : QStringLiteral("no")));
    }
    say(QStringLiteral("targets met: %1 of %2").arg(met).arg(rows.size()));
    return right && met == rows.size() ? 0 : 1;
}
