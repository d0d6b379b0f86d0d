#include "screen_place.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace tellavo::screen_place {

namespace {

// The nearest start of a span of `length` inside [low, low + room).
int within(int start, int length, int low, int room)
{
    if (length >= room)
        return low;
    return std::clamp(start, low, low + room - length);
}

}  // namespace

QPoint wholeOnScreens(const QRect& window, const QList<QRect>& areas)
{
    QRegion outside(window);
    for (const QRect& area : areas)
        outside -= area;
    if (outside.isEmpty())
        return window.topLeft();
    QPoint nearest = window.topLeft();
    qint64 best = std::numeric_limits<qint64>::max();
    for (const QRect& area : areas) {
        if (area.isEmpty())
            continue;
        const QPoint there(within(window.x(), window.width(), area.x(), area.width()),
                           within(window.y(), window.height(), area.y(), area.height()));
        const qint64 dx = there.x() - window.x();
        const qint64 dy = there.y() - window.y();
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = there;
        }
    }
    return nearest;
}

QList<QRect> availableAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    return areas;
}

void followScreens(QObject* context, const std::function<void()>& changed)
{
    // Later, not at once: a screen going away is still half there when Qt
    // tells of it, and one change of the desktop comes as several signals.
    const auto later = [context, changed] {
        QMetaObject::invokeMethod(context, changed, Qt::QueuedConnection);
    };
    const auto follow = [context, later](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context, later);
        QObject::connect(screen, &QScreen::availableGeometryChanged, context, later);
    };
    for (QScreen* screen : QGuiApplication::screens())
        follow(screen);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, context,
                     [follow, later](QScreen* screen) {
                         follow(screen);
                         later();
                     });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, context, later);
}

}  // namespace tellavo::screen_place
