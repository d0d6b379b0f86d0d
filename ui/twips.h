#pragma once

class QWidget;
class QRect;

namespace tellavo {

// A control's place in twips: left, top, width, height.
struct TwipRect {
    int left, top, width, height;
};

// Window geometry is kept in twips (1/1440 inch); this converts to and from
// device-independent pixels through the screen's logical DPI, which gives 15
// twips per pixel at 96 DPI.
struct TwipScale {
    double perPixelX = 15.0;
    double perPixelY = 15.0;

    static TwipScale forDpi(double dpiX, double dpiY);
    // The widget's screen's, else the primary screen's; 96 DPI when there is none.
    static TwipScale forWidget(const QWidget* widget);

    int toPixelsX(double twips) const { return toPixels(twips, perPixelX); }
    int toPixelsY(double twips) const { return toPixels(twips, perPixelY); }
    double toTwipsX(int pixels) const { return pixels * perPixelX; }
    double toTwipsY(int pixels) const { return pixels * perPixelY; }

    // Each of the four converted on its own, as the controls' places are.
    QRect toPixels(const TwipRect& r) const;

    // Rounded half to even; clamped to a range where pixel arithmetic cannot overflow.
    static int toPixels(double twips, double perPixel);
};

}  // namespace tellavo
