// When the one-second tick sleeps and where it wakes up on its grid.
#include "tick_scheduler.h"

#include <QTest>

#include <vector>

using namespace tellavo;

namespace {

struct ManualClock : TickClock {
    std::int64_t now = 0;
    std::int64_t resumedUntil = kNever;
    std::int64_t nowMs() const override { return now; }
    std::int64_t resumedUntilMs() const override { return resumedUntil; }
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
    s.wake();
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
    QTest::addColumn<bool>("asleep");  // the last tick repeated
    QTest::addColumn<qint64>("resumedUntil");
    QTest::addColumn<qint64>("wakeAt");
    QTest::addColumn<int>("wakes");  // at that instant
    QTest::addColumn<int>("first");  // -1: the running timer is left alone
    const qint64 never = kNever;
    const auto row = [](const char* tag, qint64 lastTick, bool asleep, qint64 resumedUntil,
                        qint64 wakeAt, int wakes, int first) {
        QTest::newRow(tag) << lastTick << asleep << resumedUntil << wakeAt << wakes << first;
    };
    row("just after the tick", 5'000, true, never, 5'001, 1, 999);
    row("half way", 5'000, true, never, 5'500, 1, 500);
    row("just before the next", 5'000, true, never, 5'999, 1, 1);
    // The grid instant's own tick came before the event.
    row("at a grid instant", 5'000, true, never, 6'000, 1, 1'000);
    row("at the tick's own instant", 5'000, true, never, 5'000, 1, 1'000);
    row("after hours asleep", 5'000, true, never, 5'000 + 3 * 3'600'000 + 250, 1, 750);
    row("negative clock values", -10'300, true, never, -10'000, 1, 700);
    row("a clock that went back", 5'000, true, never, 4'000, 1, 1'000);
    // Stopped from 5'300 to 25'300: a timer that never stopped is overdue
    // then, ticks at once and keeps its grid from there.
    row("stopped 20 s: news at the continue", 5'000, true, 25'300, 25'300, 1, 0);
    row("stopped 20 s: news still coming in", 5'000, true, 25'800, 25'500, 1, 0);
    row("stopped 20 s: two pieces of news, one tick", 5'000, true, 25'300, 25'300, 2, 0);
    row("stopped 20 s: news after, on the new grid", 5'000, true, 25'300, 25'600, 1, 700);
    row("stopped 20 s ticking: news at the continue", 5'000, false, 25'300, 25'300, 1, 0);
    row("stopped 20 s ticking: news after", 5'000, false, 25'300, 25'600, 1, -1);
    row("stopped before the last tick", 5'000, true, 4'000, 5'500, 1, 500);
}

void TestTickScheduler::wakesOnTheGrid()
{
    QFETCH(qint64, lastTick);
    QFETCH(bool, asleep);
    QFETCH(qint64, resumedUntil);
    QFETCH(qint64, wakeAt);
    QFETCH(int, wakes);
    QFETCH(int, first);
    ManualClock clock;
    RecordingTimer timer;
    TickScheduler s(timer, clock);
    clock.now = lastTick - kTickMs;
    s.load();
    clock.now = lastTick;
    s.ticked(asleep);
    QCOMPARE(s.asleep(), asleep);
    clock.resumedUntil = resumedUntil;
    clock.now = wakeAt;
    for (int i = 0; i < wakes; ++i)
        s.wake();
    QVERIFY(!s.asleep());
    // The load's start, and one more unless the timer was left alone.
    QCOMPARE(timer.starts.size(), size_t(first < 0 ? 1 : 2));
    if (first >= 0)
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
    for (int event = 0; event < 4; ++event) {
        clock.now += 100;
        s.wake();
    }
    // Restarting a running timer would move the grid.
    QCOMPARE(timer.starts.size(), size_t(1));
    QCOMPARE(timer.stops, 0);
}

QTEST_APPLESS_MAIN(TestTickScheduler)
#include "tst_tick_scheduler.moc"
