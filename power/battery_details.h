#pragma once

#include <cmath>

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

// The state and the times a source knows, asked for only when someone wants
// to read them (a tool tip), never by the tick. A time of 0 is not known.
struct BatteryDetails {
    ChargeState state = ChargeState::Unknown;
    double secondsToEmpty = 0.0;
    double secondsToFull = 0.0;
};

namespace battery {

// Ten days: beyond it no estimate means anything (UPower drops its own there).
constexpr double kLongestSeconds = 240.0 * 3600.0;

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

}  // namespace battery
}  // namespace tellavo
