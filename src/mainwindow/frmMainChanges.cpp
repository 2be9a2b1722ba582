// What follows a change to the contacts: the tree's letters and categories,
// the list, the Edit menu's Undo and Redo; and the changes made from here:
// removal to the Recycle bin, restore, deletion for good, undo and redo.
#include "controls/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cMenu.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "mainwindow/frmMain.h"
#include "settings/mdlOptions.h"
#include "store/BookSchema.h"
#include "store/ItemList.h"
#include "store/Journal.h"
#include "store/RecycleBin.h"
#include "store/TreeValues.h"
#include "store/mdlMDB.h"
#include "transfer/Transfer.h"

#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include <optional>

bool frmMain::inBin() const
{
    return cTreeView1->SelectedNode() == m_nodeRecycle;
}

// Brings the letter and category nodes up to what the change did; a node
// whose last contact went away goes, a new letter or category comes. The
// selection and expansion stay; a selected node that goes hands the selection
// to All.
void frmMain::followChange(const ChangeSummary &change)
{
    syncAfterChange();
    if (change.many) {
        rereadTree();
        return;
    }
    const bool byFirst = Options().OptSortByFirstName;
    auto adjust = [&](const ChangeSummary::Keys &k, int delta) {
        if (!k.present)
            return;
        countLetter(TreeValues::LetterOf(byFirst ? k.first : k.last), delta);
        countCategory(k.category, delta);
    };
    for (int i = 0; i < change.before.size(); ++i) {
        adjust(change.before.at(i), -1);
        adjust(change.after.at(i), +1);
    }
}

void frmMain::countLetter(const QString &letter, int delta)
{
    if (letter.isEmpty())
        return;
    int &n = m_letterCounts[letter];
    n += delta;
    setChildPresent(m_nodeABC, QStringLiteral("ABC"), letter, n > 0);
    if (n <= 0)
        m_letterCounts.remove(letter);
}

void frmMain::countCategory(const QString &category, int delta)
{
    if (category.isEmpty())
        return;
    int &n = m_categoryCounts[category];
    n += delta;
    setChildPresent(m_nodeCategories, QStringLiteral("CAT"), category, n > 0);
    if (n <= 0)
        m_categoryCounts.remove(category);
}

void frmMain::setChildPresent(QTreeWidgetItem *parent, const QString &kind, const QString &value, bool present)
{
    const QString key = kind + ItemSeparator() + value;
    QTreeWidgetItem *node = cTreeView1->NodeByKey(key);
    if (present && !node) {
        cTreeView1->AddNode(parent, key, value, 3, 3);
        cTreeView1->SortChildren(parent);
    } else if (!present && node) {
        if (cTreeView1->SelectedNode() == node) {
            cTreeView1->SelectNode(m_nodeAll);
            lblTitle->setText(cTreeView::NodeText(m_nodeAll));
        }
        cTreeView1->RemoveNode(node);
    }
}

// Every letter and category counted afresh (after a large change, or a write
// by another program), the nodes brought in line with the counts.
void frmMain::applyTreeCounts(const QHash<QString, int> &letters, const QHash<QString, int> &categories)
{
    auto sync = [this](QTreeWidgetItem *parent, const QString &kind, QHash<QString, int> &counts,
                       const QHash<QString, int> &fresh) {
        for (auto it = counts.begin(); it != counts.end(); ++it) {
            if (!fresh.contains(it.key()))
                setChildPresent(parent, kind, it.key(), false);
        }
        for (auto it = fresh.begin(); it != fresh.end(); ++it)
            setChildPresent(parent, kind, it.key(), true);
        counts = fresh;
    };
    sync(m_nodeABC, QStringLiteral("ABC"), m_letterCounts, letters);
    sync(m_nodeCategories, QStringLiteral("CAT"), m_categoryCounts, categories);
}

qint64 frmMain::selectedContact() const
{
    const int row = cGrid1->SelectedRow();
    if (row < 1 || cGrid1->Rows() == 0)
        return 0;
    return cGrid1->CellText(row, ColContactID).toLongLong();
}

// Runs one change of the store; a failure is told with `failure` and the
// engine's message. What it did reaches the tree, the list and the menu.
void frmMain::runChange(const QString &failure, const std::function<ChangeSummary()> &change)
{
    if (!SharedDb())
        return;
    ChangeSummary done;
    try {
        done = change();
    } catch (const StoreError &e) {
        ReportStoreError(failure, e.message());
        updateCommands();
        return;
    }
    followChange(done);
    // The pane must not go on showing a contact as it was, or one that has
    // left the list it belongs to.
    if (m_detailsContact && (done.many || done.contacts.contains(m_detailsContact)))
        ShowContactDetails(QString::number(m_detailsContact));
    refreshList();
}

// The commands that depend on where the list is (the bin or not) and on what
// can be undone or redone.
void frmMain::updateCommands()
{
    if (!m_cMenu || !tlbrTop)
        return;
    const bool bin = inBin();
    const bool writable = !m_readOnly && SharedDb();
    std::optional<Journal::StepInfo> undo, redo;
    if (writable) {
        try {
            undo = Journal::NextUndo(*SharedDb());
            redo = Journal::NextRedo(*SharedDb());
        } catch (const StoreError &) {
            // Nothing to offer then.
        }
    }
    const int undoItem = m_cMenu->IndexForKey(QStringLiteral("mnuUndo"));
    const int redoItem = m_cMenu->IndexForKey(QStringLiteral("mnuRedo"));
    m_cMenu->SetCaption(undoItem, undo ? QStringLiteral("&Undo ") + undo->name : QStringLiteral("&Undo"));
    m_cMenu->SetCaption(redoItem, redo ? QStringLiteral("&Redo ") + redo->name : QStringLiteral("&Redo"));
    m_cMenu->SetEnabled(undoItem, undo.has_value());
    m_cMenu->SetEnabled(redoItem, redo.has_value());
    for (const char *key : {"mnuRestore", "mnuRCRestore"})
        m_cMenu->SetVisible(m_cMenu->IndexForKey(QLatin1String(key)), bin);
    m_cMenu->SetVisible(m_cMenu->IndexForKey(QStringLiteral("mnuRCEdit")), !bin);
    bool binHasAny = false;
    if (writable) {
        try {
            binHasAny = RecycleBin::Count(*SharedDb()) > 0;
        } catch (const StoreError &) {
        }
    }
    m_cMenu->SetEnabled(m_cMenu->IndexForKey(QStringLiteral("mnuEmptyBin")), binHasAny);
    m_cMenu->SetEnabled(m_cMenu->IndexForKey(QStringLiteral("mnuSyncNow")),
                        writable && m_syncRunner && !m_syncRunner->running());
    m_cMenu->SetEnabled(m_cMenu->IndexForKey(QStringLiteral("mnuSyncAccounts")), writable);
    m_cMenu->SetCaption(m_cMenu->IndexForKey(QStringLiteral("mnuRCRemove")),
                        bin ? QStringLiteral("&Delete for good") : QStringLiteral("&Remove"));
    // In the bin, Remove deletes for good, Restore brings back, Edit is not offered.
    tlbrTop->Button(kRemoveButton)->setText(bin ? QStringLiteral("Delete for good") : QStringLiteral("Remove"));
    tlbrTop->Button(kRemoveButton)->setAccessibleName(tlbrTop->Button(kRemoveButton)->text());
    tlbrTop->SetButtonVisible(kRestoreButton, bin);
    tlbrTop->SetButtonEnabled(kEditButton, !bin && writable);
    tlbrTop->SetButtonEnabled(kAddButton, writable);
    tlbrTop->SetButtonEnabled(kRemoveButton, writable);
    tlbrTop->SetButtonEnabled(kRestoreButton, writable);
}

void frmMain::restoreSelected()
{
    const qint64 id = selectedContact();
    if (id == 0 || !inBin())
        return;
    runChange(QStringLiteral("The contact could not be restored."),
              [id] { return RecycleBin::Restore(*SharedDb(), id); });
}

void frmMain::emptyBin()
{
    if (!SharedDb())
        return;
    int count = 0;
    try {
        count = RecycleBin::Count(*SharedDb());
    } catch (const StoreError &e) {
        ReportStoreError(QStringLiteral("The Recycle bin could not be read."), e.message());
        return;
    }
    if (count == 0) {
        MsgBox::Inform(this, QStringLiteral("The Recycle bin is empty."));
        return;
    }
    if (!MsgBox::AskYesNo(this, QStringLiteral("Delete the %1 contacts in the Recycle bin for good?\n\n"
                                               "Undo can still bring them back.")
                                    .arg(count)))
        return;
    runChange(QStringLiteral("The Recycle bin could not be emptied."), [] { return RecycleBin::Empty(*SharedDb()); });
}

// Another program (or another Ardentia) wrote the book: its side tables are
// brought in line, and the tree and the list show what is there now.
void frmMain::checkOutsideChanges()
{
    if (!SharedDb() || IsFilling() || Transfer::Writing())
        return;
    qint64 version = -1;
    try {
        version = SharedDb()->dataVersion();
    } catch (const StoreError &) {
        // Looked at again at the next tick.
    }
    if (version == m_dataVersion)
        return;
    const bool first = m_dataVersion < 0;
    m_dataVersion = version;
    if (first)
        return;
    if (!m_readOnly) {
        try {
            // Contacts added or deleted need their side rows; a change to a
            // contact does not (the triggers mark it for the search), and the
            // walk through every table would hold a large book's window.
            if (BookSchema::ChangedOutside(*SharedDb())) {
                BookSchema::Reconcile(*SharedDb());
                BookSchema::NoteState(*SharedDb());
            }
            SharedDb()->setLookedIntoVersion(version);
        } catch (const StoreError &) {
            // The next look tries again.
            m_dataVersion = -1;
            return;
        }
    }
    rereadTree();
    if (m_detailsContact)
        ShowContactDetails(QString::number(m_detailsContact));
    refreshList();
}

// A right click on a row selects it and offers the row's commands.
void frmMain::showRowMenu(const QPoint &pos)
{
    const QModelIndex index = cGrid1->indexAt(pos);
    if (index.isValid())
        cGrid1->SetSelectedRow(index.row() + 1);
    updateCommands();
    m_cMenu->Popup(m_cMenu->IndexForKey(QStringLiteral("mnuRC")), cGrid1->viewport()->mapToGlobal(pos));
}
