#pragma once

#include "charge_history.h"
#include "power_source.h"
#include "power_supply_list.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tellavo {

// The kernel's power supply class, read through a PowerSupplyList (see its header
// for what is kept between reads and when it is made anew).
//
// Line status: any mains, USB or wireless charger online gives 1; such
// chargers present and all offline give 0. With no charger listed at all (some
// firmware lists only the battery), the batteries' status decides: any
// Discharging gives 0; else Charging, Full or "Not charging" (a charger holding
// the charge below a threshold) gives 1; Unknown, or no battery, gives 255.
//
// Percentage: each own battery in its slot: its capacity, else energy_now /
// energy_full, else charge_now / charge_full (energy and charge are never
// mixed). Several batteries are weighted by energy_full when all have it, else
// by charge_full when all have that, else equally. Rounded half to even; 255
// when no battery gives a usable value.
//
// Each read also keeps, in memory, what the tip's times and curve need: the
// percentage once a minute, and the batteries' energy (or charge) every 10 s,
// one more read of a file then. A sleep, seen as the boot clock running ahead
// of the monotonic one, starts the average rate anew.
class SysfsPowerSource : public PowerSource {
public:
    static constexpr const char* kDefaultRoot = "/sys/class/power_supply";

    // relistMs: how often the folder is listed again (shorter in tests).
    explicit SysfsPowerSource(std::string root = kDefaultRoot,
                              int relistMs = PowerSupplyList::kRelistMs);

    // One refresh of the list, then both readings from it.
    PowerReading read() override;
    // Read from the kept list when asked (see sysfs_battery_details.h).
    BatteryDetails batteryDetails() override;

    const std::string& root() const { return m_supplies.root(); }
    // The kept list, for a reader of other attributes of the same supplies.
    PowerSupplyList& supplies() { return m_supplies; }
    const ChargeHistory& history() const { return m_history; }
    // A sleep ended: the average rate starts anew.
    void woke() { m_history.restart(); }

    // In ms: one clock that runs through sleep, one that stops in it. Tests
    // run the reads on clocks of their own.
    using Clock = std::function<std::int64_t()>;
    void setClocks(Clock boot, Clock monotonic);

private:
    // Each from the list as the last refresh left it.
    int lineStatus();
    int batteryLifePercent();

    void remember(const PowerReading& reading);

    PowerSupplyList m_supplies;
    ChargeHistory m_history;
    Clock m_boot;
    Clock m_monotonic;
    std::int64_t m_sleptMs = -1;  // boot clock less monotonic at the last read
};

}  // namespace tellavo
