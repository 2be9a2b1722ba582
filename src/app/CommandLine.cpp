#include "app/CommandLine.h"

#include "context/AppContext.h"
#include "interchange/Export.h"
#include "interchange/Import.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "store/mdlMDB.h"
#include "transfer/Printout.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
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
        for (const char *option : {"--import", "--export", "--help", "-h", "--version"}) {
            if (std::strcmp(argv[i], option) == 0 || (std::strncmp(argv[i], "--export=", 9) == 0))
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
    parser.addOptions({import, exportTo, format, category});
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("The files to import."), QStringLiteral("[files...]"));
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
    if (parser.isSet(import) && parser.isSet(exportTo))
        return fail(QStringLiteral("--import and --export cannot be given together."));
    if (!parser.isSet(import) && !parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\".").arg(parser.positionalArguments().first()));

    PrepareApplicationFolder();
    SharedConnection cn;
    try {
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), cn);
        if (parser.isSet(import)) {
            if (!cn->sideTablesUsable())
                return fail(cn->sideTablesProblem().simplified());
            return runImport(*cn, parser.positionalArguments());
        }
        return runExport(*cn, parser.value(exportTo), parser.value(format),
                         parser.isSet(category) ? parser.value(category) : QString());
    } catch (const StoreError &e) {
        return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(e.file()), e.message()));
    }
}
