#include "tick_scheduler.h"

namespace tellavo {

TickScheduler::TickScheduler(TickTimer& timer, const TickClock& clock)
    : m_timer(timer), m_clock(clock)
{
}

void TickScheduler::load()
{
    m_phase = m_clock.nowMs();
    m_asleep = false;
    m_timer.start(kTickMs);
}

void TickScheduler::ticked(bool repeats)
{
    m_phase = m_clock.nowMs();
    if (repeats && !m_asleep) {
        m_timer.stop();
        m_asleep = true;
    } else if (!repeats && m_asleep) {
        // A tick from elsewhere found work to do: the next one must come.
        startOnGrid();
    }
}

void TickScheduler::wake()
{
    const std::int64_t resumed = m_clock.resumedUntilMs();
    if (resumed != m_caughtUp && m_clock.nowMs() <= resumed) {
        // News from while the process was held: the overdue tick, at once.
        m_caughtUp = resumed;
        m_asleep = false;
        m_timer.start(0);
        return;
    }
    if (!m_asleep)
        return;
    // A timer that never stopped ticked when the process went on, and has
    // kept its grid from then.
    if (resumed != m_caughtUp && resumed > m_phase)
        m_phase = resumed;
    startOnGrid();
}

void TickScheduler::startOnGrid()
{
    // An event at a grid instant itself comes after that instant's tick.
    const std::int64_t elapsed = m_clock.nowMs() - m_phase;
    const int first = elapsed < 0 ? kTickMs : kTickMs - static_cast<int>(elapsed % kTickMs);
    m_asleep = false;
    m_timer.start(first);
}

}  // namespace tellavo
