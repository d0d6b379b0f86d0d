#pragma once

#include "app_state.h"

#include <optional>

namespace tellavo {

// Status pictures are numbered 1..25: 1..12 on battery (12, an empty cell, is
// never chosen), 13..24 on mains, 25 "no reading yet" (set only on load).
constexpr int kPictureCount = 25;
constexpr int kPictureNoReading = 25;

// The picture for a charge percentage (0..100) and power source, or none when
// the picture must stay as it is (a percentage of 0). The whole expression is
// rounded half to even: on battery 95 % gives round(11 - 9.5) = 2, not 1.
std::optional<int> choosePicture(quint8 perc, Boolean rete);

}  // namespace tellavo
