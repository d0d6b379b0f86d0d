#include "threshold_rules.h"

#include "leading_number.h"
#include "rounding.h"

#include <cmath>

namespace tellavo {

std::optional<int> sliderValueForText(const QString& text)
{
    const double rounded = roundHalfEven(readLeadingNumber(text));
    if (!std::isfinite(rounded) || rounded < kSliderMin || rounded > kSliderMax)
        return std::nullopt;
    return int(rounded);
}

std::optional<quint8> thresholdForText(const QString& text)
{
    const double rounded = roundHalfEven(readLeadingNumber(text));
    if (!std::isfinite(rounded) || rounded < 0.0 || rounded > 255.0)
        return std::nullopt;
    return quint8(rounded);
}

}  // namespace tellavo
