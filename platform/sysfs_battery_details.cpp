#include "sysfs_battery_details.h"

#include "percent_reading.h"
#include "sysfs_supplies.h"

namespace tellavo {
namespace {

using namespace sysfs;

constexpr double kSecondsPerHour = 3600.0;

enum class Unit { None, Energy, Charge };

// A battery's level, its full level and the rate it moves at, in one unit:
// µWh and µW, or µAh and µA.
struct Figures {
    Unit unit = Unit::None;
    double now = 0.0;
    double full = 0.0;
    double rate = 0.0;
};

// Some drivers write the rate negative while discharging.
bool readRate(int rootFd, const char* supply, const char* attribute, double& rate)
{
    Value text;
    long long n = 0;
    if (!readAttribute(rootFd, supply, attribute, text))
        return false;
    const char* digits = text[0] == '-' ? text + 1 : text;
    if (*digits == '\0' || !parseCount(digits, n))
        return false;
    rate = static_cast<double>(n);
    return true;
}

// Energy first, then charge, as the percentage takes them; a level far past
// full is a broken gauge in that unit.
Figures figuresOf(int rootFd, const char* supply)
{
    struct Names {
        Unit unit;
        const char* now;
        const char* full;
        const char* rate;
    };
    static constexpr Names kUnits[] = {{Unit::Energy, "energy_now", "energy_full", "power_now"},
                                       {Unit::Charge, "charge_now", "charge_full", "current_now"}};
    for (const Names& names : kUnits) {
        long long now = 0;
        long long full = 0;
        if (!readCount(rootFd, supply, names.full, full) || full == 0 ||
            !readCount(rootFd, supply, names.now, now))
            continue;
        Figures figures{names.unit, static_cast<double>(now), static_cast<double>(full), 0.0};
        if (!percent::plausible(100.0 * figures.now / figures.full))
            continue;
        readRate(rootFd, supply, names.rate, figures.rate);
        return figures;
    }
    return {};
}

}  // namespace

BatteryDetails sysfsBatteryDetails(const std::string& root)
{
    int batteries = 0;
    bool charging = false;
    bool discharging = false;
    bool notCharging = false;
    bool full = false;
    Unit unit = Unit::None;
    bool summable = true;
    Figures sum;
    const bool listed = forEachSupply(root, [&](int rootFd, const char* name, Kind kind) {
        if (kind != Kind::Battery)
            return true;
        ++batteries;
        Value status;
        if (readAttribute(rootFd, name, "status", status)) {
            charging = charging || is(status, "Charging");
            discharging = discharging || is(status, "Discharging");
            notCharging = notCharging || is(status, "Not charging");
            full = full || is(status, "Full");
        }
        const Figures figures = figuresOf(rootFd, name);
        if (figures.unit == Unit::None || (unit != Unit::None && figures.unit != unit))
            summable = false;
        unit = figures.unit;
        sum.now += figures.now;
        sum.full += figures.full;
        sum.rate += figures.rate;
        return true;
    });

    BatteryDetails details;
    if (!listed)
        return details;
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
