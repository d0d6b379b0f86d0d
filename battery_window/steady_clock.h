#pragma once

#include "tick_scheduler.h"

namespace tellavo {

// The tick's clock. CLOCK_MONOTONIC runs on while the process is stopped and
// stands still while the machine sleeps; this clock notices both, a stop by
// the SIGCONT that ends it and a sleep by CLOCK_BOOTTIME having pulled ahead.
class SteadyClock : public TickClock {
public:
    // The first one made catches SIGCONT for the whole process.
    SteadyClock();
    std::int64_t nowMs() const override;
    std::int64_t resumedUntilMs() const override;

private:
    // CLOCK_BOOTTIME ahead of CLOCK_MONOTONIC when last looked at: the time
    // the machine has slept since it started.
    mutable std::int64_t m_sleptMs;
    // When this clock first saw that the machine had slept again.
    mutable std::int64_t m_wokeAtMs;
};

}  // namespace tellavo
