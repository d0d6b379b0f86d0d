#include "upower_power_source.h"

#include "battery_model.h"
#include "upower_properties.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QLoggingCategory>

#include <algorithm>
#include <utility>

namespace tellavo {
namespace {

Q_LOGGING_CATEGORY(lcPower, "tellavo.platform.power", QtWarningMsg)

using namespace upower;

const QString kPropertiesChanged = QStringLiteral("PropertiesChanged");
// libdbus tells its own client that the bus went away with this signal.
const QString kLocalPath = QStringLiteral("/org/freedesktop/DBus/Local");
const QString kLocalInterface = QStringLiteral("org.freedesktop.DBus.Local");

QString connectionName(const void* owner)
{
    return QStringLiteral("tellavo-upower-%1").arg(reinterpret_cast<quintptr>(owner), 0, 16);
}

// A round this young is shown again rather than asked anew.
constexpr std::int64_t kRoundFreshMs = 5000;

}  // namespace

UPowerPowerSource::UPowerPowerSource(const UPowerTimings& timings, Wakes* wakes, QObject* parent)
    : PowerSource(wakes, parent),
      m_timings(timings),
      m_connectionName(connectionName(this)),
      m_round([this](const QDBusMessage& call,
                     std::function<void(const QDBusMessage&)> then) { ask(call, std::move(then)); },
              [this](std::vector<DeviceRound> devices) { onRound(std::move(devices)); })
{
    m_timer.setSingleShot(true);
    // Precise, for both waits: a coarse 30 s timer may fire half a second late,
    // and a hung UPower is to be noticed within a second of the liveness period
    // plus the reply timeout; or early, and a retry must never fall due ahead of
    // a reader that is awake anyway.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UPowerPowerSource::onTimer);
    connect(&m_probe, &BusProbe::finished, this, &UPowerPowerSource::onProbed);
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
    // A bus that is not there is told at once, for the cost of one look at
    // its socket's path: no connection attempt, which wakes two threads.
    if (!m_probe.running())
        m_probe.start(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), m_timings.replyTimeoutMs);
}

void UPowerPowerSource::onProbed(BusProbe::Result result)
{
    switch (result) {
        case BusProbe::Result::Answers:
        case BusProbe::Result::Unprobed:  // other kinds of address: as Qt will have it
            attachToBus();
            return;
        case BusProbe::Result::Silent:
            qCDebug(lcPower) << "the system bus does not answer";
            [[fallthrough]];
        case BusProbe::Result::Absent:
            wait(Wait::Retry);
            return;
    }
}

void UPowerPowerSource::attachToBus()
{
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
    for (const QString& path : {kRootPath, kDisplayPath})
        bus.connect(kService, path, kPropertiesInterface, kPropertiesChanged, this,
                    SLOT(onPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
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

void UPowerPowerSource::ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> then)
{
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(m_connectionName).asyncCall(call, m_timings.replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation,
             then = std::move(then)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation == m_generation)
                    then(finished->reply());
            });
}

void UPowerPowerSource::fetch(Object object)
{
    if (m_pending[object])
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, object == Root ? kRootPath : kDisplayPath,
                                       kPropertiesInterface, QStringLiteral("GetAll"));
    call << (object == Root ? kRootInterface : kDeviceInterface);
    m_pending[object] = true;
    ask(call, [this, object](const QDBusMessage& reply) { onFetched(object, reply); });
}

void UPowerPowerSource::onFetched(Object object, const QDBusMessage& reply)
{
    m_pending[object] = false;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{sv}")) {
        const QDBusError error = reply.type() == QDBusMessage::ErrorMessage
                                     ? QDBusError(reply)
                                     : QDBusError(QDBusError::InvalidSignature, reply.signature());
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
    store(object, qdbus_cast<QVariantMap>(reply.arguments().at(0)), true);
    update();
    heardFromUPower();
}

void UPowerPowerSource::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                            const QStringList& invalidated,
                                            const QDBusMessage& signal)
{
    heardFromUPower();
    const Object object = signal.path() == kRootPath ? Root : Display;
    if (interface != (object == Root ? kRootInterface : kDeviceInterface))
        return;
    store(object, changed, false);
    // A property announced without its value: ask for it. The old value stands
    // for the moment of the round trip.
    const QStringList& cached = object == Root ? kRootProperties : kDisplayProperties;
    if (std::any_of(cached.begin(), cached.end(),
                    [&](const QString& name) { return invalidated.contains(name); }))
        fetch(object);
    update();
}

// all: a GetAll reply, where a property left out is a property missing. The
// display device's state, energy and rate are kept for whoever asks (the
// tool tip); a change of them alone changes no reading, so it is not
// announced.
void UPowerPowerSource::store(Object object, const QVariantMap& properties, bool all)
{
    for (const QString& name : object == Root ? kRootProperties : kDisplayProperties) {
        const auto it = properties.constFind(name);
        if (it != properties.constEnd())
            m_cache[object].insert(name, *it);
        else if (all)
            m_cache[object].remove(name);
    }
}

void UPowerPowerSource::forget()
{
    ++m_generation;
    for (int i = 0; i < ObjectCount; ++i) {
        m_pending[i] = false;
        m_answered[i] = false;
    }
    m_cache[Root].clear();
    m_cache[Display].clear();
    m_round.cancel();
    m_hasRound = false;
    m_roundDetails = BatteryDetails();
}

bool UPowerPowerSource::roundStale() const
{
    // Worked out for another line status, or before a wake: it would tell
    // what the batteries did then.
    return m_roundLine != m_line || wakes().lastWakeMs() >= m_roundMs;
}

BatteryReading UPowerPowerSource::displayReading() const
{
    const QVariantMap& cached = m_cache[Display];
    BatteryReading display = readingOf(cached, nullptr);
    display.powersSystem = isBattery(cached);
    return display;
}

BatteryDetails UPowerPowerSource::batteryDetails()
{
    if (!m_available)
        return {};
    // The display device, from the cache, stands for the batteries.
    BatteryDetails live = tellavo::batteryDetails({displayReading()});
    if (!m_hasRound)
        return live;
    if (!roundStale())
        return m_roundDetails;
    // The state as it is now, and nothing of the round's times or watts
    // until the next round: the day before now holds.
    BatteryDetails now;
    now.state = live.state;
    now.devices = m_roundDetails.devices;
    now.day = m_roundDetails.day;
    return now;
}

void UPowerPowerSource::refreshDetails()
{
    m_roundAsked = true;
    // A round of a few seconds ago still tells the truth: a tip shown again
    // soon after need not ask again.
    if (m_hasRound && !roundStale() && !m_round.pending() &&
        wakes().nowMs() - m_roundMs < kRoundFreshMs)
        return;
    askRound();
}

void UPowerPowerSource::askRound()
{
    if (m_available || m_round.pending())
        m_round.start();
}

void UPowerPowerSource::onDevicesChanged()
{
    heardFromUPower();
    // The last round's list of devices is not the list now, however young.
    if (m_roundAsked)
        askRound();
}

// Each battery of the machine, and each device's battery, through the
// battery model (which orders them); the times from the rates
// averaged over UPower's history when every battery that moves has one; the
// day's curve from their histories of charge, weighed by their full energy
// as the charge is.
void UPowerPowerSource::onRound(std::vector<DeviceRound> devices)
{
    wakes().checkWallClock();
    const std::int64_t nowSecs = QDateTime::currentSecsSinceEpoch();
    const std::int64_t wokeSecs = wakes().lastWakeUnixSecs();
    std::vector<BatteryReading> readings;
    double settled = 0.0;
    bool allSettled = true;
    std::vector<std::vector<LevelPoint>> curves;
    std::vector<double> weights;
    for (const DeviceRound& device : devices) {
        if (!told(device.properties))
            continue;
        BatteryReading reading = readingOf(device.properties, m_supplies);
        if (reading.powersSystem) {
            double watts = 0.0;
            if (settledWatts(device.rates, device.properties, nowSecs, wokeSecs, watts))
                settled += watts;
            else if (reading.state == ChargeState::Charging ||
                     reading.state == ChargeState::Discharging)
                allSettled = false;
            // Up to now, at the charge it has now.
            const int percent = percent::reading(reading.percent);
            std::optional<LevelPoint> now;
            if (percent != power::kUnknown)
                now = LevelPoint{0, double(percent), m_line == power::kAcOnline};
            curves.push_back(history::curveOf(device.charges, nowSecs, onMains, now));
            weights.push_back(reading.full);
        }
        readings.push_back(std::move(reading));
    }
    // No battery listed, yet the display device stands for one (a UPS that
    // UPower does not list, a service that publishes the display device
    // alone): it is what the strip shows, and what the tip tells.
    if (std::none_of(readings.begin(), readings.end(),
                     [](const BatteryReading& r) { return r.powersSystem; })) {
        if (BatteryReading display = displayReading(); display.powersSystem) {
            readings.push_back(std::move(display));
            allSettled = false;
        }
    }
    std::optional<double> rate;
    if (allSettled && settled != 0.0)
        rate = settled;
    m_roundDetails = tellavo::batteryDetails(std::move(readings), rate);
    m_roundDetails.day = history::joinedCurve(curves, weights);
    m_roundLine = m_line;
    m_roundMs = wakes().nowMs();
    m_hasRound = true;
    emit detailsChanged();
}

void UPowerPowerSource::onPrepareForSleep(bool start)
{
    // Readings from before the sleep make no rate with those after it.
    if (!start)
        wakes().woke();
}

void UPowerPowerSource::update()
{
    const bool available = m_connected && m_answered[Root] && m_answered[Display];
    const int line = available ? lineStatus(m_cache[Root].value(kOnBattery)) : power::kUnknown;
    const int percent = available ? percentage(m_cache[Display]) : power::kUnknown;

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
// whole period of silence again.
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
            m_timer.start(m_timings.livenessMs);
            break;
        case Wait::Retry:
            // A reader awake anyway usually comes first (retryIfDueWithin).
            m_timer.start(m_timings.reconnectMs);
            break;
    }
}

}  // namespace tellavo
