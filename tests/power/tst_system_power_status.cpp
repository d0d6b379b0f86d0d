// The power status the window reads: UPower (python3-dbusmock's, on a private
// bus) while it answers, the kernel's files (a fixture tree) while it does not.
// The mock says charging on AC at 66 %, the fixture discharging on battery at
// 57 %, so every reading, and the battery's state, tells where it came from.
#include "bus_services.h"
#include "change_log.h"
#include "system_power_status.h"

#include <QTest>

using tellavo::SystemPowerStatus;
using tellavo::UPowerTimings;
using tellavo::test::fixture;
namespace power = tellavo::power;

namespace {

constexpr int kSoon = 3000;
const QStringList kMockOnAc{"--percentage", "66", "--state", "charging", "--on-ac"};

using Readings = QList<int>;

Readings readings(SystemPowerStatus& status)
{
    const int line = status.read().acLineStatus;
    const int percent = status.read().batteryLifePercent;
    return {line, percent, int(status.batteryDetails().state)};
}

const Readings kFromUPower{power::kAcOnline, 66, int(tellavo::ChargeState::Charging)};
const Readings kFromSysfs{power::kAcOffline, 57, int(tellavo::ChargeState::Discharging)};

}  // namespace

class TestSystemPowerStatus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_env.startBus()); }
    void cleanup() { m_env.mock().stop(); }

    void followsUPowerAsItComesAndGoes();
    void forwardsUPowerChangesOnly();
    void filesFromTheEnvironment();

private:
    tellavo::test::MockOnBus m_env;
};

// Killed, the mock's readings give way to the files at the next read; back,
// UPower's come back. Each switch is announced once.
void TestSystemPowerStatus::followsUPowerAsItComesAndGoes()
{
    SystemPowerStatus status(fixture("laptop_on_battery"), UPowerTimings());
    ChangeLog switched(status);
    QVERIFY(!status.usingUPower());
    QCOMPARE(readings(status), kFromSysfs);

    QVERIFY(m_env.startMock(kMockOnAc));
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), kSoon);
    QCOMPARE(readings(status), kFromUPower);
    QCOMPARE(switched.sources(), 1);

    m_env.mock().kill();
    QTRY_VERIFY_WITH_TIMEOUT(!status.usingUPower(), 1000);
    QCOMPARE(readings(status), kFromSysfs);
    QCOMPARE(switched.sources(), 2);

    QVERIFY(m_env.startMock(kMockOnAc));
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), kSoon);
    QCOMPARE(readings(status), kFromUPower);
    QCOMPARE(switched.sources(), 3);
}

void TestSystemPowerStatus::forwardsUPowerChangesOnly()
{
    QVERIFY(m_env.startMock(kMockOnAc));
    SystemPowerStatus status(fixture("laptop_on_battery"), UPowerTimings());
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), kSoon);
    ChangeLog changed(status);

    QVERIFY(m_env.mock().send("percentage 70"));
    QTRY_COMPARE_WITH_TIMEOUT(status.read().batteryLifePercent, 70, kSoon);
    QCOMPARE(changed.readings(), 1);
    QVERIFY(m_env.mock().send("state discharging"));  // no reading changes
    QVERIFY(m_env.mock().send("on-battery true"));
    QTRY_COMPARE_WITH_TIMEOUT(status.read().acLineStatus, power::kAcOffline, kSoon);
    QCOMPARE(changed.readings(), 2);

    // UPower going leaves 255s in its cache; those are not the readings now.
    m_env.mock().kill();
    QTRY_VERIFY_WITH_TIMEOUT(!status.usingUPower(), kSoon);
    QTest::qWait(100);
    QCOMPARE(changed.readings(), 2);
}

void TestSystemPowerStatus::filesFromTheEnvironment()
{
    qputenv("TELLAVO_POWER_SUPPLY_DIR", QFile::encodeName(fixture("two_batteries")));
    SystemPowerStatus status;
    qunsetenv("TELLAVO_POWER_SUPPLY_DIR");
    QTest::qWait(200);  // no UPower on this bus: still the files after a while
    QVERIFY(!status.usingUPower());
    QCOMPARE(readings(status),
             Readings({power::kAcOffline, 60, int(tellavo::ChargeState::Discharging)}));
}

QTEST_GUILESS_MAIN(TestSystemPowerStatus)
#include "tst_system_power_status.moc"
