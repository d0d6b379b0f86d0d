#pragma once

#include "battery_model.h"
#include "bus_probe.h"
#include "power_source.h"
#include "upower_details_round.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <functional>

class QDBusMessage;
class QDBusServiceWatcher;

namespace tellavo {

class PowerSupplyList;

// How often the UPower source checks on the service. Tests shorten them.
struct UPowerTimings {
    // A GetAll after this long without a signal or a reply of UPower, of its
    // two objects in turn: it notices a hung service within this and one
    // reply timeout. Longer than upowerd's own refresh of a discharging
    // battery (30 s), whose announcements then keep the call from being made.
    int livenessMs = 60'000;
    // Longest wait for any answer; after it the service counts as absent.
    int replyTimeoutMs = 5'000;
    // Connect again this often while the bus is gone; ask again this often
    // while UPower holds its name but does not answer.
    int reconnectMs = 10'000;
};

// UPower's view of the power status, over the system bus, kept in a cache.
//
// UPower announces every change with PropertiesChanged, so the reads answer
// from the cache at once and cost no call to another process. The cache is
// filled by an asynchronous GetAll of /org/freedesktop/UPower (OnBattery) and
// of its DisplayDevice (IsPresent, Type, Percentage; State, Energy and the
// rate for the battery details) whenever the name gets an owner, again when a
// signal invalidates a property instead of giving it, and after a liveness
// period of silence (see UPowerTimings): each call wakes the bus daemon and
// UPower on a laptop that is resting. No answer, an error or a name without
// owner makes the source unavailable until UPower answers again. Nothing here
// ever waits on D-Bus: the bus is connected to only once it has answered a
// probe (see BusProbe).
//
// While unavailable both readings are 255. Wrongly typed or implausible values
// read as 255, and so does the percentage when the display device is no
// battery (UPower then reports 0).
class UPowerPowerSource : public PowerSource {
    Q_OBJECT
public:
    // wakes: where a sleep is told (logind's signal goes there; see
    // PowerSource).
    explicit UPowerPowerSource(const UPowerTimings& timings = {}, Wakes* wakes = nullptr,
                               QObject* parent = nullptr);
    ~UPowerPowerSource() override;

    PowerReading read() override { return {m_line, m_percent}; }
    // While UPower answers, it announces every change of the readings.
    bool announcesChanges() const override { return m_available; }
    // Each battery as the last round of refreshDetails() found it, through
    // the battery model: the state, the times (from the rate averaged over
    // UPower's history of the last minutes, else this moment's), the watts,
    // the limits, the devices' batteries and the day's curve. Before a round
    // the display device from the cache stands for the batteries; once the
    // line status differs from the round's, or the machine woke since, only
    // the state is told (and the day), until the next round.
    BatteryDetails batteryDetails() override;
    // One round (see DetailsRound), unless the last is a few seconds old and
    // still holds. A device that UPower adds or removes starts a round too,
    // once one has been asked for.
    void refreshDetails() override;

    // The kernel's supplies, where a battery's charge limit is read (UPower
    // before 1.90 does not tell it); none: no limit is told.
    void setSupplies(PowerSupplyList* supplies) { m_supplies = supplies; }

    // UPower answers and the cache is filled.
    bool isAvailable() const { return m_available; }

    // For a reader that is awake anyway and comes back within withinMs: an
    // attempt to connect or to ask again that would fall due before then is
    // made now, so that it costs no wake-up of its own.
    void retryIfDueWithin(int withinMs);

private slots:
    // QDBusConnection::connect takes slots by signature only.
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated, const QDBusMessage& signal);
    void onBusDisconnected();
    void onDevicesChanged();
    void onPrepareForSleep(bool start);

private:
    enum Object { Root, Display, ObjectCount };
    enum class Wait { None, Liveness, Retry };

    // Asks the bus whether it answers (BusProbe), then connects.
    void connectToBus();
    void onProbed(BusProbe::Result result);
    void attachToBus();
    void dropBus();
    void onOwnerChanged(const QString& newOwner);
    void onTimer();
    // GetAll of one object, unless one is under way.
    void fetch(Object object);
    void onFetched(Object object, const QDBusMessage& reply);
    void store(Object object, const QVariantMap& properties, bool all);
    void heardFromUPower();
    void forget();
    void update();
    void wait(Wait what);
    void askRound();
    // The display device from the cache, as a battery of the machine when it
    // stands for one.
    BatteryReading displayReading() const;
    void onRound(std::vector<DeviceRound> devices);
    bool roundStale() const;
    // An asynchronous call whose reply (or error) goes to then, unless UPower
    // has changed hands (or the bus gone) meanwhile.
    void ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> then);

    const UPowerTimings m_timings;
    const QString m_connectionName;
    PowerSupplyList* m_supplies = nullptr;
    bool m_connected = false;
    BusProbe m_probe;
    QDBusServiceWatcher* m_watcher = nullptr;
    QTimer m_timer;
    Wait m_waiting = Wait::None;
    // Bumped whenever the owner changes or the bus goes: replies to calls made
    // before belong to a service that is no longer there and are dropped.
    quint64 m_generation = 0;
    // The bus said nobody owns the name: wait for the watcher, not the timer.
    bool m_noOwner = false;
    bool m_pending[ObjectCount] = {};
    bool m_answered[ObjectCount] = {};
    Object m_nextCheck = Display;

    // The cache of each object, as UPower sent it (a property missing: not
    // sent).
    QVariantMap m_cache[ObjectCount];

    // The tip's round, and what the last whole one told, for the line status
    // it was worked out on.
    DetailsRound m_round;
    bool m_roundAsked = false;
    bool m_hasRound = false;
    BatteryDetails m_roundDetails;
    int m_roundLine = power::kUnknown;
    std::int64_t m_roundMs = 0;  // on the boot clock

    // What the reads return, worked out when the cache changes.
    bool m_available = false;
    int m_line = power::kUnknown;
    int m_percent = power::kUnknown;
};

}  // namespace tellavo
