#pragma once

#include "battery_details.h"

namespace tellavo {

class PowerSupplyList;

// The batteries' state and times from the kernel's power supply files, read
// through the tick's own list of supplies when asked: the tool tip asks for
// them now and then, the tick never does. The batteries are those the
// percentage counts (peripherals and empty slots left out).
//
// State: any battery Charging gives Charging; else any Discharging gives
// Discharging; else any "Not charging" gives NotCharging; else any Full gives
// Full; else Unknown. No battery at all gives NoBattery.
//
// Times, summed over the batteries as UPower sums them: while discharging,
// the energy left over the rate it goes; while charging, the energy still
// missing over the rate it comes. Each battery gives energy_now, energy_full
// and power_now, or charge_now, charge_full and current_now (a rate may be
// written negative, and a battery without one, or whose driver fails to read
// it as some ACPI batteries fail power_now, adds nothing to it; such a failed
// read costs no new listing of the supplies, see PowerSupplyList); all
// batteries must be in one unit. A battery that is missing its figures, a
// level far past full, a rate of 0 or a time beyond ten days gives no time.
BatteryDetails sysfsBatteryDetails(PowerSupplyList& supplies);

}  // namespace tellavo
