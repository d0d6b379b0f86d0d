#pragma once

#include "app_state.h"

#include <QString>

namespace tellavo {

// The pure steps of the one-second tick; the window only moves their results
// into its controls.

// Any line status other than 0 (battery) counts as mains, so "unknown" (255)
// never warns.
Boolean reteFromLineStatus(int acLineStatus);

struct PercentReading {
    quint8 perc;      // the value for Perc and the bar
    QString caption;  // the text of the percentage label
};

// 0..100 shows as a blank, the digits and "%"; 255 ("cannot be determined")
// shows "!" and counts as 100. A source never yields anything else; if one
// did, it would be treated as unknown rather than overflow the bar.
PercentReading percentFromReading(int batteryLifePercent);

// The warning test and the re-arming, in that order. True when the warning box
// must be raised now; Avvisato is updated.
bool applyWarningRule(AppState& state);

// What a tick puts on the screen: the picture shown in imgStato, the label's
// text and the bar's value.
struct TickView {
    int picture;
    QString caption;
    int bar;
};

// Whether one more tick on the same two readings would change nothing at all:
// no state, nothing shown, no warning. The tick's own steps run on a copy of
// the state, so this stays true to the tick whatever it becomes.
bool tickWouldRepeat(const AppState& state, const TickView& shown, int acLineStatus,
                     int batteryLifePercent);

}  // namespace tellavo
