#include "app/twips.h"

#include <QWidget>

#include <cmath>

namespace twips {

double perPixel(const QWidget *widget)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

int toPixels(double value, const QWidget *widget)
{
    return int(std::lround(value / perPixel(widget)));
}

double fromPixels(int pixels, const QWidget *widget)
{
    return pixels * perPixel(widget);
}

QRect toPixels(const layout::TwipRect &rect, const QWidget *widget)
{
    return QRect(toPixels(rect.left, widget), toPixels(rect.top, widget),
                 toPixels(rect.width, widget), toPixels(rect.height, widget));
}

void place(QWidget *widget, const layout::TwipRect &rect)
{
    widget->setGeometry(toPixels(rect, widget));
}

} // namespace twips
