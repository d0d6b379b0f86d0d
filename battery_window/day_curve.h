#pragma once

#include "battery_details.h"

#include <QString>

#include <vector>

class QColor;
class QPainter;
class QRectF;

namespace tellavo {

// The day's charge in words, for a screen reader: "Ultime 24 ore: dal 95% al
// 57%, in carica 2 volte". The span is the curve's own when shorter than a
// day ("Ultime 3 ore", "Ultimi 40 min"). Empty with fewer than two points.
QString dayWords(const std::vector<LevelPoint>& day);

// The curve of the charge (0..100 %) over the day's span, right edge now:
// times on mains shaded, the threshold as a dashed line, in the tip's colours.
void paintDayCurve(QPainter& painter, const QRectF& area, const std::vector<LevelPoint>& day,
                   int threshold, const QColor& ink);

}  // namespace tellavo
