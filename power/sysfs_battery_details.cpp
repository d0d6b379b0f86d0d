#include "sysfs_battery_details.h"

#include "percent_reading.h"
#include "power_supply_list.h"

#include <cstring>

namespace tellavo {
namespace {

constexpr double kSecondsPerHour = 3600.0;

using List = PowerSupplyList;

enum class Unit { None, Energy, Charge };

// A battery's level, its full level and the rate it moves at, in one unit:
// µWh and µW, or µAh and µA.
struct Figures {
    Unit unit = Unit::None;
    double now = 0.0;
    double full = 0.0;
    double rate = 0.0;
};

// Energy first, then charge, as the percentage takes them; a level far past
// full is a broken gauge in that unit.
Figures figuresOf(List& list, std::size_t i)
{
    struct Names {
        Unit unit;
        List::Attribute now;
        List::Attribute full;
        List::Attribute rate;
    };
    static constexpr Names kUnits[] = {
        {Unit::Energy, List::EnergyNow, List::EnergyFull, List::PowerNow},
        {Unit::Charge, List::ChargeNow, List::ChargeFull, List::CurrentNow}};
    for (const Names& names : kUnits) {
        long long now = 0;
        long long full = 0;
        if (!list.number(i, names.full, full) || full == 0 || !list.number(i, names.now, now))
            continue;
        Figures figures{names.unit, static_cast<double>(now), static_cast<double>(full), 0.0};
        if (!percent::plausible(100.0 * figures.now / figures.full))
            continue;
        long long rate = 0;
        if (list.signedNumber(i, names.rate, rate))
            figures.rate = static_cast<double>(rate < 0 ? -rate : rate);
        return figures;
    }
    return {};
}

bool is(const char* text, const char* word)
{
    return std::strcmp(text, word) == 0;
}

}  // namespace

BatteryDetails sysfsBatteryDetails(PowerSupplyList& list)
{
    list.refresh();
    int batteries = 0;
    bool charging = false;
    bool discharging = false;
    bool notCharging = false;
    bool full = false;
    Unit unit = Unit::None;
    bool summable = true;
    Figures sum;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (list.kind(i) != List::Kind::Battery || !list.inSlot(i))
            continue;
        ++batteries;
        List::Value status;
        if (list.text(i, List::Status, status)) {
            charging = charging || is(status, "Charging");
            discharging = discharging || is(status, "Discharging");
            notCharging = notCharging || is(status, "Not charging");
            full = full || is(status, "Full");
        }
        const Figures figures = figuresOf(list, i);
        if (figures.unit == Unit::None || (unit != Unit::None && figures.unit != unit))
            summable = false;
        unit = figures.unit;
        sum.now += figures.now;
        sum.full += figures.full;
        sum.rate += figures.rate;
    }

    BatteryDetails details;
    if (batteries == 0) {
        details.state = ChargeState::NoBattery;
        return details;
    }
    details.state = charging      ? ChargeState::Charging
                    : discharging ? ChargeState::Discharging
                    : notCharging ? ChargeState::NotCharging
                    : full        ? ChargeState::Full
                                  : ChargeState::Unknown;
    if (!summable || sum.rate <= 0.0)
        return details;
    if (details.state == ChargeState::Discharging)
        details.secondsToEmpty = battery::seconds(kSecondsPerHour * sum.now / sum.rate);
    else if (details.state == ChargeState::Charging)
        details.secondsToFull = battery::seconds(kSecondsPerHour * (sum.full - sum.now) / sum.rate);
    return details;
}

}  // namespace tellavo
