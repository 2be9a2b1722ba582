#include "controls/cImageList.h"

#include "controls/Resources.h"

#include <QFile>

cImageList::cImageList(QObject *parent, QSize size) : QObject(parent), m_size(size) {}

int cImageList::Add(const QString &resourcePath)
{
    EnsureResources();
    m_icons.append(!resourcePath.isEmpty() && QFile::exists(resourcePath) ? QIcon(resourcePath) : QIcon());
    return int(m_icons.size() - 1);
}

QIcon cImageList::Icon(int index) const
{
    if (index < 0 || index >= m_icons.size())
        return QIcon();
    return m_icons.at(index);
}
