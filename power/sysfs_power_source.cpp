#include "sysfs_power_source.h"

#include "percent_reading.h"
#include "sysfs_battery_details.h"

#include <cstring>
#include <utility>

namespace tellavo {
namespace {

bool is(const char* text, const char* word)
{
    return std::strcmp(text, word) == 0;
}

using Kind = PowerSupplyList::Kind;

}  // namespace

SysfsPowerSource::SysfsPowerSource(std::string root, int relistMs, Wakes* wakes)
    : m_supplies(std::move(root), relistMs),
      m_ownWakes(wakes ? nullptr : std::make_unique<Wakes>()),
      m_wakes(wakes ? wakes : m_ownWakes.get())
{
}

PowerReading SysfsPowerSource::read()
{
    m_supplies.refresh();
    const PowerReading reading{lineStatus(), batteryLifePercent()};
    remember(reading);
    return reading;
}

void SysfsPowerSource::remember(const PowerReading& reading)
{
    const std::int64_t now = m_wakes->check();
    if (reading.acLineStatus == power::kUnknown || reading.batteryLifePercent == power::kUnknown)
        return;
    const bool onMains = reading.acLineStatus == power::kAcOnline;
    m_history.addPercent(now, reading.batteryLifePercent, onMains);
    double level = 0.0;
    BatteryUnit unit = BatteryUnit::None;
    if (m_history.levelDue(now) && sysfsBatteryLevel(m_supplies, level, unit))
        m_history.addLevel(now, level, unit, onMains);
}

int SysfsPowerSource::lineStatus()
{
    // A charger that says online or offline decides, whatever the batteries'
    // status: they are read only when no charger says (some firmware lists
    // only the battery), which spares two reads a battery at every tick.
    bool offline = false;
    for (std::size_t i = 0; i < m_supplies.count(); ++i) {
        long long state = 0;
        if (m_supplies.kind(i) != Kind::Charger ||
            !m_supplies.number(i, PowerSupplyList::Online, state))
            continue;
        // 1 online, 2 online with a programmable voltage
        if (state != 0)
            return power::kAcOnline;
        offline = true;
    }
    if (offline)
        return power::kAcOffline;
    bool discharging = false;
    bool charged = false;  // Charging, Full or "Not charging": a charger is there
    for (std::size_t i = 0; i < m_supplies.count(); ++i) {
        PowerSupplyList::Value status;
        if (m_supplies.kind(i) != Kind::Battery || !m_supplies.inSlot(i) ||
            !m_supplies.text(i, PowerSupplyList::Status, status))
            continue;
        if (is(status, "Discharging"))
            discharging = true;
        else if (is(status, "Charging") || is(status, "Full") || is(status, "Not charging"))
            charged = true;
    }
    if (discharging)
        return power::kAcOffline;
    return charged ? power::kAcOnline : power::kUnknown;
}

int SysfsPowerSource::batteryLifePercent()
{
    // With one battery listed no weight is needed, and none is read.
    int listed = 0;
    for (std::size_t i = 0; i < m_supplies.count(); ++i)
        listed += m_supplies.kind(i) == Kind::Battery;
    const bool weigh = listed > 1;

    int batteries = 0;
    int withEnergy = 0;
    int withCharge = 0;
    double plain = 0.0;
    double byEnergy = 0.0;
    double energyTotal = 0.0;
    double byCharge = 0.0;
    double chargeTotal = 0.0;
    for (std::size_t i = 0; i < m_supplies.count(); ++i) {
        double percent = 0.0;
        if (m_supplies.kind(i) != Kind::Battery || !m_supplies.inSlot(i) ||
            !sysfsBatteryPercent(m_supplies, i, percent))
            continue;
        ++batteries;
        plain += percent;
        if (!weigh)
            continue;
        long long full = 0;
        if (m_supplies.number(i, PowerSupplyList::EnergyFull, full) && full > 0) {
            ++withEnergy;
            byEnergy += percent * static_cast<double>(full);
            energyTotal += static_cast<double>(full);
        }
        if (m_supplies.number(i, PowerSupplyList::ChargeFull, full) && full > 0) {
            ++withCharge;
            byCharge += percent * static_cast<double>(full);
            chargeTotal += static_cast<double>(full);
        }
    }
    if (batteries == 0)
        return power::kUnknown;
    return percent::reading(withEnergy == batteries   ? byEnergy / energyTotal
                            : withCharge == batteries ? byCharge / chargeTotal
                                                      : plain / batteries);
}

BatteryDetails SysfsPowerSource::batteryDetails()
{
    BatteryDetails details = tellavo::batteryDetails(sysfsBatteryReadings(m_supplies),
                                                     m_history.settledRate(m_wakes->lastWakeMs()));
    // The curve ends at the charge of now, as the strip's next tick reads it.
    const int percent = batteryLifePercent();
    if (percent != power::kUnknown)
        details.day = m_history.day(m_wakes->nowMs(), percent, lineStatus() == power::kAcOnline);
    return details;
}

}  // namespace tellavo
