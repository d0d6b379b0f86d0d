#pragma once

#include <QByteArray>

namespace tellavo {

// The Qt platform plugin to ask for, or an empty array for Qt's own choice.
// Only X11 (also through XWayland) lets a program place its window and keep
// it above others, so a Wayland session with a reachable X display gets "xcb";
// an explicit QT_QPA_PLATFORM always wins.
QByteArray preferredPlatform(const QByteArray& qpaPlatform, const QByteArray& sessionType,
                             const QByteArray& waylandDisplay, const QByteArray& display);

// Applies preferredPlatform() to this process's environment; call it before the
// application object exists.
void preferX11Platform();

// Paints through the X connection instead of MIT-SHM unless the user chose
// (QT_XCB_NO_MITSHM); call it before the application object exists.
void paintWithoutSharedMemory();

}  // namespace tellavo
