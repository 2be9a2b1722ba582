#include "controls/MsgBox.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "mainwindow/ListFill.h"
#include "mainwindow/frmMain.h"
#include "settings/mdlOptions.h"
#include "store/SearchText.h"
#include "store/StoreError.h"
#include "store/mdlMDB.h"

#include <QComboBox>
#include <QLineEdit>

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
                   {"7", "Phones", 120, true},   {"8", "Mails", 60, true},      {"10", "Removed", 160, false},
                   {"13", "", -1, false},        {"14", "", -1, false},       {"15", "", -1, false}};
    for (const auto &c : columns)
        cGrid1->AddColumn(QLatin1String(c.key), QLatin1String(c.header), Qt::AlignLeft, -1, c.width, c.visible);
    cGrid1->SetGridLines(m_look.gridLines);
    cGrid1->SetRedraw(true);
}

bool frmMain::FillList(const Statements::Query &statement)
{
    return fill(statement, false);
}

bool frmMain::IsFilling() const
{
    return m_fill && m_fill->running();
}

// A search fill marks the cells holding the search text and selects no row.
bool frmMain::fill(const Statements::Query &statement, bool marked)
{
    if (!SharedDb())
        return false;
    cboEditor->hide();
    // A newer fill replaces the running one, whose rows it clears.
    delete m_fill;
    auto *fill = new ListFill(SharedDb(), cGrid1, this);
    std::optional<ListFill::Marks> marks;
    if (marked)
        marks = ListFill::Marks{FoldedNeedle(txtSearchFor->text(), Options().OptFoldAccents),
                                Units::ColorFromBgr(Options().OptAppColor)};
    if (!fill->start(statement, std::move(marks))) {
        ReportStoreError(QStringLiteral("The contacts could not be read."), fill->error());
        delete fill;
        return false;
    }
    m_fill = fill;
    connect(fill, &ListFill::finished, this, &frmMain::fillFinished);
    return true;
}

void frmMain::fillFinished(bool completed)
{
    auto *fill = qobject_cast<ListFill *>(sender());
    if (!fill)
        return;
    // Forgotten before anyone hears of it: a listener may start the next fill.
    if (m_fill == fill)
        m_fill = nullptr;
    fill->deleteLater();
    if (!completed && !fill->error().isEmpty())
        ReportStoreError(QStringLiteral("The contacts could not be read."), fill->error());
    emit listFilled(completed);
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
    const bool allFields = cboSearchIn->currentIndex() == 0;
    if (Options().OptFoldAccents && SharedDb()) {
        // Contacts another program wrote since are folded first.
        try {
            SearchText::Refresh(*SharedDb());
        } catch (const StoreError &e) {
            ReportStoreError(QStringLiteral("The contacts could not be read."), e.message());
            return;
        }
        fill(Statements::SearchFolded(allFields ? QString() : GetSearchField(), text), true);
        return;
    }
    fill(allFields ? Statements::SearchAllFields(text) : Statements::SearchOneField(GetSearchField(), text), true);
}
