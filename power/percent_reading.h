#pragma once

#include "power_source.h"
#include "rounding.h"

namespace tellavo {

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
}  // namespace tellavo
