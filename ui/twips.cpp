#include "twips.h"

#include "rounding.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace tellavo {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kDefaultDpi = 96.0;
constexpr double kPixelLimit = 1 << 24;  // far beyond any screen, far below INT_MAX

double perPixel(double dpi)
{
    if (!std::isfinite(dpi) || dpi <= 0.0)
        dpi = kDefaultDpi;
    return kTwipsPerInch / dpi;
}
}  // namespace

TwipScale TwipScale::forDpi(double dpiX, double dpiY)
{
    return TwipScale{perPixel(dpiX), perPixel(dpiY)};
}

TwipScale TwipScale::forWidget(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return forDpi(kDefaultDpi, kDefaultDpi);
    return forDpi(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

QRect TwipScale::toPixels(const TwipRect& r) const
{
    return QRect(toPixelsX(r.left), toPixelsY(r.top), toPixelsX(r.width), toPixelsY(r.height));
}

int TwipScale::toPixels(double twips, double perPixel)
{
    double px = roundHalfEven(twips / perPixel);
    if (std::isnan(px))
        return 0;
    if (px > kPixelLimit)
        px = kPixelLimit;
    if (px < -kPixelLimit)
        px = -kPixelLimit;
    return static_cast<int>(px);
}

}  // namespace tellavo
