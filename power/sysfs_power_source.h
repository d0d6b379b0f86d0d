#pragma once

#include "charge_history.h"
#include "power_source.h"
#include "power_supply_list.h"

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
// Percentage: the battery model's charge (see chargePercent), rounded half to
// even, or 255. The tick reads each battery's capacity, and its level too
// where the charge needs it (no capacity, or several batteries).
//
// Each battery's level is energy_now against energy_full, else charge_now
// against charge_full at the design voltage (10 V when none tells it, which a
// ratio does not mind but a power would), as UPower reads them; a level far
// past full is a broken gauge in that unit. The rate is power_now, or
// current_now times the voltage. A figure whose read fails stays unread.
//
// Each read also keeps, in memory, what the tip's times and curve need: the
// percentage once a minute, and the batteries' energy every 10 s,
// one more read of a file then; and looks whether the machine slept (see
// Wakes), which starts the average rate anew.
class SysfsPowerSource : public PowerSource {
public:
    static constexpr const char* kDefaultRoot = "/sys/class/power_supply";

    // relistMs: how often the folder is listed again (shorter in tests).
    // wakes: where a sleep is told (see PowerSource).
    explicit SysfsPowerSource(std::string root = kDefaultRoot,
                              int relistMs = PowerSupplyList::kRelistMs, Wakes* wakes = nullptr);

    // One refresh of the list, then both readings from it.
    PowerReading read() override;
    // The batteries read from the kept list when asked, the times from the
    // rate the tick kept.
    BatteryDetails batteryDetails() override;

    // The kept list, for a reader of other attributes of the same supplies.
    PowerSupplyList& supplies() { return m_supplies; }

private:
    // Each from the list as the last refresh left it.
    int lineStatus();
    int batteryLifePercent();

    PowerSupplyList m_supplies;
    // What the tick reads of each battery, kept to spare an allocation a tick.
    std::vector<BatteryReading> m_charges;
    ChargeHistory m_history;
};

}  // namespace tellavo
