#pragma once

#include "battery_details.h"
#include "picture_choice.h"
#include "power_source.h"

#include <QString>

namespace tellavo {

// The percentage before the first reading (the label still shows "???%").
constexpr int kNotReadYet = -1;

// What the strip knows: the two readings, the picture it shows and, for the
// tip only, what the source tells of the battery besides.
struct StatusInput {
    int acLineStatus = power::kUnknown;    // 0, 1 or 255
    int batteryLifePercent = kNotReadYet;  // 0..100, 255 or kNotReadYet
    int picture = kPictureNoReading;       // the number imgStato shows
    BatteryDetails details;
};

struct AccessibleText {
    QString name;
    QString description;
};

// The words for the tool tip and for a screen reader, in Italian.
struct StatusWords {
    // One or two lines: the state, the percentage and, when one is known and
    // believable, the time left.
    QString tip;
    AccessibleText window;
    AccessibleText percent;  // lblPerc
    AccessibleText bar;      // ProgressBar (its value is read apart)
    AccessibleText picture;  // imgStato: what the picture shows
    AccessibleText menu;     // Label1, ">"
    AccessibleText slider;   // SliderPerc
};

StatusWords statusWords(const StatusInput& input);

}  // namespace tellavo
