#include "controls/cReBar.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

cReBar::cReBar(QWidget *parent) : QWidget(parent), m_lines(new QVBoxLayout(this))
{
    m_lines->setContentsMargins(0, 0, 0, 0);
    m_lines->setSpacing(0);
    m_lines->setSizeConstraint(QLayout::SetMinimumSize);
}

void cReBar::AddBand(const QString &key, QWidget *child, bool newLine, bool fixedSize, int minWidth)
{
    if (newLine || !m_current) {
        m_current = new QHBoxLayout();
        m_current->setContentsMargins(2, 0, 2, 0);
        m_current->setSpacing(4);
        m_lines->addLayout(m_current);
    }
    // The child keeps its own name; the band is found by its key.
    child->setParent(this);
    // A band with a minimum width (the menu band asks for 4000 pixels, to take
    // its whole line) stretches over its line rather than being made that
    // wide: a widget wider than the window pushes a mirrored line's content
    // out of sight.
    m_current->addWidget(child, fixedSize || minWidth > 0 ? 1 : 0);
    if (!fixedSize)
        m_current->addStretch(1);
    m_bands.insert(key, child);
}

QWidget *cReBar::Band(const QString &key) const
{
    return m_bands.value(key, nullptr);
}

int cReBar::UpdateSize()
{
    m_lines->activate();
    const int h = m_lines->sizeHint().height();
    if (h != m_lastHeight) {
        m_lastHeight = h;
        emit HeightChanged(h);
    }
    return h;
}
