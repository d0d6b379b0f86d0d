#include "picture_choice.h"

#include "rounding.h"

namespace tellavo {

std::optional<int> choosePicture(quint8 perc, Boolean rete)
{
    if (perc == 0)
        return std::nullopt;
    // Callers keep the percentage within 0..100 (the window shows no number
    // outside the set).
    const double p = perc;
    if (rete != kFalse) {
        if (p == 100.0)
            return 13;
        return static_cast<int>(roundHalfEven(24.0 - p / 10.0));
    }
    return static_cast<int>(roundHalfEven(11.0 - p / 10.0));
}

}  // namespace tellavo
