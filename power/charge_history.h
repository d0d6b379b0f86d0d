#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace tellavo {

// A battery level at a time, as a source saw it: for a rate averaged over
// minutes, and for the day's curve.
struct LevelPoint {
    std::int64_t ms = 0;  // on a clock that runs through sleep
    double level = 0.0;   // energy or charge, in one unit throughout; or percent
    bool onMains = false;
};

namespace history {

constexpr std::int64_t kMinute = 60'000;
// The average spans at most this much: long enough that a burst of work
// does not move it, short enough to follow a new load within minutes.
constexpr std::int64_t kAverageSpanMs = 10 * kMinute;
// Shorter than this the average is not yet believed (just started, woken,
// plugged or unplugged).
constexpr std::int64_t kSettledMs = kMinute;

// The level's change per hour over the points, by least squares: a rate
// that swings from second to second around a steady one gives the steady
// one. Positive while it rises. False with fewer than two distinct times or
// a span shorter than kSettledMs.
bool ratePerHour(const std::vector<LevelPoint>& points, double& rate);

// The points of the last stretch: from the newest back while the line status
// stays that of the newest, within kAverageSpanMs of the newest, and not
// before sinceMs (a wake).
std::vector<LevelPoint> lastStretch(const std::vector<LevelPoint>& points, std::int64_t sinceMs);

}  // namespace history

// What the tick saw of the batteries, kept in memory only: the level every
// kLevelEveryMs (energy or charge: a rate averaged over minutes comes from
// it), and the percentage once a minute for the day's curve, at most a day
// of it.
class ChargeHistory {
public:
    static constexpr std::int64_t kLevelEveryMs = 10'000;
    static constexpr std::int64_t kPointEveryMs = history::kMinute;
    static constexpr std::size_t kMostPoints = 1440;

    // Whether the tick should read the level now: a level is kept every
    // kLevelEveryMs.
    bool levelDue(std::int64_t ms) const;
    // unit tells energy from charge: a change of it, or of the line status,
    // or a level that moves against the line (a gauge recalibrating), starts
    // the stretch anew.
    void addLevel(std::int64_t ms, double level, int unit, bool onMains);
    // The percentage for the curve; kept once a minute.
    void addPercent(std::int64_t ms, int percent, bool onMains);
    // A sleep ended: the rate starts anew (the curve keeps its points).
    void restart();

    // The level's change per hour over the last stretch, when settled.
    bool ratePerHour(double& rate) const;
    const std::deque<LevelPoint>& curve() const { return m_curve; }
    // The unit of the levels kept (0 before the first).
    int unit() const { return m_unit; }

private:
    std::vector<LevelPoint> m_levels;  // the stretch, oldest first
    int m_unit = 0;
    std::deque<LevelPoint> m_curve;
};

}  // namespace tellavo
