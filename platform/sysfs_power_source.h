#pragma once

#include "power_source.h"

#include <string>

namespace tellavo {

// The kernel's power supply class (/sys/class/power_supply), read afresh at
// every call: supplies come and go while the program runs (a battery pulled, a
// USB-C charger plugged in), so nothing is kept between calls.
//
// Line status: any mains, USB or wireless charger online gives 1; such
// chargers present and all offline give 0. With no charger listed at all (some
// firmware lists only the battery), the batteries' status decides: any
// Discharging gives 0; else Charging, Full or "Not charging" (a charger holding
// the charge below a threshold) gives 1; Unknown, or no battery, gives 255.
//
// Percentage: each system battery's capacity, else energy_now / energy_full,
// else charge_now / charge_full (energy and charge are never mixed). Several
// batteries are weighted by energy_full when all have it, else by charge_full
// when all have that, else equally. Rounded half to even; 255 when no battery
// gives a usable value.
//
// Peripheral batteries (scope "Device": mice, keyboards, headsets) and
// batteries whose present is 0 do not count. A file that is missing, vanishes,
// is not a regular file (a FIFO would block), is too long or does not hold a
// plain number where one is due is ignored, as if it were not there.
class SysfsPowerSource : public PowerSource {
public:
    static constexpr const char* kDefaultRoot = "/sys/class/power_supply";

    explicit SysfsPowerSource(std::string root = kDefaultRoot);

    int acLineStatus() override;
    int batteryLifePercent() override;

    const std::string& root() const { return m_root; }

private:
    std::string m_root;
};

}  // namespace tellavo
