#include "controls/cToolbarHost.h"

#include <QHBoxLayout>

cToolbarHost::cToolbarHost(QWidget *parent) : QWidget(parent), m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
}

void cToolbarHost::SetToolbar(QWidget *toolbar)
{
    m_layout->addWidget(toolbar);
    m_layout->addStretch(1);
}
