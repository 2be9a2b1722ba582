#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "app/mdlFunctions.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/cTreeView.h"
#include "mainwindow/ContactEditorLink.h"
#include "mainwindow/StartupOptions.h"
#include "mainwindow/frmMain.h"
#include "services/frmNotes.h"
#include "store/ItemList.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace {

// The maker's page: the help page shipped with the program, so it opens offline.
QString makerPage()
{
    return ShippedFilePath(QStringLiteral("help/index.html"));
}
} // namespace

void frmMain::tlbrTop_ButtonClick(int index)
{
    switch (index) {
    case 0: {
        OpenNewContactEditor(this);
        break;
    }
    case 1:
        if (cGrid1->Rows() > 0) {
            if (cGrid1->SelectedRow() == 0)
                cGrid1->SetSelectedRow(1);
            EditContact(cGrid1->CellText(cGrid1->SelectedRow(), ColContactID));
        }
        break;
    case 2:
        RemoveSelectedContact();
        break;
    case 4:
        if (!m_searchBarShown) {
            ++m_fillGeneration; // a fill still running must not refill the emptied list
            lblTitle->setText(QStringLiteral("Search"));
            cGrid1->Clear();
            cGrid1->SetRedraw(true);
            m_searchBarShown = true;
            PicSearch->show();
            Form_Resize();
            txtSearchFor->setFocus();
        }
        break;
    case 5:
        frmNotes::ShowNotes();
        break;
    case 7:
        ShowOptionsDialog(this);
        break;
    default:
        break;
    }
}

void frmMain::m_cMenu_Click(int index)
{
    if (index == 2) {
        tlbrTop_ButtonClick(0);
        return;
    }
    ShellOpen(this, makerPage());
}

void frmMain::RemoveSelectedContact()
{
    const int row = cGrid1->SelectedRow();
    if (row < 1 || cGrid1->Rows() == 0)
        return;
    if (!MsgBox::AskYesNo(this, QStringLiteral("Are you sure you want to remove the selected record from the database?")))
        return;
    bool ok = false;
    const qint64 id = cGrid1->CellText(row, ColContactID).toLongLong(&ok);
    if (!ok)
        return;
    try {
        Recordset rs(*SharedDb());
        rs.open(Statements::ContactById(id));
        rs.deleteCurrent();
        rs.close();
    } catch (const StoreError &e) {
        ReportStoreError(QStringLiteral("The contact could not be removed."), e.message());
        return;
    }
    cTreeView1_NodeClick(cTreeView1->SelectedNode());
}

void frmMain::EditContact(const QString &contactId)
{
    bool ok = false;
    const qint64 id = contactId.toLongLong(&ok);
    if (!ok)
        return;
    OpenContactEditor(this, id);
}

void frmMain::cGrid1_Click()
{
    const int rows = cGrid1->Rows();
    if (rows < 1)
        return;
    const int row = cGrid1->SelectedRow();
    if (row < 1)
        return;
    ShowContactDetails(cGrid1->CellText(row, ColContactID));
    const int column = cGrid1->SelectedCol();
    if (column == ColFirstPhone && IsMultyItems(cGrid1->CellText(row, ColPhones)))
        ShowCellItems(row, ColFirstPhone, cGrid1->CellText(row, ColPhones));
    if (column == ColFirstMail && IsMultyItems(cGrid1->CellText(row, ColMails)))
        ShowCellItems(row, ColFirstMail, cGrid1->CellText(row, ColMails));
}

void frmMain::cGrid1_DblClick(int row, int column)
{
    Q_UNUSED(column);
    if (row < 1 || row > cGrid1->Rows())
        return;
    EditContact(cGrid1->CellText(row, ColContactID));
}

void frmMain::ShowCellItems(int row, int column, const QString &sTxt)
{
    double l, t, w, h;
    cGrid1->CellBoundary(row, column, l, t, w, h);
    const double tppx = Units::TwipsPerPixelX(this);
    const double tppy = Units::TwipsPerPixelY(this);
    const double gridLeft = Units::PixelsToTwipsX(cGrid1->x(), this);
    const double gridTop = Units::PixelsToTwipsY(cGrid1->y(), this);
    const double left = std::round(l + gridLeft + 230);
    const double top = std::round(t + gridTop + tppy + 10);
    FillCboEditor(cboEditor, sTxt);
    const double boxLeft = left - 16 * tppx;
    const double boxWidth = w + 16 * tppx - 240;
    const int height = cboEditor->sizeHint().height();
    cboEditor->setGeometry(Units::TwipsToPixelsX(boxLeft, this), Units::TwipsToPixelsY(top, this),
                           qMax(0, Units::TwipsToPixelsX(boxWidth, this)), height);
    cboEditor->show();
    cboEditor->raise();
    cboEditor->setFocus(Qt::OtherFocusReason);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cboEditor && event->type() == QEvent::FocusOut) {
        // The list of a drop-down that is open holds the focus for it.
        if (!cboEditor->view() || !cboEditor->view()->isVisible())
            cboEditor->hide();
    }
    return QMainWindow::eventFilter(watched, event);
}
