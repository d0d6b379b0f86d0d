#pragma once

#include "battery_model.h"

#include <vector>

namespace tellavo {

class PowerSupplyList;

// The batteries of the kernel's power supply files as the battery model takes
// them, read through the tick's own list of supplies: the batteries the
// strip's charge counts (peripherals and empty slots left out).
//
// Each battery's level is energy_now against energy_full, else charge_now
// against charge_full at the design voltage (voltage_max_design, else
// voltage_min_design, else voltage_now; 10 V when none tells it, which a
// ratio does not mind but a power would), as UPower reads them: a level far
// past full is a broken gauge in that unit. The rate is power_now (or
// current_now times the voltage); a rate may be written negative. Besides:
// status, capacity, model_name, cycle_count and the charge limits
// (charge_control_end_threshold and _start_). A driver that fails a read, as
// some ACPI batteries fail power_now, leaves that figure unread and costs no
// new listing (see PowerSupplyList).

// Everything the tip tells, read when it asks.
std::vector<BatteryReading> sysfsBatteryReadings(PowerSupplyList& supplies);

// What the tick reads to work out the charge: each battery's capacity, and
// its level too where the charge needs it (no capacity, or several batteries,
// whose charges add up by energy). Into `into`, emptied first.
void sysfsChargeReadings(PowerSupplyList& supplies, std::vector<BatteryReading>& into);

// The batteries' energy in Wh summed, for the tick's history; false when one
// of them tells none.
bool sysfsBatteryLevel(PowerSupplyList& supplies, double& level);

// A battery's status file as the battery model names it.
ChargeState sysfsState(const char* status);

}  // namespace tellavo
