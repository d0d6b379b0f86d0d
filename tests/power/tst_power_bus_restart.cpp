// The bus daemon itself goes (SIGKILL, as in a crash) and a new one starts on
// the same address, with UPower on it again: the program's own connection is
// dropped, the kernel's files are read meanwhile, and within two reconnect
// periods UPower's readings are back. The shared systemBus() connection would
// never come back here.
#include "bus_services.h"
#include "system_power_status.h"

#include <QFile>
#include <QTest>

using tellavo::SystemPowerStatus;
using tellavo::UPowerPowerSource;
using tellavo::UPowerTimings;
namespace power = tellavo::power;

class TestPowerBusRestart : public QObject {
    Q_OBJECT
private slots:
    void upowerComesBackWithTheBus();
    void retryRidesOnAReader_data();
    void retryRidesOnAReader();

private:
    tellavo::test::MockOnBus m_env;
};

void TestPowerBusRestart::upowerComesBackWithTheBus()
{
    QVERIFY(m_env.startBus());
    QVERIFY(m_env.startMock({"--percentage", "66", "--on-ac"}));

    UPowerTimings periods;
    periods.reconnectMs = 2000;  // the program waits 10 s; the case waits on it
    SystemPowerStatus status(tellavo::test::fixture("laptop_on_battery"), periods);
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), 3000);
    QCOMPARE(status.read().batteryLifePercent, 66);

    m_env.bus().kill();
    QTRY_VERIFY_WITH_TIMEOUT(!status.usingUPower(), 2000);
    QCOMPARE(status.read().acLineStatus, power::kAcOffline);
    QCOMPARE(status.read().batteryLifePercent, 57);
    QTRY_VERIFY_WITH_TIMEOUT(!m_env.mock().isRunning(), 3000);  // the mock leaves with its bus

    QVERIFY(m_env.startBus());
    QVERIFY(m_env.startMock({"--percentage", "77", "--on-ac"}));
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), 2 * periods.reconnectMs);
    QCOMPARE(status.read().acLineStatus, power::kAcOnline);
    QCOMPARE(status.read().batteryLifePercent, 77);
}

void TestPowerBusRestart::retryRidesOnAReader_data()
{
    QTest::addColumn<int>("withinMs");
    QTest::addColumn<bool>("triedNow");
    QTest::newRow("due before the reader is back: tried now") << 60'000 << true;
    QTest::newRow("due later: left to its timer") << 1'000 << false;
}

// The bus comes up after the source gave up on it: a reader that is awake
// anyway makes the next try if it is due before the reader comes back.
void TestPowerBusRestart::retryRidesOnAReader()
{
    QFETCH(int, withinMs);
    QFETCH(bool, triedNow);
    // No bus, not even the socket a killed one leaves behind.
    m_env.bus().kill();
    QFile::remove(m_env.filePath(QStringLiteral("system_bus_socket")));
    UPowerTimings slow;
    slow.reconnectMs = 30'000;
    UPowerPowerSource upower(slow);
    QVERIFY(!upower.isAvailable());
    QVERIFY(m_env.startBus());
    QVERIFY(m_env.startMock({"--percentage", "66", "--on-ac"}));

    upower.retryIfDueWithin(withinMs);
    if (triedNow) {
        QTRY_VERIFY_WITH_TIMEOUT(upower.isAvailable(), 5000);
        QCOMPARE(upower.read().batteryLifePercent, 66);
    } else {
        QTest::qWait(1500);
        QVERIFY(!upower.isAvailable());
    }
}

QTEST_GUILESS_MAIN(TestPowerBusRestart)
#include "tst_power_bus_restart.moc"
