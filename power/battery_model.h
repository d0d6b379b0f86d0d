#pragma once

#include "rounding.h"

#include <QString>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// The battery model: what the sources read of each battery, and what the
// strip and the tip are told of them, worked out one way for every source.
namespace tellavo {

// The power status as the indicator reads it, in the classic encoding.
namespace power {
constexpr int kAcOffline = 0;  // running on battery
constexpr int kAcOnline = 1;   // running on mains
constexpr int kUnknown = 255;  // cannot be determined (line status or percentage)
}  // namespace power

namespace battery {
// A figure of a battery that is not known: its charge, health, cycles or limit.
constexpr int kNotKnown = -1;
}  // namespace battery

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
    // An uninterruptible power supply that powers the machine from outside
    // (a desktop's), not a battery in it.
    bool ups = false;
    int percent = battery::kNotKnown;
    ChargeState state = ChargeState::Unknown;
    int healthPercent = battery::kNotKnown;  // full charge against the design's, at most 100
    int cycles = battery::kNotKnown;
    // The charge limit: charging stops at end and starts again below start.
    int limitEnd = battery::kNotKnown;
    int limitStart = battery::kNotKnown;
};

// A battery level at a time, as a source saw it: for a rate averaged over
// minutes, and for the day's curve.
struct LevelPoint {
    std::int64_t ms = 0;  // on a clock that runs through sleep; in a curve, the age
    double level = 0.0;   // energy in Wh; in a curve, percent
    bool onMains = false;
};

// What a device's battery powers: never the machine, never warned about.
enum class DeviceKind { Mouse, Keyboard, Headset, Pen, Tablet, Phone, Gamepad, Other };

struct DeviceBattery {
    DeviceKind kind = DeviceKind::Other;
    QString model;
    int percent = battery::kNotKnown;
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

// How a charge level in percent, as a gauge reports it, becomes the reading.
// A gauge may overshoot a little (energy_now above a re-learned energy_full is
// common), which clamping absorbs. A value far outside (NaN, infinities, 1e308,
// -40, 65535) says the gauge is broken; showing it as 0 % or 100 % would be a
// silent wrong value, so it is no reading at all.
namespace percent {

constexpr double kLowest = -0.5;    // still rounds to 0
constexpr double kHighest = 200.0;  // twice past full is no reading

// False for NaN too.
inline bool plausible(double percent)
{
    return percent >= kLowest && percent <= kHighest;
}

inline double clamp(double percent)
{
    return percent < 0.0 ? 0.0 : percent > 100.0 ? 100.0 : percent;
}

// 0..100 by round-half-even and clamping, or 255.
inline int reading(double percent)
{
    if (!plausible(percent))
        return power::kUnknown;
    return static_cast<int>(roundHalfEven(clamp(percent)));
}

}  // namespace percent

// What a source read of one battery, in Wh and W, and nothing more: no
// figure is judged here. A number not read is NaN, a count or a limit not
// read battery::kNotKnown, a text not read empty.
struct BatteryReading {
    static constexpr double kNotRead = std::numeric_limits<double>::quiet_NaN();

    // The kernel's name (BAT0, CMB1): the batteries are told in its order.
    QString kernelName;
    // It powers the machine and counts in the strip's charge; otherwise it is
    // a device's (a mouse's, a headset's), told apart and never warned about.
    bool powersSystem = true;
    // An uninterruptible power supply that powers the machine from outside.
    bool ups = false;
    DeviceKind device = DeviceKind::Other;

    // Energy now, when full and by design, in Wh; the rate in W, its sign as
    // the source wrote it. A gauge that counts charge is told in energy at
    // its design voltage, as UPower tells it.
    double now = kNotRead;
    double full = kNotRead;
    double design = kNotRead;
    double rate = kNotRead;
    // The voltage behind that energy was a guess: the rate is good for a
    // time, and is no power to tell.
    bool voltageGuessed = false;
    // The charge as the source gives it (the kernel's capacity, UPower's
    // Percentage); without one, now against full.
    double percent = kNotRead;
    ChargeState state = ChargeState::Unknown;
    long long limitEnd = battery::kNotKnown;    // the charge limit: charging stops here
    long long limitStart = battery::kNotKnown;  // and starts again below this
    long long cycles = battery::kNotKnown;
    QString model;
};

// The charge of the machine's batteries in percent, as the strip shows it
// (before rounding): one battery's own percentage (its source's, else now
// against full); several batteries' energy summed against their full energy,
// as UPower's display device sums them. When one of several has no level,
// their percentages, weighed by their full energy when each tells it, else
// alike (UPower would leave such a battery out of the sum, and show the
// others' charge for all). NaN when no battery tells a charge.
double chargePercent(const std::vector<BatteryReading>& readings);

// What the tip tells of the batteries, made the same way from whichever
// source read them:
// - own batteries in the order of their kernel names, numbers compared as
//   numbers (BAT2 before BAT10); devices' batteries apart, in their order;
// - each battery's state as its source tells it, except that one not
//   charging from kFullFrom on is full, unless a limit holds it, and one a
//   limit holds short of 100 % is not charging (the kernel and UPower word
//   these apart);
// - the state: any battery charging gives Charging, else any discharging
//   Discharging, else any held NotCharging, else any empty Empty, else any
//   full Full; no own battery gives NoBattery;
// - the watts summed; the times from the level summed over the rate summed,
//   to empty while discharging, to each battery's charge limit (else full)
//   while charging; settledWatts, the rate a source averaged over the last
//   minutes (positive while the batteries fill), when it goes the state's
//   way, is the rate and makes the times more than provisional;
// - every figure within the bounds below, the others not known.
BatteryDetails batteryDetails(std::vector<BatteryReading> readings,
                              std::optional<double> settledWatts = std::nullopt);

// Kernel names compared as people count: BAT2 before BAT10.
bool kernelNameBefore(const QString& a, const QString& b);

namespace battery {

// Ten days: beyond it no estimate means anything (UPower drops its own there).
constexpr double kLongestSeconds = 240.0 * 3600.0;
// A laptop draws from a fraction of a watt to a few hundred; beyond a
// kilowatt a figure is a broken gauge or a unit misread.
constexpr double kMostWatts = 1000.0;
constexpr double kLeastWatts = 0.05;
// A model name longer than this is no name but a driver's garbage.
constexpr int kLongestModel = 40;
constexpr long long kMostCycles = 999'999;

// A time worth telling: positive, finite and at most ten days. False for NaN.
bool plausibleSeconds(double seconds);
// The time, or 0 when it is none worth telling.
double seconds(double value);
// The power, or 0 when it is none worth telling; a rate written negative
// counts by its size.
double watts(double value);
// Below this a battery's health is figures in mixed units (µWh against
// mWh) or a design the gauge forgot, not a battery that still works.
constexpr double kLeastHealth = 10.0;
// Full against design in whole percent, at most 100; kNotKnown when either is
// not known or not positive, or the health is below kLeastHealth.
int health(double full, double design);
// A charge limit a kernel or UPower may give: 1..99 (100 is no limit).
int limit(long long value);
// A battery its charge limit holds where it is: at or above the limit, or
// above where charging starts again.
bool heldAtLimit(const BatteryPack& pack);
// From here on a battery that does not charge, and no limit holds, is full:
// firmware lets a full battery sag a few points before it charges again.
constexpr int kFullFrom = 90;
// A level against full that a gauge can mean (a little past full is common;
// twice past it is a broken gauge in that unit).
bool plausibleLevel(double now, double full);
// The maker's name when it is short printable text, else empty.
QString model(const QString& text);

}  // namespace battery

}  // namespace tellavo
