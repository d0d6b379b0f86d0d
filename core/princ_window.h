#pragma once

namespace tellavo {

// What start-up, saving and the always-on-top procedures need of the battery
// window, so that the core never includes the window itself.
class PrincWindow {
public:
    virtual ~PrincWindow() = default;

    // Above all other windows, or back among them, without moving or
    // resizing the window.
    virtual void setAbove(bool above) = 0;
    // Shows the window, not modal; its load work has run when it was made.
    virtual void showWindow() = 0;
    // Moves the window's top-left corner; its size stays as its layout set it.
    virtual void moveToTwips(float left, float top) = 0;
    // The window's place in twips: as set, unless the user moved it since.
    virtual float leftTwips() const = 0;
    virtual float topTwips() const = 0;
    virtual void giveFocus() = 0;
    // The options dialog has just written new settings into the shared state.
    virtual void settingsChanged() {}
};

}  // namespace tellavo
