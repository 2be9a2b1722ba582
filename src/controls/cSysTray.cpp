#include "controls/cSysTray.h"

#include "context/AppContext.h"

#include <QFileInfo>
#include <QIcon>
#include <QSystemTrayIcon>

cSysTray::cSysTray(QObject *parent) : QObject(parent) {}

cSysTray::~cSysTray()
{
    Remove();
}

void cSysTray::Show(const QString &tooltip, const QString &iconFile)
{
    m_tooltip = tooltip;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    // A bare file name is one of the files shipped with the program.
    QString path = iconFile;
    if (QFileInfo(path).isRelative())
        path = ShippedFilePath(iconFile);
    if (!m_icon)
        m_icon = new QSystemTrayIcon(this);
    m_icon->setIcon(QIcon(path));
    m_icon->setToolTip(tooltip);
    m_icon->show();
}

void cSysTray::Remove()
{
    if (m_icon) {
        m_icon->hide();
        delete m_icon;
        m_icon = nullptr;
    }
}

bool cSysTray::IsShown() const
{
    return m_icon && m_icon->isVisible();
}
