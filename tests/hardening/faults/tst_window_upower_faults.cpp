// The whole battery window over the power status the program reads
// (SystemPowerStatus), with UPower played by python3-dbusmock on a private
// system bus that this test starts, hangs, kills and restarts itself.
//
// UPower starts on battery at 57 %; the kernel's files (a fixture tree) say
// on mains at 88 %, so the label tells where a reading came from: " 57%" and
// the like from UPower, " 88%" from the files, "!" for no reading. The
// threshold is 50: a bad value read as a low number would raise the warning,
// and the one good value every case ends with (42 % on battery) must raise it
// exactly once.
#include "bus_services.h"
#include "figures.h"
#include "system_power_status.h"
#include "window_harness.h"

#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>

#include <memory>

using namespace tellavo;
using namespace tellavo::test;

namespace {

constexpr int kSoglia = 50;
// Short timings so that a case takes seconds; the reply timeout is the
// longest the source may ever take to give up on a call.
UPowerTimings quick()
{
    UPowerTimings t;
    t.livenessMs = 300;
    t.replyTimeoutMs = 1000;
    t.reconnectMs = 300;
    return t;
}
// Long enough for a loaded machine, never a measure of speed.
constexpr int kSoon = 10'000;

const QString kFromFiles = QStringLiteral(" 88%");
const QString kNoReading = QStringLiteral("!");

QString filesTree()
{
    return tellavo::test::fixturesDir() + QStringLiteral("/laptop_charging");
}

// Counts the turns of the event loop: a timer that fires every 10 ms records
// the longest gap between two of its firings, the first counted from the
// heartbeat's start (a constructor that blocked would show there). The test's
// own waits for the processes it starts and drives hold the thread up as
// well: aside() runs one with the count stopped, so that only the program's
// own time is measured.
struct Heartbeat {
    QTimer timer;
    QElapsedTimer since;
    qint64 longestGapMs = 0;
    qint64 longestAsideMs = 0;
    Heartbeat()
    {
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &timer,
                         [this] { longestGapMs = qMax(longestGapMs, since.restart()); });
        since.start();
        timer.start();
    }
    // Never stood still for as long as the source's reply timeout.
    bool steady() const { return longestGapMs < quick().replyTimeoutMs; }
    QString report() const
    {
        return QStringLiteral(
                   "the event loop stood still for %1 ms (the test's own longest "
                   "wait, left out: %2 ms)")
            .arg(longestGapMs)
            .arg(longestAsideMs);
    }
    template <typename Step>
    auto aside(Step step)
    {
        longestGapMs = qMax(longestGapMs, since.restart());
        const auto restart =
            qScopeGuard([this] { longestAsideMs = qMax(longestAsideMs, since.restart()); });
        return step();
    }
};

}  // namespace

class TestWindowUPowerFaults : public CountedTest {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // First: the bus is not there yet when the window starts.
    void noSystemBusThenOne();
    void badValues_data();
    void badValues();
    void serviceGoesAndComes();
    void serviceHangs();
    void serviceHungFromTheStart();
    void busHangs();
    void busKilledAndRestarted();

private:
    // The window over a fresh power status; it reads UPower's 57 % on return.
    bool startWindow(bool productTimer = false);

    void fallTo42(Ticker& ticker);

    // The bus starts in the first case that wants it.
    tellavo::test::MockOnBus m_env;
    tellavo::test::PrivateBus& m_bus = m_env.bus();
    tellavo::test::ServiceDriver& m_mock = m_env.mock();
    std::unique_ptr<SystemPowerStatus> m_status;
    std::unique_ptr<WindowHarness> m_h;
    std::unique_ptr<BoxCounter> m_boxes;
};

void TestWindowUPowerFaults::init()
{
    m_boxes = std::make_unique<BoxCounter>();
    if (QTest::currentTestFunction() != QByteArray("noSystemBusThenOne") && !m_bus.isRunning())
        QVERIFY(m_env.startBus());
}

void TestWindowUPowerFaults::cleanup()
{
    countRow();
    m_h.reset();
    m_status.reset();
    m_mock.stop();
    m_boxes.reset();
    m_bus.resume();
}

bool TestWindowUPowerFaults::startWindow(bool productTimer)
{
    m_status = std::make_unique<SystemPowerStatus>(filesTree(), quick());
    m_h = std::make_unique<WindowHarness>(*m_status, kSoglia, productTimer);
    if (!m_h->w)
        return false;
    Ticker ticker{*m_h};
    return ticker.until(QStringLiteral(" 57%"), kSoon);
}

// No bus at all: the files from the first tick, and the attempts to connect
// hold nothing up. Then the bus and UPower come, go with the bus, and come back.
void TestWindowUPowerFaults::noSystemBusThenOne()
{
    QVERIFY(!m_bus.isRunning());
    m_status = std::make_unique<SystemPowerStatus>(filesTree(), quick());
    m_h = std::make_unique<WindowHarness>(*m_status, kSoglia);
    QVERIFY(m_h->w);
    ++faults_;
    Heartbeat heart;
    Ticker ticker{*m_h};
    m_h->tick();
    QCOMPARE(m_h->label(), kFromFiles);
    ticker.during(1000);  // several reconnect periods against a missing socket
    QCOMPARE(m_h->label(), kFromFiles);
    QVERIFY2(heart.steady(), qPrintable(heart.report()));

    QVERIFY(heart.aside([this] { return m_env.startBus(); }));
    QVERIFY(heart.aside([this] { return m_env.startMock(); }));
    QVERIFY2(ticker.until(QStringLiteral(" 57%"), kSoon), qPrintable(m_h->label()));
    heart.aside([this] { m_bus.kill(); });  // the mock leaves with its bus
    ++faults_;
    QVERIFY2(ticker.until(kFromFiles, kSoon), qPrintable(m_h->label()));
    QVERIFY(heart.aside([this] { return m_env.startBus(); }));
    QVERIFY(heart.aside([this] {
        return m_env.startMock({"--percentage", "42", "--on-battery"});
    }));
    ++faults_;
    QVERIFY2(ticker.until(QStringLiteral(" 42%"), kSoon), qPrintable(m_h->label()));
    m_h->tick();
    QCOMPARE(m_boxes->shown(), 1);
    QVERIFY2(ticker.insane.isEmpty(), qPrintable(ticker.insane.join(QLatin1Char('|'))));
    qInfo("%s", qPrintable(heart.report()));
    QVERIFY2(heart.steady(), qPrintable(heart.report()));
}

// Each row sends values UPower should never send, by signal (set, emit,
// percentage) or in the reply to a GetAll the source makes (invalidate), and
// says what the label shows then. No row may raise the warning: every bad
// value is above the threshold or no reading, or the line status is bad
// (unknown counts as mains). Then the row's recovery sends the good 42 % on
// battery: the label follows and one warning box comes.
void TestWindowUPowerFaults::badValues_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("during");
    QTest::addColumn<QString>("settled");
    QTest::addColumn<QStringList>("recovery");

    const QStringList good{"percentage 42", "on-battery true"};
    // settled: the label a liveness period later, when the GetAll it makes
    // has brought UPower's stored values (a signal alone does not change them).
    const auto row = [&](const char* tag, const QStringList& commands, const char* during,
                         const QStringList& recovery, const char* settled = nullptr) {
        QTest::newRow(tag) << commands << QString::fromLatin1(during)
                           << QString::fromLatin1(settled ? settled : during) << recovery;
    };
    const char* bang = "!";

    row("Percentage NaN", {"percentage nan"}, bang, good);
    row("Percentage infinite", {"percentage inf"}, bang, good);
    row("Percentage minus infinite", {"percentage -inf"}, bang, good);
    row("Percentage 1e308", {"percentage 1e308"}, bang, good);
    row("Percentage -1e308", {"percentage -1e308"}, bang, good);
    row("Percentage -5", {"percentage -5"}, bang, good);
    row("Percentage 255", {"percentage 255"}, bang, good);
    row("Percentage 200.5", {"percentage 200.5"}, bang, good);
    row("Percentage a string", {"set display Percentage 'hello'"}, bang, good);
    row("Percentage an empty string", {"set display Percentage ''"}, bang, good);
    row("Percentage a uint64 at its top", {"set display Percentage @t 18446744073709551615"}, bang,
        good);
    row("Percentage an int64 at its bottom", {"set display Percentage @x -9223372036854775808"},
        bang, good);
    row("Percentage a boolean", {"set display Percentage true"}, bang, good);
    row("Percentage a byte", {"set display Percentage @y 42"}, bang, good);
    row("Percentage an object path", {"set display Percentage @o '/42'"}, bang, good);
    row("Percentage a struct", {"set display Percentage (42.0, 'x')"}, bang, good);
    row("IsPresent a byte", {"set display IsPresent @y 1"}, bang,
        QStringList{"set display IsPresent true"} + good);
    row("Type at the top of uint32", {"set display Type @u 4294967295"}, bang,
        QStringList{"set display Type @u 2"} + good);
    row("Type an int64", {"set display Type @x 2"}, bang,
        QStringList{"set display Type @u 2"} + good);
    row("OnBattery a string", {"set root OnBattery 'true'", "percentage 42"}, " 42%", good);
    row("OnBattery an int32", {"set root OnBattery 1", "percentage 42"}, " 42%", good);
    row("OnBattery a double", {"set root OnBattery 1.0", "percentage 42"}, " 42%", good);

    row("fetched: Percentage NaN", {"invalidate display Percentage nan"}, bang, good);
    row("fetched: Percentage 1e308", {"invalidate display Percentage 1e308"}, bang, good);
    row("fetched: Percentage missing", {"invalidate display Percentage"}, bang,
        {"invalidate display Percentage 42.0", "on-battery true"});
    // On mains at 42 % first: a missing OnBattery read as "on battery" would
    // warn. (Announced the other way round, the fall to 42 % could come in
    // before the answer about OnBattery, and warn rightly.)
    row("fetched: OnBattery missing",
        {"on-battery false", "percentage 42", "invalidate root OnBattery"}, " 42%",
        {"invalidate root OnBattery true"});
    row("fetched: every property missing",
        {"invalidate display Percentage", "invalidate display IsPresent", "invalidate display Type",
         "invalidate root OnBattery"},
        bang,
        {"invalidate display IsPresent true", "invalidate display Type @u 2",
         "invalidate display Percentage 42.0", "invalidate root OnBattery true"});

    // Signals sent by hand (the driver's emit wraps each value of the map in
    // one variant more than written): no reading while they stand, and the
    // next liveness GetAll brings UPower's own 57 % back.
    row("signal: Percentage a variant of '42'",
        {"emit display ('org.freedesktop.UPower.Device', {'Percentage': <'42'>}, @as [])"}, bang,
        good, " 57%");
    row("signal: Percentage three variants deep",
        {"emit display ('org.freedesktop.UPower.Device', {'Percentage': <<42.0>>}, @as [])"}, bang,
        good, " 57%");
    // Signals of the wrong shape change nothing; the change after them shows
    // they have been dealt with.
    row("signal: other arguments", {"emit display (1, 2)", "percentage 58"}, " 58%", good);
    row("signal: a list for the map",
        {"emit display ('org.freedesktop.UPower.Device', ['Percentage'], @as [])", "percentage 58"},
        " 58%", good);
    QString many = QStringLiteral("emit display ('org.freedesktop.UPower.Device', {");
    for (int i = 0; i < 5000; ++i)
        many += QStringLiteral("'Junk%1': <%1>, ").arg(i);
    many += QStringLiteral("'Percentage': <nan>}, @as [])");
    row("signal: 5000 other properties and a NaN", {many}, bang, good, " 57%");

    // Errors instead of answers: the files take over until a whole new UPower comes.
    row("display device gone", {"remove-object display"}, " 88%", {"restart"});
    row("root object gone", {"remove-object root"}, " 88%", {"restart"});
    // UPower's way to say there is no battery: no reading, not 0 %.
    row("battery removed", {"remove-battery"}, bang, {"add-battery 42"});
}

void TestWindowUPowerFaults::badValues()
{
    QFETCH(QStringList, commands);
    QFETCH(QString, during);
    QFETCH(QString, settled);
    QFETCH(QStringList, recovery);

    QVERIFY(m_bus.isRunning() || m_env.startBus());
    QVERIFY(m_env.startMock());
    QVERIFY(startWindow());
    Ticker ticker{*m_h};
    // A value that does not stand (settled differs) can meet a liveness call
    // the source made while the mock was still building the signal: the
    // answer, sent after it, puts the stored value back before a tick has
    // read the bad one. Such a signal is sent again.
    const bool stands = settled == during;
    bool shown = false;
    for (int sent = 0; !shown && sent < (stands ? 1 : 3); ++sent) {
        for (const QString& command : commands)
            QVERIFY2(m_mock.send(command), qPrintable(m_mock.answer()));
        shown = ticker.until(during, stands ? kSoon : 2000);
    }
    inputs_ += int(commands.size());
    QVERIFY2(shown, qPrintable(m_h->label()));
    QCOMPARE(m_boxes->shown(), 0);
    QVERIFY2(ticker.until(settled, kSoon), qPrintable(m_h->label()));
    ticker.during(400);  // a liveness period: a fetched value would show by now
    QCOMPARE(m_h->label(), settled);
    QCOMPARE(named<QProgressBar>(m_h->w, "ProgressBar")->value(),
             settled == kNoReading ? 100 : settled.mid(1).chopped(1).toInt());
    QCOMPARE(m_boxes->shown(), 0);

    for (const QString& command : recovery) {
        if (command == QLatin1String("restart"))
            QVERIFY(m_env.startMock({"--percentage", "42", "--on-battery"}));
        else
            QVERIFY2(m_mock.send(command), qPrintable(m_mock.answer()));
    }
    QVERIFY2(ticker.until(QStringLiteral(" 42%"), kSoon), qPrintable(m_h->label()));
    ticker.during(200);
    QCOMPARE(m_h->label(), QStringLiteral(" 42%"));
    QCOMPARE(m_boxes->shown(), 1);
    QVERIFY2(ticker.insane.isEmpty(), qPrintable(ticker.insane.join(QLatin1Char('|'))));
}

// Killed, stopped, started again, quickly in a row: the label follows each
// UPower and the files between them, and the warning comes once per fall
// below the threshold (88 % from the files re-arms it).
void TestWindowUPowerFaults::serviceGoesAndComes()
{
    QVERIFY(m_env.startMock());
    QVERIFY(startWindow());
    Ticker ticker{*m_h};

    m_mock.kill();
    ++faults_;
    QVERIFY2(ticker.until(kFromFiles, kSoon), qPrintable(m_h->label()));
    QVERIFY(m_env.startMock({"--percentage", "30", "--on-battery"}));
    QVERIFY2(ticker.until(QStringLiteral(" 30%"), kSoon), qPrintable(m_h->label()));
    QCOMPARE(m_boxes->shown(), 1);
    m_h->closeBox();

    m_mock.stop();
    ++faults_;
    QVERIFY2(ticker.until(kFromFiles, kSoon), qPrintable(m_h->label()));
    QVERIFY(m_env.startMock({"--percentage", "42", "--on-battery"}));
    QVERIFY2(ticker.until(QStringLiteral(" 42%"), kSoon), qPrintable(m_h->label()));
    QCOMPARE(m_boxes->shown(), 2);
    m_h->closeBox();

    // Five owners in a row, each killed as soon as it is up.
    for (int i = 0; i < 5; ++i) {
        QVERIFY(m_env.startMock({"--percentage", QString::number(60 + i), "--on-ac"}));
        ticker.during(30);
        m_mock.kill();
        ++faults_;
    }
    QVERIFY(m_env.startMock({"--percentage", "77", "--on-ac"}));
    QVERIFY2(ticker.until(QStringLiteral(" 77%"), kSoon), qPrintable(m_h->label()));
    QCOMPARE(m_boxes->shown(), 2);
    QVERIFY2(ticker.insane.isEmpty(), qPrintable(ticker.insane.join(QLatin1Char('|'))));
}

// UPower stops answering with its name still owned. The window goes on
// ticking on its own timer, the event loop never stands still for as long as
// the source's reply timeout, the files take over, and UPower's readings
// come back when it wakes.
void TestWindowUPowerFaults::serviceHangs()
{
    QVERIFY(m_env.startMock());
    QVERIFY(startWindow(true));
    QSignalSpy productTicks(named<QTimer>(m_h->w, "Timer1"), &QTimer::timeout);
    Heartbeat heart;
    Ticker ticker{*m_h};

    m_mock.pause();
    ++faults_;
    QVERIFY2(ticker.until(kFromFiles, kSoon), qPrintable(m_h->label()));
    // Hung for longer than a reply timeout and a period; and long enough for
    // Timer1 itself to fire, which comes a second after the first tick that
    // the switch to the files brings (that one falls on the old one-second grid).
    ticker.during(2500);
    QCOMPARE(m_h->label(), kFromFiles);
    QVERIFY2(m_mock.isRunning(), "the mock ended instead of hanging");
    QVERIFY2(productTicks.count() >= 1, "Timer1 did not fire while UPower hung");
    QVERIFY2(heart.steady(), qPrintable(heart.report()));
    QVERIFY2(ticker.longestTickMs < quick().replyTimeoutMs,
             qPrintable(QString::number(ticker.longestTickMs)));

    m_mock.resume();
    QVERIFY2(ticker.until(QStringLiteral(" 57%"), kSoon), qPrintable(m_h->label()));
    fallTo42(ticker);
}

// Hung before the window asks it anything: the first tick already shows the
// files, and UPower is taken once it answers.
void TestWindowUPowerFaults::serviceHungFromTheStart()
{
    QVERIFY(m_env.startMock());
    m_mock.pause();
    ++faults_;
    Heartbeat heart;
    m_status = std::make_unique<SystemPowerStatus>(filesTree(), quick());
    m_h = std::make_unique<WindowHarness>(*m_status, kSoglia);
    QVERIFY(m_h->w);
    Ticker ticker{*m_h};
    m_h->tick();
    QCOMPARE(m_h->label(), kFromFiles);
    ticker.during(1500);
    QCOMPARE(m_h->label(), kFromFiles);
    QVERIFY2(heart.steady(), qPrintable(heart.report()));
    m_mock.resume();
    QVERIFY2(ticker.until(QStringLiteral(" 57%"), kSoon), qPrintable(m_h->label()));
    QVERIFY2(ticker.insane.isEmpty(), qPrintable(ticker.insane.join(QLatin1Char('|'))));
}

// The bus daemon itself stops: nothing reaches UPower or comes back from it.
void TestWindowUPowerFaults::busHangs()
{
    QVERIFY(m_env.startMock());
    QVERIFY(startWindow());
    Heartbeat heart;
    Ticker ticker{*m_h};
    m_bus.pause();
    ++faults_;
    QVERIFY2(ticker.until(kFromFiles, kSoon), qPrintable(m_h->label()));
    ticker.during(1500);
    QCOMPARE(m_h->label(), kFromFiles);
    QVERIFY2(heart.steady(), qPrintable(heart.report()));
    m_bus.resume();
    QVERIFY2(ticker.until(QStringLiteral(" 57%"), kSoon), qPrintable(m_h->label()));
    fallTo42(ticker);
}

// The bus dies twice while the window runs, once while it hangs.
void TestWindowUPowerFaults::busKilledAndRestarted()
{
    QVERIFY(m_env.startMock());
    QVERIFY(startWindow());
    Heartbeat heart;
    Ticker ticker{*m_h};
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            m_bus.pause();
        heart.aside([this] { m_bus.kill(); });
        ++faults_;
        QVERIFY2(ticker.until(kFromFiles, kSoon), qPrintable(m_h->label()));
        QVERIFY(heart.aside([this] { return m_env.startBus(); }));
        const QString percent = QString::number(60 + round);
        QVERIFY(heart.aside([&] {
            return m_env.startMock({"--percentage", percent, "--on-battery"});
        }));
        QVERIFY2(ticker.until(QLatin1Char(' ') + percent + QLatin1Char('%'), kSoon),
                 qPrintable(m_h->label()));
    }
    qInfo("%s", qPrintable(heart.report()));
    QVERIFY2(heart.steady(), qPrintable(heart.report()));
    fallTo42(ticker);
}

// UPower says 42 % on battery: the label follows, the case's one warning box
// comes, and no label seen in the case was insane.
void TestWindowUPowerFaults::fallTo42(Ticker& ticker)
{
    QVERIFY(m_mock.send("percentage 42"));
    QVERIFY2(ticker.until(QStringLiteral(" 42%"), kSoon), qPrintable(m_h->label()));
    QCOMPARE(m_boxes->shown(), 1);
    QVERIFY2(ticker.insane.isEmpty(), qPrintable(ticker.insane.join(QLatin1Char('|'))));
}

QTEST_MAIN(TestWindowUPowerFaults)
#include "tst_window_upower_faults.moc"
