#pragma once

#include <QByteArray>
#include <QPoint>

#include <functional>

class QWidget;

namespace tellavo::stacking {

// Puts a shown top-level window above all other windows, or back among them,
// without hiding, moving or resizing it. After a window is created this is the
// only code that changes its flags: QWidget::setWindowFlags() would re-create
// (and hide) a visible window, and QWindow::setFlags() alone would leave
// QWidget::windowFlags() stale for the next caller.
void setAbove(QWidget* window, bool above);

// Who keeps the indicator's size and place.
enum class Placement {
    Managed,     // the window manager, which honours what the program asks
    SelfPlaced,  // the program: a window the window manager does not manage
};

// The placement for the X window manager of that name (_NET_WM_NAME of its
// _NET_SUPPORTING_WM_CHECK window; empty when none answers). The window
// manager of wlroots compositors (sway and its kin, through Xwayland) grows
// every floating window to a minimum size and centres it, so there the
// program places its strip itself.
Placement placementFor(const QByteArray& wmName);

// The running X window manager's name, or an empty array when there is none
// (or the platform is not X11).
QByteArray windowManagerName();

// Call before the indicator window is first shown: it is put on every
// workspace and kept out of the taskbar and pager, and becomes an unmanaged
// window where placementFor() says so. These states are left alone by
// setAbove().
void prepareIndicator(QWidget* window);

// Whether the window manager leaves the window alone: no interactive move,
// no focus, no stacking from it; the program moves the window itself.
bool isUnmanaged(const QWidget* window);

// Tells the window manager to end the interactive move asked for at a left
// press whose release reached the program first (a touchpad's tap sends both
// at once): no release would end it, and the window would follow the pointer
// with no motion reaching the program (so no tool tip either).
void cancelSystemMove(const QWidget* window);

// A place in pixels the window system can hold: X11 window coordinates are
// 16-bit, and a stored place beyond them would wrap.
QPoint clampPlace(QPoint pixels);

// Moves the window to `place()`, now and once again a little later unless
// `keep()` then says no: under openbox a tool window's first position is
// sometimes lost right after it is mapped, and placing it again holds.
void placeWindow(QWidget* window, const std::function<QPoint()>& place,
                 const std::function<bool()>& keep);

}  // namespace tellavo::stacking
