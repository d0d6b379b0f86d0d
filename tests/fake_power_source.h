#pragma once

#include "power_source.h"

// A power source whose readings the test sets; counts the reads.
class FakePowerSource : public tellavo::PowerSource {
public:
    int line = tellavo::power::kAcOffline;
    int percent = 57;
    int lineReads = 0;
    int percentReads = 0;

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
};
