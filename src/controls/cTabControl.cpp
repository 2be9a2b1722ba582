#include "controls/cTabControl.h"

#include "controls/cImageList.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

cTabControl::cTabControl(QWidget *parent) : QWidget(parent), m_bar(new QTabBar(this))
{
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index < m_keys.size())
            emit TabSelected(m_keys.at(index));
    });
}

void cTabControl::AddTab(const QString &key, const QString &caption, int image)
{
    m_keys.append(key);
    const QSignalBlocker block(m_bar);
    const int at = m_bar->addTab(m_images ? m_images->Icon(image) : QIcon(), caption);
    m_bar->setTabData(at, key);
    m_bar->resize(m_bar->sizeHint().width(), m_bar->sizeHint().height());
}

QRect cTabControl::ClientRect() const
{
    const int top = m_bar->sizeHint().height();
    const QRect inner(0, top, width(), height() - top);
    return inner.adjusted(3, 3, -3, -3).translated(pos());
}

QString cTabControl::SelectedKey() const
{
    const int i = m_bar->currentIndex();
    return i >= 0 && i < m_keys.size() ? m_keys.at(i) : QString();
}

void cTabControl::SelectTab(const QString &key)
{
    const int i = int(m_keys.indexOf(key));
    if (i >= 0)
        m_bar->setCurrentIndex(i);
}

void cTabControl::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionTabWidgetFrame opt;
    opt.initFrom(this);
    const int top = m_bar->sizeHint().height();
    opt.rect = QRect(0, top - 1, width(), height() - top + 1);
    opt.tabBarSize = m_bar->sizeHint();
    opt.shape = QTabBar::RoundedNorth;
    p.drawPrimitive(QStyle::PE_FrameTabWidget, opt);
}

void cTabControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_bar->setGeometry(0, 0, qMin(width(), m_bar->sizeHint().width()), m_bar->sizeHint().height());
}
