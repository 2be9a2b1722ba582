#include "app/CommandLine.h"

#include "context/AppContext.h"
#include "duplicates/Finder.h"
#include "duplicates/Phone.h"
#include "interchange/Export.h"
#include "interchange/Import.h"
#include "settings/mdlOptions.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/Folding.h"
#include "store/ItemList.h"
#include "store/SearchText.h"
#include "store/StoreError.h"
#include "store/mdlMDB.h"
#include "sync/Accounts.h"
#include "sync/Sync.h"
#include "transfer/Printout.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QGuiApplication>

#include <memory>

#include <cstdio>
#include <cstring>

#include <sqlite3.h>

namespace {

void say(FILE *to, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

int fail(const QString &why)
{
    say(stderr, QStringLiteral("ardentia: ") + why);
    return 1;
}

bool asksForCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option :
             {"--import", "--export", "--query", "--duplicates", "--sync", "--help", "-h", "--version"}) {
            if (std::strcmp(argv[i], option) == 0 || std::strncmp(argv[i], "--export=", 9) == 0 ||
                std::strncmp(argv[i], "--query=", 8) == 0)
                return true;
        }
    }
    return false;
}

int runImport(Connection &cn, const QStringList &files)
{
    if (files.isEmpty())
        return fail(QStringLiteral("--import needs at least one file."));
    const Import::Plan plan = Import::Read(cn, files);
    if (!plan.refused.isEmpty())
        return fail(plan.refused);
    for (const Import::Skipped &s : plan.skipped)
        say(stderr, QStringLiteral("%1:%2: skipped: %3").arg(QDir::toNativeSeparators(s.file)).arg(s.line).arg(s.reason));
    const Import::Result done = Import::Write(cn, plan, AppFilePath(QStringLiteral("/pictures")));
    say(stdout, QStringLiteral("Imported: ") + Import::Summary(done.added, done.updated, int(plan.skipped.size())));
    return 0;
}

bool isPdf(const QString &file)
{
    return file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
}

// A PDF of every contact (or of one category) as a phone list or labels.
int runPdf(Connection &cn, const QString &file, const QString &format, const QString &category)
{
    if (!format.isEmpty() && format != QLatin1String("phonelist") && format != QLatin1String("labels"))
        return fail(QStringLiteral("unknown format \"%1\" for a PDF (use phonelist or labels).").arg(format));
    QList<qint64> contacts;
    if (!category.isNull()) {
        Statement st(cn.handle(), "SELECT ContactID FROM Contacts WHERE Category = ?1 ORDER BY Last_Name, First_Name");
        st.bind(1, category);
        while (st.step() == SQLITE_ROW)
            contacts << st.int64(0);
        if (contacts.isEmpty())
            return fail(QStringLiteral("no contact is in the category \"%1\".").arg(category));
    }
    const QString problem = Printout::WritePdf(cn, file, contacts,
                                               format == QLatin1String("labels") ? Printout::Layout::Labels
                                                                                 : Printout::Layout::PhoneList,
                                               false, category.isNull() ? QStringLiteral("All contacts") : category);
    if (!problem.isEmpty())
        return fail(QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(file), problem));
    say(stdout, QStringLiteral("Wrote %1").arg(QDir::toNativeSeparators(file)));
    return 0;
}

int runExport(Connection &cn, const QString &file, const QString &format, const QString &category)
{
    if (isPdf(file))
        return runPdf(cn, file, format, category);
    // A .csv file is CSV in the web-mail layout unless told otherwise; any other, vCard 3.0.
    const bool csv = file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    Export::Format chosen = csv ? Export::Format::CsvWebMail : Export::Format::VCard30;
    if (!format.isEmpty() && !Export::FormatFromName(format, chosen))
        return fail(QStringLiteral("unknown format \"%1\" (use vcard3, vcard4, vcard21, csv-google or csv).").arg(format));
    Export::Choice choice;
    if (!category.isNull()) {
        choice.kind = Export::Choice::Kind::Category;
        choice.category = category;
    }
    Export::Result result;
    if (file == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return fail(QStringLiteral("the standard output cannot be written."));
        result = Export::Write(cn, out, chosen, choice);
    } else {
        result = Export::WriteFile(cn, file, chosen, choice);
    }
    if (!result.failure.isEmpty())
        return fail(QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(file), result.failure));
    if (file != QLatin1String("-"))
        say(stdout, QStringLiteral("Exported %1 contacts to %2").arg(result.written).arg(QDir::toNativeSeparators(file)));
    return 0;
}

// A value on one line of tab-separated output.
QString field(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text.simplified();
}

// A mail program's address query: a line of its own first, then one line per
// address of every contact whose name, company or mail address holds the text.
int runQuery(Connection &cn, const QString &text, bool ignoreAccents)
{
    const QString needle = ignoreAccents ? Fold(text) : text;
    QByteArray sql;
    if (ignoreAccents) {
        SearchText::Refresh(cn);
        sql = "SELECT c.First_Name, c.Last_Name, c.Mails, c.Category FROM ContactFolded f CROSS JOIN Contacts c"
              " ON c.ContactID = f.ContactID WHERE c.Mails <> '' AND (folded_like(?1, f.Folded, 0)"
              " OR folded_like(?1, f.Folded, 1) OR folded_like(?1, f.Folded, 2) OR folded_like(?1, f.Folded, 4)"
              " OR folded_like(?1, fold_contact(ifnull(c.First_Name, '') || ' ' || ifnull(c.Last_Name, '')), 0)"
              " OR folded_like(?1, fold_contact(ifnull(c.Last_Name, '') || ' ' || ifnull(c.First_Name, '')), 0))"
              " ORDER BY c.ContactID";
    } else {
        sql = "SELECT First_Name, Last_Name, Mails, Category FROM Contacts WHERE Mails <> '' AND (First_Name LIKE ?1"
              " OR Last_Name LIKE ?1 OR Company LIKE ?1 OR Mails LIKE ?1"
              " OR ifnull(First_Name, '') || ' ' || ifnull(Last_Name, '') LIKE ?1"
              " OR ifnull(Last_Name, '') || ' ' || ifnull(First_Name, '') LIKE ?1) ORDER BY ContactID";
    }
    Statement st(cn.handle(), sql);
    if (!st.isPrepared())
        cn.fail(st.prepareResult());
    st.bind(1, QStringLiteral("%") + needle + QStringLiteral("%"));
    QStringList lines;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        const QString name = field(st.text(0) + QLatin1Char(' ') + st.text(1));
        for (const ItemEntry &mail : SplitItemList(st.text(2))) {
            if (!field(mail.sItem).isEmpty())
                lines << field(mail.sItem) + QLatin1Char('\t') + name + QLatin1Char('\t') + field(st.text(3));
        }
    }
    if (rc != SQLITE_DONE)
        cn.fail(rc);
    if (lines.isEmpty()) {
        say(stdout, QStringLiteral("No contact matches \"%1\".").arg(field(text)));
        return 1;
    }
    say(stdout, QStringLiteral("%1 addresses found in Ardentia").arg(lines.size()));
    for (const QString &line : lines)
        say(stdout, line);
    return 0;
}

// The groups the duplicate finder shows, one per line: the reason, a tab, the keys.
int runDuplicates(Connection &cn, const QString &region)
{
    for (const Duplicates::Group &g : Duplicates::FindDuplicates(cn, region)) {
        QStringList keys;
        for (const qint64 id : g.contacts)
            keys << QString::number(id);
        say(stdout, g.reason + QLatin1Char('\t') + keys.join(QLatin1Char(' ')));
    }
    return 0;
}

struct SyncArguments
{
    QString server; // set up this account first (when new)
    QString user;
    QString passwordFile;
    QString book;
    QString trust; // a certificate fingerprint to trust for this server
};

// Syncs one account; false (with a line on stderr) when it failed.
bool syncAccount(Connection &cn, const Sync::Account &account, const QString &password)
{
    Sync::Options options;
    options.password = password;
    options.picturesFolder = AppFilePath(QStringLiteral("/pictures"));
    // Conflicts follow the choice made in the window's options; nobody is
    // here to ask, so "ask" keeps both.
    GetOptions();
    Sync::Policy policy = Sync::Policy::KeepBoth;
    if (Sync::PolicyFromName(Options().OptSyncPolicy, policy) && policy != Sync::Policy::Ask)
        options.policy = policy;
    else
        options.policy = Sync::Policy::KeepBoth;
    const Sync::Report report = Sync::Run(cn, account.id, options);
    const QString who = QStringLiteral("%1 (%2)").arg(account.key(), account.bookName);
    for (const QString &r : report.rejected)
        say(stderr, QStringLiteral("%1: refused: %2").arg(who, r));
    if (!report.ok) {
        QString why = report.failure;
        if (report.certificate) {
            why += QStringLiteral("; to trust it, run the same command with --trust-certificate %1")
                       .arg(report.certificate->fingerprint);
        }
        fail(QStringLiteral("sync with %1 failed: %2").arg(who, why));
        return false;
    }
    say(stdout, QStringLiteral("Synced %1: %2").arg(who, report.text()));
    return true;
}

int runSync(Connection &cn, const SyncArguments &args)
{
    std::optional<QString> given;
    if (!args.passwordFile.isEmpty()) {
        QString problem;
        given = Sync::Password::FromFile(args.passwordFile, &problem);
        if (!given)
            return fail(problem);
    }
    QList<Sync::Account> accounts;
    if (!args.server.isEmpty()) {
        if (args.user.isEmpty())
            return fail(QStringLiteral("--sync with a server address needs --user NAME."));
        std::optional<Sync::Account> known = Sync::Accounts::Find(cn, args.server, args.user);
        if (!given && known)
            given = Sync::Password::Read(known->key());
        if (!given)
            return fail(QStringLiteral("--sync with a server address needs --password-file FILE."));
        const Sync::SetupResult setup = Sync::Setup(cn, args.server, args.user, *given, args.book, args.trust);
        if (!setup.failure.isEmpty()) {
            QString why = setup.failure;
            if (setup.certificate)
                why += QStringLiteral("; to trust it, add --trust-certificate %1").arg(setup.certificate->fingerprint);
            return fail(QStringLiteral("%1 cannot be set up: %2").arg(args.server, why));
        }
        if (!args.trust.isEmpty())
            Sync::Accounts::SetTrustedCertificate(cn, setup.account, args.trust);
        const std::optional<Sync::Account> account = Sync::Accounts::Get(cn, setup.account);
        // Kept in the keyring for later syncs, where there is one; never in a file.
        Sync::Password::Store(account->key(), *given);
        return syncAccount(cn, *account, *given) ? 0 : 1;
    }
    accounts = Sync::Accounts::List(cn);
    if (accounts.isEmpty())
        return fail(QStringLiteral("no sync account is set up: use --sync URL --user NAME --password-file FILE."));
    bool ok = true;
    for (const Sync::Account &a : accounts) {
        QString problem;
        std::optional<QString> password = given ? given : Sync::Password::Read(a.key(), &problem);
        if (!password) {
            fail(QStringLiteral("no password for %1 (%2); give it with --password-file FILE.").arg(a.key(), problem));
            ok = false;
            continue;
        }
        ok = syncAccount(cn, a, *password) && ok;
    }
    return ok ? 0 : 1;
}

} // namespace

int RunCommandLine(int argc, char *argv[])
{
    if (!asksForCommandLine(argc, argv))
        return -1;
    // A PDF is drawn with fonts: that takes a GUI application, without a screen.
    bool pdf = false;
    for (int i = 1; i + 1 < argc; ++i)
        pdf = pdf || (std::strcmp(argv[i], "--export") == 0 && isPdf(QString::fromLocal8Bit(argv[i + 1])));
    std::unique_ptr<QCoreApplication> app;
    if (pdf) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    InitProductConstants();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Ardentia, a contact book. Without options it opens its window."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption import(QStringLiteral("import"),
                                    QStringLiteral("Imports the vCard (2.1, 3.0, 4.0) and CSV files given into the contact book; "
                                                   "a CSV file must be of a known exporter's layout."));
    const QCommandLineOption exportTo(QStringLiteral("export"),
                                      QStringLiteral("Exports the contacts to <file>: vCards, CSV when it ends in .csv, a PDF "
                                                     "when it ends in .pdf (\"-\": standard output)."),
                                      QStringLiteral("file"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("What to export: vcard3 (the default), vcard4, vcard21, csv-google (the "
                                                   "default for a .csv file) or csv; for a .pdf file, phonelist "
                                                   "(the default) or labels."),
                                    QStringLiteral("format"));
    const QCommandLineOption category(QStringLiteral("category"),
                                      QStringLiteral("Exports only the contacts of this category."), QStringLiteral("name"));
    const QCommandLineOption query(QStringLiteral("query"),
                                   QStringLiteral("Answers a mail program's address query (its query_command): one line "
                                                  "per mail address of the contacts whose name, company or mail "
                                                  "address holds <text>, as address, name and category separated by "
                                                  "tabs, after a first line of its own. Exit status 1 when none does."),
                                   QStringLiteral("text"));
    const QCommandLineOption duplicates(QStringLiteral("duplicates"),
                                        QStringLiteral("Prints the groups of contacts that look like one person, one "
                                                       "per line: why, a tab, then their keys (ContactID)."));
    const QCommandLineOption sync(QStringLiteral("sync"),
                                  QStringLiteral("Syncs the contact book with every CardDAV account set up, both ways. With a "
                                                 "server address (and --user, --password-file) that account is set up "
                                                 "first when it is new, then synced."));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The user name on the CardDAV server."),
                                  QStringLiteral("name"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("Reads the CardDAV password from the first line of <file>."),
                                          QStringLiteral("file"));
    const QCommandLineOption book(QStringLiteral("book"),
                                  QStringLiteral("The address book to sync with when setting up (made when missing; the "
                                                 "first one otherwise)."),
                                  QStringLiteral("name"));
    const QCommandLineOption trust(QStringLiteral("trust-certificate"),
                                   QStringLiteral("Trusts the server's certificate with this SHA-256 fingerprint although it "
                                                  "does not verify."),
                                   QStringLiteral("fingerprint"));
    parser.addOptions({import, exportTo, format, category, query, duplicates, sync, user, passwordFile, book, trust});
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("The files to import, or with --sync the CardDAV server's address."),
                                 QStringLiteral("[files...|server]"));
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        say(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return 0;
    }
    if (int(parser.isSet(import)) + int(parser.isSet(exportTo)) + int(parser.isSet(query)) +
            int(parser.isSet(duplicates)) + int(parser.isSet(sync)) > 1)
        return fail(QStringLiteral("only one of --import, --export, --query, --duplicates and --sync can be given."));
    if (parser.isSet(sync) && parser.positionalArguments().size() > 1)
        return fail(QStringLiteral("--sync takes one server address."));
    if (!parser.isSet(import) && !parser.isSet(sync) && !parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\".").arg(parser.positionalArguments().first()));

    PrepareApplicationFolder();
    SharedConnection cn;
    // Let go of the way the window does, whatever the command returns: the
    // next start need not count the contacts again when nobody wrote since.
    const auto leave = qScopeGuard([&cn] { mdlMDB::CloseDatabase(cn); });
    try {
        // Commands that only read walk the book through a map of its file;
        // those that write to it grow it, and would have the map remade.
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), cn, !parser.isSet(import) && !parser.isSet(sync));
        if (parser.isSet(import)) {
            if (!cn->sideTablesUsable())
                return fail(cn->sideTablesProblem().simplified());
            return runImport(*cn, parser.positionalArguments());
        }
        if (parser.isSet(query) || parser.isSet(duplicates)) {
            GetOptions();
            if (parser.isSet(query))
                return runQuery(*cn, parser.value(query), Options().OptFoldAccents && cn->sideTablesUsable());
            return runDuplicates(*cn, Phone::RegionOr(PhoneRegion()));
        }
        if (parser.isSet(sync)) {
            if (!cn->sideTablesUsable())
                return fail(cn->sideTablesProblem().simplified());
            SyncArguments args;
            args.server = parser.positionalArguments().value(0);
            args.user = parser.value(user);
            args.passwordFile = parser.value(passwordFile);
            args.book = parser.value(book);
            args.trust = parser.value(trust);
            return runSync(*cn, args);
        }
        // Read through a connection that only reads, as the window exports.
        SharedConnection reader = Connection::openForWalking(cn->path());
        return runExport(*reader, parser.value(exportTo), parser.value(format),
                         parser.isSet(category) ? parser.value(category) : QString());
    } catch (const StoreError &e) {
        return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(e.file()), e.message()));
    }
}
