#include "window_stacking.h"

#include <QWidget>
#include <QWindow>

namespace tellavo::stacking {

void setAbove(QWidget* window, bool above)
{
    if (!window)
        return;
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, above);
    flags.setFlag(Qt::WindowStaysOnBottomHint, false);
    // On X11 QWindow::setFlags() sends _NET_WM_STATE_ADD/REMOVE for
    // _NET_WM_STATE_ABOVE to a mapped window, or sets the property for the
    // next map; the window manager keeps its place and size.
    window->overrideWindowFlags(flags);
    if (QWindow* handle = window->windowHandle())
        handle->setFlags(flags);
}

bool isAbove(const QWidget* window)
{
    return window && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

}  // namespace tellavo::stacking
