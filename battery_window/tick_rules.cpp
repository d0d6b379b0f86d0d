#include "tick_rules.h"

#include "power_source.h"

namespace tellavo {

Boolean reteFromLineStatus(int acLineStatus)
{
    return toBoolean(acLineStatus != power::kAcOffline);
}

PercentReading percentFromReading(int batteryLifePercent)
{
    if (batteryLifePercent < 0 || batteryLifePercent > 100)
        return {100, QStringLiteral("!")};
    return {static_cast<quint8>(batteryLifePercent),
            QLatin1Char(' ') + QString::number(batteryLifePercent) + QLatin1Char('%')};
}

bool applyWarningRule(AppState& state)
{
    bool raise = false;
    if (state.Perc <= state.Soglia && state.Rete == kFalse && state.Avvisato == kFalse) {
        state.Avvisato = kTrue;
        raise = true;
    }
    if (state.Perc > state.Soglia)
        state.Avvisato = kFalse;
    return raise;
}

}  // namespace tellavo
