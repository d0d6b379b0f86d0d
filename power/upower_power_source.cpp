#include "upower_power_source.h"

#include "charge_history.h"
#include "percent_reading.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tellavo {
namespace {

Q_LOGGING_CATEGORY(lcPower, "tellavo.platform.power", QtWarningMsg)

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kRootPath = QStringLiteral("/org/freedesktop/UPower");
const QString kRootInterface = QStringLiteral("org.freedesktop.UPower");
const QString kDisplayPath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPropertiesChanged = QStringLiteral("PropertiesChanged");
// libdbus tells its own client that the bus went away with this signal.
const QString kLocalPath = QStringLiteral("/org/freedesktop/DBus/Local");
const QString kLocalInterface = QStringLiteral("org.freedesktop.DBus.Local");

const QString kOnBattery = QStringLiteral("OnBattery");
const QString kIsPresent = QStringLiteral("IsPresent");
const QString kType = QStringLiteral("Type");
const QString kPercentage = QStringLiteral("Percentage");
const QString kState = QStringLiteral("State");
const QString kTimeToEmpty = QStringLiteral("TimeToEmpty");
const QString kTimeToFull = QStringLiteral("TimeToFull");

// UPower's device kinds that mean "the machine's battery".
constexpr uint kTypeLinePower = 1;
constexpr uint kTypeBattery = 2;
constexpr uint kTypeUps = 3;

// More devices than any desk holds: past it, the rest are not asked.
constexpr int kMostDevices = 32;
constexpr int kLongestModel = 40;
constexpr double kSecondsPerHour = 3600.0;
constexpr std::int64_t kDaySeconds = 86'400;
// The curve's points a day; the rate's over the average's span (10 s each).
constexpr uint kCurvePoints = 200;
constexpr uint kRatePoints = 60;
constexpr std::size_t kMostSamples = 2000;

bool isA(const QVariant& value, QMetaType::Type type)
{
    return value.metaType().id() == type;
}

int lineStatus(const QVariant& onBattery)
{
    if (!isA(onBattery, QMetaType::Bool))
        return power::kUnknown;
    return onBattery.toBool() ? power::kAcOffline : power::kAcOnline;
}

// The display device stands for a battery (else UPower says "no battery").
bool isBattery(const QVariant& isPresent, const QVariant& type)
{
    return isA(isPresent, QMetaType::Bool) && isPresent.toBool() && isA(type, QMetaType::UInt) &&
           (type.toUInt() == kTypeBattery || type.toUInt() == kTypeUps);
}

int percentage(const QVariant& isPresent, const QVariant& type, const QVariant& value)
{
    if (!isBattery(isPresent, type) || !isA(value, QMetaType::Double))
        return power::kUnknown;
    return percent::reading(value.toDouble());
}

ChargeState chargeState(const QVariant& state)
{
    if (!isA(state, QMetaType::UInt))
        return ChargeState::Unknown;
    switch (state.toUInt()) {
        case 1:
            return ChargeState::Charging;
        case 2:
            return ChargeState::Discharging;
        case 3:
            return ChargeState::Empty;
        case 4:
            return ChargeState::Full;
        case 5:  // pending charge: what a charger holding the charge shows
        case 6:  // pending discharge
            return ChargeState::NotCharging;
        default:
            return ChargeState::Unknown;
    }
}

// UPower sends whole seconds as an int64, 0 while it does not know.
double seconds(const QVariant& value)
{
    if (!isA(value, QMetaType::LongLong))
        return 0.0;
    return battery::seconds(static_cast<double>(value.toLongLong()));
}

double number(const QVariant& value)
{
    return isA(value, QMetaType::Double) ? value.toDouble() : 0.0;
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

// The maker's name, when it is short printable text.
QString modelOf(const QVariantMap& device)
{
    const QVariant value = device.value(QStringLiteral("Model"));
    if (!isA(value, QMetaType::QString))
        return {};
    const QString model = value.toString().simplified();
    if (model.size() > kLongestModel)
        return {};
    for (const QChar c : model)
        if (!c.isPrint() || c == QChar::ReplacementCharacter)
            return {};
    return model;
}

DeviceKind deviceKind(uint type)
{
    switch (type) {
        case 5:
            return DeviceKind::Mouse;
        case 6:
            return DeviceKind::Keyboard;
        case 8:
            return DeviceKind::Phone;
        case 10:
            return DeviceKind::Tablet;
        case 12:
            return DeviceKind::Gamepad;
        case 13:
            return DeviceKind::Pen;
        case 17:  // headset
        case 19:  // headphones
            return DeviceKind::Headset;
        default:
            return DeviceKind::Other;
    }
}

// A number the battery's folder holds, or -1: UPower tells no charge limit.
long long fromFolder(const QString& supplyFolder, const QVariantMap& device, const char* attribute)
{
    const QVariant path = device.value(QStringLiteral("NativePath"));
    if (supplyFolder.isEmpty() || !isA(path, QMetaType::QString))
        return -1;
    const QString name = QFileInfo(path.toString()).fileName();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return -1;
    QFile file(supplyFolder + QLatin1Char('/') + name + QLatin1Char('/') +
               QLatin1String(attribute));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const long long value = file.read(32).trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

// The limit UPower tells (from 1.90), else the kernel's own file.
int limitOf(const QString& supplyFolder, const QVariantMap& device, bool end)
{
    if (flag(device, QStringLiteral("ChargeThresholdEnabled"))) {
        const QVariant value = device.value(end ? QStringLiteral("ChargeEndThreshold")
                                                : QStringLiteral("ChargeStartThreshold"));
        if (isA(value, QMetaType::UInt))
            return battery::limit(value.toUInt());
    }
    return battery::limit(
        fromFolder(supplyFolder, device,
                   end ? "charge_control_end_threshold" : "charge_control_start_threshold"));
}

int percentOf(const QVariantMap& device)
{
    const QVariant value = device.value(kPercentage);
    if (!isA(value, QMetaType::Double))
        return -1;
    const int reading = percent::reading(value.toDouble());
    return reading == power::kUnknown ? -1 : reading;
}

// UPower's history, a(udu): time, value, state; anything else is none.
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

using DeviceRound = UPowerPowerSource::DeviceRound;

struct TimesFromRound {
    std::int64_t nowSecs;
    std::int64_t wokeSecs;
};

bool ownBattery(const QVariantMap& device)
{
    const uint type = kind(device);
    return (type == kTypeBattery || type == kTypeUps) && flag(device, kIsPresent) &&
           flag(device, QStringLiteral("PowerSupply"));
}

// UPower's states while a charger is in.
bool onMains(unsigned state)
{
    return state == 1 || state == 4 || state == 5;
}

// The day's curve of one battery, each point's ms its age.
std::vector<LevelPoint> curveOf(std::vector<history::StateSample> charges, std::int64_t nowSecs)
{
    std::sort(charges.begin(), charges.end(),
              [](const history::StateSample& a, const history::StateSample& b) {
                  return a.secs < b.secs;
              });
    std::vector<LevelPoint> curve;
    for (const history::StateSample& c : charges)
        if (c.secs <= nowSecs && c.secs >= nowSecs - kDaySeconds && percent::plausible(c.value))
            curve.push_back({(nowSecs - c.secs) * 1000, percent::clamp(c.value), onMains(c.state)});
    return curve;
}

// Several batteries' curves as one, as the strip's charge weighs them: at each
// point of the first, each battery's last level by then, weighted by its full
// energy. Times before every battery has a level are left out.
std::vector<LevelPoint> combined(const std::vector<std::vector<LevelPoint>>& curves,
                                 const std::vector<double>& weights)
{
    if (curves.size() == 1)
        return curves.front();
    std::vector<LevelPoint> curve;
    for (const LevelPoint& at : curves.front()) {
        double sum = 0.0;
        double weight = 0.0;
        bool all = true;
        for (std::size_t b = 0; b < curves.size() && all; ++b) {
            // Oldest first, so the last one no younger than "at" is its level.
            const LevelPoint* last = nullptr;
            for (const LevelPoint& p : curves[b])
                if (p.ms >= at.ms)
                    last = &p;
            all = last && weights[b] > 0.0;
            if (all) {
                sum += last->level * weights[b];
                weight += weights[b];
            }
        }
        if (all)
            curve.push_back({at.ms, sum / weight, at.onMains});
    }
    return curve;
}

// Each battery of the machine, by its place in the kernel's list, and each
// device's battery; the watts, the times from the rate averaged over the last
// minutes and, at a charge limit, the time to it; the day's curve.
BatteryDetails fromDevices(std::vector<DeviceRound> devices, const QString& supplyFolder,
                           const TimesFromRound& now, bool& toLimitOut)
{
    std::stable_sort(devices.begin(), devices.end(),
                     [](const DeviceRound& a, const DeviceRound& b) {
                         return a.properties.value(QStringLiteral("NativePath")).toString() <
                                b.properties.value(QStringLiteral("NativePath")).toString();
                     });
    BatteryDetails details;
    double energyNow = 0.0;
    double missing = 0.0;
    double rate = 0.0;  // this moment's
    double averaged = 0.0;
    bool allAveraged = true;
    bool toLimit = false;
    std::vector<std::vector<LevelPoint>> curves;
    std::vector<double> weights;
    for (const DeviceRound& round : devices) {
        const QVariantMap& device = round.properties;
        const uint type = kind(device);
        if (type == kTypeLinePower || !flag(device, kIsPresent))
            continue;
        if (!flag(device, QStringLiteral("PowerSupply"))) {
            const int percent = percentOf(device);
            if (percent >= 0)
                details.devices.push_back({deviceKind(type), modelOf(device), percent});
            continue;
        }
        if (!ownBattery(device))
            continue;
        BatteryPack pack;
        pack.model = modelOf(device);
        pack.percent = percentOf(device);
        pack.state = chargeState(device.value(kState));
        const double energy = number(device.value(QStringLiteral("Energy")));
        const double full = number(device.value(QStringLiteral("EnergyFull")));
        pack.healthPercent =
            battery::health(full, number(device.value(QStringLiteral("EnergyFullDesign"))));
        const QVariant cycles = device.value(QStringLiteral("ChargeCycles"));
        if (isA(cycles, QMetaType::Int) && cycles.toInt() > 0)
            pack.cycles = cycles.toInt();
        pack.limitEnd = limitOf(supplyFolder, device, true);
        pack.limitStart = pack.limitEnd > 0 ? limitOf(supplyFolder, device, false) : -1;
        if (pack.limitStart >= pack.limitEnd)
            pack.limitStart = -1;
        const double watts = battery::watts(number(device.value(QStringLiteral("EnergyRate"))));
        details.watts += watts;
        rate += watts;
        double mean = 0.0;
        if (history::stretchMean(round.rates, now.nowSecs, now.wokeSecs, mean) &&
            battery::watts(mean) > 0.0)
            averaged += battery::watts(mean);
        else if (pack.state == ChargeState::Charging || pack.state == ChargeState::Discharging)
            allAveraged = false;
        const double target = pack.limitEnd > 0 ? full * pack.limitEnd / 100.0 : full;
        toLimit = toLimit || pack.limitEnd > 0;
        if (energy >= 0.0 && energy < target)
            missing += target - energy;
        if (energy >= 0.0)
            energyNow += energy;
        curves.push_back(curveOf(round.charges, now.nowSecs));
        weights.push_back(full);
        details.batteries.push_back(pack);
    }
    details.watts = battery::watts(details.watts);
    if (!curves.empty())
        details.day = combined(curves, weights);
    toLimitOut = toLimit;
    details.timesProvisional = !(allAveraged && averaged > 0.0);
    const double by = details.timesProvisional ? rate : averaged;
    if (by > 0.0) {
        details.secondsToEmpty = battery::seconds(kSecondsPerHour * energyNow / by);
        details.secondsToFull = battery::seconds(kSecondsPerHour * missing / by);
    }
    return details;
}

QString connectionName(const void* owner)
{
    return QStringLiteral("tellavo-upower-%1").arg(reinterpret_cast<quintptr>(owner), 0, 16);
}

}  // namespace

bool systemBusSurelyAbsent(const QString& address)
{
    const QString list =
        address.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket") : address;
    for (const QString& entry : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QLatin1String("unix:")) || entry.contains(QLatin1Char('%')))
            return false;
        QString path;
        for (const QString& pair : entry.mid(5).split(QLatin1Char(','))) {
            if (pair.startsWith(QLatin1String("path=")))
                path = pair.mid(5);
        }
        if (path.isEmpty() || QFileInfo::exists(path))
            return false;
    }
    return true;
}

UPowerPowerSource::UPowerPowerSource(QObject* parent) : UPowerPowerSource(UPowerTimings(), parent)
{
}

UPowerPowerSource::UPowerPowerSource(const UPowerTimings& timings, QObject* parent)
    : PowerSource(parent), m_timings(timings), m_connectionName(connectionName(this))
{
    m_timer.setSingleShot(true);
    // A coarse 30 s timer may fire half a second late, and a hung UPower is to
    // be noticed within a second of the liveness period plus the reply timeout.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UPowerPowerSource::onTimer);
    connectToBus();
}

UPowerPowerSource::~UPowerPowerSource()
{
    if (m_connected) {
        delete m_watcher;
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
}

void UPowerPowerSource::connectToBus()
{
    if (systemBusSurelyAbsent(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"))) {
        wait(Wait::Retry);
        return;
    }
    // A connection of our own, by name: the shared systemBus() is never made
    // again once its bus daemon has gone.
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_connectionName);
    if (!bus.isConnected()) {
        qCDebug(lcPower) << "no system bus:" << bus.lastError().message();
        QDBusConnection::disconnectFromBus(m_connectionName);
        wait(Wait::Retry);
        return;
    }
    m_connected = true;
    bus.connect(QString(), kLocalPath, kLocalInterface, QStringLiteral("Disconnected"), this,
                SLOT(onBusDisconnected()));
    bus.connect(kService, kRootPath, kPropertiesInterface, kPropertiesChanged, this,
                SLOT(onRootPropertiesChanged(QString, QVariantMap, QStringList)));
    bus.connect(kService, kDisplayPath, kPropertiesInterface, kPropertiesChanged, this,
                SLOT(onDisplayPropertiesChanged(QString, QVariantMap, QStringList)));
    bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                this, SLOT(onPrepareForSleep(bool)));
    for (const char* signal : {"DeviceAdded", "DeviceRemoved"})
        bus.connect(kService, kRootPath, kRootInterface, QLatin1String(signal), this,
                    SLOT(onDevicesChanged()));
    m_watcher =
        new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                onOwnerChanged(newOwner);
            });
    // Whether UPower is there already: if not, the bus answers at once and
    // the watcher tells when it comes.
    fetch(Root);
    fetch(Display);
}

void UPowerPowerSource::dropBus()
{
    qCDebug(lcPower) << "system bus lost";
    delete m_watcher;
    m_watcher = nullptr;
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connected = false;
    forget();
    update();  // and wait to connect again
}

void UPowerPowerSource::onBusDisconnected()
{
    if (m_connected)
        dropBus();
}

void UPowerPowerSource::onOwnerChanged(const QString& newOwner)
{
    qCDebug(lcPower) << "UPower owner now" << newOwner;
    forget();
    m_noOwner = newOwner.isEmpty();
    if (!m_noOwner) {
        fetch(Root);
        fetch(Display);
    }
    update();
}

void UPowerPowerSource::onTimer()
{
    if (!m_connected) {
        connectToBus();
        return;
    }
    if (!QDBusConnection(m_connectionName).isConnected()) {
        dropBus();
        return;
    }
    // UPower has said nothing for a whole period: one call proves it alive;
    // the two objects take turns, so that either one gone is noticed too. One
    // without an answer is asked at once.
    if (m_answered[Root] && m_answered[Display]) {
        fetch(m_nextCheck);
        m_nextCheck = m_nextCheck == Root ? Display : Root;
    } else {
        for (const Object object : {Root, Display})
            if (!m_answered[object])
                fetch(object);
    }
    m_timer.start();  // same period again
}

void UPowerPowerSource::retryIfDueWithin(int withinMs)
{
    if (m_waiting != Wait::Retry || !m_timer.isActive() || m_timer.remainingTime() > withinMs)
        return;
    m_timer.stop();  // so that the wait starts afresh
    onTimer();
}

void UPowerPowerSource::fetch(Object object)
{
    if (m_pending[object])
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, object == Root ? kRootPath : kDisplayPath,
                                       kPropertiesInterface, QStringLiteral("GetAll"));
    call << (object == Root ? kRootInterface : kDeviceInterface);
    const QDBusPendingCall reply =
        QDBusConnection(m_connectionName).asyncCall(call, m_timings.replyTimeoutMs);
    m_pending[object] = true;
    auto* watcher = new QDBusPendingCallWatcher(reply, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, object, generation = m_generation](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                onFetched(object, generation, finished);
            });
}

void UPowerPowerSource::onFetched(Object object, quint64 generation, QDBusPendingCallWatcher* call)
{
    if (generation != m_generation)
        return;
    m_pending[object] = false;
    const QDBusPendingReply<QVariantMap> reply = *call;
    if (reply.isError()) {
        const QDBusError error = reply.error();
        qCDebug(lcPower) << "UPower did not answer:" << error.name() << error.message();
        if (error.type() == QDBusError::Disconnected) {
            onBusDisconnected();
            return;
        }
        m_answered[object] = false;
        m_noOwner = error.type() == QDBusError::ServiceUnknown;
        update();
        return;
    }
    m_answered[object] = true;
    store(object, reply.value(), true);
    update();
    heardFromUPower();
}

void UPowerPowerSource::onRootPropertiesChanged(const QString& interface,
                                                const QVariantMap& changed,
                                                const QStringList& invalidated)
{
    onPropertiesChanged(Root, interface, changed, invalidated);
}

void UPowerPowerSource::onDisplayPropertiesChanged(const QString& interface,
                                                   const QVariantMap& changed,
                                                   const QStringList& invalidated)
{
    onPropertiesChanged(Display, interface, changed, invalidated);
}

void UPowerPowerSource::onPropertiesChanged(Object object, const QString& interface,
                                            const QVariantMap& changed,
                                            const QStringList& invalidated)
{
    heardFromUPower();
    if (interface != (object == Root ? kRootInterface : kDeviceInterface))
        return;
    store(object, changed, false);
    // A property announced without its value: ask for it. The old value stands
    // for the moment of the round trip.
    const bool ours = object == Root
                          ? invalidated.contains(kOnBattery)
                          : invalidated.contains(kIsPresent) || invalidated.contains(kType) ||
                                invalidated.contains(kPercentage) || invalidated.contains(kState) ||
                                invalidated.contains(kTimeToEmpty) ||
                                invalidated.contains(kTimeToFull);
    if (ours)
        fetch(object);
    update();
}

// all: a GetAll reply, where a property left out is a property missing.
void UPowerPowerSource::store(Object object, const QVariantMap& properties, bool all)
{
    const auto take = [&](const QString& name, QVariant& into) {
        const auto it = properties.constFind(name);
        if (it != properties.constEnd())
            into = *it;
        else if (all)
            into = QVariant();
    };
    if (object == Root) {
        take(kOnBattery, m_onBattery);
    } else {
        take(kIsPresent, m_isPresent);
        take(kType, m_type);
        take(kPercentage, m_percentage);
        // Kept for whoever asks (the tool tip); a change of them alone
        // changes no reading, so it is not announced.
        take(kState, m_state);
        take(kTimeToEmpty, m_timeToEmpty);
        take(kTimeToFull, m_timeToFull);
    }
}

void UPowerPowerSource::forget()
{
    ++m_generation;
    for (int i = 0; i < ObjectCount; ++i) {
        m_pending[i] = false;
        m_answered[i] = false;
    }
    m_onBattery = m_isPresent = m_type = m_percentage = QVariant();
    m_state = m_timeToEmpty = m_timeToFull = QVariant();
    m_roundPending = false;
    m_roundAgain = false;
    m_roundDevices.clear();
    m_round = BatteryDetails();
    m_roundToLimit = false;
    m_roundAveraged = false;
    m_roundLeft = 0;
}

BatteryDetails UPowerPowerSource::batteryDetails()
{
    BatteryDetails details;
    if (!m_available)
        return details;
    if (!isBattery(m_isPresent, m_type)) {
        details.state = ChargeState::NoBattery;
        return details;
    }
    details.state = chargeState(m_state);
    if (m_roundAveraged) {
        // From the rate averaged over UPower's history of the last minutes.
        details.secondsToEmpty = m_round.secondsToEmpty;
        details.secondsToFull = m_round.secondsToFull;
    } else {
        // UPower's own, from this moment's rate. Its time to full runs to
        // 100 %, which a battery held at a limit never reaches.
        details.secondsToEmpty = seconds(m_timeToEmpty);
        details.secondsToFull = m_roundToLimit ? m_round.secondsToFull : seconds(m_timeToFull);
        details.timesProvisional = true;
    }
    details.watts = m_round.watts;
    details.batteries = m_round.batteries;
    details.devices = m_round.devices;
    details.day = m_round.day;
    return details;
}

void UPowerPowerSource::refreshDetails()
{
    m_roundAsked = true;
    if (m_roundPending)
        m_roundAgain = true;  // a device may have come after the list was taken
    if (!m_available || m_roundPending)
        return;
    m_roundPending = true;
    ask(QDBusMessage::createMethodCall(kService, kRootPath, kRootInterface,
                                       QStringLiteral("EnumerateDevices")),
        m_generation, [this](const QDBusMessage& reply) { onEnumerated(reply); });
}

void UPowerPowerSource::onDevicesChanged()
{
    heardFromUPower();
    if (m_roundAsked)
        refreshDetails();
}

void UPowerPowerSource::onEnumerated(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "ao") {
        qCDebug(lcPower) << "no device list:" << reply.errorMessage();
        m_roundPending = false;
        return;
    }
    const quint64 generation = m_generation;
    const QList<QDBusObjectPath> paths =
        qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(0)).mid(0, kMostDevices);
    m_roundDevices.assign(static_cast<std::size_t>(paths.size()), {});
    m_roundPaths = paths;
    m_roundLeft = static_cast<int>(paths.size());
    if (paths.isEmpty())
        finishRound();
    for (int i = 0; i < paths.size(); ++i) {
        QDBusMessage getAll = QDBusMessage::createMethodCall(
            kService, paths[i].path(), kPropertiesInterface, QStringLiteral("GetAll"));
        getAll << kDeviceInterface;
        ask(getAll, generation, [this, i](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "a{sv}")
                m_roundDevices[static_cast<std::size_t>(i)].properties =
                    qdbus_cast<QVariantMap>(reply.arguments().at(0));
            if (--m_roundLeft == 0)
                askHistories();
        });
    }
}

// Each battery's history, for the rate over the last minutes and the curve.
// A call that fails (a daemon without history) leaves that part out.
void UPowerPowerSource::askHistories()
{
    const quint64 generation = m_generation;
    for (std::size_t i = 0; i < m_roundDevices.size(); ++i) {
        if (!ownBattery(m_roundDevices[i].properties))
            continue;
        for (const bool rates : {true, false}) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(kService, m_roundPaths[int(i)].path(),
                                               kDeviceInterface, QStringLiteral("GetHistory"));
            // A resolution of 0 makes upowerd 0.99 crash.
            call << (rates ? QStringLiteral("rate") : QStringLiteral("charge"))
                 << uint(rates ? history::kAverageSpanMs / 1000 : kDaySeconds)
                 << (rates ? kRatePoints : kCurvePoints);
            ++m_roundLeft;
            ask(call, generation, [this, i, rates](const QDBusMessage& reply) {
                auto& into = rates ? m_roundDevices[i].rates : m_roundDevices[i].charges;
                into = samplesOf(reply);
                if (--m_roundLeft == 0)
                    finishRound();
            });
        }
    }
    if (m_roundLeft == 0)
        finishRound();
}

void UPowerPowerSource::ask(const QDBusMessage& call, quint64 generation,
                            std::function<void(const QDBusMessage&)> then)
{
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(m_connectionName).asyncCall(call, m_timings.replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, then = std::move(then)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation == m_generation)
                    then(finished->reply());
            });
}

void UPowerPowerSource::finishRound()
{
    const TimesFromRound now{QDateTime::currentSecsSinceEpoch(), m_wokeSecs};
    m_round = fromDevices(std::move(m_roundDevices), m_supplyFolder, now, m_roundToLimit);
    m_roundAveraged = !m_round.timesProvisional;
    m_roundDevices.clear();
    m_roundPaths.clear();
    m_roundPending = false;
    emit detailsChanged();
    if (std::exchange(m_roundAgain, false))
        refreshDetails();
}

void UPowerPowerSource::onPrepareForSleep(bool start)
{
    if (start)
        return;
    // Readings from before the sleep make no rate with those after it.
    m_wokeSecs = QDateTime::currentSecsSinceEpoch();
    emit woke();
}

void UPowerPowerSource::update()
{
    const bool available = m_connected && m_answered[Root] && m_answered[Display];
    const int line = available ? lineStatus(m_onBattery) : power::kUnknown;
    const int percent = available ? percentage(m_isPresent, m_type, m_percentage) : power::kUnknown;

    // What to wait for next: nothing while nobody owns the name (the watcher
    // will say), an answer already asked for, or the next check.
    if (!m_connected)
        wait(Wait::Retry);
    else if (available)
        wait(Wait::Liveness);
    else if (m_noOwner)
        wait(Wait::None);
    else if (!m_pending[Root] && !m_pending[Display])
        wait(Wait::Retry);

    const bool availabilityChange = available != m_available;
    const bool readingsChange = line != m_line || percent != m_percent;
    m_available = available;
    m_line = line;
    m_percent = percent;
    // A change of availability is one of the source, whatever the readings did.
    if (availabilityChange) {
        qCDebug(lcPower) << "UPower" << (available ? "available" : "unavailable");
        emit changed(PowerChange::Source);
    } else if (readingsChange) {
        emit changed(PowerChange::Readings);
    }
}

// A signal or a reply of UPower shows it alive: the liveness call waits for a
// whole period of silence again. On a discharging laptop upowerd announces the
// battery's energy at each of its refreshes, so it is never asked.
void UPowerPowerSource::heardFromUPower()
{
    if (m_waiting == Wait::Liveness)
        m_timer.start(m_timings.livenessMs);
}

// Keeps a countdown that is already running for the same purpose, so that
// nothing but heardFromUPower() puts off the liveness check.
void UPowerPowerSource::wait(Wait what)
{
    if (what == m_waiting && (what == Wait::None || m_timer.isActive()))
        return;
    m_waiting = what;
    switch (what) {
        case Wait::None:
            m_timer.stop();
            break;
        case Wait::Liveness:
            m_timer.setTimerType(Qt::PreciseTimer);
            m_timer.start(m_timings.livenessMs);
            break;
        case Wait::Retry:
            // A reader awake anyway usually comes first (retryIfDueWithin);
            // precise, so that it never falls due early, ahead of that reader.
            m_timer.setTimerType(Qt::PreciseTimer);
            m_timer.start(m_timings.reconnectMs);
            break;
    }
}

}  // namespace tellavo
