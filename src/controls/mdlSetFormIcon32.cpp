#include "controls/mdlSetFormIcon32.h"

#include "controls/Resources.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

QIcon ResourceIcon(const QString &resourceName)
{
    EnsureResources();
    const QString path = QStringLiteral(":/icons/%1.svg").arg(resourceName);
    if (!QFile::exists(path))
        return QIcon();
    return QIcon(path);
}

void SetFormIcon(QWidget *window, const QString &resourceName, bool setOwnerToo)
{
    const QIcon icon = ResourceIcon(resourceName);
    if (icon.isNull())
        return;
    if (setOwnerToo) {
        QWidget *top = window;
        while (top && top->parentWidget())
            top = top->parentWidget()->window();
        if (top && top != window)
            top->setWindowIcon(icon);
        QApplication::setWindowIcon(icon);
    }
    if (window)
        window->setWindowIcon(icon);
}
