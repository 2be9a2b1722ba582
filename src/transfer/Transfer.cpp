#include "transfer/Transfer.h"

#include "context/AppContext.h"
#include "controls/BackgroundWork.h"
#include "controls/MsgBox.h"
#include "controls/mdlCommDialog.h"
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"
#include "interchange/Export.h"
#include "interchange/Import.h"
#include "transfer/Printout.h"
#include "store/Connection.h"
#include "store/StoreError.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QTextDocument>
#include <QPushButton>
#include <QHeaderView>
#include <QRadioButton>
#include <QTableWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <thread>

namespace {

// Set while an import is written on its own connection.
std::atomic<bool> g_writing{false};

// Skipped cards listed in the report at most; the rest are counted.
constexpr int kReportedSkips = 30;

QString skipList(const QList<Import::Skipped> &skipped)
{
    QStringList lines;
    for (qsizetype i = 0; i < skipped.size() && i < kReportedSkips; ++i) {
        const Import::Skipped &s = skipped.at(i);
        lines << QStringLiteral("%1, line %2: %3").arg(QFileInfo(s.file).fileName()).arg(s.line).arg(s.reason);
    }
    if (skipped.size() > kReportedSkips)
        lines << QStringLiteral("... and %1 more.").arg(skipped.size() - kReportedSkips);
    return lines.join(QLatin1Char('\n'));
}

// The export dialog: which contacts, which version, which file.
class frmExport : public QDialog
{
public:
    frmExport(QWidget *parent, const Transfer::ExportOffer &offer) : QDialog(parent)
    {
        setObjectName(QStringLiteral("frmExport"));
        setWindowTitle(QStringLiteral("Export contacts"));
        auto *layout = new QVBoxLayout(this);
        auto *which = new QLabel(QStringLiteral("Contacts to export:"), this);
        layout->addWidget(which);
        optAll = addChoice(QStringLiteral("optAll"), QStringLiteral("&All contacts"), true);
        optList = addChoice(QStringLiteral("optList"),
                            QStringLiteral("The &current list (%1, %2 contacts)").arg(offer.listName).arg(offer.listCount),
                            offer.listCount > 0);
        optSelected = addChoice(QStringLiteral("optSelected"), QStringLiteral("The &selected contact"), offer.selected != 0);
        for (QRadioButton *b : {optAll, optList, optSelected})
            layout->addWidget(b);
        optAll->setChecked(true);
        auto *form = new QFormLayout;
        cboVersion = new QComboBox(this);
        cboVersion->setObjectName(QStringLiteral("cboVersion"));
        cboVersion->addItem(QStringLiteral("vCard 3.0 (most programs)"), int(Export::Format::VCard30));
        cboVersion->addItem(QStringLiteral("vCard 4.0"), int(Export::Format::VCard40));
        cboVersion->addItem(QStringLiteral("vCard 2.1 (older phones)"), int(Export::Format::VCard21));
        cboVersion->addItem(QStringLiteral("CSV, web-mail layout"), int(Export::Format::CsvWebMail));
        cboVersion->addItem(QStringLiteral("CSV, one row per contact"), int(Export::Format::CsvPlain));
        form->addRow(QStringLiteral("&Format:"), cboVersion);
        auto *fileRow = new QHBoxLayout;
        txtFile = new QLineEdit(this);
        txtFile->setObjectName(QStringLiteral("txtFile"));
        txtFile->setText(QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                             .filePath(QStringLiteral("contacts.vcf")));
        auto *browse = new QPushButton(QStringLiteral("&Browse..."), this);
        browse->setObjectName(QStringLiteral("cmdBrowse"));
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Export contacts"), txtFile->text(),
                                                                QStringLiteral("vCard files (*.vcf);;CSV files (*.csv)"), nullptr,
                                                                QFileDialog::DontUseNativeDialog);
            if (!chosen.isEmpty())
                txtFile->setText(chosen);
        });
        // The file's name follows the format chosen.
        connect(cboVersion, &QComboBox::currentIndexChanged, this, [this] {
            const auto f = Export::Format(cboVersion->currentData().toInt());
            const bool csv = f == Export::Format::CsvWebMail || f == Export::Format::CsvPlain;
            QString path = txtFile->text();
            const QString from = csv ? QStringLiteral(".vcf") : QStringLiteral(".csv");
            if (path.endsWith(from, Qt::CaseInsensitive))
                txtFile->setText(path.left(path.size() - 4) + (csv ? QStringLiteral(".csv") : QStringLiteral(".vcf")));
        });
        fileRow->addWidget(txtFile, 1);
        fileRow->addWidget(browse);
        form->addRow(QStringLiteral("&File:"), fileRow);
        layout->addLayout(form);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Export"));
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
        resize(460, sizeHint().height());
    }

    QRadioButton *optAll, *optList, *optSelected;
    QComboBox *cboVersion;
    QLineEdit *txtFile;

private:
    QRadioButton *addChoice(const QString &name, const QString &text, bool enabled)
    {
        auto *b = new QRadioButton(text, this);
        b->setObjectName(name);
        b->setEnabled(enabled);
        return b;
    }
};

// What to print: the layout, which contacts, and for a PDF the file.
class frmPrint : public QDialog
{
public:
    frmPrint(QWidget *parent, const Transfer::ExportOffer &offer, bool toPdf) : QDialog(parent)
    {
        setObjectName(QStringLiteral("frmPrint"));
        setWindowTitle(toPdf ? QStringLiteral("Export as PDF") : QStringLiteral("Print"));
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Layout:"), this));
        optPhoneList = choice(QStringLiteral("optPhoneList"), QStringLiteral("A &phone list"), layout);
        optLabels = choice(QStringLiteral("optLabels"), QStringLiteral("Address &labels"), layout);
        optPhoneList->setChecked(true);
        auto *group = new QButtonGroup(this);
        group->addButton(optPhoneList);
        group->addButton(optLabels);
        layout->addWidget(new QLabel(QStringLiteral("Contacts:"), this));
        optList = choice(QStringLiteral("optList"),
                         QStringLiteral("The &current list (%1, %2 contacts)").arg(offer.listName).arg(offer.listCount),
                         layout);
        optAll = choice(QStringLiteral("optAll"), QStringLiteral("&All contacts"), layout);
        optList->setEnabled(offer.listCount > 0);
        (offer.listCount == 0 ? optAll : optList)->setChecked(true);
        auto *contacts = new QButtonGroup(this);
        contacts->addButton(optList);
        contacts->addButton(optAll);
        txtFile = new QLineEdit(this);
        txtFile->setObjectName(QStringLiteral("txtFile"));
        txtFile->setText(QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                             .filePath(QStringLiteral("contacts.pdf")));
        if (toPdf) {
            auto *form = new QFormLayout;
            form->addRow(QStringLiteral("&File:"), txtFile);
            layout->addLayout(form);
        } else {
            txtFile->hide();
        }
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
        buttons->button(QDialogButtonBox::Ok)->setText(toPdf ? QStringLiteral("&Export") : QStringLiteral("&Preview..."));
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
        resize(420, sizeHint().height());
    }
    QRadioButton *optPhoneList, *optLabels, *optList, *optAll;
    QLineEdit *txtFile;

private:
    QRadioButton *choice(const QString &name, const QString &text, QVBoxLayout *layout)
    {
        auto *b = new QRadioButton(text, this);
        b->setObjectName(name);
        layout->addWidget(b);
        return b;
    }
};

// What each column of a CSV file means: a choice per column over the first rows.
class frmCsvMapping : public QDialog
{
public:
    frmCsvMapping(QWidget *parent, const QString &file, const Csv::Table &table, const CsvMapping::Mapping &start)
        : QDialog(parent), m_start(start)
    {
        setObjectName(QStringLiteral("frmCsvMapping"));
        setWindowTitle(QStringLiteral("Import %1").arg(QFileInfo(file).fileName()));
        auto *layout = new QVBoxLayout(this);
        auto *intro = new QLabel(QStringLiteral("Choose what each column holds. The first rows of the file are shown; "
                                                "columns kept as extra properties show on the Advanced page."),
                                 this);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        const int shown = int(qMin<qsizetype>(table.rowCount(), 5));
        tblColumns = new QTableWidget(shown + 1, int(table.header.size()), this);
        tblColumns->setObjectName(QStringLiteral("tblColumns"));
        tblColumns->setHorizontalHeaderLabels(table.header);
        tblColumns->verticalHeader()->hide();
        for (int c = 0; c < table.header.size(); ++c) {
            auto *box = new QComboBox(tblColumns);
            box->setObjectName(QStringLiteral("cboColumn%1").arg(c));
            box->setAccessibleName(QStringLiteral("Column %1").arg(table.header.at(c)));
            const CsvMapping::Role role = start.roles.value(c);
            bool listed = false;
            for (const auto &[text, field] : choices()) {
                box->addItem(text, int(field));
                if (field == role.field && role.of < 0 && role.group <= 1) {
                    box->setCurrentIndex(box->count() - 1);
                    listed = true;
                }
            }
            // A meaning the list does not offer (a label of another column,
            // a second address) stays as it was recognised.
            if (!listed) {
                box->insertItem(0, QStringLiteral("As recognised"), -1);
                box->setCurrentIndex(0);
            }
            tblColumns->setCellWidget(0, c, box);
            for (int r = 0; r < shown; ++r)
                tblColumns->setItem(r + 1, c, new QTableWidgetItem(table.cell(r, c)));
        }
        tblColumns->resizeColumnsToContents();
        layout->addWidget(tblColumns, 1);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Import"));
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
        resize(760, 360);
    }

    CsvMapping::Mapping mapping() const
    {
        CsvMapping::Mapping out = m_start;
        for (int c = 0; c < tblColumns->columnCount(); ++c) {
            const int field = static_cast<QComboBox *>(tblColumns->cellWidget(0, c))->currentData().toInt();
            if (field < 0)
                continue;
            CsvMapping::Role role;
            role.field = CsvMapping::Field(field);
            while (out.roles.size() <= c)
                out.roles << CsvMapping::Role();
            out.roles[c] = role;
        }
        return out;
    }

private:
    static const QList<std::pair<QString, CsvMapping::Field>> &choices()
    {
        using F = CsvMapping::Field;
        static const QList<std::pair<QString, F>> list{
            {QStringLiteral("Ignore"), F::Ignore},           {QStringLiteral("Keep as extra property"), F::Keep},
            {QStringLiteral("Whole name"), F::Name},         {QStringLiteral("First name"), F::First},
            {QStringLiteral("Middle name"), F::Middle},      {QStringLiteral("Last name"), F::Last},
            {QStringLiteral("Nickname"), F::Nickname},       {QStringLiteral("Company"), F::Company},
            {QStringLiteral("Job title"), F::JobTitle},      {QStringLiteral("Birthday"), F::Birthday},
            {QStringLiteral("Address"), F::Address},         {QStringLiteral("Street"), F::Street},
            {QStringLiteral("City"), F::City},               {QStringLiteral("Region"), F::Region},
            {QStringLiteral("Postal code"), F::PostalCode},  {QStringLiteral("Country"), F::Country},
            {QStringLiteral("Category"), F::Category},       {QStringLiteral("Phone"), F::Phone},
            {QStringLiteral("Mail"), F::Mail},               {QStringLiteral("Web site"), F::Website},
            {QStringLiteral("Notes"), F::Notes}};
        return list;
    }

    CsvMapping::Mapping m_start;
    QTableWidget *tblColumns;
};

// Asks what the columns of a CSV file of no known exporter mean, starting from
// what was chosen before for the same columns (or a guess).
bool chooseMapping(QWidget *parent, Connection &cn, const QString &file, const Csv::Table &table,
                   CsvMapping::Mapping &mapping)
{
    const QString key = CsvMapping::Key(table.header);
    try {
        CsvMapping::Mapping remembered;
        if (CsvMapping::FromText(Import::RememberedMapping(cn, key), table.header.size(), remembered))
            mapping = remembered;
    } catch (const StoreError &) {
    }
    frmCsvMapping dialog(parent, file, table, mapping);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    mapping = dialog.mapping();
    return true;
}

} // namespace

namespace Transfer {

bool Writing()
{
    return g_writing;
}

std::optional<ChangeSummary> ImportFiles(QWidget *parent, Connection &cn, QStringList files)
{
    if (!cn.sideTablesUsable()) {
        MsgBox::Fail(parent, cn.sideTablesProblem());
        return std::nullopt;
    }
    if (files.isEmpty()) {
        OpenFileRequest request;
        request.Title = QStringLiteral("Import contacts");
        request.Filter = QStringLiteral("Contacts (vCard, CSV)") + QChar(0) + QStringLiteral("*.vcf; *.vcard; *.csv; *.tsv; *.txt") + QChar(0) +
                         QStringLiteral("All files") + QChar(0) + QStringLiteral("*") + QChar(0) + QChar(0);
        const SelectedFiles chosen = ShowOpenDialog(request, parent, true);
        if (chosen.Cancelled)
            return std::nullopt;
        for (int i = 1; i <= chosen.FileCount; ++i)
            files << chosen.FilePath(i);
    }
    Import::Plan plan;
    {
        Progress progress(parent, QStringLiteral("Reading the cards..."));
        QList<std::pair<QString, QString>> chosen; // header key, mapping
        plan = Import::Read(cn, files, progress.callback(),
                            [&](const QString &file, const Csv::Table &table, CsvMapping::Mapping &mapping) {
                                if (!chooseMapping(parent, cn, file, table, mapping))
                                    return false;
                                chosen.append({CsvMapping::Key(table.header), CsvMapping::ToText(mapping)});
                                return true;
                            });
        // Remembered for the next file with the same columns, imported or not.
        for (const auto &[key, text] : chosen) {
            try {
                Import::RememberMapping(cn, key, text);
            } catch (const StoreError &) {
            }
        }
    }
    if (plan.cancelled)
        return std::nullopt;
    if (!plan.refused.isEmpty()) {
        MsgBox::Fail(parent, plan.refused);
        return std::nullopt;
    }
    QString question;
    if (plan.contacts.isEmpty()) {
        MsgBox::Inform(parent, QStringLiteral("No contact could be imported.") +
                                   (plan.skipped.isEmpty() ? QString() : QStringLiteral("\n\n") + skipList(plan.skipped)));
        return std::nullopt;
    }
    question = QStringLiteral("%1 new contacts, %2 updated contacts (the same UID), %3 cards skipped.\n\nImport them? "
                              "Undo takes the whole import back.")
                   .arg(plan.added)
                   .arg(plan.updated)
                   .arg(plan.skipped.size());
    if (!MsgBox::AskYesNo(parent, question))
        return std::nullopt;
    Import::Result done;
    QString failure;
    {
        // Written on a thread of its own, through a connection of its own, so
        // that the window answers while a large import is written and committed.
        Progress progress(parent, QStringLiteral("Importing the contacts..."));
        g_writing = true;
        BackgroundWork work([&](const std::atomic<bool> &cancel, std::atomic<qint64> &reached, std::atomic<qint64> &total) {
            try {
                SharedConnection own = Connection::open(cn.path());
                done = Import::Write(*own, plan, AppFilePath(QStringLiteral("/pictures")), [&](qint64 at, qint64 of) {
                    reached = at;
                    total = of;
                    return !cancel;
                });
            } catch (const StoreError &e) {
                failure = e.message();
            }
            // A large plan takes a while to free: here, not on the window's thread.
            Import::Plan().contacts.swap(plan.contacts);
        });
        work.wait(progress);
        g_writing = false;
    }
    if (!failure.isEmpty()) {
        MsgBox::Fail(parent, QStringLiteral("The contacts could not be imported; nothing was changed.\n\n") + failure);
        return std::nullopt;
    }
    if (done.cancelled) {
        MsgBox::Inform(parent, QStringLiteral("The import was cancelled; nothing was changed."));
        return std::nullopt;
    }
    QString report = QStringLiteral("Import done: ") + Import::Summary(done.added, done.updated, int(plan.skipped.size())) +
                     QLatin1Char('.');
    if (!plan.skipped.isEmpty())
        report += QStringLiteral("\n\nSkipped cards:\n") + skipList(plan.skipped);
    MsgBox::Inform(parent, report);
    return done.summary;
}

void ExportContacts(QWidget *parent, Connection &cn, const ExportOffer &offer)
{
    frmExport dialog(parent, offer);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.txtFile->text().trimmed();
    if (path.isEmpty())
        return;
    Export::Choice choice;
    if (dialog.optList->isChecked()) {
        choice.kind = Export::Choice::Kind::Contacts;
        choice.contacts = offer.list();
    } else if (dialog.optSelected->isChecked()) {
        choice.kind = Export::Choice::Kind::Contacts;
        choice.contacts = {offer.selected};
    }
    const auto format = Export::Format(dialog.cboVersion->currentData().toInt());
    Export::Result result;
    QString failure;
    {
        // Read and written on a thread of its own, through a connection of its
        // own: a large file and its flush to disk do not hold the window.
        Progress progress(parent, QStringLiteral("Exporting the contacts..."));
        BackgroundWork work([&](const std::atomic<bool> &cancel, std::atomic<qint64> &reached, std::atomic<qint64> &total) {
            try {
                SharedConnection own = Connection::openForWalking(cn.path());
                result = Export::WriteFile(*own, path, format, choice, [&](qint64 at, qint64 of) {
                    reached = at;
                    total = of;
                    return !cancel;
                });
            } catch (const StoreError &e) {
                failure = e.message();
            }
        });
        work.wait(progress);
    }
    if (!failure.isEmpty()) {
        MsgBox::Fail(parent, QStringLiteral("The contacts could not be read.\n\n") + failure);
        return;
    }
    if (result.cancelled)
        return;
    if (!result.failure.isEmpty()) {
        MsgBox::Fail(parent, QStringLiteral("%1 could not be written.\n\n%2").arg(QDir::toNativeSeparators(path), result.failure));
        return;
    }
    MsgBox::Inform(parent, QStringLiteral("%1 contacts were exported to %2.").arg(result.written).arg(QDir::toNativeSeparators(path)));
}

void PrintContacts(QWidget *parent, Connection &cn, const ExportOffer &offer, bool toPdf)
{
    frmPrint dialog(parent, offer, toPdf);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QList<qint64> contacts = dialog.optList->isChecked() ? offer.list() : QList<qint64>();
    const auto layout = dialog.optLabels->isChecked() ? Printout::Layout::Labels : Printout::Layout::PhoneList;
    const bool rtl = parent && parent->layoutDirection() == Qt::RightToLeft;
    const QString title = dialog.optList->isChecked() ? offer.listName : QStringLiteral("All contacts");
    try {
        if (toPdf) {
            const QString path = dialog.txtFile->text().trimmed();
            const QString problem = Printout::WritePdf(cn, path, contacts, layout, rtl, title);
            if (!problem.isEmpty())
                MsgBox::Fail(parent, QStringLiteral("%1 could not be written.\n\n%2").arg(QDir::toNativeSeparators(path), problem));
            return;
        }
        std::unique_ptr<QTextDocument> doc(Printout::Compose(cn, contacts, layout, rtl, title));
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(title);
        QPrintPreviewDialog preview(&printer, parent);
        preview.setObjectName(QStringLiteral("dlgPrintPreview"));
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                         [&doc](QPrinter *p) { Printout::Print(*doc, *p); });
        preview.exec();
    } catch (const StoreError &e) {
        MsgBox::Fail(parent, QStringLiteral("The contacts could not be read.\n\n") + e.message());
    }
}

QMimeData *DragData(Connection &cn, const QList<qint64> &contacts)
{
    if (contacts.isEmpty())
        return nullptr;
    static QTemporaryDir folder; // lives as long as the program, for the drop target to read
    if (!folder.isValid())
        return nullptr;
    const QString path = folder.filePath(contacts.size() == 1 ? QStringLiteral("contact.vcf") : QStringLiteral("contacts.vcf"));
    Export::Choice choice;
    choice.kind = Export::Choice::Kind::Contacts;
    choice.contacts = contacts;
    try {
        if (Export::WriteFile(cn, path, VCard::Version::V30, choice).written == 0)
            return nullptr;
    } catch (const StoreError &) {
        return nullptr;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/vcard"), f.readAll());
    data->setData(QStringLiteral("text/x-vcard"), data->data(QStringLiteral("text/vcard")));
    data->setUrls({QUrl::fromLocalFile(path)});
    return data;
}

QStringList DroppedCards(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls()) {
        const QString path = url.toLocalFile();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (!path.isEmpty() && (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard")))
            files << path;
    }
    return files;
}

} // namespace Transfer
