#pragma once

#include <cmath>

namespace tellavo {

// Nearest whole number, a value exactly halfway going to the even neighbour
// (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Written out rather than left to the FPU's
// rounding mode, which a library could change under us.
inline double roundHalfEven(double x)
{
    if (!std::isfinite(x))
        return x;
    const double down = std::floor(x);
    const double diff = x - down;  // exact for every finite double
    if (diff > 0.5)
        return down + 1.0;
    if (diff < 0.5)
        return down;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

}  // namespace tellavo
