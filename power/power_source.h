#pragma once

#include "battery_details.h"

#include <functional>

namespace tellavo {

// The power status as the indicator reads it, in the classic encoding.
namespace power {
constexpr int kAcOffline = 0;  // running on battery
constexpr int kAcOnline = 1;   // running on mains
constexpr int kUnknown = 255;  // cannot be determined (line status or percentage)
}  // namespace power

enum class PowerChange {
    Readings,  // one of the two readings changed
    Source,    // the readings now come from elsewhere, or are no longer announced
};

// A source of the two readings the one-second tick takes. Both calls return at
// once: a source that talks to another process answers from what it already
// knows and never waits on it.
class PowerSource {
public:
    virtual ~PowerSource() = default;

    // 0 on battery, 1 on mains, 255 when it cannot be determined.
    virtual int acLineStatus() = 0;
    // 0..100, or 255 when it cannot be determined (no battery, no reading).
    virtual int batteryLifePercent() = 0;

    // True while every change of the two readings is announced to the change
    // listener, so that a reader may stop asking until it hears of one. A
    // source that cannot tell (files read on demand) says false.
    virtual bool announcesChanges() const { return false; }
    // The one listener, called on the UI thread for each change of the
    // readings and whenever announcesChanges() changes; empty: none.
    virtual void setChangeListener(std::function<void(PowerChange)> listener)
    {
        static_cast<void>(listener);
    }

    // The battery's state and times, for a reader that asks now and then (the
    // tool tip): returns at once like the readings, but may read files. Not
    // part of the tick, and a change of them alone is not announced.
    virtual BatteryDetails batteryDetails() { return {}; }
};

}  // namespace tellavo
