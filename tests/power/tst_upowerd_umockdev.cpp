// The real upowerd, on a private bus, over a fake kernel battery made with
// umockdev (tests/lib/upowerd_umockdev.py). The battery changes as the kernel
// would announce it; with the default timings (a liveness call after 60 s)
// only upowerd's PropertiesChanged can bring the change within seconds. The
// times are upowerd's own, from the battery's energy_now and power_now. What
// the tip gathers (each battery, devices that come and go) is asked for in
// one round, as the tip asks.
#include "battery_text.h"
#include "bus_services.h"
#include "change_log.h"
#include "power_supply_list.h"
#include "sysfs_power_source.h"
#include "upower_power_source.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using tellavo::ChargeState;
using tellavo::UPowerPowerSource;
namespace power = tellavo::power;

class TestUpowerdUmockdev : public QObject {
    Q_OBJECT
private slots:
    void followsTheKernelBattery();
    void eachBatteryAndTheDevices();
    void steadyTimeAndTheDay();
    void sameAsTheKernelFiles_data();
    void sameAsTheKernelFiles();

private:
    tellavo::test::UpowerdOnBus m_services;
};

void TestUpowerdUmockdev::followsTheKernelBattery()
{
    m_services.start();
    tellavo::test::ServiceDriver& upowerd = m_services.upowerd();
    UPowerPowerSource source;
    tellavo::PowerSupplyList supplies(m_services.supplyFolder().toStdString());
    source.setSupplies(&supplies);
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

    // A charge limit of 90 %, in the battery's own folder: 1 Wh to go at 5 W.
    QVERIFY2(upowerd.send("set charge_control_end_threshold 90"), qPrintable(upowerd.answer()));
    QSignalSpy rounds(&source, &tellavo::PowerSource::detailsChanged);
    source.refreshDetails();
    QVERIFY(rounds.wait(3000));
    QCOMPARE(source.batteryDetails().batteries.at(0).limitEnd, 90);
    QCOMPARE(source.batteryDetails().secondsToFull, 720.0);
}

void TestUpowerdUmockdev::eachBatteryAndTheDevices()
{
    m_services.start({"--second-battery", "--seed-history"});
    tellavo::test::ServiceDriver& upowerd = m_services.upowerd();
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), 5000);
    QSignalSpy rounds(&source, &tellavo::PowerSource::detailsChanged);
    // Until a round tells each, the display device stands for them.
    QCOMPARE(source.batteryDetails().batteries.size(), 1u);
    source.refreshDetails();
    QVERIFY(rounds.wait(3000));
    tellavo::BatteryDetails details = source.batteryDetails();
    QCOMPARE(details.batteries.size(), 2u);
    // BAT0: 50 of 57.47 Wh design, 312 cycles; BAT1: no design, no count.
    const tellavo::BatteryPack& first = details.batteries[0];
    QCOMPARE(first.model, QStringLiteral("Fake battery"));
    QCOMPARE(first.percent, 57);
    QCOMPARE(first.state, ChargeState::Discharging);
    QCOMPARE(first.healthPercent, 87);
    QCOMPARE(first.cycles, 312);
    const tellavo::BatteryPack& second = details.batteries[1];
    QCOMPARE(second.model, QStringLiteral("Second pack"));
    QCOMPARE(second.percent, 30);
    QCOMPARE(second.healthPercent, -1);
    QCOMPARE(second.cycles, -1);
    QCOMPARE(details.watts, 14.0);
    QVERIFY(details.devices.empty());
    // One day's curve for both, weighed as the charge is, on the union of
    // their times, up to now: BAT0's last sample (57.9 % of 50 Wh) with
    // BAT1's 30 % of 24 Wh, then each battery's charge now.
    QVERIFY(details.day.size() > 100);
    QCOMPARE(details.day.back().ms, 0);
    QVERIFY(qAbs(details.day.back().level - (57.0 * 50 + 30 * 24) / 74) < 0.1);
    QVERIFY(qAbs(details.day.end()[-2].level - (57.917 * 50 + 30 * 24) / 74) < 0.1);
    const int percent = source.read().batteryLifePercent;

    // A mouse comes and goes: upowerd announces each, and a round follows
    // unasked. Its charge is its own, never the strip's.
    QVERIFY2(upowerd.send("mouse 40"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryDetails().devices.size(), 1u, 3000);
    const tellavo::DeviceBattery mouse = source.batteryDetails().devices.at(0);
    QCOMPARE(mouse.kind, tellavo::DeviceKind::Mouse);
    QCOMPARE(mouse.model, QStringLiteral("Wireless Mouse"));
    QCOMPARE(mouse.percent, 40);
    QCOMPARE(source.batteryDetails().batteries.size(), 2u);
    QCOMPARE(source.read().batteryLifePercent, percent);
    QVERIFY2(upowerd.send("mouse-gone"), qPrintable(upowerd.answer()));
    QTRY_VERIFY_WITH_TIMEOUT(source.batteryDetails().devices.empty(), 3000);
    QCOMPARE(source.batteryDetails().batteries.size(), 2u);
}

// A past in upowerd's history: the time comes from the rates of the last ten
// minutes (5 and 25 W in turn), not from the 10 W of this moment; the day's
// curve from the charge. A wake that logind announces starts the average anew.
void TestUpowerdUmockdev::steadyTimeAndTheDay()
{
    m_services.start({"--seed-history"});
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), 5000);
    QSignalSpy rounds(&source, &tellavo::PowerSource::detailsChanged);
    source.refreshDetails();
    QVERIFY(rounds.wait(3000));
    tellavo::BatteryDetails details = source.batteryDetails();
    QVERIFY(!details.timesProvisional);
    const double steady = 3600.0 * 28.5 / 15.0;
    QVERIFY2(qAbs(details.secondsToEmpty / steady - 1.0) < 0.2,
             qPrintable(QString::number(details.secondsToEmpty)));
    QVERIFY(details.day.size() > 100);
    // upowerd keeps the last 22 h or so of it, from about 88 % on.
    QVERIFY(details.day.front().level > 85.0);
    QVERIFY(details.day.front().ms > 22 * 3'600'000);
    QVERIFY(std::any_of(details.day.begin(), details.day.end(),
                        [](const tellavo::LevelPoint& p) { return p.onMains; }));
    QVERIFY(qAbs(details.day.back().level - 57.5) <= 0.5);

    QProcess logind;
    logind.start(QStringLiteral("/usr/bin/python3"),
                 {"-m", "dbusmock", "--system", "--template", "logind"});
    QVERIFY(logind.waitForStarted());
    const QDBusConnection bus = QDBusConnection::systemBus();
    QTRY_VERIFY_WITH_TIMEOUT(
        bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")), 10000);

    QDBusMessage emitSignal = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"));
    emitSignal << QStringLiteral("org.freedesktop.login1.Manager")
               << QStringLiteral("PrepareForSleep") << QStringLiteral("b")
               << QVariantList{QVariant::fromValue(QDBusVariant(false))};
    QCOMPARE(bus.call(emitSignal).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(source.wakes().lastWakeMs() >= 0, 3000);
    source.refreshDetails();
    QVERIFY(rounds.wait(3000));
    details = source.batteryDetails();
    QVERIFY(details.timesProvisional);
    QCOMPARE(details.secondsToEmpty, 10260.0);  // upowerd's own: 28.5 Wh at 10 W
    logind.terminate();
    QVERIFY(logind.waitForFinished());
}

void TestUpowerdUmockdev::sameAsTheKernelFiles_data()
{
    QTest::addColumn<QString>("tree");
    for (const char* tree :
         {"laptop_on_battery", "laptop_charging", "two_batteries", "desktop", "charge_units",
          "energy_and_charge", "usb_c_charger", "limit_two_packs", "battery_only_charging",
          "two_packs_apart", "two_packs_nearly_full", "charge_two_voltages",
          "unknown_type_battery"})
        QTest::newRow(tree) << QString::fromLatin1(tree);
}

// The same batteries read by the kernel's-files source and by the real
// upowerd over the same files: the readings, and the details field by field,
// the order of the batteries included. The devices' batteries are UPower's
// alone (the kernel's-files source leaves them out).
void TestUpowerdUmockdev::sameAsTheKernelFiles()
{
    QFETCH(QString, tree);
    const QString folder = tellavo::test::fixture(qPrintable(tree));
    tellavo::SysfsPowerSource files(folder.toStdString());
    const tellavo::PowerReading fromFiles = files.read();

    m_services.start({"--tree", folder});
    UPowerPowerSource source;
    tellavo::PowerSupplyList supplies(folder.toStdString());
    source.setSupplies(&supplies);
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), 5000);
    QCOMPARE(source.read().acLineStatus, fromFiles.acLineStatus);
    QCOMPARE(source.read().batteryLifePercent, fromFiles.batteryLifePercent);
    QSignalSpy rounds(&source, &tellavo::PowerSource::detailsChanged);
    source.refreshDetails();
    QVERIFY(rounds.wait(3000));
    QCOMPARE(tellavo::test::machineText(source.batteryDetails()),
             tellavo::test::machineText(files.batteryDetails()));
}

QTEST_GUILESS_MAIN(TestUpowerdUmockdev)
#include "tst_upowerd_umockdev.moc"
