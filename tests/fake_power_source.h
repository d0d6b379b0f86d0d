#pragma once

#include "power_source.h"

#include <functional>
#include <utility>

// A power source whose readings and battery details the test sets; counts the
// reads. While announcing (as UPower does), change() tells the listener.
class FakePowerSource : public tellavo::PowerSource {
public:
    bool announcing = false;
    std::function<void(tellavo::PowerChange)> listener;

    int line = tellavo::power::kAcOffline;
    int percent = 57;
    tellavo::BatteryDetails details;
    int lineReads = 0;
    int percentReads = 0;
    int detailsReads = 0;

    void set(int acLine, int batteryPercent)
    {
        line = acLine;
        percent = batteryPercent;
    }
    int acLineStatus() override
    {
        ++lineReads;
        return line;
    }
    int batteryLifePercent() override
    {
        ++percentReads;
        return percent;
    }
    tellavo::BatteryDetails batteryDetails() override
    {
        ++detailsReads;
        return details;
    }
    bool announcesChanges() const override { return announcing; }
    void setChangeListener(std::function<void(tellavo::PowerChange)> l) override
    {
        listener = std::move(l);
    }

    // The readings change; announced when they are UPower's.
    void change(int acLine, int batteryPercent)
    {
        if (acLine == line && batteryPercent == percent)
            return;
        set(acLine, batteryPercent);
        if (announcing && listener)
            listener(tellavo::PowerChange::Readings);
    }
    // The readings start or stop coming from a source that announces them.
    void setAnnouncing(bool on)
    {
        if (on == announcing)
            return;
        announcing = on;
        if (listener)
            listener(tellavo::PowerChange::Source);
    }
};
