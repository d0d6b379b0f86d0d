#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tellavo {

constexpr int kSliderMin = 0;
constexpr int kSliderMax = 100;

// The slider position a threshold text asks for: the text's leading number
// rounded half to even, or none when that does not fit a 32-bit integer or
// lies outside the slider's 0..100 (the slider then stays where it is).
std::optional<int> sliderValueForText(const QString& text);

// The threshold OK takes from the text: rounded half to even, 0..255 (101..255
// too, which the slider cannot show); none when it lies outside.
std::optional<quint8> thresholdForText(const QString& text);

}  // namespace tellavo
