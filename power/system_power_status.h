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
class SystemPowerStatus : public PowerSource {
    Q_OBJECT
public:
    // How often the window reads while UPower is absent.
    static constexpr int kReadEveryMs = 1000;

    // The power supply files are read from $TELLAVO_POWER_SUPPLY_DIR when it is
    // set (tests give the program a battery of their own), else from
    // /sys/class/power_supply.
    explicit SystemPowerStatus(QObject* parent = nullptr);
    // relistMs: how often the power supply folder is listed again.
    SystemPowerStatus(const QString& sysfsRoot, const UPowerTimings& timings,
                      int relistMs = PowerSupplyList::kRelistMs, QObject* parent = nullptr);

    // UPower's cache while it answers, else the power supply files, read now.
    PowerReading read() override;
    BatteryDetails batteryDetails() override;
    void refreshDetails() override;
    // UPower tells of every change; the power supply files do not. changed()
    // tells of UPower's changes while it is in use, and of every switch
    // between UPower and the files (as a change of source).
    bool announcesChanges() const override { return usingUPower(); }

    bool usingUPower() const { return m_upower.isAvailable(); }

private:
    SysfsPowerSource m_sysfs;
    UPowerPowerSource m_upower;
};

}  // namespace tellavo
