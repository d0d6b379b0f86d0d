#include "steady_clock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>

namespace tellavo {

namespace {

// How long after going on the news that piled up meanwhile (the bus's
// messages, the X server's events) may take to come in.
constexpr std::int64_t kCatchUpMs = 500;

std::atomic<std::int64_t> g_continuedAtMs{kNever};
// A lock-free atomic is all a signal handler may touch.
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

void onContinue(int)
{
    const int saved = errno;
    g_continuedAtMs.store(clockMs(CLOCK_MONOTONIC), std::memory_order_relaxed);
    errno = saved;
}

void catchContinue()
{
    static const bool once = [] {
        struct sigaction action {};
        action.sa_handler = onContinue;
        sigemptyset(&action.sa_mask);
        // A read of the kernel's files cut short by the signal is made again.
        action.sa_flags = SA_RESTART;
        return sigaction(SIGCONT, &action, nullptr) == 0;
    }();
    (void)once;
}

}  // namespace

SteadyClock::SteadyClock(Wakes& wakes) : m_wakes(wakes), m_wokeAtMs(kNever)
{
    m_wakes.check();
    catchContinue();
}

std::int64_t SteadyClock::nowMs() const
{
    return clockMs(CLOCK_MONOTONIC);
}

std::int64_t SteadyClock::resumedUntilMs() const
{
    m_wakes.check();
    if (m_wakes.lastWakeMs() != m_lastWakeMs) {
        m_lastWakeMs = m_wakes.lastWakeMs();
        m_wokeAtMs = nowMs();
    }
    const std::int64_t resumed =
        std::max(g_continuedAtMs.load(std::memory_order_relaxed), m_wokeAtMs);
    return resumed == kNever ? kNever : resumed + kCatchUpMs;
}

}  // namespace tellavo
