#pragma once

#include <QTreeWidget>

class cImageList;

// A tree of nodes with unique keys. Node handles are the tree's items.
class cTreeView : public QTreeWidget
{
    Q_OBJECT
public:
    using Node = QTreeWidgetItem;

    explicit cTreeView(QWidget *parent = nullptr);

    // Adds a node as the last child of `parent` (or at the top); null when the
    // key is already taken.
    Node *AddNode(Node *parent, const QString &key, const QString &text, int image = -1, int selectedImage = -1);
    void Expand(Node *node, bool expanded = true);
    void SelectNode(Node *node);
    void SortChildren(Node *node);
    Node *SelectedNode() const;
    Node *NodeByKey(const QString &key) const;
    static QString NodeKey(const Node *node);
    static QString NodeText(const Node *node);
    void ClearNodes();
    // Removes the node (and its children) without a NodeClick.
    void RemoveNode(Node *node);
    void SetImageList(cImageList *images) { m_images = images; }

signals:
    void NodeClick(QTreeWidgetItem *node);

private:
    void updateIcon(Node *node, bool selected);

    cImageList *m_images = nullptr;
    QHash<QString, Node *> m_keys;
    bool m_programmatic = false;
};
