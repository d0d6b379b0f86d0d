#pragma once

namespace tellavo {

// The parts of the battery window a mouse press can land on.
enum class MouseTarget { Surface, LblPerc, ImgStato, ProgressBar, Label1 };

// Buttons as the window's mouse routine numbers them.
namespace mouse {
constexpr int kLeft = 1;
constexpr int kRight = 2;
constexpr int kMiddle = 4;
}  // namespace mouse

struct MouseResponse {
    bool drag = false;  // start the window manager's interactive move
    bool menu = false;  // open the pop-up menu at the pointer
};

// The ">" label opens the menu for any button. Elsewhere the left button
// alone drags and the right button alone opens the menu; the tests are
// separate, and any other button does nothing.
constexpr MouseResponse routeMouse(MouseTarget target, int button)
{
    if (target == MouseTarget::Label1)
        return MouseResponse{false, true};
    return MouseResponse{button == mouse::kLeft, button == mouse::kRight};
}

}  // namespace tellavo
