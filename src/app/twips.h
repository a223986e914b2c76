#pragma once
#include "app/layout.h"

#include <QRect>

class QWidget;

// Twips (1/1440 inch) and pixels at the screen's logical DPI: 15 twips make
// one pixel at 96 DPI.
namespace twips {

double perPixel(const QWidget *widget);
int toPixels(double value, const QWidget *widget);
double fromPixels(int pixels, const QWidget *widget);
QRect toPixels(const layout::TwipRect &rect, const QWidget *widget);
void place(QWidget *widget, const layout::TwipRect &rect);

} // namespace twips
