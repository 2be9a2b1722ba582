#include "controls/cTreeView.h"

#include "controls/cImageList.h"

#include <QApplication>
#include <QCollator>

#include <algorithm>
#include <QHeaderView>

namespace {
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kSelectedImageRole = Qt::UserRole + 3;
} // namespace

cTreeView::cTreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        if (item)
            emit NodeClick(item);
    });
    // Moving with the keyboard chooses a node as a click does.
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current, QTreeWidgetItem *previous) {
        if (previous)
            updateIcon(previous, false);
        if (current)
            updateIcon(current, true);
        if (current && !m_programmatic && QApplication::mouseButtons() == Qt::NoButton)
            emit NodeClick(current);
    });
}

cTreeView::Node *cTreeView::AddNode(Node *parent, const QString &key, const QString &text, int image,
                                     int selectedImage)
{
    if (m_keys.contains(key))
        return nullptr;
    auto *node = new QTreeWidgetItem();
    node->setText(0, text);
    node->setData(0, kKeyRole, key);
    node->setData(0, kImageRole, image);
    node->setData(0, kSelectedImageRole, selectedImage);
    node->setData(0, Qt::AccessibleTextRole, text);
    if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
    m_keys.insert(key, node);
    updateIcon(node, false);
    return node;
}

void cTreeView::updateIcon(Node *node, bool selected)
{
    if (!m_images || !node)
        return;
    int image = node->data(0, kImageRole).toInt();
    const int sel = node->data(0, kSelectedImageRole).toInt();
    if (selected && sel >= 0)
        image = sel;
    node->setIcon(0, m_images->Icon(image));
}

void cTreeView::Expand(Node *node, bool expanded)
{
    if (node)
        node->setExpanded(expanded);
}

void cTreeView::SelectNode(Node *node)
{
    if (!node)
        return;
    m_programmatic = true;
    setCurrentItem(node);
    m_programmatic = false;
}

void cTreeView::SortChildren(Node *node)
{
    if (!node)
        return;
    // Ascending text order as a reader expects it: by the user's locale, letter
    // case second; texts that compare equal keep their order.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Taking the children out moves the selection: it is put back, and no
    // one hears of the moves in between.
    QTreeWidgetItem *selected = currentItem();
    m_programmatic = true;
    QList<QTreeWidgetItem *> children = node->takeChildren();
    std::stable_sort(children.begin(), children.end(), [&](QTreeWidgetItem *a, QTreeWidgetItem *b) {
        const int c = collator.compare(a->text(0), b->text(0));
        return c != 0 ? c < 0 : a->text(0) < b->text(0);
    });
    node->addChildren(children);
    if (selected && currentItem() != selected)
        setCurrentItem(selected);
    m_programmatic = false;
}

void cTreeView::RemoveNode(Node *node)
{
    if (!node)
        return;
    m_programmatic = true;
    // The node's own children go with it.
    QList<Node *> gone{node};
    for (qsizetype i = 0; i < gone.size(); ++i) {
        m_keys.remove(NodeKey(gone.at(i)));
        for (int c = 0; c < gone.at(i)->childCount(); ++c)
            gone.append(gone.at(i)->child(c));
    }
    delete node;
    m_programmatic = false;
}

cTreeView::Node *cTreeView::SelectedNode() const
{
    return currentItem();
}

cTreeView::Node *cTreeView::NodeByKey(const QString &key) const
{
    return m_keys.value(key, nullptr);
}

QString cTreeView::NodeKey(const Node *node)
{
    return node ? node->data(0, kKeyRole).toString() : QString();
}

QString cTreeView::NodeText(const Node *node)
{
    return node ? node->text(0) : QString();
}

void cTreeView::ClearNodes()
{
    m_programmatic = true;
    clear();
    m_keys.clear();
    m_programmatic = false;
}
