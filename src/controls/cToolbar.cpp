#include "controls/cToolbar.h"

#include "controls/cImageList.h"
#include "controls/cMenu.h"

#include <QAction>
#include <QMenuBar>
#include <QToolButton>

cToolbar::cToolbar(QWidget *parent) : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
}

void cToolbar::CreateToolbar(int buttonWidth, bool captionsWithImages)
{
    m_buttonWidth = buttonWidth;
    setToolButtonStyle(captionsWithImages ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    if (m_images)
        setIconSize(m_images->IconSize());
}

int cToolbar::AddButton(const QString &caption, const QString &tooltip, int image, bool separator)
{
    QAction *action;
    if (separator) {
        action = addSeparator();
    } else {
        action = addAction(m_images ? m_images->Icon(image) : QIcon(), caption);
        // A button shows its action's icon text, which Qt derives from the text
        // with the blanks trimmed: a padded caption must be given as it is.
        if (caption != caption.trimmed())
            action->setIconText(caption);
        action->setToolTip(tooltip.isEmpty() ? caption.trimmed() : tooltip);
        if (QToolButton *b = qobject_cast<QToolButton *>(widgetForAction(action))) {
            b->setMinimumWidth(m_buttonWidth);
            b->setObjectName(QStringLiteral("button_") + caption.trimmed());
            b->setAccessibleName(caption.trimmed());
        }
    }
    const int index = int(m_buttons.size());
    m_buttons.append(action);
    connect(action, &QAction::triggered, this, [this, index] { emit ButtonClick(index); });
    return index;
}

void cToolbar::SetButtonEnabled(int index, bool enabled)
{
    if (index >= 0 && index < m_buttons.size())
        m_buttons.at(index)->setEnabled(enabled);
}

void cToolbar::SetButtonVisible(int index, bool visible)
{
    if (index >= 0 && index < m_buttons.size())
        m_buttons.at(index)->setVisible(visible);
}

QToolButton *cToolbar::Button(int index) const
{
    if (index < 0 || index >= m_buttons.size())
        return nullptr;
    return qobject_cast<QToolButton *>(widgetForAction(m_buttons.at(index)));
}

QMenuBar *cToolbar::CreateFromMenu(cMenu *menu)
{
    auto *bar = new QMenuBar(this);
    bar->setNativeMenuBar(false);
    menu->BuildMenuBar(bar);
    addWidget(bar);
    return bar;
}
