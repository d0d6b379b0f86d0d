// The real upowerd, on a private bus, over a fake kernel battery made with
// umockdev (tests/lib/upowerd_umockdev.py). The battery changes as the kernel
// would announce it; with the default timings (a liveness call after 60 s)
// only upowerd's PropertiesChanged can bring the change within seconds. The
// times are upowerd's own, from the battery's energy_now and power_now.
#include "bus_services.h"
#include "change_log.h"
#include "upower_power_source.h"

#include <QTest>

using tellavo::ChargeState;
using tellavo::UPowerPowerSource;
namespace power = tellavo::power;

class TestUpowerdUmockdev : public QObject {
    Q_OBJECT
private slots:
    void init() { m_services.start(); }
    void followsTheKernelBattery();

private:
    tellavo::test::UpowerdOnBus m_services;
};

void TestUpowerdUmockdev::followsTheKernelBattery()
{
    tellavo::test::ServiceDriver& upowerd = m_services.upowerd();
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), 5000);
    QCOMPARE(source.read().acLineStatus, power::kAcOffline);
    QCOMPARE(source.read().batteryLifePercent, 57);
    // 28.5 of 50 Wh at 10 W.
    QCOMPARE(source.batteryDetails().state, ChargeState::Discharging);
    QCOMPARE(source.batteryDetails().secondsToEmpty, 10260.0);
    ChangeLog changed(source);

    QVERIFY2(upowerd.send("battery 30 Discharging"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, 30, 3000);
    QCOMPARE(source.read().acLineStatus, power::kAcOffline);
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryDetails().secondsToEmpty, 5400.0, 3000);

    // The rate alone: a new time, no new reading.
    const int readingChanges = changed.readings();
    QVERIFY2(upowerd.send("set power_now 5000000"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryDetails().secondsToEmpty, 10800.0, 3000);
    QCOMPARE(changed.readings(), readingChanges);

    QVERIFY2(upowerd.send("ac 1"), qPrintable(upowerd.answer()));
    QVERIFY2(upowerd.send("battery 88 Charging"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().acLineStatus, power::kAcOnline, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, 88, 3000);
    QVERIFY(changed.readings() >= 2);
    // 6 Wh missing at 5 W.
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryDetails().state, ChargeState::Charging, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryDetails().secondsToFull, 4320.0, 3000);
    QVERIFY(source.isAvailable());
}

QTEST_GUILESS_MAIN(TestUpowerdUmockdev)
#include "tst_upowerd_umockdev.moc"
