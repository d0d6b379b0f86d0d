#pragma once

#include "tick_scheduler.h"

// A scheduler broken on purpose: it does not hear one reason to wake. The
// tests that prove each reason is needed run the window on it.
class DeafScheduler : public tellavo::TickScheduler {
public:
    DeafScheduler(tellavo::TickTimer& timer, const tellavo::TickClock& clock,
                  tellavo::WakeReason deafTo)
        : TickScheduler(timer, clock), m_deafTo(deafTo)
    {
    }
    void wake(tellavo::WakeReason reason) override
    {
        if (reason != m_deafTo)
            TickScheduler::wake(reason);
    }

private:
    tellavo::WakeReason m_deafTo;
};
