#pragma once

#include "battery_model.h"
#include "charge_history.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <vector>

class QDBusMessage;

namespace tellavo {

class PowerSupplyList;

// What UPower's properties and replies mean, read defensively: a value of
// the wrong type, or out of all reason, is one not sent. No D-Bus traffic
// here.
namespace upower {

extern const QString kService;
extern const QString kRootPath;
extern const QString kRootInterface;
extern const QString kDisplayPath;
extern const QString kDeviceInterface;
extern const QString kPropertiesInterface;

extern const QString kOnBattery;
// The properties the cache keeps of each object: the two readings' and what
// the tip's first lines need before a round has told each battery.
extern const QStringList kRootProperties;
extern const QStringList kDisplayProperties;

// 0 on battery, 1 on mains, 255 when OnBattery is no boolean.
int lineStatus(const QVariant& onBattery);
// The display device stands for a battery (else UPower says "no battery").
bool isBattery(const QVariantMap& device);
// 0..100 by round-half-even, or 255.
int percentage(const QVariantMap& device);

// A battery that powers the machine: UPower's Battery or UPS, present, and
// a power supply (a mouse's battery is none).
bool ownBattery(const QVariantMap& device);
// A device the tip tells of: present and not the charger.
bool told(const QVariantMap& device);

// A device's properties as the battery model takes them. The charge limit,
// which UPower before 1.90 does not tell, comes from the battery's own folder
// in supplies, named by the last part of its NativePath.
BatteryReading readingOf(const QVariantMap& device, PowerSupplyList* supplies);

// UPower's history, a(udu) of time, value and state; anything else is none.
std::vector<history::StateSample> samplesOf(const QDBusMessage& reply);
// UPower's states while a charger is in.
bool onMains(unsigned state);
// The rate averaged over its history that a battery in this state moves at,
// signed as the model takes it (positive while charging); false when the
// history has none settled since sinceSecs.
bool settledWatts(const std::vector<history::StateSample>& rates, const QVariantMap& device,
                  std::int64_t nowSecs, std::int64_t sinceSecs, double& watts);

}  // namespace upower
}  // namespace tellavo
