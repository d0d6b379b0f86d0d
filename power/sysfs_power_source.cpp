#include "sysfs_power_source.h"

#include "percent_reading.h"
#include "sysfs_battery_details.h"

#include <utility>

namespace tellavo {
namespace {

using Kind = PowerSupplyList::Kind;

}  // namespace

SysfsPowerSource::SysfsPowerSource(std::string root, int relistMs, Wakes* wakes)
    : PowerSource(wakes), m_supplies(std::move(root), relistMs)
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
    const std::int64_t now = wakes().check();
    if (reading.acLineStatus == power::kUnknown || reading.batteryLifePercent == power::kUnknown)
        return;
    const bool onMains = reading.acLineStatus == power::kAcOnline;
    m_history.addPercent(now, reading.batteryLifePercent, onMains);
    double level = 0.0;
    if (m_history.levelDue(now) && sysfsBatteryLevel(m_supplies, level))
        m_history.addLevel(now, level, onMains);
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
    bool charged = false;  // charging, full or held: a charger is there
    for (std::size_t i = 0; i < m_supplies.count(); ++i) {
        PowerSupplyList::Value status;
        if (m_supplies.kind(i) != Kind::Battery || !m_supplies.inSlot(i) ||
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
