#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

#include <functional>

class QObject;

namespace tellavo::screen_place {

// Where a window may stay: its own top-left corner when every part of it lies
// on the screens' available areas (across two screens side by side too);
// otherwise the corner nearest to its own at which all of it lies on one
// area, against that area's edge. A window larger than an area goes to its
// left or top edge. Areas with no size are no screen; with none, the window
// stays where it is.
QPoint wholeOnScreens(const QRect& window, const QList<QRect>& areas);

// Each screen's available area (the desktop less its panels), in the
// coordinates windows are placed in.
QList<QRect> availableAreas();

// Calls changed(), once control is back in the event loop, whenever a screen
// comes or goes or one changes its size, place or available area; as long as
// context lives.
void followScreens(QObject* context, const std::function<void()>& changed);

}  // namespace tellavo::screen_place
