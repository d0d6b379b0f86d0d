#include "charge_history.h"

#include "battery_model.h"
#include "wakes.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace tellavo {
namespace history {
namespace {

// A stamp this far ahead of now is the same second read on two clocks.
constexpr std::int64_t kAheadSecs = 1;

}  // namespace

bool stretchMean(std::vector<StateSample> samples, std::int64_t nowSecs, std::int64_t sinceSecs,
                 double& mean)
{
    // One of unknown state tells no direction.
    samples.erase(std::remove_if(samples.begin(), samples.end(),
                                 [](const StateSample& s) { return s.state == 0; }),
                  samples.end());
    // A sample stamped ahead of now says the wall clock was set back since:
    // which samples are recent is then not known, and no rate is settled.
    if (std::any_of(samples.begin(), samples.end(),
                    [&](const StateSample& s) { return s.secs > nowSecs + kAheadSecs; }))
        return false;
    std::sort(samples.begin(), samples.end(),
              [](const StateSample& a, const StateSample& b) { return a.secs < b.secs; });
    if (samples.empty())
        return false;
    const std::int64_t spanStart = nowSecs - kAverageSpanMs / 1000;
    std::size_t first = samples.size() - 1;
    while (first > 0 && samples[first - 1].state == samples.back().state &&
           samples[first - 1].secs >= sinceSecs && samples[first].secs > spanStart)
        --first;
    if (samples[first].secs < sinceSecs)
        return false;
    const std::int64_t start = std::max(samples[first].secs, spanStart);
    if ((nowSecs - start) * 1000 < kSettledMs)
        return false;
    double sum = 0.0;
    for (std::size_t i = first; i < samples.size(); ++i) {
        const std::int64_t from = std::max(samples[i].secs, start);
        const std::int64_t to = i + 1 < samples.size() ? samples[i + 1].secs : nowSecs;
        if (to > from)
            sum += samples[i].value * static_cast<double>(to - from);
    }
    mean = sum / static_cast<double>(nowSecs - start);
    return std::isfinite(mean);
}

std::vector<LevelPoint> dayCurve(const std::vector<LevelPoint>& kept, std::int64_t nowMs,
                                 std::optional<LevelPoint> now)
{
    std::vector<LevelPoint> curve;
    std::int64_t youngest = 0;
    for (auto p = kept.rbegin(); p != kept.rend(); ++p) {
        const std::int64_t age = std::max(nowMs - p->ms, youngest);
        if (age > ChargeHistory::kDayMs)
            break;
        youngest = age;
        if (percent::plausible(p->level))
            curve.push_back({age, percent::clamp(p->level), p->onMains});
    }
    std::reverse(curve.begin(), curve.end());
    if (now && (curve.empty() || curve.back().ms > 0))
        curve.push_back(*now);
    return curve;
}

std::vector<LevelPoint> curveOf(const std::vector<StateSample>& newestFirst, std::int64_t nowSecs,
                                bool (*onMains)(unsigned state), std::optional<LevelPoint> now)
{
    std::vector<LevelPoint> kept;
    for (auto c = newestFirst.rbegin(); c != newestFirst.rend(); ++c)
        kept.push_back({c->secs * 1000, c->value, onMains(c->state)});
    return dayCurve(kept, nowSecs * 1000, now);
}

std::vector<LevelPoint> joinedCurve(const std::vector<std::vector<LevelPoint>>& curves,
                                    const std::vector<double>& weights)
{
    std::vector<std::int64_t> ages;
    for (const std::vector<LevelPoint>& curve : curves)
        for (const LevelPoint& p : curve)
            ages.push_back(p.ms);
    std::sort(ages.begin(), ages.end(), std::greater<>());
    ages.erase(std::unique(ages.begin(), ages.end()), ages.end());
    const bool weighed = std::all_of(weights.begin(), weights.end(),
                                     [](double w) { return w > 0.0 && std::isfinite(w); });
    std::vector<LevelPoint> joined;
    for (const std::int64_t age : ages) {
        double sum = 0.0;
        double weight = 0.0;
        // Whether on mains, by the newest point that was there by then.
        const LevelPoint* newest = nullptr;
        for (std::size_t b = 0; b < curves.size(); ++b) {
            if (curves[b].empty())
                continue;
            // Oldest first, so the last one no younger than age is its level.
            const LevelPoint* last = nullptr;
            for (const LevelPoint& p : curves[b])
                if (p.ms >= age)
                    last = &p;
            if (last && (!newest || last->ms < newest->ms))
                newest = last;
            const double w = weighed ? weights[b] : 1.0;
            sum += (last ? last : &curves[b].front())->level * w;
            weight += w;
        }
        if (weight > 0.0 && newest)
            joined.push_back({age, sum / weight, newest->onMains});
    }
    return joined;
}

}  // namespace history

namespace {

// The tick's line status as the state of its rates.
constexpr unsigned kOnMains = 1;
constexpr unsigned kOnBattery = 2;

}  // namespace

bool ChargeHistory::levelDue(std::int64_t ms) const
{
    return !m_level || ms - m_level->ms >= kLevelEveryMs || ms < m_level->ms;
}

void ChargeHistory::addLevel(std::int64_t ms, double level, bool onMains)
{
    if (m_level) {
        const LevelPoint& last = *m_level;
        // A gauge's noise moves a level a little either way; a change of
        // more than 1 % against the line is a gauge recalibrating.
        const bool against = onMains ? level < last.level * 0.99 : level > last.level * 1.01;
        if (onMains != last.onMains || against || ms <= last.ms)
            m_rates.clear();
        else
            m_rates.push_back({last.ms / 1000, (level - last.level) * 3.6e6 / double(ms - last.ms),
                               onMains ? kOnMains : kOnBattery});
        // Past the span, the oldest go (about 60 rates stay).
        while (m_rates.size() > 2 && ms / 1000 - m_rates[1].secs >= history::kAverageSpanMs / 1000)
            m_rates.erase(m_rates.begin());
    }
    m_level = LevelPoint{ms, level, onMains};
}

void ChargeHistory::addPercent(std::int64_t ms, int percent, bool onMains)
{
    if (!m_curve.empty() && ms - m_curve.back().ms < kPointEveryMs && ms >= m_curve.back().ms)
        return;
    m_curve.push_back({ms, static_cast<double>(percent), onMains});
    while (m_curve.size() > kMostPoints || ms - m_curve.front().ms > kDayMs)
        m_curve.pop_front();
}

std::vector<LevelPoint> ChargeHistory::day(std::int64_t nowMs, int percentNow,
                                           bool onMainsNow) const
{
    return history::dayCurve({m_curve.begin(), m_curve.end()}, nowMs,
                             LevelPoint{0, double(percentNow), onMainsNow});
}

std::optional<double> ChargeHistory::settledWatts(std::int64_t nowMs, std::int64_t sinceMs) const
{
    double watts = 0.0;
    if (!history::stretchMean(m_rates, nowMs / 1000, sinceMs == kNever ? 0 : sinceMs / 1000, watts))
        return std::nullopt;
    return watts;
}

}  // namespace tellavo
