#pragma once

#include "wakes.h"

#include <cstdint>

namespace tellavo {

constexpr int kTickMs = 1000;

// The timer behind the one-second tick and the clock it keeps time by: the
// window's are Qt's, a test's run on virtual time.
class TickTimer {
public:
    virtual ~TickTimer() = default;
    // The first tick after firstMs (0..kTickMs; 0: as soon as the event loop
    // is back), then one every kTickMs until stop().
    virtual void start(int firstMs) = 0;
    virtual void stop() = 0;
};

class TickClock {
public:
    virtual ~TickClock() = default;
    // Milliseconds on a clock that never goes back.
    virtual std::int64_t nowMs() const = 0;
    // After the process was stopped or the machine slept: the instant, on
    // nowMs()'s clock, until which what came meanwhile is still being
    // delivered. kNever when neither has happened.
    virtual std::int64_t resumedUntilMs() const { return kNever; }
};

// Lets the one-second tick sleep while nothing can change what it shows.
//
// After a tick that the next one would repeat exactly, on a source that
// announces every change of its readings, the timer stops. Any event that can
// change a tick's outcome starts it again on the grid it ticked on before, so
// every tick still falls at an instant a timer that never stopped would tick
// at, and the ticks left out are exactly those that would have changed
// nothing. Starting a fresh second at the event instead would move the
// instants at which readings are taken: a reading that lasts less than a second
// would then be shown where the plain tick misses it, or missed where it shows it.
//
// A stopped process or a sleeping machine makes a running timer overdue: it
// ticks at once when they go on, and keeps a grid from there. So does this
// one, awake or asleep, for the first event that comes while what piled up
// meanwhile is delivered; an event after that finds the grid of that instant.
class TickScheduler {
public:
    TickScheduler(TickTimer& timer, const TickClock& clock);
    // The window is loaded: the first tick comes one period later.
    void load();
    // A tick has run. repeats: the next tick would change nothing, and the
    // source will announce whatever could make it differ.
    void ticked(bool repeats);
    // Something that can change the next tick's outcome happened: the power
    // source's readings changed, or it switched or stopped announcing its
    // changes; the slider preview wrote Perc; the options dialog wrote the
    // threshold and the message.
    void wake();

    bool asleep() const { return m_asleep; }

private:
    void startOnGrid();

    TickTimer& m_timer;
    const TickClock& m_clock;
    std::int64_t m_phase = 0;  // an instant the tick fell at (or the load)
    bool m_asleep = false;
    // The resume whose news has already brought a tick at once.
    std::int64_t m_caughtUp = kNever;
};

}  // namespace tellavo
