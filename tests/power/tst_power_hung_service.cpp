// A UPower that hangs (SIGSTOP: its name stays owned, nothing answers). The
// window keeps reading at once; after at most one liveness period and one
// reply timeout the kernel's files take over, and UPower's readings come back
// once it answers again. The same for a system bus that hangs from the start:
// the bus is asked whether it answers, without waiting on it, before anything
// connects to it.
#include "bus_probe.h"
#include "bus_services.h"
#include "data_row.h"
#include "system_power_status.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using tellavo::BusProbe;
using tellavo::SystemPowerStatus;
using tellavo::UPowerTimings;
namespace power = tellavo::power;

class TestPowerHungService : public QObject {
    Q_OBJECT
private slots:
    // One bus for the run: libdbus reads its address once per process.
    void initTestCase() { QVERIFY(m_env.startBus()); }
    void readsGoOnWhileUPowerHangs();
    void startsWhileTheBusHangs();
    void probe_data();
    void probe();

private:
    tellavo::test::MockOnBus m_env;
};

namespace {

// The program's periods (liveness, reply timeout, reconnect) shortened, so
// that a case takes seconds; the reply timeout stays above the longest turn
// of the event loop allowed below, so that a call that waited for its answer
// could not pass.
constexpr UPowerTimings kPeriods{1000, 2000, 1000};

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
    QVERIFY(m_env.startMock({"--percentage", "66", "--on-ac"}));
    tellavo::test::ServiceDriver& mock = m_env.mock();

    const UPowerTimings periods = kPeriods;
    SystemPowerStatus status(tellavo::test::fixture("laptop_on_battery"), periods);
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), 3000);
    QCOMPARE(status.read().batteryLifePercent, 66);

    mock.pause();
    Ticker ticker{status};
    // One liveness period, the reply timeout, and a second of slack.
    const int hungLimit = periods.livenessMs + periods.replyTimeoutMs + 1000;
    const qint64 toSysfs = ticker.until([&] { return !status.usingUPower(); }, hungLimit + 5000);
    QVERIFY2(!status.usingUPower(), "still on the hung UPower");
    QVERIFY2(mock.isRunning(), "the mock ended instead of hanging");
    // Only a call that went unanswered for the whole reply timeout can tell a
    // hung UPower; a switch before that would have another cause.
    QVERIFY2(toSysfs >= periods.replyTimeoutMs && toSysfs <= hungLimit,
             qPrintable(QStringLiteral("switched after %1 ms").arg(toSysfs)));
    QCOMPARE(status.read().acLineStatus, power::kAcOffline);
    QCOMPARE(status.read().batteryLifePercent, 57);

    mock.resume();
    // It is asked again one reconnect period after it failed to answer.
    const int backLimit = periods.reconnectMs + periods.replyTimeoutMs + 1000;
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

// The bus stopped before the program starts: the readings are the kernel's
// files at once, and UPower's once the bus answers again.
void TestPowerHungService::startsWhileTheBusHangs()
{
    QVERIFY(m_env.startMock({"--percentage", "66", "--on-ac"}));
    m_env.bus().pause();
    const UPowerTimings periods = kPeriods;
    QElapsedTimer made;
    made.start();
    SystemPowerStatus status(tellavo::test::fixture("laptop_on_battery"), periods);
    QVERIFY2(made.elapsed() < 1000, qPrintable(QString::number(made.elapsed())));
    Ticker ticker{status};
    ticker.until([] { return false; }, 2000);
    QCOMPARE(status.read().batteryLifePercent, 57);
    QVERIFY(!status.usingUPower());

    m_env.bus().resume();
    const int backLimit = periods.reconnectMs + periods.replyTimeoutMs + 1000;
    const qint64 toUPower = ticker.until([&] { return status.usingUPower(); }, backLimit + 5000);
    QVERIFY2(status.usingUPower(), "UPower not used once the bus answered");
    QVERIFY2(toUPower <= backLimit, qPrintable(QString::number(toUPower)));
    QCOMPARE(status.read().batteryLifePercent, 66);
    QVERIFY2(ticker.longestTurnMs < 1000, "the event loop was held up for a second or more");
}

void TestPowerHungService::probe_data()
{
    QTest::addColumn<QString>("bus");
    QTest::addColumn<BusProbe::Result>("result");
    using R = BusProbe::Result;
    tellavo::test::row("a bus that answers", "running", R::Answers);
    tellavo::test::row("a stopped bus", "stopped", R::Silent);
    tellavo::test::row("a socket nobody takes from", "listening", R::Silent);
    tellavo::test::row("a socket that is gone", "unix:path=%1/gone", R::Absent);
    tellavo::test::row("gone, with a guid", "unix:path=%1/gone,guid=0123", R::Absent);
    tellavo::test::row("neither entry takes a connection", "unix:path=%1/gone;unix:path=%1/file",
                       R::Absent);
    tellavo::test::row("the second entry answers", "unix:path=%1/gone;running", R::Answers);
    tellavo::test::row("a file that is no socket", "unix:path=%1/file", R::Absent);
    tellavo::test::row("an abstract name nobody holds", "unix:abstract=/tellavo/none", R::Absent);
    tellavo::test::row("tcp: not asked", "tcp:host=localhost,port=1", R::Unprobed);
    tellavo::test::row("an escaped path: not asked", "unix:path=/run/bus%5fsocket", R::Unprobed);
    tellavo::test::row("no path: not asked", "unix:", R::Unprobed);
    tellavo::test::row("garbage: not asked", "\x01\x02", R::Unprobed);
}

// Whatever the bus does, the answer comes within the time given, and no turn
// of the event loop waits on it.
void TestPowerHungService::probe()
{
    QFETCH(QString, bus);
    QFETCH(BusProbe::Result, result);
    QTemporaryDir dir;
    tellavo::test::PrivateBus daemon(dir.path());
    int listener = -1;
    if (bus.endsWith(QLatin1String("running")) || bus == QLatin1String("stopped")) {
        QVERIFY2(daemon.start(), qPrintable(daemon.error()));
        if (bus == QLatin1String("stopped"))
            daemon.pause();
        bus.replace(QLatin1String(bus == QLatin1String("stopped") ? "stopped" : "running"),
                    daemon.address());
    } else if (bus == QLatin1String("listening")) {
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("listening")));
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::memcpy(where.sun_path, path.constData(), std::size_t(path.size()));
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0);
        QVERIFY(::listen(listener, 4) == 0);
        bus = QStringLiteral("unix:path=") + QString::fromLocal8Bit(path);
    }
    QFile(dir.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly);
    bus.replace(QLatin1String("%1"), dir.path());

    BusProbe probe;
    QSignalSpy finished(&probe, &BusProbe::finished);
    QElapsedTimer took;
    took.start();
    probe.start(bus, 1000);
    QVERIFY2(took.elapsed() < 100, "the probe waited on the bus");
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 2000);
    QCOMPARE(finished.at(0).at(0).value<BusProbe::Result>(), result);
    QVERIFY(!probe.running());
    if (listener >= 0)
        ::close(listener);
    if (daemon.isRunning())
        daemon.resume();
}

QTEST_GUILESS_MAIN(TestPowerHungService)
#include "tst_power_hung_service.moc"
