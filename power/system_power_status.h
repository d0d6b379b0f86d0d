#pragma once

#include "power_source.h"
#include "sysfs_power_source.h"
#include "upower_power_source.h"

#include <QObject>
#include <QString>

namespace tellavo {

// The power status the battery window reads: UPower while it answers, the
// kernel's power supply files while it does not. The choice is made at every
// read, so the window follows UPower as it comes, goes or hangs, and never
// waits for it.
class SystemPowerStatus : public QObject, public PowerSource {
    Q_OBJECT
public:
    // How often the window reads while UPower is absent.
    static constexpr int kReadEveryMs = 1000;

    // The power supply files are read from $TELLAVO_POWER_SUPPLY_DIR when it is
    // set (tests give the program a battery of their own), else from
    // /sys/class/power_supply.
    explicit SystemPowerStatus(QObject* parent = nullptr);
    SystemPowerStatus(const QString& sysfsRoot, const UPowerTimings& timings,
                      QObject* parent = nullptr);

    int acLineStatus() override;
    int batteryLifePercent() override;
    // UPower's cache while it answers, else the power supply files, read now.
    BatteryDetails batteryDetails() override;
    // UPower tells of every change; the power supply files do not.
    bool announcesChanges() const override { return usingUPower(); }
    void setChangeListener(std::function<void(PowerChange)> listener) override;

    bool usingUPower() const { return m_upower.isAvailable(); }

signals:
    // UPower's readings changed while they are the ones in use.
    void readingsChanged();
    // The source in use switched between UPower and the power supply files.
    void sourceChanged();

private:
    void announce(PowerChange change);

    SysfsPowerSource m_sysfs;
    UPowerPowerSource m_upower;
    std::function<void(PowerChange)> m_listener;
};

}  // namespace tellavo
