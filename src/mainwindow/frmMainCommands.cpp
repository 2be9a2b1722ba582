#include "controls/BackgroundWork.h"
#include "duplicates/Finder.h"
#include "duplicates/Merge.h"
#include "duplicates/Phone.h"
#include "merging/frmDuplicates.h"
#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/mdlFunctions.h"
#include "controls/TextDirection.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/cMenu.h"
#include "controls/cTreeView.h"
#include "editor/frmCntContact.h"
#include "mainwindow/ListFill.h"
#include "mainwindow/frmMain.h"
#include "options/frmOptions.h"
#include "services/frmNotes.h"
#include "settings/mdlOptions.h"
#include "store/ItemList.h"
#include "store/Journal.h"
#include "store/RecycleBin.h"
#include "store/Statements.h"
#include "store/StoreError.h"
#include "store/mdlMDB.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
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
    case kAddButton:
        if (!m_readOnly)
            openEditor(0);
        break;
    case kEditButton:
        // A contact in the Recycle bin is restored before it is changed.
        if (cGrid1->Rows() > 0 && !inBin() && !m_readOnly) {
            if (cGrid1->SelectedRow() == 0)
                cGrid1->SetSelectedRow(1);
            EditContact(cGrid1->CellText(cGrid1->SelectedRow(), ColContactID));
        }
        break;
    case kRemoveButton:
        RemoveSelectedContact();
        break;
    case kSearchButton:
        if (!m_searchBarShown) {
            delete m_fill; // a fill still running must not refill the emptied list
            lblTitle->setText(QStringLiteral("Search"));
            cGrid1->Clear();
            cGrid1->SetRedraw(true);
            m_searchBarShown = true;
            PicSearch->show();
            Form_Resize();
            txtSearchFor->setFocus();
        }
        break;
    case kNotesButton:
        frmNotes::ShowNotes();
        break;
    case kOptionsButton:
        frmOptions::LoadHidden(this, imgMenu)->exec();
        break;
    case kRestoreButton:
        restoreSelected();
        break;
    default:
        break;
    }
}

void frmMain::m_cMenu_Click(int index)
{
    const QString key = m_cMenu->ItemAt(index).key;
    if (key == QLatin1String("Add") || key == QLatin1String("mnuRCAdd")) {
        tlbrTop_ButtonClick(kAddButton);
    } else if (key == QLatin1String("mnuRCEdit")) {
        tlbrTop_ButtonClick(kEditButton);
    } else if (key == QLatin1String("mnuRCRemove")) {
        tlbrTop_ButtonClick(kRemoveButton);
    } else if (key == QLatin1String("mnuRestore") || key == QLatin1String("mnuRCRestore")) {
        restoreSelected();
    } else if (key == QLatin1String("mnuUndo") || key == QLatin1String("mnuRedo")) {
        const bool undo = key == QLatin1String("mnuUndo");
        runChange(undo ? QStringLiteral("The change could not be undone.")
                       : QStringLiteral("The change could not be redone."),
                  [undo] { return undo ? Journal::Undo(*SharedDb()) : Journal::Redo(*SharedDb()); });
    } else if (key == QLatin1String("mnuEmptyBin")) {
        emptyBin();
    } else if (key == QLatin1String("mnuImport")) {
        importFiles({});
    } else if (key == QLatin1String("mnuExport")) {
        exportContacts();
    } else if (key == QLatin1String("mnuPrint") || key == QLatin1String("mnuPdf")) {
        printContacts(key == QLatin1String("mnuPdf"));
    } else if (key == QLatin1String("mnuDuplicates")) {
        findDuplicates();
    } else if (key == QLatin1String("mnuSyncAccounts")) {
        openSyncAccounts();
    } else if (key == QLatin1String("mnuSyncNow")) {
        syncNow(true);
    } else if (key == QLatin1String("HelpTopic") || key == QLatin1String("Support") || key == QLatin1String("About")) {
        ShellOpen(this, makerPage());
    }
}

// Remove moves the selected contact to the Recycle bin; in the bin it
// deletes it for good. Both ask first, and both can be undone.
void frmMain::RemoveSelectedContact()
{
    const qint64 id = selectedContact();
    if (id == 0 || m_readOnly)
        return;
    if (inBin()) {
        const QString name = SharedDb() ? RecycleBin::DisplayName(*SharedDb(), id) : QString();
        if (!MsgBox::AskYesNo(this, QStringLiteral("Delete %1 for good?\n\nUndo can still bring the contact back.")
                                        .arg(name)))
            return;
        runChange(QStringLiteral("The contact could not be deleted."),
                  [id] { return RecycleBin::DeleteForGood(*SharedDb(), id); });
        return;
    }
    if (!MsgBox::AskYesNo(this, QStringLiteral("Are you sure you want to remove the selected record from the database?")))
        return;
    runChange(QStringLiteral("The contact could not be removed."), [id] { return RecycleBin::Remove(*SharedDb(), id); });
}

void frmMain::EditContact(const QString &contactId)
{
    bool ok = false;
    const qint64 id = contactId.toLongLong(&ok);
    if (!ok)
        return;
    openEditor(id);
}

// The contact editor, on one contact or (with 0) empty, captioned "New
// contact". Each opening builds the dialog afresh, so it starts from its
// design state; a save refreshes the list while the dialog is still open.
void frmMain::openEditor(qint64 contactId)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    frmCntContact dlg(this);
    connect(&dlg, &frmCntContact::contactSaved, this, [this](qint64, const ChangeSummary &change) {
        followChange(change);
        refreshList();
    });
    if (contactId == 0) {
        dlg.setWindowTitle(QStringLiteral("New contact"));
    } else {
        dlg.g_bEdit = true;
        dlg.g_lContactID = contactId;
        // An editor on a contact that could not be read would save an
        // incomplete one over it: say why and open nothing.
        if (!dlg.OpenContact()) {
            QApplication::restoreOverrideCursor();
            MsgBox::Fail(this, dlg.OpenError());
            return;
        }
    }
    QApplication::restoreOverrideCursor();
    dlg.exec();
}

void frmMain::cGrid1_Click()
{
    // One shown by a keyboard move does not have the focus to lose.
    cboEditor->hide();
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
    // The drop-down now lies over the cell: the second click of a double-click
    // reaches it instead of the grid (see eventFilter).
    if (cboEditor->isVisible()) {
        m_cellItemsClick.start();
        m_cellItemsCell = {row, column};
    }
}

// The keyboard moved the selection: the details follow, and the drop-down is
// shown over a cell with several items without taking the focus, so the arrow
// keys go on moving in the grid. F4 or Alt+Down opens it.
void frmMain::cGrid1_SelectionMoved()
{
    cboEditor->hide();
    const int row = cGrid1->SelectedRow();
    if (cGrid1->Rows() < 1 || row < 1)
        return;
    ShowContactDetails(cGrid1->CellText(row, ColContactID));
    const QString items = cellItems(row, cGrid1->SelectedCol());
    if (!items.isEmpty())
        showCellItems(row, cGrid1->SelectedCol(), items, false);
}

// The whole list text behind a phone or mail cell that has several items; ""
// for any other cell.
QString frmMain::cellItems(int row, int column) const
{
    const int source = column == ColFirstPhone ? ColPhones : column == ColFirstMail ? ColMails : 0;
    if (source == 0)
        return QString();
    const QString text = cGrid1->CellText(row, source);
    return IsMultyItems(text) ? text : QString();
}

void frmMain::cGrid1_DblClick(int row, int column)
{
    Q_UNUSED(column);
    if (row < 1 || row > cGrid1->Rows() || inBin() || m_readOnly)
        return;
    EditContact(cGrid1->CellText(row, ColContactID));
}

void frmMain::ShowCellItems(int row, int column, const QString &sTxt)
{
    showCellItems(row, column, sTxt, true);
}

void frmMain::showCellItems(int row, int column, const QString &sTxt, bool takeFocus)
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
    for (int i = 0; layoutDirection() == Qt::RightToLeft && i < cboEditor->count(); ++i)
        cboEditor->setItemText(i, DirectionIsolated(cboEditor->itemText(i)));
    const double boxLeft = left - 16 * tppx;
    const double boxWidth = w + 16 * tppx - 240;
    const int height = cboEditor->sizeHint().height();
    cboEditor->setGeometry(Units::TwipsToPixelsX(boxLeft, this), Units::TwipsToPixelsY(top, this),
                           qMax(0, Units::TwipsToPixelsX(boxWidth, this)), height);
    cboEditor->show();
    cboEditor->raise();
    m_cellItemsClick.invalidate();
    if (takeFocus)
        cboEditor->setFocus(Qt::OtherFocusReason);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cboEditor)
        return cboEditorEvent(event) || QMainWindow::eventFilter(watched, event);
    if (watched == cGrid1->viewport())
        return gridDragEvent(event) || QMainWindow::eventFilter(watched, event);
    if (watched == cGrid1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool open = key->key() == Qt::Key_F4 ||
                          (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier));
        if (open && cGrid1->SelectedRow() > 0) {
            const QString items = cellItems(cGrid1->SelectedRow(), cGrid1->SelectedCol());
            if (!items.isEmpty()) {
                showCellItems(cGrid1->SelectedRow(), cGrid1->SelectedCol(), items, true);
                cboEditor->showPopup();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::cboEditorEvent(QEvent *event)
{
    // Asked only for the events below: the first view() builds the list,
    // which sends this filter events of its own.
    auto popupOpen = [this] { return cboEditor->view() && cboEditor->view()->isVisible(); };
    switch (event->type()) {
    case QEvent::FocusOut:
        // The list of a drop-down that is open holds the focus for it.
        if (!popupOpen())
            cboEditor->hide();
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The second click of a double-click on the cell lands here, on the
        // drop-down the first click laid over it: it opens the contact, as a
        // double-click anywhere else in the list does.
        if (m_cellItemsClick.isValid() && m_cellItemsClick.elapsed() <= QApplication::doubleClickInterval() &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_cellItemsClick.invalidate();
            const QPoint cell = m_cellItemsCell;
            cboEditor->hide();
            cGrid1->setFocus(Qt::MouseFocusReason);
            QMetaObject::invokeMethod(
                this, [this, cell] { cGrid1_DblClick(cell.x(), cell.y()); }, Qt::QueuedConnection);
            return true;
        }
        m_cellItemsClick.invalidate();
        return false;
    case QEvent::KeyPress: {
        if (popupOpen())
            return false;
        // Escape, Left and Right leave the drop-down for the grid: a keyboard
        // user is never held in it.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Escape && key != Qt::Key_Left && key != Qt::Key_Right)
            return false;
        cboEditor->hide();
        cGrid1->setFocus(Qt::OtherFocusReason);
        if (key != Qt::Key_Escape) {
            QKeyEvent copy(QEvent::KeyPress, key, static_cast<QKeyEvent *>(event)->modifiers());
            QCoreApplication::sendEvent(cGrid1, &copy);
        }
        return true;
    }
    default:
        return false;
    }
}

// Tools > Find duplicates: the groups are found on a connection of their own
// while the window shows the progress; the ticked ones merge in one step.
void frmMain::findDuplicates()
{
    if (!SharedDb() || m_readOnly)
        return;
    const QString region = Phone::RegionOr(PhoneRegion());
    const QString path = SharedDb()->path();
    QList<Duplicates::Group> groups;
    QString failure;
    bool completed = false;
    {
        Progress progress(this, QStringLiteral("Looking for contacts that are the same person..."));
        BackgroundWork work([&](const std::atomic<bool> &cancel, std::atomic<qint64> &reached, std::atomic<qint64> &total) {
            try {
                SharedConnection own = Connection::openForReading(path);
                groups = Duplicates::FindDuplicates(*own, region, [&](qint64 done, qint64 all) {
                    reached = done;
                    total = all;
                    return !cancel;
                });
                completed = !cancel;
            } catch (const StoreError &e) {
                failure = e.message();
            }
        });
        work.wait(progress);
    }
    if (!failure.isEmpty()) {
        ReportStoreError(QStringLiteral("The contacts could not be read."), failure);
        return;
    }
    if (!completed)
        return;
    frmDuplicates dlg(this, *SharedDb(), groups, region);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QList<Duplicates::MergeGroup> chosen = dlg.chosen();
    if (chosen.isEmpty())
        return;
    runChange(QStringLiteral("The contacts could not be merged."),
              [&] { return Duplicates::Merge(*SharedDb(), chosen, region); });
}
