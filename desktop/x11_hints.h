#pragma once

class QWidget;

namespace tellavo::x11 {

// Asks the window manager for a title bar that holds the title only: a
// border and a title, the window movable, and no window menu, minimise,
// maximise or close. Set before the window is first shown; window managers
// read it when they map the window. False, doing nothing, off X11 or for a
// window not yet created.
bool requestTitleOnlyBar(const QWidget* window);

}  // namespace tellavo::x11
