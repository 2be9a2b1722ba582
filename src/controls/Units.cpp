#include "controls/Units.h"

#include <QApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace {
double dpi(const QWidget *w, bool horizontal)
{
    const QScreen *s = (w && w->screen()) ? w->screen() : QGuiApplication::primaryScreen();
    const double d = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
    return d > 0 ? d : 96.0;
}

// The classic system colour indexes, mapped to the palette roles that play the same part.
QColor systemColor(int index)
{
    const QPalette p = QApplication::palette();
    switch (index) {
    case 5: return p.color(QPalette::Base);                 // window background
    case 8: return p.color(QPalette::Text);                 // window text
    case 13: return p.color(QPalette::Highlight);
    case 14: return p.color(QPalette::HighlightedText);
    case 15: return p.color(QPalette::Button);              // button face
    case 16: return p.color(QPalette::Dark);                // button shadow
    case 17: return p.color(QPalette::Disabled, QPalette::Text);
    case 18: return p.color(QPalette::ButtonText);
    case 20: return p.color(QPalette::Light);               // button highlight
    case 21: return p.color(QPalette::Shadow);
    case 24: return p.color(QPalette::ToolTipBase);
    case 23: return p.color(QPalette::ToolTipText);
    default: return p.color(QPalette::Window);
    }
}
} // namespace

namespace Units {

double TwipsPerPixelX(const QWidget *w)
{
    return 1440.0 / dpi(w, true);
}

double TwipsPerPixelY(const QWidget *w)
{
    return 1440.0 / dpi(w, false);
}

int TwipsToPixelsX(double twips, const QWidget *w)
{
    return int(std::lround(twips / TwipsPerPixelX(w)));
}

int TwipsToPixelsY(double twips, const QWidget *w)
{
    return int(std::lround(twips / TwipsPerPixelY(w)));
}

double PixelsToTwipsX(int pixels, const QWidget *w)
{
    return pixels * TwipsPerPixelX(w);
}

double PixelsToTwipsY(int pixels, const QWidget *w)
{
    return pixels * TwipsPerPixelY(w);
}

void PlaceTwips(QWidget *w, double left, double top, double width, double height)
{
    const QSize hint = w->sizeHint();
    QRect r(TwipsToPixelsX(left, w), TwipsToPixelsY(top, w),
            qMax(0, width < 0 ? hint.width() : TwipsToPixelsX(width, w)),
            qMax(0, height < 0 ? hint.height() : TwipsToPixelsY(height, w)));
    const QWidget *parent = w->parentWidget();
    if (parent && parent->layoutDirection() == Qt::RightToLeft)
        r.moveLeft(parent->width() - r.right() - 1);
    w->setGeometry(r);
}

QColor ColorFromBgr(qint64 value)
{
    const quint32 v = quint32(value);
    if (v & 0x80000000u)
        return systemColor(int(v & 0xFFFF));
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

qint32 BgrFromColor(const QColor &color)
{
    return qint32(color.red() | (color.green() << 8) | (color.blue() << 16));
}

} // namespace Units
