#include "controls/cMenu.h"

#include "controls/cImageList.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>
#include <QMenu>
#include <QMenuBar>

cMenu::cMenu(QObject *parent) : QObject(parent) {}

int cMenu::AddItem(const QString &caption, const QString &helpText, qint64 itemData, int parent, int icon,
                   bool checked, bool enabled, const QString &key)
{
    Item item;
    item.caption = caption;
    item.helpText = helpText;
    item.itemData = itemData;
    item.parent = parent;
    item.icon = icon;
    item.checked = checked;
    item.enabled = enabled;
    item.key = key;
    m_items.append(item);
    m_actions.append(nullptr);
    m_menus.append(nullptr);
    return int(m_items.size());
}

int cMenu::IndexForKey(const QString &key) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).key == key)
            return i + 1;
    }
    return 0;
}

void cMenu::SetVisible(int index, bool visible)
{
    if (index < 1 || index > m_items.size())
        return;
    m_items[index - 1].visible = visible;
    if (QAction *a = m_actions.at(index - 1))
        a->setVisible(visible);
}

void cMenu::SetEnabled(int index, bool enabled)
{
    if (index < 1 || index > m_items.size())
        return;
    m_items[index - 1].enabled = enabled;
    if (QAction *a = m_actions.at(index - 1))
        a->setEnabled(enabled);
}

void cMenu::SetCaption(int index, const QString &caption)
{
    if (index < 1 || index > m_items.size())
        return;
    m_items[index - 1].caption = caption;
    if (QAction *a = m_actions.at(index - 1))
        a->setText(caption);
}

void cMenu::SetShortcuts(int index, const QList<QKeySequence> &keys)
{
    if (QAction *a = Action(index)) {
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        // A hidden menu's actions answer their keys only when the window holds them.
        if (m_owner && !m_owner->actions().contains(a))
            m_owner->addAction(a);
    }
}

void cMenu::Popup(int index, const QPoint &globalPos)
{
    if (index < 1 || index > m_menus.size() || !m_menus.at(index - 1))
        return;
    m_menus.at(index - 1)->exec(globalPos);
}

QAction *cMenu::Action(int index) const
{
    if (index < 1 || index > m_actions.size())
        return nullptr;
    return m_actions.at(index - 1);
}

void cMenu::fill(QMenu *menu, int parent)
{
    for (int i = 0; i < m_items.size(); ++i) {
        const Item &item = m_items.at(i);
        if (item.parent != parent)
            continue;
        const int index = i + 1;
        QAction *action = nullptr;
        if (item.caption == QLatin1String("-")) {
            action = menu->addSeparator();
        } else {
            action = menu->addAction(item.caption);
            if (m_images && item.icon >= 0)
                action->setIcon(m_images->Icon(item.icon));
            action->setCheckable(item.checked);
            action->setChecked(item.checked);
            action->setStatusTip(item.helpText);
            connect(action, &QAction::triggered, this, [this, index] { emit Click(index); });
        }
        action->setEnabled(item.enabled);
        action->setVisible(item.visible);
        m_actions[i] = action;
    }
}

void cMenu::BuildMenuBar(QMenuBar *bar)
{
    bar->clear();
    for (int i = 0; i < m_items.size(); ++i) {
        const Item &item = m_items.at(i);
        if (item.parent != 0)
            continue;
        const int index = i + 1;
        auto *menu = new QMenu(item.caption, bar);
        menu->setObjectName(item.key);
        m_menus[i] = menu;
        fill(menu, index);
        QAction *action = bar->addMenu(menu);
        action->setEnabled(item.enabled);
        action->setVisible(item.visible);
        m_actions[i] = action;
        // A top-level item without entries still answers a click.
        if (menu->isEmpty())
            connect(menu, &QMenu::aboutToShow, this, [this, index] { emit Click(index); });
    }
}
