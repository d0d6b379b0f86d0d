#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace tellavo {

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
    double level = 0.0;   // energy or charge, in one unit throughout; or percent
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

}  // namespace tellavo
