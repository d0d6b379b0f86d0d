#include "sysfs_battery_details.h"

#include "charge_history.h"
#include "percent_reading.h"
#include "power_supply_list.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tellavo {
namespace {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kMicro = 1e-6;

using List = PowerSupplyList;

enum class Unit { None, Energy, Charge };

// A battery's level, its full level, the level it charges to and the rate it
// moves at, in one unit: µWh and µW, or µAh and µA.
struct Figures {
    Unit unit = Unit::None;
    double now = 0.0;
    double full = 0.0;
    double target = 0.0;
    double rate = 0.0;
};

struct Names {
    Unit unit;
    List::Attribute now;
    List::Attribute full;
    List::Attribute design;
    List::Attribute rate;
};
constexpr Names kUnits[] = {
    {Unit::Energy, List::EnergyNow, List::EnergyFull, List::EnergyFullDesign, List::PowerNow},
    {Unit::Charge, List::ChargeNow, List::ChargeFull, List::ChargeFullDesign, List::CurrentNow}};

// Energy first, then charge, as the percentage takes them; a level far past
// full is a broken gauge in that unit.
Figures figuresOf(List& list, std::size_t i, int limitEnd)
{
    for (const Names& names : kUnits) {
        long long now = 0;
        long long full = 0;
        if (!list.number(i, names.full, full) || full == 0 || !list.number(i, names.now, now))
            continue;
        Figures figures{names.unit, static_cast<double>(now), static_cast<double>(full), 0.0, 0.0};
        if (!percent::plausible(100.0 * figures.now / figures.full))
            continue;
        figures.target = limitEnd > 0 ? figures.full * limitEnd / 100.0 : figures.full;
        long long rate = 0;
        if (list.signedNumber(i, names.rate, rate))
            figures.rate = static_cast<double>(rate < 0 ? -rate : rate);
        return figures;
    }
    return {};
}

// The battery's power: power_now, else current times voltage.
double wattsOf(List& list, std::size_t i)
{
    long long power = 0;
    if (list.signedNumber(i, List::PowerNow, power))
        return battery::watts(static_cast<double>(power) * kMicro);
    long long current = 0;
    long long voltage = 0;
    if (list.signedNumber(i, List::CurrentNow, current) &&
        list.signedNumber(i, List::VoltageNow, voltage))
        return battery::watts(static_cast<double>(current) * kMicro * static_cast<double>(voltage) *
                              kMicro);
    return 0.0;
}

int healthOf(List& list, std::size_t i)
{
    for (const Names& names : kUnits) {
        long long full = 0;
        long long design = 0;
        if (list.number(i, names.full, full) && list.number(i, names.design, design)) {
            const int health =
                battery::health(static_cast<double>(full), static_cast<double>(design));
            if (health >= 0)
                return health;
        }
    }
    return -1;
}

// The maker's name for the battery, when it is printable text.
QString modelOf(List& list, std::size_t i)
{
    List::Value text;
    if (!list.text(i, List::ModelName, text))
        return {};
    const QString model = QString::fromUtf8(text).simplified();
    for (const QChar c : model)
        if (!c.isPrint() || c == QChar::ReplacementCharacter)
            return {};
    return model;
}

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

int limitOf(List& list, std::size_t i, List::Attribute attribute)
{
    long long value = 0;
    return list.number(i, attribute, value) ? battery::limit(value) : -1;
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

bool sysfsBatteryLevel(PowerSupplyList& list, double& level, int& unit)
{
    level = 0.0;
    unit = 0;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (list.kind(i) != List::Kind::Battery || !list.inSlot(i))
            continue;
        long long now = 0;
        const int own = list.number(i, List::EnergyNow, now)   ? static_cast<int>(Unit::Energy)
                        : list.number(i, List::ChargeNow, now) ? static_cast<int>(Unit::Charge)
                                                               : 0;
        if (own == 0 || (unit != 0 && own != unit))
            return false;
        unit = own;
        level += static_cast<double>(now);
    }
    return unit != 0;
}

BatteryDetails sysfsBatteryDetails(PowerSupplyList& list, const ChargeHistory* history)
{
    list.refresh();
    bool charging = false;
    bool discharging = false;
    bool notCharging = false;
    bool full = false;
    Unit unit = Unit::None;
    bool summable = true;
    Figures sum;
    double missing = 0.0;  // to each battery's limit or full
    BatteryDetails details;
    std::vector<std::string> names;  // the batteries', for their order
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (list.kind(i) != List::Kind::Battery || !list.inSlot(i))
            continue;
        BatteryPack pack;
        List::Value status;
        if (list.text(i, List::Status, status))
            pack.state = stateOf(status);
        charging = charging || pack.state == ChargeState::Charging;
        discharging = discharging || pack.state == ChargeState::Discharging;
        notCharging = notCharging || pack.state == ChargeState::NotCharging;
        full = full || pack.state == ChargeState::Full;
        double percent = 0.0;
        if (sysfsBatteryPercent(list, i, percent))
            pack.percent = percent::reading(percent);
        pack.model = modelOf(list, i);
        pack.healthPercent = healthOf(list, i);
        long long cycles = 0;
        if (list.number(i, List::CycleCount, cycles) && cycles > 0 && cycles < 1'000'000)
            pack.cycles = static_cast<int>(cycles);
        pack.limitEnd = limitOf(list, i, List::LimitEnd);
        pack.limitStart = pack.limitEnd > 0 ? limitOf(list, i, List::LimitStart) : -1;
        if (pack.limitStart >= pack.limitEnd)
            pack.limitStart = -1;
        details.watts += wattsOf(list, i);

        const Figures figures = figuresOf(list, i, pack.limitEnd);
        if (figures.unit == Unit::None || (unit != Unit::None && figures.unit != unit))
            summable = false;
        unit = figures.unit;
        sum.now += figures.now;
        missing += figures.now < figures.target ? figures.target - figures.now : 0.0;
        sum.rate += figures.rate;
        // Numbered as the kernel names them (BAT0 first), not as listed.
        const std::string& name = list.name(i);
        const auto at = std::find_if(names.begin(), names.end(), [&](const std::string& other) {
            return name.size() < other.size() || (name.size() == other.size() && name < other);
        });
        details.batteries.insert(details.batteries.begin() + (at - names.begin()), pack);
        names.insert(at, name);
    }

    if (details.batteries.empty()) {
        details.state = ChargeState::NoBattery;
        return details;
    }
    details.watts = battery::watts(details.watts);
    details.state = charging      ? ChargeState::Charging
                    : discharging ? ChargeState::Discharging
                    : notCharging ? ChargeState::NotCharging
                    : full        ? ChargeState::Full
                                  : ChargeState::Unknown;
    // The rate averaged over the last minutes, in the same unit and going the
    // way the state says, else this moment's.
    double average = 0.0;
    const bool rising = details.state == ChargeState::Charging;
    details.timesProvisional = true;
    if (summable && history && history->unit() == static_cast<int>(unit) &&
        history->ratePerHour(average) && (rising ? average > 0.0 : average < 0.0)) {
        sum.rate = average < 0.0 ? -average : average;
        details.timesProvisional = false;
    }
    if (!summable || sum.rate <= 0.0)
        return details;
    if (details.state == ChargeState::Discharging)
        details.secondsToEmpty = battery::seconds(kSecondsPerHour * sum.now / sum.rate);
    else if (details.state == ChargeState::Charging)
        details.secondsToFull = battery::seconds(kSecondsPerHour * missing / sum.rate);
    return details;
}

}  // namespace tellavo
