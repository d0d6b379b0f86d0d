#pragma once

#include "battery_details.h"
#include "tip_words.h"

#include <QString>

#include <vector>

class QColor;
class QPainter;
class QRectF;

namespace tellavo {

// The day's charge in words, under the curve and for a screen reader:
// "Ultime 24 ore: dal 95% al 57%, collegato alla rete 2 volte". The span is
// the curve's own when shorter than a day ("Ultime 3 ore", "Ultimi 40 min",
// "Ultimo minuto"); "alimentazione da rete" only when all of it was on
// mains. Empty with fewer than two points.
QString dayWords(const std::vector<LevelPoint>& day, Voice voice = Voice::Screen);

// The curve of the charge (0..100 %) over the day's span, right edge now:
// times on mains shaded, the threshold as a dashed line, in the tip's colours.
void paintDayCurve(QPainter& painter, const QRectF& area, const std::vector<LevelPoint>& day,
                   int threshold, const QColor& ink);

}  // namespace tellavo
