#include "controls/Picture.h"

#include <QImageReader>

QImage LoadFittedImage(const QString &path, const QSize &box)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize original = reader.size();
    if (original.isValid() && box.isValid() && !box.isEmpty())
        reader.setScaledSize(original.scaled(box, Qt::KeepAspectRatio));
    return reader.read();
}
