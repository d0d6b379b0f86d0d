#pragma once

#include "battery_details.h"

#include <QString>

#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

namespace tellavo {

// What a source read of one battery, in Wh and W, and nothing more: no
// figure is judged here. A number not read is NaN, a count or a limit not
// read is -1, a text not read is empty.
struct BatteryReading {
    static constexpr double kNotRead = std::numeric_limits<double>::quiet_NaN();

    // The kernel's name (BAT0, CMB1): the batteries are told in its order.
    QString kernelName;
    // It powers the machine and counts in the strip's charge; otherwise it is
    // a device's (a mouse's, a headset's), told apart and never warned about.
    bool powersSystem = true;
    // An uninterruptible power supply that powers the machine from outside.
    bool ups = false;
    DeviceKind device = DeviceKind::Other;

    // Energy now, when full and by design, in Wh; the rate in W, its sign as
    // the source wrote it. A gauge that counts charge is told in energy at
    // its design voltage, as UPower tells it.
    double now = kNotRead;
    double full = kNotRead;
    double design = kNotRead;
    double rate = kNotRead;
    // The voltage behind that energy was a guess: the rate is good for a
    // time, and is no power to tell.
    bool voltageGuessed = false;
    // The charge as the source gives it (the kernel's capacity, UPower's
    // Percentage); without one, now against full.
    double percent = kNotRead;
    ChargeState state = ChargeState::Unknown;
    long long limitEnd = -1;    // the charge limit: charging stops here
    long long limitStart = -1;  // and starts again below this
    long long cycles = -1;
    QString model;
};

// The charge of the machine's batteries in percent, as the strip shows it
// (before rounding): one battery's own percentage (its source's, else now
// against full); several batteries' energy summed against their full energy,
// as UPower's display device sums them. When one of several has no level,
// their percentages, weighed by their full energy when each tells it, else
// alike (UPower would leave such a battery out of the sum, and show the
// others' charge for all). NaN when no battery tells a charge.
double chargePercent(const std::vector<BatteryReading>& readings);

// What the tip tells of the batteries, made the same way from whichever
// source read them:
// - own batteries in the order of their kernel names, numbers compared as
//   numbers (BAT2 before BAT10); devices' batteries apart, in their order;
// - each battery's state as its source tells it, except that one not
//   charging from kFullFrom on is full, unless a limit holds it, and one a
//   limit holds short of 100 % is not charging (the kernel and UPower word
//   these apart);
// - the state: any battery charging gives Charging, else any discharging
//   Discharging, else any held NotCharging, else any empty Empty, else any
//   full Full; no own battery gives NoBattery;
// - the watts summed; the times from the level summed over the rate summed,
//   to empty while discharging, to each battery's charge limit (else full)
//   while charging; settledWatts, the rate a source averaged over the last
//   minutes (positive while the batteries fill), when it goes the state's
//   way, is the rate and makes the times more than provisional;
// - every figure within the bounds below, the others not known.
BatteryDetails batteryDetails(std::vector<BatteryReading> readings,
                              std::optional<double> settledWatts = std::nullopt);

// Kernel names compared as people count: BAT2 before BAT10.
bool kernelNameBefore(const QString& a, const QString& b);

namespace battery {

// Ten days: beyond it no estimate means anything (UPower drops its own there).
constexpr double kLongestSeconds = 240.0 * 3600.0;
// A laptop draws from a fraction of a watt to a few hundred; beyond a
// kilowatt a figure is a broken gauge or a unit misread.
constexpr double kMostWatts = 1000.0;
constexpr double kLeastWatts = 0.05;
// A model name longer than this is no name but a driver's garbage.
constexpr int kLongestModel = 40;
constexpr long long kMostCycles = 999'999;

// A time worth telling: positive, finite and at most ten days. False for NaN.
bool plausibleSeconds(double seconds);
// The time, or 0 when it is none worth telling.
double seconds(double value);
// The power, or 0 when it is none worth telling; a rate written negative
// counts by its size.
double watts(double value);
// Below this a battery's health is figures in mixed units (µWh against
// mWh) or a design the gauge forgot, not a battery that still works.
constexpr double kLeastHealth = 10.0;
// Full against design in whole percent, at most 100; kNotKnown when either is
// not known or not positive, or the health is below kLeastHealth.
int health(double full, double design);
// A charge limit a kernel or UPower may give: 1..99 (100 is no limit).
int limit(long long value);
// A battery its charge limit holds where it is: at or above the limit, or
// above where charging starts again.
bool heldAtLimit(const BatteryPack& pack);
// From here on a battery that does not charge, and no limit holds, is full:
// firmware lets a full battery sag a few points before it charges again.
constexpr int kFullFrom = 90;
// A level against full that a gauge can mean (a little past full is common;
// twice past it is a broken gauge in that unit).
bool plausibleLevel(double now, double full);
// The maker's name when it is short printable text, else empty.
QString model(const QString& text);

}  // namespace battery
}  // namespace tellavo
