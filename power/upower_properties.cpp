#include "upower_properties.h"

#include "battery_model.h"
#include "power_source.h"
#include "power_supply_list.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QFileInfo>

#include <cmath>
#include <iterator>
#include <utility>

namespace tellavo {
namespace upower {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kRootPath = QStringLiteral("/org/freedesktop/UPower");
const QString kRootInterface = QStringLiteral("org.freedesktop.UPower");
const QString kDisplayPath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

const QString kOnBattery = QStringLiteral("OnBattery");

namespace {

const QString kIsPresent = QStringLiteral("IsPresent");
const QString kType = QStringLiteral("Type");
const QString kPercentage = QStringLiteral("Percentage");
const QString kState = QStringLiteral("State");

// UPower's device kinds that mean "the machine's battery".
constexpr uint kTypeLinePower = 1;
constexpr uint kTypeBattery = 2;
constexpr uint kTypeUps = 3;

constexpr std::size_t kMostSamples = 2000;

bool isA(const QVariant& value, QMetaType::Type type)
{
    return value.metaType().id() == type;
}

double number(const QVariantMap& device, const QString& name)
{
    const QVariant value = device.value(name);
    return isA(value, QMetaType::Double) ? value.toDouble() : BatteryReading::kNotRead;
}

bool flag(const QVariantMap& device, const QString& name)
{
    const QVariant value = device.value(name);
    return isA(value, QMetaType::Bool) && value.toBool();
}

uint kind(const QVariantMap& device)
{
    const QVariant value = device.value(kType);
    return isA(value, QMetaType::UInt) ? value.toUInt() : 0;
}

// UPower's device states, by number: what the battery model calls each, and
// whether a charger is in.
struct StateMeaning {
    ChargeState state;
    bool onMains;
};
constexpr StateMeaning kStates[] = {
    {ChargeState::Unknown, false},      // 0 unknown
    {ChargeState::Charging, true},      // 1
    {ChargeState::Discharging, false},  // 2
    {ChargeState::Empty, false},        // 3
    {ChargeState::Full, true},          // 4
    // A charger holding the charge shows pending charge.
    {ChargeState::NotCharging, true},   // 5 pending charge
    {ChargeState::NotCharging, false},  // 6 pending discharge
};

StateMeaning meaning(unsigned state)
{
    return state < std::size(kStates) ? kStates[state] : kStates[0];
}

ChargeState chargeState(const QVariant& state)
{
    return isA(state, QMetaType::UInt) ? meaning(state.toUInt()).state : ChargeState::Unknown;
}

// UPower's device types the tip names, by number; any other is Other.
constexpr std::pair<uint, DeviceKind> kKinds[] = {
    {5, DeviceKind::Mouse},    {6, DeviceKind::Keyboard}, {8, DeviceKind::Phone},
    {10, DeviceKind::Tablet},  {12, DeviceKind::Gamepad}, {13, DeviceKind::Pen},
    {17, DeviceKind::Headset}, {19, DeviceKind::Headset},  // headset, headphones
};

DeviceKind deviceKind(uint type)
{
    for (const auto& [number, kind] : kKinds)
        if (number == type)
            return kind;
    return DeviceKind::Other;
}

// A number of the battery's own folder, through the kernel's supply list.
long long fromFolder(PowerSupplyList* supplies, const QString& name,
                     PowerSupplyList::Attribute attribute)
{
    if (!supplies || name.isEmpty())
        return -1;
    supplies->refresh();
    const std::string wanted = name.toStdString();
    long long value = -1;
    for (std::size_t i = 0; i < supplies->count(); ++i)
        if (supplies->name(i) == wanted && supplies->number(i, attribute, value))
            return value;
    return -1;
}

// The limit UPower tells (from 1.90), else the kernel's own file.
long long limitOf(const QVariantMap& device, PowerSupplyList* supplies, const QString& name,
                  bool end)
{
    if (flag(device, QStringLiteral("ChargeThresholdEnabled"))) {
        const QVariant value = device.value(end ? QStringLiteral("ChargeEndThreshold")
                                                : QStringLiteral("ChargeStartThreshold"));
        if (isA(value, QMetaType::UInt))
            return value.toUInt();
    }
    return fromFolder(supplies, name,
                      end ? PowerSupplyList::LimitEnd : PowerSupplyList::LimitStart);
}

}  // namespace

const QStringList kRootProperties{kOnBattery};
const QStringList kDisplayProperties{
    kIsPresent,
    kType,
    kPercentage,
    kState,
    QStringLiteral("Energy"),
    QStringLiteral("EnergyFull"),
    QStringLiteral("EnergyRate"),
};

int lineStatus(const QVariant& onBattery)
{
    if (!isA(onBattery, QMetaType::Bool))
        return power::kUnknown;
    return onBattery.toBool() ? power::kAcOffline : power::kAcOnline;
}

bool isBattery(const QVariantMap& device)
{
    const QVariant type = device.value(kType);
    return flag(device, kIsPresent) && isA(type, QMetaType::UInt) &&
           (type.toUInt() == kTypeBattery || type.toUInt() == kTypeUps);
}

int percentage(const QVariantMap& device)
{
    return isBattery(device) ? percent::reading(number(device, kPercentage)) : power::kUnknown;
}

bool ownBattery(const QVariantMap& device)
{
    return isBattery(device) && flag(device, QStringLiteral("PowerSupply"));
}

bool told(const QVariantMap& device)
{
    return flag(device, kIsPresent) && kind(device) != kTypeLinePower &&
           (ownBattery(device) || !flag(device, QStringLiteral("PowerSupply")));
}

BatteryReading readingOf(const QVariantMap& device, PowerSupplyList* supplies)
{
    BatteryReading r;
    const QVariant path = device.value(QStringLiteral("NativePath"));
    if (isA(path, QMetaType::QString))
        r.kernelName = QFileInfo(path.toString()).fileName();
    r.powersSystem = ownBattery(device);
    r.ups = kind(device) == kTypeUps;
    r.device = deviceKind(kind(device));
    // UPower tells every battery in energy, whatever the kernel's unit.
    r.now = number(device, QStringLiteral("Energy"));
    r.full = number(device, QStringLiteral("EnergyFull"));
    r.design = number(device, QStringLiteral("EnergyFullDesign"));
    r.rate = number(device, QStringLiteral("EnergyRate"));
    r.percent = number(device, kPercentage);
    r.state = chargeState(device.value(kState));
    const QVariant cycles = device.value(QStringLiteral("ChargeCycles"));
    if (isA(cycles, QMetaType::Int))
        r.cycles = cycles.toInt();
    const QVariant model = device.value(QStringLiteral("Model"));
    if (isA(model, QMetaType::QString))
        r.model = model.toString();
    if (r.powersSystem) {
        r.limitEnd = limitOf(device, supplies, r.kernelName, true);
        r.limitStart = limitOf(device, supplies, r.kernelName, false);
    }
    return r;
}

std::vector<history::StateSample> samplesOf(const QDBusMessage& reply)
{
    std::vector<history::StateSample> samples;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "a(udu)")
        return samples;
    const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd() && samples.size() < kMostSamples) {
        uint secs = 0;
        double value = 0.0;
        uint state = 0;
        array.beginStructure();
        array >> secs >> value >> state;
        array.endStructure();
        // upowerd marks its own start with a 0 of unknown state: no reading.
        if (std::isfinite(value) && !(state == 0 && value == 0.0))
            samples.push_back({secs, value, state});
    }
    array.endArray();
    return samples;
}

bool onMains(unsigned state)
{
    return meaning(state).onMains;
}

bool settledWatts(const std::vector<history::StateSample>& rates, const QVariantMap& device,
                  std::int64_t nowSecs, std::int64_t sinceSecs, double& watts)
{
    double mean = 0.0;
    if (!history::stretchMean(rates, nowSecs, sinceSecs, mean) || battery::watts(mean) <= 0.0)
        return false;
    watts = chargeState(device.value(kState)) == ChargeState::Charging ? battery::watts(mean)
                                                                       : -battery::watts(mean);
    return true;
}

}  // namespace upower
}  // namespace tellavo
