#include "sysfs_battery_details.h"

#include "percent_reading.h"
#include "power_supply_list.h"

#include <cmath>
#include <cstring>

namespace tellavo {
namespace {

constexpr double kMicro = 1e-6;

using List = PowerSupplyList;

struct Names {
    BatteryUnit unit;
    List::Attribute now;
    List::Attribute full;
    List::Attribute design;
    List::Attribute rate;
};
constexpr Names kUnits[] = {{BatteryUnit::Energy, List::EnergyNow, List::EnergyFull,
                             List::EnergyFullDesign, List::PowerNow},
                            {BatteryUnit::Charge, List::ChargeNow, List::ChargeFull,
                             List::ChargeFullDesign, List::CurrentNow}};

bool is(const char* text, const char* word)
{
    return std::strcmp(text, word) == 0;
}

ChargeState stateOf(const char* status)
{
    return is(status, "Charging")       ? ChargeState::Charging
           : is(status, "Discharging")  ? ChargeState::Discharging
           : is(status, "Not charging") ? ChargeState::NotCharging
           : is(status, "Full")         ? ChargeState::Full
                                        : ChargeState::Unknown;
}

// A file's number in the model's units (µ to whole), or NaN.
double micro(List& list, std::size_t i, List::Attribute attribute, bool sign = false)
{
    long long value = 0;
    const bool read =
        sign ? list.signedNumber(i, attribute, value) : list.number(i, attribute, value);
    return read ? static_cast<double>(value) * kMicro : BatteryReading::kNotRead;
}

long long count(List& list, std::size_t i, List::Attribute attribute)
{
    long long value = 0;
    return list.number(i, attribute, value) ? value : -1;
}

double whole(List& list, std::size_t i, List::Attribute attribute)
{
    long long value = 0;
    return list.number(i, attribute, value) ? static_cast<double>(value) : BatteryReading::kNotRead;
}

// One battery's files as the model takes them. The unit is the first whose
// level a gauge can mean (energy before charge, as the percentage takes
// them), else the one its rate is written in.
BatteryReading readingOf(List& list, std::size_t i)
{
    BatteryReading r;
    r.kernelName = QString::fromStdString(list.name(i));
    List::Value text;
    if (list.text(i, List::Status, text))
        r.state = stateOf(text);
    if (list.text(i, List::ModelName, text))
        r.model = QString::fromUtf8(text);
    r.percent = whole(list, i, List::Capacity);
    r.voltage = micro(list, i, List::VoltageNow);
    r.cycles = count(list, i, List::CycleCount);
    r.limitEnd = count(list, i, List::LimitEnd);
    r.limitStart = r.limitEnd >= 0 ? count(list, i, List::LimitStart) : -1;
    for (const Names& names : kUnits) {
        const double now = micro(list, i, names.now);
        const double full = micro(list, i, names.full);
        if (!battery::plausibleLevel(now, full))
            continue;
        r.unit = names.unit;
        r.now = now;
        r.full = full;
        r.design = micro(list, i, names.design);
        break;
    }
    // The rate in the level's unit: power, or current times voltage.
    const double power = micro(list, i, List::PowerNow, true);
    const double current = micro(list, i, List::CurrentNow, true);
    if (r.unit == BatteryUnit::None && !std::isnan(power))
        r.unit = BatteryUnit::Energy;
    else if (r.unit == BatteryUnit::None && !std::isnan(current))
        r.unit = BatteryUnit::Charge;
    if (r.unit == BatteryUnit::Energy)
        r.rate = !std::isnan(power) ? power : current * r.voltage;
    else if (r.unit == BatteryUnit::Charge)
        r.rate = !std::isnan(current) ? current : power / r.voltage;
    return r;
}

}  // namespace

bool sysfsBatteryPercent(List& list, std::size_t i, double& percent)
{
    long long capacity = 0;
    if (list.number(i, List::Capacity, capacity) &&
        percent::plausible(static_cast<double>(capacity))) {
        percent = static_cast<double>(capacity);
    } else {
        bool found = false;
        for (const Names& names : kUnits) {
            long long now = 0;
            long long full = 0;
            if (list.number(i, names.full, full) && full != 0 && list.number(i, names.now, now)) {
                percent = 100.0 * static_cast<double>(now) / static_cast<double>(full);
                if ((found = percent::plausible(percent)))
                    break;
            }
        }
        if (!found)
            return false;
    }
    percent = percent::clamp(percent);
    return true;
}

bool sysfsBatteryLevel(PowerSupplyList& list, double& level, BatteryUnit& unit)
{
    level = 0.0;
    unit = BatteryUnit::None;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (list.kind(i) != List::Kind::Battery || !list.inSlot(i))
            continue;
        long long now = 0;
        const BatteryUnit own = list.number(i, List::EnergyNow, now)   ? BatteryUnit::Energy
                                : list.number(i, List::ChargeNow, now) ? BatteryUnit::Charge
                                                                       : BatteryUnit::None;
        if (own == BatteryUnit::None || (unit != BatteryUnit::None && own != unit))
            return false;
        unit = own;
        level += static_cast<double>(now) * kMicro;
    }
    return unit != BatteryUnit::None;
}

std::vector<BatteryReading> sysfsBatteryReadings(PowerSupplyList& list)
{
    list.refresh();
    std::vector<BatteryReading> readings;
    for (std::size_t i = 0; i < list.count(); ++i)
        if (list.kind(i) == List::Kind::Battery && list.inSlot(i))
            readings.push_back(readingOf(list, i));
    return readings;
}

}  // namespace tellavo
