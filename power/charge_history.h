#pragma once

#include "battery_model.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tellavo {

namespace history {

constexpr std::int64_t kMinute = 60'000;
// The average spans at most this much: long enough that a burst of work
// does not move it, short enough to follow a new load within minutes.
constexpr std::int64_t kAverageSpanMs = 10 * kMinute;
// Shorter than this the average is not yet believed (just started, woken,
// plugged or unplugged).
constexpr std::int64_t kSettledMs = kMinute;

// A value kept with the state it was in, each holding until the next:
// UPower's history of a battery's rate (unix seconds, watts, the device's
// state, kept when it changes), or the rate the tick saw between two levels.
struct StateSample {
    std::int64_t secs = 0;
    double value = 0.0;
    unsigned state = 0;
};

// The one average of a rate: the mean over time of the value through the
// last kAverageSpanMs to nowSecs, over the newest samples in the newest one's state (unknown, 0, is
// none), none before sinceSecs (a wake, or the wall clock set): a sample
// older than the span counts from the span's start. False when that covers
// less than kSettledMs, or when a sample is stamped ahead of nowSecs (the
// wall clock was set back: which samples are recent is not known).
bool stretchMean(std::vector<StateSample> samples, std::int64_t nowSecs, std::int64_t sinceSecs,
                 double& mean);

// The day's curve at nowMs from percentages kept on one clock, oldest
// first: each point's ms its age then, a day at most, never younger than a
// point kept after it (a wall clock set back stamps later points earlier, and
// the curve keeps them in the order they were kept), a reading out of all
// reason left out; ending at now's, when given.
std::vector<LevelPoint> dayCurve(const std::vector<LevelPoint>& kept, std::int64_t nowMs,
                                 std::optional<LevelPoint> now = std::nullopt);

// The day's curve of one battery from such samples of its charge in percent,
// given newest first (as UPower keeps them); onMains tells the states with a
// charger in.
std::vector<LevelPoint> curveOf(const std::vector<StateSample>& newestFirst, std::int64_t nowSecs,
                                bool (*onMains)(unsigned state),
                                std::optional<LevelPoint> now = std::nullopt);

// Several batteries' curves as one, as the strip's charge weighs them: at
// every time any of them has a point, each battery's last level by then
// (carried forward; before its first point, that first level: a history kept
// only on change has nothing from a battery that held still), weighted by
// its weight (its full energy), or alike when a weight is missing. On mains
// as the newest of those points says.
std::vector<LevelPoint> joinedCurve(const std::vector<std::vector<LevelPoint>>& curves,
                                    const std::vector<double>& weights);

}  // namespace history

// What the tick saw of the batteries, kept in memory only: the level every
// kLevelEveryMs (their energy), and the rate from each level to the next, and the percentage once
// a minute for the day's curve, at most a day of it.
class ChargeHistory {
public:
    static constexpr std::int64_t kLevelEveryMs = 10'000;
    static constexpr std::int64_t kPointEveryMs = history::kMinute;
    static constexpr std::int64_t kDayMs = 86'400'000;
    // A day of them, once a minute: the bound when nothing else drops them.
    static constexpr std::size_t kMostPoints = 1440;

    // Whether the tick should read the level now: a level is kept every
    // kLevelEveryMs.
    bool levelDue(std::int64_t ms) const;
    // A change of the line status, or a level that moves against the line (a
    // gauge recalibrating), starts the rates anew.
    void addLevel(std::int64_t ms, double level, bool onMains);
    // The percentage for the curve; kept once a minute, for a day of the
    // boot clock (a sleep counts: what came before it is as old as it is).
    void addPercent(std::int64_t ms, int percent, bool onMains);
    // The rate (W, positive while the level rises) averaged over the last
    // minutes to nowMs and since sinceMs (a wake: the curve keeps its points,
    // the rate starts anew), when settled.
    std::optional<double> settledWatts(std::int64_t nowMs, std::int64_t sinceMs) const;
    // The day's curve at nowMs, oldest first, each point's ms its age, up to
    // now: the percentage read now ends it.
    std::vector<LevelPoint> day(std::int64_t nowMs, int percentNow, bool onMainsNow) const;

private:
    std::optional<LevelPoint> m_level;  // the last one kept
    std::vector<history::StateSample> m_rates;
    std::deque<LevelPoint> m_curve;
};

}  // namespace tellavo
