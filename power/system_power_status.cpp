#include "system_power_status.h"

#include <QFile>

#include <utility>

namespace tellavo {
namespace {

QString sysfsRootFromEnvironment()
{
    const QString dir = qEnvironmentVariable("TELLAVO_POWER_SUPPLY_DIR");
    return dir.isEmpty() ? QString::fromLatin1(SysfsPowerSource::kDefaultRoot) : dir;
}

}  // namespace

SystemPowerStatus::SystemPowerStatus(QObject* parent)
    : SystemPowerStatus(sysfsRootFromEnvironment(), UPowerTimings(), parent)
{
}

SystemPowerStatus::SystemPowerStatus(const QString& sysfsRoot, const UPowerTimings& timings,
                                     QObject* parent)
    : QObject(parent), m_sysfs(QFile::encodeName(sysfsRoot).toStdString()), m_upower(timings)
{
    connect(&m_upower, &UPowerPowerSource::availabilityChanged, this, [this] {
        emit sourceChanged();
        announce(PowerChange::Source);
    });
    connect(&m_upower, &UPowerPowerSource::readingsChanged, this, [this] {
        if (m_upower.isAvailable()) {
            emit readingsChanged();
            announce(PowerChange::Readings);
        }
    });
}

void SystemPowerStatus::setChangeListener(std::function<void(PowerChange)> listener)
{
    m_listener = std::move(listener);
}

void SystemPowerStatus::announce(PowerChange change)
{
    if (m_listener)
        m_listener(change);
}

// Both reads of a tick come in a row, with no event in between, so they always
// come from the same source.
int SystemPowerStatus::acLineStatus()
{
    if (m_upower.isAvailable())
        return m_upower.acLineStatus();
    // Without UPower the window reads once a second: UPower's next try rides
    // on this wake-up instead of a timer of its own, which Qt does not line up
    // with the tick. Reads come a second apart give or take the tick's slack,
    // so a try due within one and a half of them is made now.
    m_upower.retryIfDueWithin(kReadEveryMs * 3 / 2);
    return m_sysfs.acLineStatus();
}

int SystemPowerStatus::batteryLifePercent()
{
    return m_upower.isAvailable() ? m_upower.batteryLifePercent() : m_sysfs.batteryLifePercent();
}

BatteryDetails SystemPowerStatus::batteryDetails()
{
    return m_upower.isAvailable() ? m_upower.batteryDetails() : m_sysfs.batteryDetails();
}

}  // namespace tellavo
