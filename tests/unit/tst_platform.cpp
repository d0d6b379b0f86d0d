// Twips and pixels, the choice of the Qt platform and of who places the strip.
#include "display_platform.h"
#include "twips.h"
#include "upower_power_source.h"
#include "window_stacking.h"

#include <QTemporaryDir>

#include <QTest>

using namespace tellavo;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void twipsToPixels_data();
    void twipsToPixels();
    void preferredPlatform_data();
    void preferredPlatform();
    void systemBusAbsent_data();
    void systemBusAbsent();
    void placementFor_data();
    void placementFor();
};

void TestPlatform::twipsToPixels_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("96: layout 1 width") << 96.0 << 1965.0 << 131;
    QTest::newRow("96: layout 1 height 18.67") << 96.0 << 280.0 << 19;
    QTest::newRow("96: layout 2 height") << 96.0 << 255.0 << 17;
    QTest::newRow("96: 100 twips") << 96.0 << 100.0 << 7;
    QTest::newRow("96: half goes even (7.5)") << 96.0 << 112.5 << 8;
    QTest::newRow("96: half goes even (6.5)") << 96.0 << 97.5 << 6;
    QTest::newRow("96: negative") << 96.0 << -120.0 << -8;
    QTest::newRow("120: layout 1 width") << 120.0 << 1965.0 << 164;  // 163.75
    QTest::newRow("144: layout 1 height") << 144.0 << 280.0 << 28;
    QTest::newRow("192: layout 3 height") << 192.0 << 1365.0 << 182;
    QTest::newRow("no dpi reads as 96") << 0.0 << 1965.0 << 131;
    QTest::newRow("huge clamped") << 96.0 << 1e30 << (1 << 24);
    QTest::newRow("-huge clamped") << 96.0 << -1e30 << -(1 << 24);
    QTest::newRow("nan is 0") << 96.0 << std::nan("") << 0;
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
    QTest::newRow("wayland session with X")
        << QByteArray() << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0")
        << QByteArray("xcb");
    QTest::newRow("wayland display only") << QByteArray() << QByteArray() << QByteArray("wayland-0")
                                          << QByteArray(":1") << QByteArray("xcb");
    QTest::newRow("explicit platform wins")
        << QByteArray("wayland") << QByteArray("wayland") << QByteArray("wayland-0")
        << QByteArray(":0") << QByteArray();
    QTest::newRow("no X display") << QByteArray() << QByteArray("wayland")
                                  << QByteArray("wayland-0") << QByteArray() << QByteArray();
    QTest::newRow("x11 session") << QByteArray() << QByteArray("x11") << QByteArray()
                                 << QByteArray(":0") << QByteArray();
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

// %1 is a file that exists, %2 one that does not.
void TestPlatform::systemBusAbsent_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("absent");
    QTest::newRow("missing socket") << "unix:path=%2" << true;
    QTest::newRow("socket there") << "unix:path=%1" << false;
    QTest::newRow("with a guid") << "unix:path=%2,guid=0123" << true;
    QTest::newRow("one of two there") << "unix:path=%2;unix:path=%1" << false;
    QTest::newRow("both missing") << "unix:path=%2;unix:path=%2x" << true;
    QTest::newRow("abstract: cannot tell") << "unix:abstract=/tmp/dbus-x" << false;
    QTest::newRow("tcp: cannot tell") << "tcp:host=localhost,port=1" << false;
    QTest::newRow("escaped path: cannot tell") << "unix:path=/nonexistent/bus%5fsocket" << false;
    QTest::newRow("no path") << "unix:" << false;
    QTest::newRow("garbage") << "\x01\x02" << false;
}

void TestPlatform::systemBusAbsent()
{
    QFETCH(QString, address);
    QFETCH(bool, absent);
    QTemporaryDir dir;
    const QString there = dir.filePath(QStringLiteral("socket"));
    QFile(there).open(QIODevice::WriteOnly);
    address.replace(QLatin1String("%1"), there);
    address.replace(QLatin1String("%2"), dir.filePath(QStringLiteral("gone")));
    QCOMPARE(tellavo::systemBusSurelyAbsent(address), absent);
}

// Names as the window managers set them on their _NET_SUPPORTING_WM_CHECK window.
void TestPlatform::placementFor_data()
{
    using stacking::Placement;
    QTest::addColumn<QByteArray>("wmName");
    QTest::addColumn<Placement>("placement");
    QTest::newRow("sway, labwc, wayfire (wlroots)")
        << QByteArray("wlroots wm") << Placement::SelfPlaced;
    QTest::newRow("openbox") << QByteArray("Openbox") << Placement::Managed;
    QTest::newRow("xfwm4") << QByteArray("Xfwm4") << Placement::Managed;
    QTest::newRow("i3") << QByteArray("i3") << Placement::Managed;
    QTest::newRow("mutter, X11 or Xwayland") << QByteArray("Mutter") << Placement::Managed;
    QTest::newRow("GNOME Shell") << QByteArray("GNOME Shell") << Placement::Managed;
    QTest::newRow("KWin") << QByteArray("KWin") << Placement::Managed;
    QTest::newRow("no window manager") << QByteArray() << Placement::Managed;
    QTest::newRow("wlroots only inside the name")
        << QByteArray("not wlroots") << Placement::Managed;
    QTest::newRow("case differs") << QByteArray("WLROOTS WM") << Placement::Managed;
}

void TestPlatform::placementFor()
{
    QFETCH(QByteArray, wmName);
    QFETCH(stacking::Placement, placement);
    QCOMPARE(stacking::placementFor(wmName), placement);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
