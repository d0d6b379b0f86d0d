#pragma once

#include "charge_history.h"
#include "power_source.h"

#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <vector>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace tellavo {

// Whether a system bus address names only sockets that are not there (the
// bus is not running), so that trying to connect can wait: a connection
// attempt wakes two threads. An address it cannot judge (abstract sockets,
// tcp, escapes) counts as maybe there. Empty: the standard system bus.
bool systemBusSurelyAbsent(const QString& address);

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
// of its DisplayDevice (IsPresent, Type, Percentage; State and the times for
// the battery details) whenever the name gets an
// owner, again when a signal invalidates a property instead of giving it, and
// one of the two in turn after each liveness period in which UPower said
// nothing (no signal, no reply): each call wakes the bus daemon and UPower on a
// laptop that is resting, and one that talks has shown it is alive. No answer
// within the timeout, an error or a name without owner makes the source
// unavailable until UPower answers again; a lost bus is dropped and connected
// again every reconnect period. Nothing here ever waits on D-Bus.
//
// While unavailable both readings are 255. Wrongly typed or implausible values
// read as 255, and so does the percentage when the display device is no
// battery (UPower then reports 0).
class UPowerPowerSource : public PowerSource {
    Q_OBJECT
public:
    explicit UPowerPowerSource(QObject* parent = nullptr);
    explicit UPowerPowerSource(const UPowerTimings& timings, QObject* parent = nullptr);
    ~UPowerPowerSource() override;

    PowerReading read() override { return {m_line, m_percent}; }
    // While UPower answers, it announces every change of the readings.
    bool announcesChanges() const override { return m_available; }
    // From the cache: the display device's State, TimeToEmpty and TimeToFull;
    // from the last round of refreshDetails(): each battery, the watts, the
    // devices' batteries and, at a charge limit, the time to it.
    BatteryDetails batteryDetails() override;
    // One round: EnumerateDevices, then GetAll of each device. A device that
    // UPower adds or removes starts a round too, once one has been asked for.
    void refreshDetails() override;

    // Where the batteries' own folders are, by the last part of their
    // NativePath, for the charge limit that UPower does not tell.
    void setSupplyFolder(const QString& folder) { m_supplyFolder = folder; }

    // UPower answers and the cache is filled.
    bool isAvailable() const { return m_available; }

    // For a reader that is awake anyway and comes back within withinMs: an
    // attempt to connect or to ask again that would fall due before then is
    // made now, so that it costs no wake-up of its own.
    void retryIfDueWithin(int withinMs);

    // One device as a round found it: its properties and, for a battery, its
    // history of rates and of charge.
    struct DeviceRound {
        QVariantMap properties;
        std::vector<history::StateSample> rates;
        std::vector<history::StateSample> charges;
    };

signals:
    // logind says the machine woke from a sleep (PrepareForSleep(false)).
    void woke();

private slots:
    // QDBusConnection::connect takes slots by signature only.
    void onRootPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                 const QStringList& invalidated);
    void onDisplayPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated);
    void onBusDisconnected();
    void onDevicesChanged();
    void onPrepareForSleep(bool start);

private:
    enum Object { Root, Display, ObjectCount };
    enum class Wait { None, Liveness, Retry };

    void connectToBus();
    void dropBus();
    void onOwnerChanged(const QString& newOwner);
    void onTimer();
    void fetch(Object object);
    void onFetched(Object object, quint64 generation, QDBusPendingCallWatcher* call);
    void onPropertiesChanged(Object object, const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);
    void store(Object object, const QVariantMap& properties, bool all);
    void heardFromUPower();
    void forget();
    void update();
    void wait(Wait what);
    void onEnumerated(const QDBusMessage& reply);
    void askHistories();
    void finishRound();
    // An asynchronous call whose reply goes to then, unless UPower has changed
    // hands (or the bus gone) meanwhile.
    void ask(const QDBusMessage& call, quint64 generation,
             std::function<void(const QDBusMessage&)> then);

    const UPowerTimings m_timings;
    const QString m_connectionName;
    bool m_connected = false;
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

    // The cache, as UPower sent it (an invalid QVariant: not sent).
    QVariant m_onBattery;
    QVariant m_isPresent;
    QVariant m_type;
    QVariant m_percentage;
    QVariant m_state;
    QVariant m_timeToEmpty;
    QVariant m_timeToFull;

    // The round of refreshDetails(): the devices' properties as they come in,
    // and what the last whole round told.
    QString m_supplyFolder;
    bool m_roundPending = false;
    bool m_roundAsked = false;
    bool m_roundAgain = false;
    int m_roundLeft = 0;
    QList<QDBusObjectPath> m_roundPaths;
    std::vector<DeviceRound> m_roundDevices;
    // When logind last said the machine woke (unix seconds; 0: not seen).
    std::int64_t m_wokeSecs = 0;
    BatteryDetails m_round;
    bool m_roundToLimit = false;
    bool m_roundAveraged = false;  // its times come from UPower's history

    // What the reads return, worked out when the cache changes.
    bool m_available = false;
    int m_line = power::kUnknown;
    int m_percent = power::kUnknown;
};

}  // namespace tellavo
