// A UPower that hangs (SIGSTOP: its name stays owned, nothing answers), with
// the timings the program runs with. The window keeps reading at once; after
// at most one liveness period and one reply timeout the kernel's files take
// over, and UPower's readings come back once it answers again.
#include "bus_services.h"
#include "system_power_status.h"

#include <QElapsedTimer>
#include <QTest>

using tellavo::SystemPowerStatus;
using tellavo::UPowerTimings;
namespace power = tellavo::power;

class TestPowerHungService : public QObject {
    Q_OBJECT
private slots:
    void readsGoOnWhileUPowerHangs();
};

namespace {

// Reads like the tick, with the event loop running in between, until done()
// or the deadline; keeps the longest read and the longest turn of the loop.
// A read or a handler that waited on the stopped service would take seconds
// (a D-Bus call's own timeout is 25 s).
struct Ticker {
    SystemPowerStatus& status;
    qint64 longestReadNs = 0;
    qint64 longestTurnMs = 0;

    template <typename Done>
    qint64 until(Done done, int deadlineMs)
    {
        QElapsedTimer since;
        since.start();
        while (!done() && since.elapsed() < deadlineMs) {
            QElapsedTimer read;
            read.start();
            status.read().acLineStatus;
            status.read().batteryLifePercent;
            longestReadNs = qMax(longestReadNs, read.nsecsElapsed());
            QElapsedTimer turn;
            turn.start();
            QTest::qWait(50);
            longestTurnMs = qMax(longestTurnMs, turn.elapsed());
        }
        return since.elapsed();
    }
};

}  // namespace

void TestPowerHungService::readsGoOnWhileUPowerHangs()
{
    tellavo::test::MockOnBus env;
    QVERIFY(env.startBus());
    QVERIFY(env.startMock({"--percentage", "66", "--on-ac"}));
    tellavo::test::ServiceDriver& mock = env.mock();

    const UPowerTimings defaults;
    SystemPowerStatus status(tellavo::test::fixture("laptop_on_battery"), defaults);
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), 3000);
    QCOMPARE(status.read().batteryLifePercent, 66);

    mock.pause();
    Ticker ticker{status};
    // One liveness period, the reply timeout, and a second of slack.
    const int hungLimit = defaults.livenessMs + defaults.replyTimeoutMs + 1000;
    const qint64 toSysfs = ticker.until([&] { return !status.usingUPower(); }, hungLimit + 5000);
    QVERIFY2(!status.usingUPower(), "still on the hung UPower");
    QVERIFY2(mock.isRunning(), "the mock ended instead of hanging");
    // Only a call that went unanswered for the whole reply timeout can tell a
    // hung UPower; a switch before that would have another cause.
    QVERIFY2(toSysfs >= defaults.replyTimeoutMs && toSysfs <= hungLimit,
             qPrintable(QStringLiteral("switched after %1 ms").arg(toSysfs)));
    QCOMPARE(status.read().acLineStatus, power::kAcOffline);
    QCOMPARE(status.read().batteryLifePercent, 57);

    mock.resume();
    // It is asked again one reconnect period after it failed to answer.
    const int backLimit = defaults.reconnectMs + defaults.replyTimeoutMs + 1000;
    const qint64 toUPower = ticker.until([&] { return status.usingUPower(); }, backLimit + 5000);
    QVERIFY2(status.usingUPower(), "UPower not used again after it woke");
    QVERIFY2(toUPower <= backLimit, qPrintable(QString::number(toUPower)));
    QCOMPARE(status.read().acLineStatus, power::kAcOnline);
    QCOMPARE(status.read().batteryLifePercent, 66);

    qInfo(
        "sysfs after %lld ms, UPower again after %lld ms; longest read %lld us, longest "
        "turn of the event loop %lld ms",
        toSysfs, toUPower, ticker.longestReadNs / 1000, ticker.longestTurnMs);
    // Limits far above "at once" and far below any D-Bus wait, so that a
    // loaded machine does not fail them and a blocking call cannot pass.
    QVERIFY2(ticker.longestReadNs < 50'000'000, "a read took 50 ms or more");
    QVERIFY2(ticker.longestTurnMs < 1000, "the event loop was held up for a second or more");
}

QTEST_GUILESS_MAIN(TestPowerHungService)
#include "tst_power_hung_service.moc"
