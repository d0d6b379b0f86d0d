#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <limits>

namespace tellavo {

// An instant that has not come yet: no wake, no stop seen.
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::min();

// A clock's time in ms, read through the vDSO (no system call; safe in a
// signal handler).
std::int64_t clockMs(clockid_t clock);

// When the machine last woke from a sleep: the one place every average over
// minutes asks, so that readings from before a sleep make no rate with those
// after it. Two things tell of a wake: logind's PrepareForSleep(false), where
// a system bus carries it, and, on every machine, the boot clock running
// ahead of the monotonic one (it counts the sleep, the other does not),
// looked at whenever a reading is taken. The wall clock set forward or back
// (by hand, or by NTP after a long sleep) counts as a wake too: readings
// stamped by it before make no rate with those after.
class Wakes {
public:
    // In ms.
    using Clock = std::function<std::int64_t()>;

    // The machine's clocks.
    Wakes();
    // One clock that runs through sleep, one that stops in it, and the wall
    // clock (tests run on clocks of their own).
    Wakes(Clock boot, Clock monotonic, Clock wall);

    // Looks at the clocks, with no system call: a sleep seen since the last
    // look has just ended. Enough for averages kept on the boot clock.
    // Returns the boot clock as it read it.
    std::int64_t check();
    // The same, and whether the wall clock was set since the last such look:
    // for averages of readings stamped by the wall clock (UPower's history).
    void checkWallClock();
    // The machine has just woken (logind says so).
    void woke();

    // The boot clock now, and at the last wake (kNever: none seen).
    std::int64_t nowMs() const { return m_boot(); }
    std::int64_t lastWakeMs() const { return m_wokeMs; }
    // The last wake on the wall clock, in unix seconds, for a service that
    // stamps its history by it; 0 when none was seen.
    std::int64_t lastWakeUnixSecs() const { return m_wokeUnixSecs; }

private:
    Clock m_boot;
    Clock m_monotonic;
    Clock m_wall;
    std::int64_t m_sleptMs = -1;     // boot clock less monotonic at the last look; -1: none yet
    std::int64_t m_wallAheadMs = 0;  // wall clock less boot clock at the last look
    bool m_lookedAtWall = false;
    std::int64_t m_wokeMs = kNever;
    std::int64_t m_wokeUnixSecs = 0;
};

}  // namespace tellavo
