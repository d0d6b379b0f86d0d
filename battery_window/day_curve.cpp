#include "day_curve.h"

#include "battery_model.h"
#include "tip_words.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

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

QString times(int n)
{
    return n == 1 ? QStringLiteral("1 volta") : QStringLiteral("%1 volte").arg(n);
}

}  // namespace

bool worthACurve(const std::vector<LevelPoint>& day)
{
    return day.size() >= 2 && day.front().ms - day.back().ms >= kMinuteMs;
}

QString dayWords(const std::vector<LevelPoint>& day, Voice voice)
{
    if (!worthACurve(day))
        return {};
    int plugs = 0;
    int unplugs = 0;
    for (std::size_t i = 1; i < day.size(); ++i) {
        plugs += day[i].onMains && !day[i - 1].onMains;
        unplugs += !day[i].onMains && day[i - 1].onMains;
    }
    QString words = spanWords(day.front().ms, voice) + QStringLiteral(": ") +
                    percentAfter(true, percent::reading(day.front().level)) + QLatin1Char(' ') +
                    percentAfter(false, percent::reading(day.back().level));
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
                   int threshold, const QColor& ink, const QColor& background)
{
    if (!worthACurve(day) || area.width() < 2.0 || area.height() < 2.0)
        return;
    painter.save();
    // The scale's words, smaller than the tip's: "100%" sets the gutter.
    QFont small = painter.font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    painter.setFont(small);
    const QFontMetricsF metrics(small);
    const double gutter = metrics.horizontalAdvance(QStringLiteral("100%")) + 3.0;
    const double half = metrics.height() / 2.0;
    const QRectF plot = area.adjusted(gutter, half, 0.0, -half);
    const double span = static_cast<double>(std::max<std::int64_t>(day.front().ms, 1));
    const auto x = [&](std::int64_t age) {
        return plot.right() - plot.width() * static_cast<double>(age) / span;
    };
    const auto y = [&](double level) { return plot.bottom() - plot.height() * level / 100.0; };
    painter.setRenderHint(QPainter::Antialiasing);
    QColor light = ink;
    light.setAlpha(40);
    // On mains: each run of such points to the point after it, as one band.
    for (std::size_t i = 0; i + 1 < day.size(); ++i) {
        if (!day[i].onMains)
            continue;
        std::size_t end = i + 1;
        while (end + 1 < day.size() && day[end].onMains)
            ++end;
        painter.fillRect(
            QRectF(QPointF(x(day[i].ms), plot.top()), QPointF(x(day[end].ms), plot.bottom())),
            light);
        i = end - 1;
    }
    // A light scale: 0, 50 and 100 %.
    QColor faint = ink;
    faint.setAlpha(70);
    for (const int level : {0, 50, 100}) {
        painter.setPen(QPen(faint, 1.0));
        painter.drawLine(QPointF(plot.left(), y(level)), QPointF(plot.right(), y(level)));
        painter.setPen(ink);
        painter.drawText(QRectF(area.left(), y(level) - half, gutter - 3.0, 2 * half),
                         Qt::AlignRight | Qt::AlignVCenter, percentText(level));
    }
    const QColor red(200, 0, 0);
    const bool warned = threshold > 0 && threshold < 100;
    if (warned) {
        painter.setPen(QPen(red, 1.0, Qt::DashLine));
        painter.drawLine(QPointF(plot.left(), y(threshold)), QPointF(plot.right(), y(threshold)));
    }
    QPainterPath path(QPointF(x(day.front().ms), y(day.front().level)));
    for (const LevelPoint& p : day)
        path.lineTo(x(p.ms), y(p.level));
    painter.setPen(QPen(ink, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    // The threshold named at its line's left end, on the tip's own ground so
    // that the curve never runs through the words: above the line, or below
    // it near the top.
    if (warned) {
        const QString label = QStringLiteral("Avviso ") + percentText(threshold);
        const double top =
            y(threshold) - 2 * half >= plot.top() ? y(threshold) - 2 * half : y(threshold) + 1.0;
        const QRectF box(plot.left() + 2.0, top, metrics.horizontalAdvance(label) + 2.0, 2 * half);
        painter.fillRect(box, background);
        painter.setPen(red);
        painter.drawText(box, Qt::AlignCenter, label);
    }
    painter.restore();
}

}  // namespace tellavo
