#include "app/MsgBox.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "mainwindow/StartupOptions.h"
#include "mainwindow/frmMain.h"
#include "store/Statements.h"
#include "store/TextMatch.h"
#include "store/mdlMDB.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {
// How long a fill works before it lets the window answer input and paint.
constexpr qint64 kYieldMs = 16;

// The item text of the first entry: the text before the first ":*:".
QByteArrayView firstItem(QByteArrayView list)
{
    const char *begin = list.data();
    const char *end = begin + list.size();
    // A colon is rare in an item, so looking for it first is quick.
    for (const char *at = begin; end - at >= 3;) {
        at = static_cast<const char *>(std::memchr(at, ':', size_t(end - at - 2)));
        if (!at)
            break;
        if (at[1] == '*' && at[2] == ':')
            return list.first(at - begin);
        ++at;
    }
    return QByteArrayView();
}
} // namespace

void frmMain::DefineColumns()
{
    cGrid1->SetRedraw(false);
    const struct
    {
        const char *key;
        const char *header;
        int width;
        bool visible;
    } columns[] = {{"1", "", 24, true},          {"2", "", 24, true},         {"3", "", 24, true},
                   {"4", "First Name", 100, true}, {"5", "Last Name", 100, true}, {"6", "Category", 80, true},
                   {"7", "Phones", 120, true},   {"8", "Mails", 60, true},      {"10", "", -1, false},
                   {"13", "", -1, false},        {"14", "", -1, false},       {"15", "", -1, false}};
    for (const auto &c : columns)
        cGrid1->AddColumn(QLatin1String(c.key), QLatin1String(c.header), Qt::AlignLeft, -1, c.width, c.visible);
    cGrid1->SetGridLines(StoredLook().gridLines);
    cGrid1->SetRedraw(true);
}

bool frmMain::FillList(const QString &statement)
{
    return fill(statement, nullptr);
}

bool frmMain::fill(const QString &statement, const FoldedNeedle *mark)
{
    if (!SharedDb())
        return false;
    const quint64 generation = ++m_fillGeneration;
    QPointer<frmMain> self(this);
    cboEditor->hide();

    QElapsedTimer clock;
    bool started = false, overtaken = false;
    // The first rows show at once, later ones every kYieldMs.
    qint64 nextYield = 1;
    // Shows what is there and lets the window answer once the time has come;
    // false when a newer fill, or the window closing, ends this one. The
    // record set calls it between slices of the table too, so that a search
    // that finds little keeps the window answering as well.
    auto yieldIfDue = [&]() -> bool {
        if (!started || clock.elapsed() < nextYield)
            return true;
        cGrid1->FlushRows();
        if (!mark && cGrid1->SelectedRow() == 0 && cGrid1->Rows() > 0)
            cGrid1->SetSelectedRow(1);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!self || generation != m_fillGeneration) {
            overtaken = true;
            return false;
        }
        nextYield = clock.elapsed() + kYieldMs;
        return true;
    };

    Recordset rs(*SharedDb());
    rs.readInSlices(yieldIfDue);
    try {
        rs.prepare(statement);
    } catch (const StoreError &e) {
        ReportStoreError(QStringLiteral("The contacts could not be read."), e.message());
        return false;
    }

    ++m_fillDepth;
    cGrid1->Clear();
    cGrid1->SetRedraw(false);
    const int cId = rs.columnIndex("ContactID");
    const int cFirst = rs.columnIndex("First_Name");
    const int cLast = rs.columnIndex("Last_Name");
    const int cCategory = rs.columnIndex("Category");
    const int cPhones = rs.columnIndex("Phones");
    const int cMails = rs.columnIndex("Mails");
    const QColor highlight = Units::ColorFromBgr(AppColor());
    auto cell = [&rs](int column) { return column < 0 ? QByteArrayView() : rs.utf8(column); };

    // Columns 4 to 8 are marked, drawn on one line with a word ellipsis: each
    // by its own value, the phone and mail cells by the whole list text. The
    // grid compares only the cells it paints.
    const quint32 markedColumns = (1u << (ColFirstName - 1)) | (1u << (ColLastName - 1)) |
                                  (1u << (ColCategory - 1)) | (1u << (ColFirstPhone - 1)) |
                                  (1u << (ColFirstMail - 1));
    if (mark) {
        int source[GridModel::kMarkableColumns];
        std::fill(std::begin(source), std::end(source), -1);
        source[ColFirstPhone - 1] = ColPhones - 1;
        source[ColFirstMail - 1] = ColMails - 1;
        cGrid1->Model()->setLazyMarks(*mark, markedColumns, source, highlight);
    }

    clock.start();
    started = true;
    bool failed = false;
    try {
        rs.start();
        QByteArrayView cells[12];
        unsigned rows = 0;
        while (!overtaken && !rs.atEnd()) {
            const QByteArrayView phones = cell(cPhones);
            const QByteArrayView mails = cell(cMails);
            cells[ColContactID - 1] = cell(cId);
            cells[ColFirstName - 1] = cell(cFirst);
            cells[ColLastName - 1] = cell(cLast);
            cells[ColCategory - 1] = cell(cCategory);
            cells[ColFirstPhone - 1] = firstItem(phones);
            cells[ColPhones - 1] = phones;
            cells[ColFirstMail - 1] = firstItem(mails);
            cells[ColMails - 1] = mails;
            if (mark)
                cGrid1->Model()->appendRowMarkedLater(cells, 12, markedColumns);
            else
                cGrid1->Model()->appendRow(cells, 12);
            rs.moveNext();
            // The clock is read every few rows: a row takes well under a
            // microsecond, and a step never walks more than a slice.
            if (!overtaken && (++rows & 15) == 0)
                yieldIfDue();
        }
    } catch (const StoreError &e) {
        if (self && generation == m_fillGeneration) {
            failed = true;
            ReportStoreError(QStringLiteral("The contacts could not be read."), e.message());
        }
    }
    if (!self)
        return false; // the window is gone: touch nothing of it
    rs.close();
    if (overtaken || generation != m_fillGeneration) {
        if (--m_fillDepth == 0)
            cGrid1->SetRedraw(true);
        return false;
    }
    --m_fillDepth;
    cGrid1->SetRedraw(true);
    if (!mark && cGrid1->Rows() > 0 && cGrid1->SelectedRow() == 0)
        cGrid1->SetSelectedRow(1);
    return !failed;
}

QString frmMain::GetSearchField() const
{
    static const char *const fields[] = {"",         "First_Name", "Last_Name", "Category", "Address",
                                         "Company",  "Phones",     "Mails",     "Websites", "Notes"};
    const int i = cboSearchIn->currentIndex();
    if (i < 1 || i > 9)
        return QString();
    return QLatin1String(fields[i]);
}

void frmMain::RunSearch()
{
    const QString text = txtSearchFor->text();
    const QString statement = cboSearchIn->currentIndex() == 0
                                  ? Statements::SearchAllFields(text)
                                  : Statements::SearchOneField(GetSearchField(), text);
    const FoldedNeedle needle(text);
    fill(statement, &needle);
}
