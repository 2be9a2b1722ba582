#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The image in a file, scaled to fit `box` with its proportions kept (and
// turned as the file says); a null image when the file is not a readable image.
QImage LoadFittedImage(const QString &path, const QSize &box);
