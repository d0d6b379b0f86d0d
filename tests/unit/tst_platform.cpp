// Twips and pixels, the choice of the Qt platform, who places the strip and
// where it may stay.
#include "data_row.h"
#include "display_platform.h"
#include "screen_place.h"
#include "twips.h"
#include "window_stacking.h"

#include <QTest>

using tellavo::test::row;

using namespace tellavo;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void twipsToPixels_data();
    void twipsToPixels();
    void preferredPlatform_data();
    void preferredPlatform();
    void placementFor_data();
    void placementFor();
    void wholeOnScreens_data();
    void wholeOnScreens();
};

void TestPlatform::twipsToPixels_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("twips");
    QTest::addColumn<int>("pixels");
    row("96: layout 1 width", 96.0, 1965.0, 131);
    row("96: layout 1 height 18.67", 96.0, 280.0, 19);
    row("96: layout 2 height", 96.0, 255.0, 17);
    row("96: 100 twips", 96.0, 100.0, 7);
    row("96: half goes even (7.5)", 96.0, 112.5, 8);
    row("96: half goes even (6.5)", 96.0, 97.5, 6);
    row("96: negative", 96.0, -120.0, -8);
    row("120: layout 1 width", 120.0, 1965.0, 164);  // 163.75
    row("144: layout 1 height", 144.0, 280.0, 28);
    row("192: layout 3 height", 192.0, 1365.0, 182);
    row("no dpi reads as 96", 0.0, 1965.0, 131);
    row("huge clamped", 96.0, 1e30, (1 << 24));
    row("-huge clamped", 96.0, -1e30, -(1 << 24));
    row("nan is 0", 96.0, std::nan(""), 0);
}

void TestPlatform::twipsToPixels()
{
    QFETCH(double, dpi);
    QFETCH(double, twips);
    QFETCH(int, pixels);
    const TwipScale scale = TwipScale::forDpi(dpi, dpi);
    QCOMPARE(scale.toPixelsX(twips), pixels);
    QCOMPARE(scale.toPixelsY(twips), pixels);
}

void TestPlatform::preferredPlatform_data()
{
    QTest::addColumn<QByteArray>("qpa");
    QTest::addColumn<QByteArray>("session");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("choice");
    row("wayland session with X", QByteArray(), QByteArray("wayland"), QByteArray("wayland-0"),
        QByteArray(":0"), QByteArray("xcb"));
    row("wayland display only", QByteArray(), QByteArray(), QByteArray("wayland-0"),
        QByteArray(":1"), QByteArray("xcb"));
    row("explicit platform wins", QByteArray("wayland"), QByteArray("wayland"),
        QByteArray("wayland-0"), QByteArray(":0"), QByteArray());
    row("no X display", QByteArray(), QByteArray("wayland"), QByteArray("wayland-0"), QByteArray(),
        QByteArray());
    row("x11 session", QByteArray(), QByteArray("x11"), QByteArray(), QByteArray(":0"),
        QByteArray());
}

void TestPlatform::preferredPlatform()
{
    QFETCH(QByteArray, qpa);
    QFETCH(QByteArray, session);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, choice);
    QCOMPARE(tellavo::preferredPlatform(qpa, session, wayland, display), choice);
}

// Names as the window managers set them on their _NET_SUPPORTING_WM_CHECK window.
void TestPlatform::placementFor_data()
{
    using stacking::Placement;
    QTest::addColumn<QByteArray>("wmName");
    QTest::addColumn<Placement>("placement");
    row("sway, labwc, wayfire (wlroots)", QByteArray("wlroots wm"), Placement::SelfPlaced);
    row("openbox", QByteArray("Openbox"), Placement::Managed);
    row("xfwm4", QByteArray("Xfwm4"), Placement::Managed);
    row("i3", QByteArray("i3"), Placement::Managed);
    row("mutter, X11 or Xwayland", QByteArray("Mutter"), Placement::Managed);
    row("GNOME Shell", QByteArray("GNOME Shell"), Placement::Managed);
    row("KWin", QByteArray("KWin"), Placement::Managed);
    row("no window manager", QByteArray(), Placement::Managed);
    row("wlroots only inside the name", QByteArray("not wlroots"), Placement::Managed);
    row("case differs", QByteArray("WLROOTS WM"), Placement::Managed);
}

void TestPlatform::placementFor()
{
    QFETCH(QByteArray, wmName);
    QFETCH(stacking::Placement, placement);
    QCOMPARE(stacking::placementFor(wmName), placement);
}

// The strip is 131 by 19 pixels at 96 DPI.
void TestPlatform::wholeOnScreens_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QList<QRect>>("areas");
    QTest::addColumn<QPoint>("kept");
    const QList<QRect> laptop{{0, 0, 1024, 768}};
    // A larger monitor right of the laptop, their tops in line.
    const QList<QRect> pair{{0, 0, 1024, 768}, {1024, 0, 1280, 1024}};
    const QList<QRect> apart{{0, 0, 800, 600}, {1000, 0, 800, 600}};
    // The monitor left of the primary screen, at negative coordinates.
    const QList<QRect> leftOf{{-1280, 0, 1280, 1024}, {0, 0, 1024, 768}};
    row("inside: kept", QPoint(100, 100), laptop, QPoint(100, 100));
    row("30000 twips: the corner", QPoint(2000, 2000), laptop, QPoint(893, 749));
    row("one row of pixels on", QPoint(1011, 767), laptop, QPoint(893, 749));
    row("left of the screen", QPoint(-50, 300), laptop, QPoint(0, 300));
    row("under a top panel", QPoint(100, 10), QList<QRect>{{0, 24, 1024, 744}}, QPoint(100, 24));
    row("across two screens: kept", QPoint(1000, 100), pair, QPoint(1000, 100));
    row("below the shorter one: its edge", QPoint(500, 760), pair, QPoint(500, 749));
    row("below the shorter one, next to the taller", QPoint(1000, 900), pair, QPoint(1024, 900));
    row("in a gap, nearer the right", QPoint(850, 100), apart, QPoint(1000, 100));
    row("negative origin: kept", QPoint(-1000, 500), leftOf, QPoint(-1000, 500));
    row("left of a negative origin", QPoint(-1300, 500), leftOf, QPoint(-1280, 500));
    row("across, half below the primary", QPoint(-60, 900), leftOf, QPoint(-131, 900));
    row("larger than the screen", QPoint(50, 50), QList<QRect>{{0, 0, 100, 10}}, QPoint(0, 0));
    row("an area with no size is no screen", QPoint(2000, 2000),
        QList<QRect>{QRect(), {0, 0, 1024, 768}}, QPoint(893, 749));
    row("no screen: left where it is", QPoint(2000, 2000), QList<QRect>{}, QPoint(2000, 2000));
}

void TestPlatform::wholeOnScreens()
{
    QFETCH(QPoint, at);
    QFETCH(QList<QRect>, areas);
    QFETCH(QPoint, kept);
    QCOMPARE(screen_place::wholeOnScreens(QRect(at, QSize(131, 19)), areas), kept);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
