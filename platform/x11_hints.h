#pragma once

#include <QVector>

#include <xcb/xcb.h>

class QWidget;

namespace tellavo::x11 {

// Qt's own connection to the X server (also through Xwayland), or null when
// the program runs on another platform.
xcb_connection_t* connection();

// The atom of that name, or XCB_ATOM_NONE.
xcb_atom_t atom(xcb_connection_t* c, const char* name);

// True when the program talks to an X server.
bool available();

// Replaces the window's 32-bit property `name` of type `type` (atom names).
// False, doing nothing, off X11 or for a window not yet created.
bool setProperty32(const QWidget* window, const char* name, const char* type,
                   const QVector<quint32>& values);

// Asks the window manager for a title bar that holds the title only: a
// border and a title, the window movable, and no window menu, minimise,
// maximise or close. Set before the window is first shown; window managers
// read it when they map the window.
bool requestTitleOnlyBar(const QWidget* window);

}  // namespace tellavo::x11
