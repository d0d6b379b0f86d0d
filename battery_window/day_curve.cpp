#include "day_curve.h"

#include "percent_reading.h"
#include "tip_words.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tellavo {
namespace {

constexpr std::int64_t kHourMs = 3'600'000;
constexpr std::int64_t kMinuteMs = 60'000;

QString spanWords(std::int64_t ms, Voice voice)
{
    if (ms >= 23 * kHourMs + 30 * kMinuteMs)
        return QStringLiteral("Ultime 24 ore");
    if (ms >= 90 * kMinuteMs)
        return QStringLiteral("Ultime %1 ore").arg((ms + kHourMs / 2) / kHourMs);
    if (ms >= 59 * kMinuteMs)
        return QStringLiteral("Ultima ora");
    const std::int64_t minutes = std::max<std::int64_t>(1, (ms + kMinuteMs / 2) / kMinuteMs);
    if (minutes == 1)
        return QStringLiteral("Ultimo minuto");
    return QStringLiteral("Ultimi %1 ").arg(minutes) +
           (voice == Voice::Screen ? QStringLiteral("min") : QStringLiteral("minuti"));
}

// As the strip rounds its charge.
int percentOf(double level)
{
    return percent::reading(level);
}

QString times(int n)
{
    return n == 1 ? QStringLiteral("1 volta") : QStringLiteral("%1 volte").arg(n);
}

}  // namespace

QString dayWords(const std::vector<LevelPoint>& day, Voice voice)
{
    if (day.size() < 2)
        return {};
    int plugs = 0;
    int unplugs = 0;
    for (std::size_t i = 1; i < day.size(); ++i) {
        plugs += day[i].onMains && !day[i - 1].onMains;
        unplugs += !day[i].onMains && day[i - 1].onMains;
    }
    QString words = spanWords(day.front().ms, voice) + QStringLiteral(": ") +
                    percentAfter(true, percentOf(day.front().level)) + QLatin1Char(' ') +
                    percentAfter(false, percentOf(day.back().level));
    const bool allOnMains =
        std::all_of(day.begin(), day.end(), [](const LevelPoint& p) { return p.onMains; });
    if (allOnMains)
        words += QStringLiteral(", alimentazione da rete");
    if (plugs > 0)
        words += QStringLiteral(", collegato alla rete ") + times(plugs);
    if (unplugs > 0)
        words += QStringLiteral(", scollegato ") + times(unplugs);
    return words;
}

void paintDayCurve(QPainter& painter, const QRectF& area, const std::vector<LevelPoint>& day,
                   int threshold, const QColor& ink)
{
    if (day.size() < 2 || area.width() < 2.0 || area.height() < 2.0)
        return;
    const double span = static_cast<double>(std::max<std::int64_t>(day.front().ms, 1));
    const auto x = [&](std::int64_t age) {
        return area.right() - area.width() * static_cast<double>(age) / span;
    };
    const auto y = [&](double level) {
        return area.bottom() - area.height() * std::clamp(level, 0.0, 100.0) / 100.0;
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor shade = ink;
    shade.setAlpha(40);
    // On mains: from each such point to the next.
    for (std::size_t i = 0; i + 1 < day.size(); ++i)
        if (day[i].onMains)
            painter.fillRect(
                QRectF(QPointF(x(day[i].ms), area.top()), QPointF(x(day[i + 1].ms), area.bottom())),
                shade);
    QColor frame = ink;
    frame.setAlpha(90);
    painter.setPen(QPen(frame, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);
    if (threshold > 0 && threshold < 100) {
        QPen dashed(QColor(200, 0, 0), 1.0, Qt::DashLine);
        painter.setPen(dashed);
        painter.drawLine(QPointF(area.left(), y(threshold)), QPointF(area.right(), y(threshold)));
    }
    QPainterPath path(QPointF(x(day.front().ms), y(day.front().level)));
    for (const LevelPoint& p : day)
        path.lineTo(x(p.ms), y(p.level));
    painter.setPen(QPen(ink, 1.5));
    painter.drawPath(path);
    painter.restore();
}

}  // namespace tellavo
