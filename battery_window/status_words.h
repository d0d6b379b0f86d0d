#pragma once

#include "picture_choice.h"
#include "power_source.h"

#include <QString>

namespace tellavo {

// The percentage before the first reading (the label still shows "???%").
constexpr int kNotReadYet = -1;

// What the strip shows: the percentage it read and the picture.
struct StatusInput {
    int batteryLifePercent = kNotReadYet;  // 0..100, 255 or kNotReadYet
    int picture = kPictureNoReading;       // the number imgStato shows
};

struct AccessibleText {
    QString name;
    QString description;
};

// The strip's controls as a screen reader tells them, in Italian (the tip
// has words of its own: tip_words.h).
struct StatusWords {
    AccessibleText window;
    AccessibleText percent;  // lblPerc
    AccessibleText bar;      // ProgressBar (its value is read apart)
    AccessibleText picture;  // imgStato: what the picture shows
    AccessibleText menu;     // Label1, ">"
    AccessibleText slider;   // SliderPerc
};

StatusWords statusWords(const StatusInput& input);

}  // namespace tellavo
