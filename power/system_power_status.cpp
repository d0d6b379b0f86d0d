#include "system_power_status.h"

#include <QFile>

namespace tellavo {
namespace {

QString sysfsRootFromEnvironment()
{
    const QString dir = qEnvironmentVariable("TELLAVO_POWER_SUPPLY_DIR");
    return dir.isEmpty() ? QString::fromLatin1(SysfsPowerSource::kDefaultRoot) : dir;
}

}  // namespace

SystemPowerStatus::SystemPowerStatus(QObject* parent)
    : SystemPowerStatus(sysfsRootFromEnvironment(), UPowerTimings(), PowerSupplyList::kRelistMs,
                        parent)
{
}

SystemPowerStatus::SystemPowerStatus(const QString& sysfsRoot, const UPowerTimings& timings,
                                     int relistMs, QObject* parent)
    // One account of sleeps for both sources' averages and the tick.
    : PowerSource(nullptr, parent),
      m_sysfs(QFile::encodeName(sysfsRoot).toStdString(), relistMs, &wakes()),
      m_upower(timings, &wakes())
{
    connect(&m_upower, &PowerSource::changed, this, &PowerSource::changed);
    connect(&m_upower, &PowerSource::detailsChanged, this, [this] {
        if (m_upower.isAvailable())
            emit detailsChanged();
    });
    // The charge limits UPower does not tell are read through the same list.
    m_upower.setSupplies(&m_sysfs.supplies());
}

PowerReading SystemPowerStatus::read()
{
    // On UPower the tick reads no clock: logind tells a wake, and the tip's
    // round looks at the clocks itself.
    if (m_upower.isAvailable())
        return m_upower.read();
    // Without UPower the window reads once a second: UPower's next try rides
    // on this wake-up instead of a timer of its own, which Qt does not line up
    // with the tick. Reads come a second apart give or take the tick's slack,
    // so a try due within one and a half of them is made now.
    m_upower.retryIfDueWithin(kReadEveryMs * 3 / 2);
    return m_sysfs.read();
}

BatteryDetails SystemPowerStatus::batteryDetails()
{
    return m_upower.isAvailable() ? m_upower.batteryDetails() : m_sysfs.batteryDetails();
}

void SystemPowerStatus::refreshDetails()
{
    if (m_upower.isAvailable())
        m_upower.refreshDetails();
}

}  // namespace tellavo
