// When the one-second tick sleeps and where it wakes up on its grid.
#include "deaf_scheduler.h"
#include "tick_scheduler.h"

#include <QTest>

#include <vector>

using namespace tellavo;

Q_DECLARE_METATYPE(tellavo::WakeReason)

namespace {

struct ManualClock : TickClock {
    std::int64_t now = 0;
    std::int64_t nowMs() const override { return now; }
};

// Records what the scheduler asks of its timer.
struct RecordingTimer : TickTimer {
    std::vector<int> starts;  // firstMs of each start
    int stops = 0;
    bool active = false;
    void start(int firstMs) override
    {
        starts.push_back(firstMs);
        active = true;
    }
    void stop() override
    {
        ++stops;
        active = false;
    }
};

}  // namespace

class TestTickScheduler : public QObject {
    Q_OBJECT
private slots:
    void loadStartsOnePeriodOut();
    void sleepsOnlyOnARepeat_data();
    void sleepsOnlyOnARepeat();
    void wakesOnTheGrid_data();
    void wakesOnTheGrid();
    void wakeWhileTickingLeavesTheTimer();
    void ignoredReasonOnly_data();
    void ignoredReasonOnly();
};

void TestTickScheduler::loadStartsOnePeriodOut()
{
    ManualClock clock;
    clock.now = 123'456;
    RecordingTimer timer;
    TickScheduler s(timer, clock);
    s.load();
    QCOMPARE(timer.starts, std::vector<int>{kTickMs});
    QVERIFY(!s.asleep());
    // A wake before the first tick changes nothing: the tick is coming.
    clock.now += 500;
    s.wake(WakeReason::Slider);
    QCOMPARE(timer.starts.size(), size_t(1));
}

void TestTickScheduler::sleepsOnlyOnARepeat_data()
{
    QTest::addColumn<QString>("repeats");  // one tick each: 1 repeats, 0 does not
    QTest::addColumn<int>("stops");
    QTest::addColumn<bool>("asleep");
    QTest::newRow("never repeats") << "0000" << 0 << false;
    QTest::newRow("repeats at once") << "1" << 1 << true;
    QTest::newRow("settles on the third tick") << "001" << 1 << true;
    // Ticks that reach a sleeping scheduler come from elsewhere (a test's own).
    QTest::newRow("asleep, a repeat stops nothing more") << "0111" << 1 << true;
    QTest::newRow("asleep, a tick with work starts it again") << "010" << 1 << false;
}

void TestTickScheduler::sleepsOnlyOnARepeat()
{
    QFETCH(QString, repeats);
    QFETCH(int, stops);
    QFETCH(bool, asleep);
    ManualClock clock;
    RecordingTimer timer;
    TickScheduler s(timer, clock);
    s.load();
    for (QChar c : repeats) {
        clock.now += kTickMs;
        s.ticked(c == QLatin1Char('1'));
    }
    QCOMPARE(timer.stops, stops);
    QCOMPARE(s.asleep(), asleep);
    QCOMPARE(timer.active, !asleep);
}

void TestTickScheduler::wakesOnTheGrid_data()
{
    QTest::addColumn<qint64>("lastTick");
    QTest::addColumn<qint64>("wakeAt");
    QTest::addColumn<int>("first");
    QTest::newRow("just after the tick") << qint64(5'000) << qint64(5'001) << 999;
    QTest::newRow("half way") << qint64(5'000) << qint64(5'500) << 500;
    QTest::newRow("just before the next") << qint64(5'000) << qint64(5'999) << 1;
    // The grid instant's own tick came before the event.
    QTest::newRow("at a grid instant") << qint64(5'000) << qint64(6'000) << 1'000;
    QTest::newRow("at the tick's own instant") << qint64(5'000) << qint64(5'000) << 1'000;
    QTest::newRow("after hours asleep")
        << qint64(5'000) << qint64(5'000 + 3 * 3'600'000 + 250) << 750;
    QTest::newRow("negative clock values") << qint64(-10'300) << qint64(-10'000) << 700;
    QTest::newRow("a clock that went back") << qint64(5'000) << qint64(4'000) << 1'000;
}

void TestTickScheduler::wakesOnTheGrid()
{
    QFETCH(qint64, lastTick);
    QFETCH(qint64, wakeAt);
    QFETCH(int, first);
    ManualClock clock;
    RecordingTimer timer;
    TickScheduler s(timer, clock);
    clock.now = lastTick - kTickMs;
    s.load();
    clock.now = lastTick;
    s.ticked(true);
    QVERIFY(s.asleep());
    clock.now = wakeAt;
    s.wake(WakeReason::Readings);
    QVERIFY(!s.asleep());
    QCOMPARE(timer.starts.back(), first);
}

void TestTickScheduler::wakeWhileTickingLeavesTheTimer()
{
    ManualClock clock;
    RecordingTimer timer;
    TickScheduler s(timer, clock);
    s.load();
    clock.now = 1'000;
    s.ticked(false);
    for (int r = 0; r < kWakeReasonCount; ++r) {
        clock.now += 100;
        s.wake(WakeReason(r));
    }
    // Restarting a running timer would move the grid.
    QCOMPARE(timer.starts.size(), size_t(1));
    QCOMPARE(timer.stops, 0);
}

void TestTickScheduler::ignoredReasonOnly_data()
{
    QTest::addColumn<WakeReason>("ignored");
    QTest::newRow("readings") << WakeReason::Readings;
    QTest::newRow("source") << WakeReason::Source;
    QTest::newRow("slider") << WakeReason::Slider;
    QTest::newRow("settings") << WakeReason::Settings;
}

void TestTickScheduler::ignoredReasonOnly()
{
    QFETCH(WakeReason, ignored);
    for (int r = 0; r < kWakeReasonCount; ++r) {
        ManualClock clock;
        RecordingTimer timer;
        DeafScheduler s(timer, clock, ignored);
        s.load();
        clock.now = 1'000;
        s.ticked(true);
        clock.now = 1'400;
        s.wake(WakeReason(r));
        QCOMPARE(s.asleep(), WakeReason(r) == ignored);
    }
}

QTEST_APPLESS_MAIN(TestTickScheduler)
#include "tst_tick_scheduler.moc"
