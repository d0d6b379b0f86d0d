#include "tick_rules.h"

#include "picture_choice.h"
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

bool tickWouldRepeat(const AppState& state, const TickView& shown, int acLineStatus,
                     int batteryLifePercent)
{
    AppState next = state;
    next.Rete = reteFromLineStatus(acLineStatus);
    if (next.Rete != state.Rete)
        return false;
    if (const std::optional<int> picture = choosePicture(next.Perc, next.Rete);
        picture && *picture != shown.picture)
        return false;
    const PercentReading reading = percentFromReading(batteryLifePercent);
    next.Perc = reading.perc;
    if (next.Perc != state.Perc || reading.caption != shown.caption || shown.bar != next.Perc)
        return false;
    if (applyWarningRule(next))
        return false;
    return next.Avvisato == state.Avvisato;
}

}  // namespace tellavo
