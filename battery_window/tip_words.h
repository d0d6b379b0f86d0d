#pragma once

#include "battery_model.h"
#include "power_source.h"

#include <QString>

namespace tellavo {

// What the tool tip is told: the two readings the strip shows and what the
// source holds besides.
struct TipInput {
    int acLineStatus = power::kUnknown;
    int batteryLifePercent = power::kUnknown;  // 0..100; anything else is not known
    BatteryDetails details;
};

// Who the words are for: the eye reads "2 h 30 min", a speech synthesiser
// reads "h" and "min" as letters and is given "2 ore e 30 minuti".
enum class Voice { Screen, Speech };

// The tip's lines, in Italian, in this order, each only when known:
// - the state with the charge the strip shows and the time left (to empty,
//   to full, or to the charge limit), or the pause at the limit;
// - the power: "Consumo: 12,4 W" or "In carica a 30,1 W";
// - with two or more batteries, one line each ("Batteria 1 (model): 80%, in
//   scarica, salute 87%"); with one, its health ("Capacità: 87%
//   dell'originale, 312 cicli");
// - each device's battery ("Mouse: 40%").
// A screen reader gets the same lines, spoken.
QString tipWords(const TipInput& input, Voice voice = Voice::Screen);

// A time left as the tip tells it: to the minute; coarsely (to five minutes,
// to a quarter of an hour from one on) when provisional; "meno di 1 min"
// under a minute, "più di un giorno" past one; empty when none is believable.
QString durationText(double seconds, bool provisional, Voice voice);

// A percentage the strip can show: 0..100 (255 and "not read yet" are not).
bool known(int percent);
// "57%".
QString percentText(int percent);
// "dal 57%", "dall'80%": the article elided before a number said with a vowel
// (uno, otto, undici, ottanta...). from: "da", else "a".
QString percentAfter(bool from, int percent);

}  // namespace tellavo
