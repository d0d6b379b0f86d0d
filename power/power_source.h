#pragma once

#include "battery_model.h"
#include "wakes.h"

#include <QObject>

#include <memory>

namespace tellavo {

enum class PowerChange {
    Readings,  // one of the two readings changed
    Source,    // the readings now come from elsewhere, or are no longer announced
};

// The two readings of a tick, taken together from one look at the source.
struct PowerReading {
    int acLineStatus = power::kUnknown;        // 0 on battery, 1 on mains, 255 unknown
    int batteryLifePercent = power::kUnknown;  // 0..100, or 255 unknown
};

// A source of the readings the one-second tick takes. read() returns at once:
// a source that talks to another process answers from what it already knows
// and never waits on it.
class PowerSource : public QObject {
    Q_OBJECT
public:
    // wakes: where a sleep is told, shared with other sources (and the
    // tick); none: a Wakes of its own.
    explicit PowerSource(Wakes* wakes = nullptr, QObject* parent = nullptr)
        : QObject(parent),
          m_ownWakes(wakes ? nullptr : std::make_unique<Wakes>()),
          m_wakes(wakes ? wakes : m_ownWakes.get())
    {
    }

    // When the machine last slept, as every average over minutes and the
    // tick's clock ask it.
    Wakes& wakes() const { return *m_wakes; }

    // Both readings from the same refresh of the source.
    virtual PowerReading read() = 0;

    // True while every change of the readings is announced by changed(), so
    // that a reader may stop asking until it hears of one. A source that
    // cannot tell (files read on demand) says false.
    virtual bool announcesChanges() const { return false; }

    // The battery's state and times, for a reader that asks now and then (the
    // tool tip): returns at once like read(), but may read files. Not part of
    // the tick, and a change of them alone is not announced.
    virtual BatteryDetails batteryDetails() { return {}; }

    // Gathers what batteryDetails() tells beyond what the source holds, where
    // that takes a round trip to another process: detailsChanged() says when
    // it is in. Nothing to do for a source that reads its files when asked.
    virtual void refreshDetails() {}

signals:
    // On the UI thread, for each change of the readings and whenever
    // announcesChanges() changes.
    void changed(tellavo::PowerChange change);
    // What batteryDetails() tells has grown or changed: a round asked for by
    // refreshDetails() is in, or devices came or went.
    void detailsChanged();

private:
    std::unique_ptr<Wakes> m_ownWakes;
    Wakes* m_wakes;
};

}  // namespace tellavo
