#pragma once

#include "battery_model.h"
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
// mains. Empty for a day not worth a curve.
QString dayWords(const std::vector<LevelPoint>& day, Voice voice = Voice::Screen);

// A day worth a curve: two points a minute apart at least (a program just
// started has seconds of it, which a curve cannot show).
bool worthACurve(const std::vector<LevelPoint>& day);

// The curve of the charge (0..100 %) over the day's span, right edge now:
// a light scale at 0, 50 and 100 % named in a gutter on the left, times on
// mains shaded, the warning's threshold as a dashed red line named "Avviso",
// in the tip's colours and a smaller face than the painter's.
void paintDayCurve(QPainter& painter, const QRectF& area, const std::vector<LevelPoint>& day,
                   int threshold, const QColor& ink, const QColor& background);

}  // namespace tellavo
