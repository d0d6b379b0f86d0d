#pragma once

#include "battery_details.h"

#include <cstddef>

namespace tellavo {

class ChargeHistory;
class PowerSupplyList;

// The batteries' state, times and figures from the kernel's power supply
// files, read through the tick's own list of supplies when asked: the tool tip
// asks for them now and then, the tick never does. The batteries are those the
// percentage counts (peripherals and empty slots left out).
//
// State: any battery Charging gives Charging; else any Discharging gives
// Discharging; else any "Not charging" gives NotCharging; else any Full gives
// Full; else Unknown. No battery at all gives NoBattery.
//
// Times, summed over the batteries as UPower sums them: while discharging,
// the energy left over the rate it goes; while charging, the energy still
// missing to each battery's charge limit (charge_control_end_threshold, else
// full) over the rate it comes. Each battery gives energy_now, energy_full and
// power_now, or charge_now, charge_full and current_now (a rate may be written
// negative, and a battery without one, or whose driver fails to read it as
// some ACPI batteries fail power_now, adds nothing to it; such a failed read
// costs no new listing of the supplies, see PowerSupplyList); all batteries
// must be in one unit. A battery that is missing its figures, a level far past
// full, a rate of 0 or a time beyond ten days gives no time.
//
// Watts: power_now (µW), else current_now (µA) times voltage_now (µV), summed.
// Each battery: its model_name, percentage, status, health (energy_full over
// energy_full_design, else the charge pair), cycle_count and charge limits.
//
// history: what the tick saw of the level. When it holds a settled rate in
// the batteries' unit, the times come from that average rate; otherwise from
// this moment's and are provisional.
BatteryDetails sysfsBatteryDetails(PowerSupplyList& supplies,
                                   const ChargeHistory* history = nullptr);

// The batteries' level summed, for the tick's history: energy (unit 1) or
// charge (unit 2) now; false when they are not all in one unit.
bool sysfsBatteryLevel(PowerSupplyList& supplies, double& level, int& unit);

// One battery's charge in percent, 0..100 but not yet rounded: its capacity,
// else its energy or charge against full. False when none is believable.
bool sysfsBatteryPercent(PowerSupplyList& supplies, std::size_t i, double& percent);

}  // namespace tellavo
