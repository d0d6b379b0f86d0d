// What a history of readings gives the tip: UPower's rate averaged over its
// last minutes, its day's curve, and when a sleep or a clock set starts the
// average anew. The clock cases are real ones: a wall clock set back or
// forward (by hand, or by NTP after a long sleep) under UPower's history,
// which upowerd stamps by the wall clock.
#include "charge_history.h"
#include "data_row.h"
#include "wakes.h"

#include <QTest>

using namespace tellavo;
using history::StateSample;
using tellavo::test::row;

using Samples = std::vector<StateSample>;
Q_DECLARE_METATYPE(Samples)

namespace {

constexpr std::int64_t kNow = 1'800'000'000;
constexpr unsigned kDischarging = 2;
constexpr unsigned kCharging = 1;

// A rate every 30 s back from kNow - first, newest first, as UPower gives it:
// 5 and 25 W in turn when swinging.
Samples rates(int count, std::int64_t first = 0, bool swing = false, unsigned state = kDischarging)
{
    Samples s;
    for (int i = 0; i < count; ++i)
        s.push_back({kNow - first - 30 * i, swing ? (i % 2 ? 5.0 : 25.0) : 10.0, state});
    return s;
}

Samples operator+(Samples a, const Samples& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool onMains(unsigned state)
{
    return state == kCharging;
}

}  // namespace

class TestChargeHistory : public QObject {
    Q_OBJECT
private slots:
    void settledRate_data();
    void settledRate();
    void curve_data();
    void curve();
    void wakes_data();
    void wakes();
};

void TestChargeHistory::settledRate_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<qint64>("since");  // a wake, in unix seconds; 0: none
    QTest::addColumn<double>("mean");   // -1: none settled

    row("steady 10 W for ten minutes", rates(21), qint64(0), 10.0);
    row("swinging 5 and 25 W: their mean", rates(21, 0, true), qint64(0), 15.0);
    row("an older sample counts from the span's start", rates(1, 900), qint64(0), 10.0);
    row("under a minute of it", rates(2, 0), qint64(0), -1.0);
    row("only the newest state's: plugged in 10 s ago",
        Samples{{kNow - 10, 30.0, kCharging}} + rates(21, 20), qint64(0), -1.0);
    row("since a wake 30 s ago: not yet", rates(21), qint64(kNow - 30), -1.0);
    row("since a wake 5 min ago", rates(21), qint64(kNow - 300), 10.0);
    row("the same second read on two clocks", Samples{{kNow + 1, 10.0, kDischarging}} + rates(21),
        qint64(0), 10.0);
    row("the wall clock set back: a sample ahead of now",
        Samples{{kNow + 3600, 10.0, kDischarging}} + rates(21), qint64(0), -1.0);
    row("the wall clock set forward an hour: set since, nothing after", rates(21, 3600),
        qint64(kNow - 5), -1.0);
    row("unknown states tell nothing", rates(21, 0, false, 0), qint64(0), -1.0);
}

void TestChargeHistory::settledRate()
{
    QFETCH(Samples, samples);
    QFETCH(qint64, since);
    QFETCH(double, mean);
    double got = -1.0;
    if (!history::stretchMean(samples, kNow, since, got))
        got = -1.0;
    QVERIFY2(qAbs(got - mean) < 0.6, qPrintable(QString::number(got)));
}

void TestChargeHistory::curve_data()
{
    QTest::addColumn<Samples>("newestFirst");
    QTest::addColumn<QString>("curve");  // age in minutes:percent, oldest first

    row("newest first becomes oldest first",
        Samples{{kNow - 60, 57, 2}, {kNow - 600, 60, 2}, {kNow - 3600, 80, 1}},
        "60:80+ 10:60 1:57");
    row("past a day: cut", Samples{{kNow - 60, 57, 2}, {kNow - 86'400 - 60, 90, 2}}, "1:57");
    row("a reading out of all reason is left out",
        Samples{{kNow - 60, 57, 2}, {kNow - 120, 300, 2}, {kNow - 180, 59, 2}}, "3:59 1:57");
    row("the wall clock set back an hour: later points keep their place",
        Samples{{kNow - 60, 57, 2}, {kNow + 3000, 58, 2}, {kNow + 2400, 59, 2}}, "1:59 1:58 1:57");
}

void TestChargeHistory::curve()
{
    QFETCH(Samples, newestFirst);
    QFETCH(QString, curve);
    QStringList points;
    for (const LevelPoint& p : history::curveOf(newestFirst, kNow, onMains))
        points
            << QStringLiteral("%1:%2%3").arg(p.ms / 60'000).arg(p.level).arg(p.onMains ? "+" : "");
    QCOMPARE(points.join(QLatin1Char(' ')), curve);
}

void TestChargeHistory::wakes_data()
{
    QTest::addColumn<qint64>("sleptMs");    // the boot clock runs ahead by it
    QTest::addColumn<qint64>("wallSetMs");  // the wall clock is set by it
    QTest::addColumn<bool>("onWall");       // the look is for wall-stamped readings
    QTest::addColumn<bool>("woke");

    row("nothing", qint64(0), qint64(0), true, false);
    row("a sleep of an hour", qint64(3'600'000), qint64(0), false, true);
    row("a second's drift is no sleep", qint64(1000), qint64(0), false, false);
    row("the wall clock set back an hour", qint64(0), qint64(-3'600'000), true, true);
    row("the wall clock set forward an hour", qint64(0), qint64(3'600'000), true, true);
    row("NTP's slew of a second", qint64(0), qint64(1000), true, false);
    row("the wall clock set: nothing to the boot clock's averages", qint64(0), qint64(-3'600'000),
        false, false);
}

void TestChargeHistory::wakes()
{
    QFETCH(qint64, sleptMs);
    QFETCH(qint64, wallSetMs);
    QFETCH(bool, onWall);
    QFETCH(bool, woke);
    std::int64_t boot = 10'000;
    std::int64_t monotonic = 10'000;
    std::int64_t wall = kNow * 1000;
    Wakes wakes;
    wakes.setClocks([&] { return boot; }, [&] { return monotonic; }, [&] { return wall; });
    const auto look = [&] { onWall ? wakes.checkWallClock() : wakes.check(); };
    look();
    boot += 1000 + sleptMs;
    monotonic += 1000;
    wall += 1000 + sleptMs + wallSetMs;
    look();
    QCOMPARE(wakes.lastWakeMs() >= 0, woke);
    if (woke)
        QCOMPARE(wakes.lastWakeUnixSecs(), wall / 1000);
}

QTEST_APPLESS_MAIN(TestChargeHistory)
#include "tst_charge_history.moc"
