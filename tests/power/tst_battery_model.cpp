// The battery model: what either source read of each battery, made into the
// tip's details. One table; each row a few batteries as a source would hand
// them over, and what the tip must be told.
#include "battery_model.h"
#include "battery_text.h"
#include "data_row.h"

#include <QTest>

#include <functional>
#include <optional>

using namespace tellavo;
using tellavo::test::row;

using Readings = std::vector<BatteryReading>;
using Settled = std::optional<double>;
Q_DECLARE_METATYPE(Readings)
Q_DECLARE_METATYPE(Settled)
Q_DECLARE_METATYPE(tellavo::ChargeState)

namespace {

constexpr double kHour = 3600.0;
const double kNaN = BatteryReading::kNotRead;

// A battery in Wh and W: 20 of 50 Wh going at 10 W, two hours to empty and
// three to full.
BatteryReading bat(const char* name, ChargeState state = ChargeState::Discharging,
                   double now = 20.0, double full = 50.0, double rate = 10.0)
{
    BatteryReading r;
    r.kernelName = QString::fromLatin1(name);
    r.now = now;
    r.full = full;
    r.rate = rate;
    r.state = state;
    return r;
}

BatteryReading with(BatteryReading r, const std::function<void(BatteryReading&)>& change)
{
    change(r);
    return r;
}

BatteryReading device(DeviceKind kind, double percent, const char* model = "")
{
    BatteryReading r;
    r.powersSystem = false;
    r.device = kind;
    r.percent = percent;
    r.model = QString::fromUtf8(model);
    return r;
}

}  // namespace

class TestBatteryModel : public QObject {
    Q_OBJECT
private slots:
    void details_data();
    void details();
    void charge_data();
    void charge();
    void kernelNamesInOrder_data();
    void kernelNamesInOrder();
};

void TestBatteryModel::details_data()
{
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<Settled>("settled");
    QTest::addColumn<ChargeState>("state");
    QTest::addColumn<double>("toEmpty");
    QTest::addColumn<double>("toFull");
    QTest::addColumn<double>("watts");
    QTest::addColumn<bool>("provisional");
    QTest::addColumn<QString>("packs");

    using S = ChargeState;
    const Settled none;
    const auto model = [](const char* m) {
        return [m](BatteryReading& r) { r.model = QString::fromUtf8(m); };
    };
    const auto limit = [](long long end, long long start = -1) {
        return [=](BatteryReading& r) {
            r.limitEnd = end;
            r.limitStart = start;
        };
    };
    const BatteryReading charging = bat("BAT0", S::Charging);

    // One battery, this moment's rate: the times are provisional.
    row("discharging", Readings{bat("BAT0")}, none, S::Discharging, 2 * kHour, 0.0, 10.0, true,
        " 40% s2 h-1 c-1 l-1/-1");
    row("charging", Readings{charging}, none, S::Charging, 0.0, 3 * kHour, 10.0, true,
        " 40% s1 h-1 c-1 l-1/-1");
    row("rate written negative", Readings{bat("BAT0", S::Discharging, 20, 50, -10)}, none,
        S::Discharging, 2 * kHour, 0.0, 10.0, true, " 40% s2 h-1 c-1 l-1/-1");
    row("rate 0: no time, no watts", Readings{bat("BAT0", S::Discharging, 20, 50, 0)}, none,
        S::Discharging, 0.0, 0.0, 0.0, true, " 40% s2 h-1 c-1 l-1/-1");
    row("a trickle: past ten days, no time", Readings{bat("BAT0", S::Discharging, 20, 50, 1e-6)},
        none, S::Discharging, 0.0, 0.0, 0.0, true, " 40% s2 h-1 c-1 l-1/-1");
    row("a rate past a kilowatt: none", Readings{bat("BAT0", S::Discharging, 20, 50, 1e300)}, none,
        S::Discharging, 0.0, 0.0, 0.0, true, " 40% s2 h-1 c-1 l-1/-1");
    row("level above full while charging: nothing to go",
        Readings{bat("BAT0", S::Charging, 52, 50)}, none, S::Charging, 0.0, 0.0, 10.0, true,
        " 100% s1 h-1 c-1 l-1/-1");
    row("level far past full: a broken gauge, no time or charge",
        Readings{bat("BAT0", S::Discharging, 500, 50)}, none, S::Discharging, 0.0, 0.0, 10.0, true,
        " -1% s2 h-1 c-1 l-1/-1");
    row("full 0: no division", Readings{bat("BAT0", S::Discharging, 20, 0)}, none, S::Discharging,
        0.0, 0.0, 10.0, true, " -1% s2 h-1 c-1 l-1/-1");
    row("not charging", Readings{bat("BAT0", S::NotCharging, 40, 50, 0)}, none, S::NotCharging, 0.0,
        0.0, 0.0, true, " 80% s4 h-1 c-1 l-1/-1");
    // Not charging near full is full, as UPower words it; held by a limit, paused.
    row("not charging at 89 %", Readings{bat("BAT0", S::NotCharging, 44.5, 50, 0)}, none,
        S::NotCharging, 0.0, 0.0, 0.0, true, " 89% s4 h-1 c-1 l-1/-1");
    row("not charging at 90 %, no limit: full", Readings{bat("BAT0", S::NotCharging, 45, 50, 0)},
        none, S::Full, 0.0, 0.0, 0.0, true, " 90% s3 h-1 c-1 l-1/-1");
    row("not charging at 95 %, held by a limit of 95",
        Readings{with(bat("BAT0", S::NotCharging, 47.5, 50, 0), limit(95))}, none, S::NotCharging,
        0.0, 0.0, 0.0, true, " 95% s4 h-1 c-1 l95/-1");
    row("full at 96 %, held by a limit of 95: paused",
        Readings{with(bat("BAT0", S::Full, 48, 50, 0), limit(95))}, none, S::NotCharging, 0.0, 0.0,
        0.0, true, " 96% s4 h-1 c-1 l95/-1");
    row("not charging at 100 %, past a limit: full",
        Readings{with(bat("BAT0", S::NotCharging, 50, 50, 0), limit(80))}, none, S::Full, 0.0, 0.0,
        0.0, true, " 100% s3 h-1 c-1 l80/-1");
    row("a guessed voltage: a time, no watts",
        Readings{with(bat("BAT0", S::Discharging, 10.0, 40.0, 5.0),
                      [](BatteryReading& r) { r.voltageGuessed = true; })},
        none, S::Discharging, 2 * kHour, 0.0, 0.0, true, " 25% s2 h-1 c-1 l-1/-1");
    row("the source's own percentage before now against full",
        Readings{with(bat("BAT0"), [](BatteryReading& r) { r.percent = 57.5; })}, none,
        S::Discharging, 2 * kHour, 0.0, 10.0, true, " 58% s2 h-1 c-1 l-1/-1");
    row("a percentage out of all reason: now against full",
        Readings{with(bat("BAT0"), [](BatteryReading& r) { r.percent = 255; })}, none,
        S::Discharging, 2 * kHour, 0.0, 10.0, true, " 40% s2 h-1 c-1 l-1/-1");

    // To a charge limit: 40 of 50 Wh at 10 W from 20 Wh; 100 is no limit.
    row("charging to a limit", Readings{with(charging, limit(80, 75))}, none, S::Charging, 0.0,
        2 * kHour, 10.0, true, " 40% s1 h-1 c-1 l80/75");
    row("limit 100 is none", Readings{with(charging, limit(100))}, none, S::Charging, 0.0,
        3 * kHour, 10.0, true, " 40% s1 h-1 c-1 l-1/-1");
    row("limit below the charge: no time", Readings{with(charging, limit(30))}, none, S::Charging,
        0.0, 0.0, 10.0, true, " 40% s1 h-1 c-1 l30/-1");
    row("a start at or above the end is none", Readings{with(charging, limit(80, 80))}, none,
        S::Charging, 0.0, 2 * kHour, 10.0, true, " 40% s1 h-1 c-1 l80/-1");
    row("a start without an end is none", Readings{with(charging, limit(-1, 75))}, none,
        S::Charging, 0.0, 3 * kHour, 10.0, true, " 40% s1 h-1 c-1 l-1/-1");

    // Each battery's figures, within one set of bounds.
    const auto health = [](double design, long long cycles) {
        return [=](BatteryReading& r) {
            r.design = design;
            r.cycles = cycles;
        };
    };
    row("health and cycles", Readings{with(bat("BAT0"), health(57.47, 312))}, none, S::Discharging,
        2 * kHour, 0.0, 10.0, true, " 40% s2 h87 c312 l-1/-1");
    row("full above design is 100 %, a million cycles none",
        Readings{with(bat("BAT0"), health(40, 1'000'000))}, none, S::Discharging, 2 * kHour, 0.0,
        10.0, true, " 40% s2 h100 c-1 l-1/-1");
    row("health under 10 %: figures in mixed units, not told",
        Readings{with(bat("BAT0"), health(57'470, -1))}, none, S::Discharging, 2 * kHour, 0.0, 10.0,
        true, " 40% s2 h-1 c-1 l-1/-1");
    row("design 0 and cycles 0: not known", Readings{with(bat("BAT0"), health(0, 0))}, none,
        S::Discharging, 2 * kHour, 0.0, 10.0, true, " 40% s2 h-1 c-1 l-1/-1");
    row("a model of 40 characters is kept, blanks made one",
        Readings{with(bat("BAT0"), model("  DELL   7FHHV 1234567890123456789012345678"))}, none,
        S::Discharging, 2 * kHour, 0.0, 10.0, true,
        "DELL 7FHHV 1234567890123456789012345678 40% s2 h-1 c-1 l-1/-1");
    row("a model of 41 is garbage",
        Readings{with(bat("BAT0"), model("12345678901234567890123456789012345678901"))}, none,
        S::Discharging, 2 * kHour, 0.0, 10.0, true, " 40% s2 h-1 c-1 l-1/-1");
    row("a model with a control character is garbage",
        Readings{with(bat("BAT0"), model("45N\x07"
                                         "1029"))},
        none, S::Discharging, 2 * kHour, 0.0, 10.0, true, " 40% s2 h-1 c-1 l-1/-1");

    // Several batteries: the state from all, the times from the sums.
    const BatteryReading idle = bat("BAT1", S::Full, 50, 50, 0);
    row("two, one discharging, one full", Readings{bat("BAT0"), idle}, none, S::Discharging,
        7 * kHour, 0.0, 10.0, true, " 40% s2 h-1 c-1 l-1/-1;  100% s3 h-1 c-1 l-1/-1");
    row("two, one charging", Readings{charging, idle}, none, S::Charging, 0.0, 3 * kHour, 10.0,
        true, " 40% s1 h-1 c-1 l-1/-1;  100% s3 h-1 c-1 l-1/-1");
    row("two, one unknown", Readings{bat("BAT0", S::Unknown, 20, 50, 10), idle}, none, S::Full, 0.0,
        0.0, 10.0, true, " 40% s0 h-1 c-1 l-1/-1;  100% s3 h-1 c-1 l-1/-1");
    row("two, one empty", Readings{bat("BAT0", S::Empty, 0, 50, 0), idle}, none, S::Empty, 0.0, 0.0,
        0.0, true, " 0% s5 h-1 c-1 l-1/-1;  100% s3 h-1 c-1 l-1/-1");
    row("two, one without a level: no time", Readings{bat("BAT0"), bat("BAT1", S::Full, kNaN)},
        none, S::Discharging, 0.0, 0.0, 20.0, true,
        " 40% s2 h-1 c-1 l-1/-1;  -1% s3 h-1 c-1 l-1/-1");
    row("told by kernel name, BAT2 before BAT10",
        Readings{with(bat("BAT10"), model("ten")), with(bat("BAT2"), model("two"))}, none,
        S::Discharging, 2 * kHour, 0.0, 20.0, true,
        "two 40% s2 h-1 c-1 l-1/-1; ten 40% s2 h-1 c-1 l-1/-1");

    // Devices' batteries apart: never in the state, the times or the watts.
    row("a mouse and a keyboard beside the battery",
        Readings{device(DeviceKind::Mouse, 40, "MX Master 3"), bat("BAT0"),
                 device(DeviceKind::Keyboard, 60), device(DeviceKind::Headset, kNaN)},
        none, S::Discharging, 2 * kHour, 0.0, 10.0, true,
        " 40% s2 h-1 c-1 l-1/-1; dev0 40% MX Master 3; dev1 60% ");
    row("no battery, a mouse", Readings{device(DeviceKind::Mouse, 40)}, none, S::NoBattery, 0.0,
        0.0, 0.0, false, "dev0 40% ");
    row("nothing", Readings{}, none, S::NoBattery, 0.0, 0.0, 0.0, false, "");

    // The rate a source averaged over the last minutes, when it fits.
    const Settled falling = -15.0;
    row("settled: its rate, not this moment's", Readings{bat("BAT0")}, falling, S::Discharging,
        kHour * 20 / 15, 0.0, 10.0, false, " 40% s2 h-1 c-1 l-1/-1");
    row("settled the wrong way: this moment's", Readings{charging}, falling, S::Charging, 0.0,
        3 * kHour, 10.0, true, " 40% s1 h-1 c-1 l-1/-1");
    row("settled rising while charging", Readings{charging}, Settled(15.0), S::Charging, 0.0,
        2 * kHour, 10.0, false, " 40% s1 h-1 c-1 l-1/-1");
    row("settled, no level to time", Readings{bat("BAT0", S::Discharging, kNaN)}, falling,
        S::Discharging, 0.0, 0.0, 10.0, true, " -1% s2 h-1 c-1 l-1/-1");
}

void TestBatteryModel::details()
{
    QFETCH(Readings, readings);
    QFETCH(Settled, settled);
    QFETCH(ChargeState, state);
    QFETCH(double, toEmpty);
    QFETCH(double, toFull);
    QFETCH(double, watts);
    QFETCH(bool, provisional);
    QFETCH(QString, packs);

    const BatteryDetails d = batteryDetails(readings, settled);
    QCOMPARE(d.state, state);
    QCOMPARE(d.secondsToEmpty, toEmpty);
    QCOMPARE(d.secondsToFull, toFull);
    QCOMPARE(d.watts, watts);
    QCOMPARE(d.timesProvisional, provisional);
    const QString devices = test::devicesText(d);
    QCOMPARE(test::batteriesText(d) +
                 (devices.isEmpty() || d.batteries.empty() ? devices : "; " + devices),
             packs);
}

// The strip's charge, as UPower's display device sums it (its figures for
// the same batteries in the comments).
void TestBatteryModel::charge_data()
{
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<int>("percent");
    const auto capacity = [](double percent) {
        return [=](BatteryReading& r) { r.percent = percent; };
    };
    row("one: its capacity, not its energy (57)",
        Readings{with(bat("BAT0", ChargeState::Discharging, 27, 50), capacity(57))}, 57);
    row("one without a capacity: energy against full (57)",
        Readings{bat("BAT0", ChargeState::Discharging, 28.5, 50)}, 57);
    row("two: energy summed, not capacities weighed (22.38)",
        Readings{with(bat("BAT0", ChargeState::Discharging, 4.5, 66), capacity(7)),
                 with(bat("BAT1", ChargeState::Discharging, 14.3, 18), capacity(80))},
        22);
    row("two nearly full (99.58)",
        Readings{with(bat("BAT0", ChargeState::Charging, 70.6, 71), capacity(99)),
                 with(bat("BAT1", ChargeState::Full, 23.2, 23.2), capacity(100))},
        100);
    // UPower leaves a battery without a level out of its sum (80).
    row("one of two without a level: capacities alike",
        Readings{with(bat("BAT0", ChargeState::Discharging, kNaN, kNaN), capacity(40)),
                 with(bat("BAT1", ChargeState::Discharging, 40, 50), capacity(80))},
        60);
    row("one of two without a level: weighed by full",
        Readings{with(bat("BAT0", ChargeState::Discharging, kNaN, 20), capacity(40)),
                 with(bat("BAT1", ChargeState::Discharging, 40, 50), capacity(80))},
        69);
    row("one of two tells nothing: the other's",
        Readings{bat("BAT0", ChargeState::Unknown, kNaN, kNaN), bat("BAT1")}, 40);
    row("a mouse counts for nothing", Readings{device(DeviceKind::Mouse, 5), bat("BAT0")}, 40);
    row("a mouse alone: no charge", Readings{device(DeviceKind::Mouse, 5)}, 255);
    row("none", Readings{}, 255);
}

void TestBatteryModel::charge()
{
    QFETCH(Readings, readings);
    QFETCH(int, percent);
    QCOMPARE(percent::reading(chargePercent(readings)), percent);
}

void TestBatteryModel::kernelNamesInOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    row("BAT2 before BAT10", "BAT2", "BAT10");
    row("BAT0 before BAT1", "BAT0", "BAT1");
    row("by letters first", "BAT1", "CMB0");
    row("a leading zero changes no number", "BAT02", "BAT10");
    row("a shorter name first", "BAT", "BAT0");
    row("numbers past any integer", "BAT99999999999999999999", "BAT100000000000000000000");
}

void TestBatteryModel::kernelNamesInOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QVERIFY(kernelNameBefore(a, b));
    QVERIFY(!kernelNameBefore(b, a));
    QVERIFY(!kernelNameBefore(a, a));
}

QTEST_APPLESS_MAIN(TestBatteryModel)
#include "tst_battery_model.moc"
