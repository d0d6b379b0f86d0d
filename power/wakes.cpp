#include "wakes.h"

#include <cstdlib>
#include <ctime>
#include <utility>

namespace tellavo {
namespace {

// A sleep shorter than this is no sleep: the clocks drift apart a little.
constexpr std::int64_t kSleepMs = 2000;

}  // namespace

std::int64_t clockMs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

Wakes::Wakes()
    : Wakes([] { return clockMs(CLOCK_BOOTTIME); }, [] { return clockMs(CLOCK_MONOTONIC); },
            [] { return clockMs(CLOCK_REALTIME); })
{
}

Wakes::Wakes(Clock boot, Clock monotonic, Clock wall)
    : m_boot(std::move(boot)), m_monotonic(std::move(monotonic)), m_wall(std::move(wall))
{
}

std::int64_t Wakes::check()
{
    const std::int64_t boot = m_boot();
    const std::int64_t slept = boot - m_monotonic();
    if (m_sleptMs >= 0 && slept - m_sleptMs > kSleepMs)
        woke();
    m_sleptMs = slept;
    return boot;
}

void Wakes::checkWallClock()
{
    const std::int64_t wallAhead = m_wall() - check();
    if (m_lookedAtWall && std::llabs(wallAhead - m_wallAheadMs) > kSleepMs)
        woke();
    m_wallAheadMs = wallAhead;
    m_lookedAtWall = true;
}

void Wakes::woke()
{
    m_wokeMs = m_boot();
    m_wokeUnixSecs = m_wall() / 1000;
}

}  // namespace tellavo
