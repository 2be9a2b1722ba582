#pragma once

#include <QColor>

class QWidget;

// Window positions and sizes are kept in twips (1/1440 inch); colours as
// 32-bit 0x00BBGGRR values, where 0x80000000 + n names the system's colour n.
namespace Units {

// Twips per pixel at the logical DPI of the widget's screen (15 at 96 DPI).
double TwipsPerPixelX(const QWidget *w = nullptr);
double TwipsPerPixelY(const QWidget *w = nullptr);

int TwipsToPixelsX(double twips, const QWidget *w = nullptr);
int TwipsToPixelsY(double twips, const QWidget *w = nullptr);
double PixelsToTwipsX(int pixels, const QWidget *w = nullptr);
double PixelsToTwipsY(int pixels, const QWidget *w = nullptr);

// Places `w` within its parent at a rectangle given in twips; a width or
// height below 0 keeps the widget's size hint. In a parent that reads from
// right to left the rectangle is mirrored within the parent's width.
void PlaceTwips(QWidget *w, double left, double top, double width = -1, double height = -1);

QColor ColorFromBgr(qint64 value);
qint32 BgrFromColor(const QColor &color);

} // namespace Units
