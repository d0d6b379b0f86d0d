#pragma once

#include <QString>

#include <cmath>
#include <cstdint>
#include <vector>

namespace tellavo {

// What the battery is doing, beyond the two readings of the tick.
enum class ChargeState {
    Unknown,
    Charging,
    Discharging,
    Full,
    NotCharging,  // on a charger that holds the charge where it is
    Empty,
    NoBattery,
};

// One battery of the machine itself. Each figure is one its source gave and
// found believable; the others stay at "not known".
struct BatteryPack {
    QString model;  // as the maker names it; empty when not given
    int percent = -1;
    ChargeState state = ChargeState::Unknown;
    int healthPercent = -1;  // full charge against the design's, at most 100
    int cycles = -1;
    // The charge limit: charging stops at end and starts again below start.
    int limitEnd = -1;
    int limitStart = -1;
};

// A battery level at a time, as a source saw it: for a rate averaged over
// minutes, and for the day's curve.
struct LevelPoint {
    std::int64_t ms = 0;  // on a clock that runs through sleep; in a curve, the age
    double level = 0.0;   // energy or charge, in one unit throughout; or percent
    bool onMains = false;
};

// What a device's battery powers: never the machine, never warned about.
enum class DeviceKind { Mouse, Keyboard, Headset, Pen, Tablet, Phone, Gamepad, Other };

struct DeviceBattery {
    DeviceKind kind = DeviceKind::Other;
    QString model;
    int percent = -1;
};

// The state and the times a source knows, asked for only when someone wants
// to read them (a tool tip), never by the tick. A time of 0 is not known.
struct BatteryDetails {
    ChargeState state = ChargeState::Unknown;
    double secondsToEmpty = 0.0;
    // To full, or to the charge limit where the batteries have one.
    double secondsToFull = 0.0;
    // What goes into or out of the batteries, in watts; 0 when not known.
    double watts = 0.0;
    std::vector<BatteryPack> batteries;
    std::vector<DeviceBattery> devices;
    // The times come from this moment's rate alone, which jumps with every
    // burst of work: not yet minutes of it to average (just started, woken,
    // plugged or unplugged), or a source that keeps none.
    bool timesProvisional = false;
    // The charge in percent over the last day (or since the start, when that
    // is shorter), oldest first; each point's ms is its age.
    std::vector<LevelPoint> day = {};
};

namespace battery {

// Ten days: beyond it no estimate means anything (UPower drops its own there).
constexpr double kLongestSeconds = 240.0 * 3600.0;
// A laptop draws from a fraction of a watt to a few hundred; beyond a
// kilowatt a figure is a broken gauge or a unit misread.
constexpr double kMostWatts = 1000.0;

// A time worth telling: positive, finite and below ten days. False for NaN.
inline bool plausibleSeconds(double seconds)
{
    return seconds > 0.0 && seconds <= kLongestSeconds;
}

// The time, or 0 when it is none worth telling.
inline double seconds(double value)
{
    return plausibleSeconds(value) ? value : 0.0;
}

// The power, or 0 when it is none worth telling; a rate written negative
// counts by its size.
inline double watts(double value)
{
    const double size = std::fabs(value);
    return size >= 0.05 && size <= kMostWatts ? size : 0.0;
}

// Full against design in whole percent, at most 100; -1 when either is not
// known or not positive.
inline int health(double full, double design)
{
    if (!(full > 0.0) || !(design > 0.0) || !std::isfinite(full) || !std::isfinite(design))
        return -1;
    const double percent = 100.0 * full / design;
    return percent >= 100.0 ? 100 : static_cast<int>(std::lround(percent));
}

// A charge limit a kernel or UPower may give: 1..99 (100 is no limit).
inline int limit(long long value)
{
    return value >= 1 && value <= 99 ? static_cast<int>(value) : -1;
}

}  // namespace battery
}  // namespace tellavo
