#include "sysfs_power_source.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace tellavo {
namespace {

constexpr double kMillion = 1e6;
// UPower's guess when a battery tells no voltage at all.
constexpr double kGuessedVolts = 10.0;
// Below a volt a voltage file is no battery's voltage.
constexpr double kLeastVolts = 1.0;

using List = PowerSupplyList;

bool is(const char* text, const char* word)
{
    return std::strcmp(text, word) == 0;
}

// A file's number in the model's units (µ to whole), or NaN.
double micro(List& list, std::size_t i, List::Attribute attribute, bool sign = false)
{
    long long value = 0;
    const bool read =
        sign ? list.signedNumber(i, attribute, value) : list.number(i, attribute, value);
    // Divided, as UPower divides: the same figures give the same percentage.
    return read ? static_cast<double>(value) / kMillion : BatteryReading::kNotRead;
}

long long count(List& list, std::size_t i, List::Attribute attribute)
{
    long long value = 0;
    return list.number(i, attribute, value) ? value : battery::kNotKnown;
}

double whole(List& list, std::size_t i, List::Attribute attribute)
{
    long long value = 0;
    return list.number(i, attribute, value) ? static_cast<double>(value) : BatteryReading::kNotRead;
}

// The voltage at which a charge counts as energy, as UPower takes it.
double designVolts(List& list, std::size_t i, bool& guessed)
{
    for (const List::Attribute attribute :
         {List::VoltageMaxDesign, List::VoltageMinDesign, List::VoltageNow}) {
        const double volts = micro(list, i, attribute);
        if (volts > kLeastVolts) {
            guessed = false;
            return volts;
        }
    }
    guessed = true;
    return kGuessedVolts;
}

// The battery's level in Wh (see the class); with all, its design and rate.
void readLevel(List& list, std::size_t i, BatteryReading& r, bool all)
{
    double volts = 0.0;  // 0: the level is energy
    const double energyNow = micro(list, i, List::EnergyNow);
    const double energyFull = micro(list, i, List::EnergyFull);
    if (battery::plausibleLevel(energyNow, energyFull)) {
        r.now = energyNow;
        r.full = energyFull;
    } else {
        const double chargeNow = micro(list, i, List::ChargeNow);
        const double chargeFull = micro(list, i, List::ChargeFull);
        if (battery::plausibleLevel(chargeNow, chargeFull)) {
            volts = designVolts(list, i, r.voltageGuessed);
            r.now = chargeNow * volts;
            r.full = chargeFull * volts;
        } else {
            // No level, but what it holds when full weighs its charge.
            bool guessed = false;
            r.full = energyFull > 0.0
                         ? energyFull
                         : chargeFull * (chargeFull > 0.0 ? designVolts(list, i, guessed) : 1.0);
        }
    }
    if (!all)
        return;
    r.design = volts > 0.0 ? micro(list, i, List::ChargeFullDesign) * volts
                           : micro(list, i, List::EnergyFullDesign);
    const double power = micro(list, i, List::PowerNow, true);
    const double current = micro(list, i, List::CurrentNow, true);
    if (volts > 0.0 && !std::isnan(current)) {
        r.rate = current * volts;
    } else {
        r.voltageGuessed = false;
        r.rate = !std::isnan(power) ? power : current * micro(list, i, List::VoltageNow);
    }
}

bool counted(List& list, std::size_t i)
{
    return list.kind(i) == List::Kind::Battery && list.inSlot(i);
}

// A battery's status file as the battery model names it.
ChargeState sysfsState(const char* status)
{
    return is(status, "Charging")       ? ChargeState::Charging
           : is(status, "Discharging")  ? ChargeState::Discharging
           : is(status, "Not charging") ? ChargeState::NotCharging
           : is(status, "Full")         ? ChargeState::Full
                                        : ChargeState::Unknown;
}

// Everything the tip tells, read when it asks.
std::vector<BatteryReading> sysfsBatteryReadings(List& list)
{
    list.refresh();
    std::vector<BatteryReading> readings;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (!counted(list, i))
            continue;
        BatteryReading& r = readings.emplace_back();
        r.kernelName = QString::fromStdString(list.name(i));
        List::Value text;
        if (list.text(i, List::Status, text))
            r.state = sysfsState(text);
        if (list.text(i, List::ModelName, text))
            r.model = QString::fromUtf8(text);
        r.percent = whole(list, i, List::Capacity);
        r.cycles = count(list, i, List::CycleCount);
        r.limitEnd = count(list, i, List::LimitEnd);
        r.limitStart = r.limitEnd >= 0 ? count(list, i, List::LimitStart) : battery::kNotKnown;
        readLevel(list, i, r, true);
    }
    return readings;
}

// What the tick reads to work out the charge, into `into`.
void sysfsChargeReadings(List& list, std::vector<BatteryReading>& into)
{
    into.clear();
    std::size_t listed = 0;
    for (std::size_t i = 0; i < list.count(); ++i)
        listed += list.kind(i) == List::Kind::Battery;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (!counted(list, i))
            continue;
        BatteryReading& r = into.emplace_back();
        r.percent = whole(list, i, List::Capacity);
        if (listed > 1 || !percent::plausible(r.percent))
            readLevel(list, i, r, false);
    }
}

// The batteries' energy in Wh summed, for the tick's history.
bool sysfsBatteryLevel(List& list, double& level)
{
    // energy_now alone, or the charge's: one file a battery, every few seconds.
    level = 0.0;
    bool any = false;
    for (std::size_t i = 0; i < list.count(); ++i) {
        if (!counted(list, i))
            continue;
        double now = micro(list, i, List::EnergyNow);
        if (std::isnan(now)) {
            bool guessed = false;
            now = micro(list, i, List::ChargeNow);
            if (!std::isnan(now))
                now *= designVolts(list, i, guessed);
        }
        if (std::isnan(now))
            return false;
        level += now;
        any = true;
    }
    return any;
}

}  // namespace

SysfsPowerSource::SysfsPowerSource(std::string root, int relistMs, Wakes* wakes)
    : PowerSource(wakes), m_supplies(std::move(root), relistMs)
{
}

PowerReading SysfsPowerSource::read()
{
    m_supplies.refresh();
    const PowerReading reading{lineStatus(), batteryLifePercent()};
    const std::int64_t now = wakes().check();
    if (reading.acLineStatus == power::kUnknown || reading.batteryLifePercent == power::kUnknown)
        return reading;
    const bool onMains = reading.acLineStatus == power::kAcOnline;
    m_history.addPercent(now, reading.batteryLifePercent, onMains);
    double level = 0.0;
    if (m_history.levelDue(now) && sysfsBatteryLevel(m_supplies, level))
        m_history.addLevel(now, level, onMains);
    return reading;
}

int SysfsPowerSource::lineStatus()
{
    // A charger that says online or offline decides, whatever the batteries'
    // status: they are read only when no charger says (some firmware lists
    // only the battery), which spares two reads a battery at every tick.
    bool offline = false;
    for (std::size_t i = 0; i < m_supplies.count(); ++i) {
        long long state = 0;
        if (m_supplies.kind(i) != List::Kind::Charger ||
            !m_supplies.number(i, PowerSupplyList::Online, state))
            continue;
        // 1 online, 2 online with a programmable voltage
        if (state != 0)
            return power::kAcOnline;
        offline = true;
    }
    if (offline)
        return power::kAcOffline;
    bool charged = false;  // charging, full or held: a charger is there
    for (std::size_t i = 0; i < m_supplies.count(); ++i) {
        PowerSupplyList::Value status;
        if (m_supplies.kind(i) != List::Kind::Battery || !m_supplies.inSlot(i) ||
            !m_supplies.text(i, PowerSupplyList::Status, status))
            continue;
        const ChargeState state = sysfsState(status);
        if (state == ChargeState::Discharging)
            return power::kAcOffline;
        charged = charged || state != ChargeState::Unknown;
    }
    return charged ? power::kAcOnline : power::kUnknown;
}

int SysfsPowerSource::batteryLifePercent()
{
    sysfsChargeReadings(m_supplies, m_charges);
    return percent::reading(chargePercent(m_charges));
}

BatteryDetails SysfsPowerSource::batteryDetails()
{
    BatteryDetails details =
        tellavo::batteryDetails(sysfsBatteryReadings(m_supplies),
                                m_history.settledWatts(wakes().nowMs(), wakes().lastWakeMs()));
    // The curve ends at the charge of now, as the strip's next tick reads it.
    const int percent = batteryLifePercent();
    if (percent != power::kUnknown)
        details.day = m_history.day(wakes().nowMs(), percent, lineStatus() == power::kAcOnline);
    return details;
}

}  // namespace tellavo
