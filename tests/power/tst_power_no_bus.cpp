// No system bus at all: DBUS_SYSTEM_BUS_ADDRESS (set by ctest) names a socket
// that does not exist. The kernel's files are read from the first read on,
// and the attempts to connect again do not hold anything up.
#include "bus_services.h"
#include "change_log.h"
#include "system_power_status.h"

#include <QElapsedTimer>
#include <QTest>

using tellavo::SystemPowerStatus;
using tellavo::UPowerPowerSource;
using tellavo::UPowerTimings;
namespace power = tellavo::power;

class TestPowerNoBus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void filesAtOnce();
    void retriesHoldNothingUp();
};

void TestPowerNoBus::initTestCase()
{
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    QVERIFY2(address.startsWith("unix:path=") && !QFile::exists(address.mid(10)),
             "run by ctest, with DBUS_SYSTEM_BUS_ADDRESS pointing nowhere");
}

void TestPowerNoBus::filesAtOnce()
{
    qputenv("TELLAVO_POWER_SUPPLY_DIR",
            QFile::encodeName(tellavo::test::fixture("laptop_charging")));
    SystemPowerStatus status;  // as the program makes it
    qunsetenv("TELLAVO_POWER_SUPPLY_DIR");
    QVERIFY(!status.usingUPower());
    QCOMPARE(status.read().acLineStatus, power::kAcOnline);
    QCOMPARE(status.read().batteryLifePercent, 88);
}

void TestPowerNoBus::retriesHoldNothingUp()
{
    UPowerTimings often;
    often.reconnectMs = 100;
    UPowerPowerSource upower(often);
    SystemPowerStatus status(tellavo::test::fixture("laptop_on_battery"), often);
    ChangeLog availability(upower);
    qint64 longestTurn = 0;
    for (int turn = 0; turn < 20; ++turn) {
        QCOMPARE(status.read().acLineStatus, power::kAcOffline);
        QCOMPARE(status.read().batteryLifePercent, 57);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(50);
        longestTurn = qMax(longestTurn, clock.elapsed());
    }
    QVERIFY(!upower.isAvailable());
    QCOMPARE(upower.read().acLineStatus, power::kUnknown);
    QCOMPARE(upower.read().batteryLifePercent, power::kUnknown);
    QCOMPARE(availability.sources(), 0);
    QVERIFY2(longestTurn < 1000, qPrintable(QString::number(longestTurn)));
}

QTEST_GUILESS_MAIN(TestPowerNoBus)
#include "tst_power_no_bus.moc"
