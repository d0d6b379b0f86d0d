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
using Curves = std::vector<std::vector<LevelPoint>>;
Q_DECLARE_METATYPE(Samples)
Q_DECLARE_METATYPE(Curves)
Q_DECLARE_METATYPE(std::vector<double>)

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
    void joined_data();
    void joined();
    void kernelFilesDay();
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

// Several batteries' curves as one, on the union of their times, weighed by
// full energy (50 and 25 Wh here); ms in minutes of age.
void TestChargeHistory::joined_data()
{
    QTest::addColumn<Curves>("curves");
    QTest::addColumn<std::vector<double>>("weights");
    QTest::addColumn<QString>("joined");  // age in minutes:percent, oldest first
    constexpr std::int64_t m = 60'000;
    const std::vector<double> weights{50.0, 25.0};
    row("both change: every time of either",
        Curves{{{60 * m, 90, false}, {30 * m, 60, false}, {0, 30, false}},
               {{45 * m, 30, false}, {0, 0, false}}},
        weights, "60:70 45:70 30:50 0:20");
    row("an idle second battery, known only now: its charge all along",
        Curves{{{60 * m, 90, false}, {30 * m, 60, false}, {0, 30, false}}, {{0, 60, false}}},
        weights, "60:80 30:60 0:40");
    row("a battery held at its limit all day beside one that moved",
        Curves{{{0, 80, true}}, {{120 * m, 100, true}, {0, 40, true}}}, weights,
        "120:86.6667+ 0:66.6667+");
    row("a gap: the last level carried over it",
        Curves{{{90 * m, 90, false}, {10 * m, 50, true}}, {{0, 60, true}}}, weights,
        "90:80 10:53.3333+ 0:53.3333+");
    row("a weight missing: alike", Curves{{{30 * m, 90, false}, {0, 80, false}}, {{0, 40, false}}},
        std::vector<double>{50.0, 0.0}, "30:65 0:60");
    row("nothing", Curves{{}, {}}, weights, "");
}

void TestChargeHistory::joined()
{
    QFETCH(Curves, curves);
    QFETCH(std::vector<double>, weights);
    QFETCH(QString, joined);
    QStringList points;
    for (const LevelPoint& p : history::joinedCurve(curves, weights))
        points
            << QStringLiteral("%1:%2%3").arg(p.ms / 60'000).arg(p.level).arg(p.onMains ? "+" : "");
    QCOMPARE(points.join(QLatin1Char(' ')), joined);
}

// The kernel's files: the tick's curve spans a day of the boot clock, sleeps
// included, up to the last reading.
void TestChargeHistory::kernelFilesDay()
{
    ChargeHistory history;
    constexpr std::int64_t m = 60'000;
    for (std::int64_t t = 0; t <= 120 * m; t += 1000)
        history.addPercent(t, 80 - int(t / (10 * m)), false);
    std::vector<LevelPoint> day = history.day(120 * m + 30'000, 67, false);
    QCOMPARE(day.front().ms, 120 * m + 30'000);
    QCOMPARE(day.back().ms, 0);
    QCOMPARE(day.back().level, 67.0);
    QCOMPARE(day.size(), std::size_t(122));
    // A sleep of 23 h: what came before its last hour is past a day.
    const std::int64_t woke = (120 + 23 * 60) * m;
    history.addPercent(woke, 60, false);
    day = history.day(woke, 60, false);
    QVERIFY(day.front().ms <= ChargeHistory::kDayMs);
    QCOMPARE(day.front().level, 74.0);
    QCOMPARE(day.size(), std::size_t(62));
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
    Wakes wakes([&] { return boot; }, [&] { return monotonic; }, [&] { return wall; });
    const auto look = [&] {
        if (onWall)
            wakes.checkWallClock();
        else
            wakes.check();
    };
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
