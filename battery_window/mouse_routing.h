#pragma once

#include <qnamespace.h>

namespace tellavo {

// The parts of the battery window a mouse press can land on.
enum class MouseTarget { Surface, LblPerc, ImgStato, ProgressBar, Label1 };

struct MouseResponse {
    bool drag = false;  // start the window manager's interactive move
    bool menu = false;  // open the pop-up menu at the pointer
};

// The ">" label opens the menu for any button. Elsewhere the left button
// alone drags and the right button alone opens the menu; the tests are
// separate, and any other button does nothing.
constexpr MouseResponse routeMouse(MouseTarget target, Qt::MouseButton button)
{
    if (target == MouseTarget::Label1)
        return MouseResponse{false, true};
    return MouseResponse{button == Qt::LeftButton, button == Qt::RightButton};
}

}  // namespace tellavo
