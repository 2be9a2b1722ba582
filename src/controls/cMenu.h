#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QMenu;
class QMenuBar;
class QAction;
class QKeySequence;
class QPoint;
class QWidget;
class cImageList;

// The menu model: items added in order (indexes from 1), top-level items with
// parent 0, "-" captions as separators, "&" marking access keys. BuildMenuBar
// turns it into a menu bar whose clicks come back as Click(index).
class cMenu : public QObject
{
    Q_OBJECT
public:
    struct Item
    {
        QString caption;
        QString helpText;
        qint64 itemData = 0;
        int parent = 0;
        int icon = -1;
        bool checked = false;
        bool enabled = true;
        QString key;
        bool visible = true;
    };

    explicit cMenu(QObject *parent = nullptr);

    void SetOwner(QWidget *owner) { m_owner = owner; }
    void SetImageList(cImageList *images) { m_images = images; }
    int AddItem(const QString &caption, const QString &helpText = QString(), qint64 itemData = 0, int parent = 0,
                int icon = -1, bool checked = false, bool enabled = true, const QString &key = QString());
    // The first item with the key; 0 when none.
    int IndexForKey(const QString &key) const;
    void SetVisible(int index, bool visible);
    void SetEnabled(int index, bool enabled);
    void SetCaption(int index, const QString &caption);
    // Key sequences that run the item from anywhere in the owner window.
    void SetShortcuts(int index, const QList<QKeySequence> &keys);
    int Count() const { return int(m_items.size()); }
    const Item &ItemAt(int index) const { return m_items.at(index - 1); }

    void BuildMenuBar(QMenuBar *bar);
    // Shows a top-level item's entries as a pop-up menu at a point on the
    // screen, hidden item or not; returns when it closes.
    void Popup(int index, const QPoint &globalPos);
    // The action made for an item by BuildMenuBar (tests, accessibility).
    QAction *Action(int index) const;

signals:
    void Click(int index);

private:
    void fill(QMenu *menu, int parent);

    QList<Item> m_items;
    QList<QAction *> m_actions;
    QList<QMenu *> m_menus; // of the top-level items, by index - 1
    QWidget *m_owner = nullptr;
    cImageList *m_images = nullptr;
};
