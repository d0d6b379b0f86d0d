#pragma once

#include "battery_model.h"

#include <cstddef>
#include <vector>

namespace tellavo {

class PowerSupplyList;

// The batteries of the kernel's power supply files as the battery model takes
// them, read through the tick's own list of supplies when asked: the tool tip
// asks for them now and then, the tick never does. The batteries are those the
// percentage counts (peripherals and empty slots left out).
//
// Each battery gives energy_now, energy_full and energy_full_design with
// power_now, or the charge files with current_now (energy first, as the
// percentage takes them; a level far past full is a broken gauge in that
// unit); a rate may be written negative, and power_now stands in for the
// current (and current_now times voltage_now for the power) where only the
// other is there. Besides: status, capacity, voltage_now, model_name,
// cycle_count and the charge limits (charge_control_end_threshold and
// _start_). A driver that fails a read, as some ACPI batteries fail
// power_now, leaves that figure unread and costs no new listing (see
// PowerSupplyList).
std::vector<BatteryReading> sysfsBatteryReadings(PowerSupplyList& supplies);

// The batteries' level summed, for the tick's history: energy (Wh) or charge
// (Ah) now; false when they are not all in one unit.
bool sysfsBatteryLevel(PowerSupplyList& supplies, double& level, BatteryUnit& unit);

// One battery's charge in percent, 0..100 but not yet rounded: its capacity,
// else its energy or charge against full. False when none is believable.
bool sysfsBatteryPercent(PowerSupplyList& supplies, std::size_t i, double& percent);

}  // namespace tellavo
