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

#include <cstring>

namespace {
// How long a fill works before it lets the window answer input and paint.
constexpr qint64 kYieldMs = 16;

// The item text of the first entry: the text before the first ":*:".
QByteArrayView firstItem(QByteArrayView list)
{
    // A null column has no data pointer, which memmem must not be given.
    if (list.isEmpty())
        return QByteArrayView();
    const void *at = memmem(list.data(), size_t(list.size()), ":*:", 3);
    if (!at)
        return QByteArrayView();
    return list.first(static_cast<const char *>(at) - list.data());
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

    Recordset rs(*SharedDb());
    try {
        rs.open(statement);
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

    QElapsedTimer clock;
    clock.start();
    qint64 nextYield = kYieldMs;
    bool failed = false;
    try {
        QByteArrayView cells[12];
        while (!rs.atEnd()) {
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
            quint32 marked = 0, ellipsis = 0;
            if (mark) {
                // Columns 4 to 8 are marked by their own value; the phone and mail
                // cells by the whole list text.
                ellipsis = (1u << (ColFirstName - 1)) | (1u << (ColLastName - 1)) | (1u << (ColCategory - 1)) |
                           (1u << (ColFirstPhone - 1)) | (1u << (ColFirstMail - 1));
                if (mark->foundIn(cells[ColFirstName - 1]))
                    marked |= 1u << (ColFirstName - 1);
                if (mark->foundIn(cells[ColLastName - 1]))
                    marked |= 1u << (ColLastName - 1);
                if (mark->foundIn(cells[ColCategory - 1]))
                    marked |= 1u << (ColCategory - 1);
                if (mark->foundIn(phones))
                    marked |= 1u << (ColFirstPhone - 1);
                if (mark->foundIn(mails))
                    marked |= 1u << (ColFirstMail - 1);
            }
            cGrid1->Model()->appendRow(cells, 12, marked, ellipsis, highlight);
            rs.moveNext();

            if (clock.elapsed() >= nextYield) {
                // Show what is there and let the window answer; a newer fill, or
                // the window closing, ends this one here.
                cGrid1->FlushRows();
                if (!mark && cGrid1->SelectedRow() == 0 && cGrid1->Rows() > 0)
                    cGrid1->SetSelectedRow(1);
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                if (!self)
                    return false;
                if (generation != m_fillGeneration) {
                    if (--m_fillDepth == 0)
                        cGrid1->SetRedraw(true);
                    return false;
                }
                nextYield = clock.elapsed() + kYieldMs;
            }
        }
    } catch (const StoreError &e) {
        failed = true;
        ReportStoreError(QStringLiteral("The contacts could not be read."), e.message());
    }
    rs.close();
    --m_fillDepth;
    if (generation != m_fillGeneration)
        return false;
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
