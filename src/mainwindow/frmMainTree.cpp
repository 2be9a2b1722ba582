#include "controls/cGrid.h"
#include "controls/cTreeView.h"
#include "mainwindow/TreeLoader.h"
#include "mainwindow/frmMain.h"
#include "settings/mdlOptions.h"
#include "store/ItemList.h"
#include "store/Statements.h"
#include "store/TreeValues.h"
#include "store/mdlMDB.h"

#include <QFileInfo>
#include <QLabel>

namespace {
// A book this large (bytes of its file) has its letters and categories
// gathered beside the window rather than before it shows (TreeLoader); a
// smaller book is read at once, in a few milliseconds.
constexpr qint64 kBackgroundTreeBytes = 4 << 20;
const QString kLoaderName = QStringLiteral("treeValuesLoader");
} // namespace

void frmMain::setTree()
{
    // A reading still under way belongs to the tree being replaced.
    stopTreeReading();
    cTreeView1->ClearNodes();
    m_nodeRoot = cTreeView1->AddNode(nullptr, QStringLiteral("CONTACTS:*:MAIN"), QStringLiteral("Contacts"), 0, -1);
    m_nodeAll = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("ALL:*:MAIN"), QStringLiteral("All"), 0, 0);
    m_nodeABC = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("ABC:*:MAIN"), QStringLiteral("ABC"), 1, 1);
    m_nodeCategories =
        cTreeView1->AddNode(m_nodeRoot, QStringLiteral("CAT:*:MAIN"), QStringLiteral("Categories"), 2, 2);
    m_nodeRecycle = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("RECYCLE:*:MAIN"), QStringLiteral("Recycle"), 4, 4);
    m_letterCounts.clear();
    m_categoryCounts.clear();
    // A small book's letters and categories are read at once; a large book's
    // come in beside the window (TreeLoader).
    if (SharedDb()) {
        const QString letterColumn =
            Options().OptSortByFirstName ? QStringLiteral("First_Name") : QStringLiteral("Last_Name");
        if (QFileInfo(SharedDb()->path()).size() >= kBackgroundTreeBytes) {
            rereadTree();
        } else {
            AddABCToTreeView(m_nodeABC, 3, letterColumn);
            AddCategoriesToTreeView(m_nodeCategories, 3, QStringLiteral("Category"));
        }
    }
    cTreeView1->Expand(m_nodeRoot);
}

void frmMain::AddABCToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem)
{
    Q_UNUSED(ImgAsIndex);
    if (!tvNode || !SharedDb())
        return;
    TreeValues values;
    values.collect(*SharedDb(), sItem, QString());
    applyTreeCounts(values.letterCounts(), m_categoryCounts);
}

void frmMain::AddCategoriesToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem)
{
    Q_UNUSED(ImgAsIndex);
    if (!tvNode || !SharedDb())
        return;
    TreeValues values;
    values.collect(*SharedDb(), QString(), sItem);
    applyTreeCounts(m_letterCounts, values.categoryCounts());
}

void frmMain::stopTreeReading()
{
    delete cTreeView1->findChild<QObject *>(kLoaderName, Qt::FindDirectChildrenOnly);
}

// The letters and categories read again, beside the window, and the nodes
// brought in line with them (after a large change, or another program's).
void frmMain::rereadTree()
{
    if (!SharedDb())
        return;
    // A reading still under way is out of date.
    stopTreeReading();
    const QString letterColumn =
        Options().OptSortByFirstName ? QStringLiteral("First_Name") : QStringLiteral("Last_Name");
    auto *loader = new TreeLoader(cTreeView1->viewport(), SharedDb()->path(), letterColumn, cTreeView1);
    loader->setObjectName(kLoaderName);
    connect(loader, &TreeLoader::ready, this,
            [this, loader](const QHash<QString, int> &letters, const QHash<QString, int> &categories) {
                applyTreeCounts(letters, categories);
                loader->deleteLater();
            });
}

// After a change: the list shows what the selected node stands for again.
void frmMain::refreshList()
{
    cTreeView1_NodeClick(cTreeView1->SelectedNode());
}

void frmMain::cTreeView1_NodeClick(QTreeWidgetItem *node)
{
    if (!node)
        return;
    const QString key = cTreeView::NodeKey(node);
    const qsizetype at = key.indexOf(ItemSeparator());
    const QString kind = at < 0 ? key : key.left(at);
    const QString value = at < 0 ? QString() : key.mid(at + ItemSeparator().size());

    cTreeView1->SelectNode(node);
    lblTitle->setText(cTreeView::NodeText(node));
    if (m_searchBarShown) {
        PicSearch->hide();
        m_searchBarShown = false;
        Form_Resize();
    }

    // The bin's own column shows in the bin only.
    cGrid1->setColumnHidden(ColRemoved - 1, kind != QLatin1String("RECYCLE"));
    if (kind == QLatin1String("ALL")) {
        FillList(Statements::AllContacts());
    } else if (kind == QLatin1String("RECYCLE")) {
        FillList(Statements::BinContents());
    } else if (kind == QLatin1String("ABC") && value != QLatin1String("MAIN")) {
        FillList(Options().OptSortByFirstName ? Statements::FirstNameLike(value) : Statements::LastNameLike(value));
    } else if (kind == QLatin1String("CAT") && value != QLatin1String("MAIN")) {
        FillList(Statements::ContactsInCategory(value));
    }
    // Any other node leaves the list as it is.
    updateCommands();
}
