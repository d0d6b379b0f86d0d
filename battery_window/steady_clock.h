#pragma once

#include "tick_scheduler.h"
#include "wakes.h"

namespace tellavo {

// The tick's clock. CLOCK_MONOTONIC runs on while the process is stopped and
// stands still while the machine sleeps; this clock notices both, a stop by
// the SIGCONT that ends it and a sleep as Wakes tells one (CLOCK_BOOTTIME
// having pulled ahead).
class SteadyClock : public TickClock {
public:
    // The first one made catches SIGCONT for the whole process. wakes: the
    // power source's, which hears of a sleep from logind too.
    explicit SteadyClock(Wakes& wakes);
    std::int64_t nowMs() const override;
    std::int64_t resumedUntilMs() const override;

private:
    Wakes& m_wakes;
    mutable std::int64_t m_lastWakeMs = kNever;
    // When this clock first saw that the machine had slept again.
    mutable std::int64_t m_wokeAtMs;
};

}  // namespace tellavo
