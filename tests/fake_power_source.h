#pragma once

#include "power_source.h"

// A power source whose readings and battery details the test sets; counts the
// reads. While announcing (as UPower does), change() tells of it.
class FakePowerSource : public tellavo::PowerSource {
public:
    bool announcing = false;

    int line = tellavo::power::kAcOffline;
    int percent = 57;
    tellavo::BatteryDetails details;
    int reads = 0;
    int detailsReads = 0;
    int detailsRounds = 0;

    void set(int acLine, int batteryPercent)
    {
        line = acLine;
        percent = batteryPercent;
    }
    tellavo::PowerReading read() override
    {
        ++reads;
        return {line, percent};
    }
    tellavo::BatteryDetails batteryDetails() override
    {
        ++detailsReads;
        return details;
    }
    void refreshDetails() override { ++detailsRounds; }
    bool announcesChanges() const override { return announcing; }

    // The readings change; announced when they are UPower's.
    void change(int acLine, int batteryPercent)
    {
        if (acLine == line && batteryPercent == percent)
            return;
        set(acLine, batteryPercent);
        if (announcing)
            emit changed(tellavo::PowerChange::Readings);
    }
    // The readings start or stop coming from a source that announces them.
    void setAnnouncing(bool on)
    {
        if (on == announcing)
            return;
        announcing = on;
        emit changed(tellavo::PowerChange::Source);
    }
};
