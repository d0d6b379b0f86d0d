#pragma once

#include "app_state.h"
#include "number_text.h"

#include <QString>

#include <functional>
#include <memory>

namespace tellavo {

class PrincWindow;
class SettingsStore;

// The program's spine: start-up, the always-on-top procedures, saving and the
// exit command. Owns the shared state and the battery window.
class Module1 {
public:
    using WindowFactory = std::function<std::unique_ptr<PrincWindow>(Module1&)>;

    // The message boxes start-up and saving show, made by whoever owns the
    // widgets (the program's, or a test's recorder). Both are called only
    // when set.
    struct Boxes {
        std::function<void()> welcome;
        std::function<void(const QString& text)> error;
    };

    Module1(SettingsStore& store, WindowFactory makeWindow, Boxes boxes);
    ~Module1();

    AppState& state() { return m_state; }
    const AppState& state() const { return m_state; }

    // Start-up. 0 when the program goes on into the event loop, otherwise the
    // exit status after an error box.
    int Main();

    // Puts form above all other windows (flag -1) or back among them (flag 0),
    // without moving or resizing it; any other flag does nothing.
    static void ImpostaPrimoPiano(PrincWindow* form, const Boolean& flag);
    // Applies Sipp to the battery window.
    void ApplicaPrimoPiano();

    // Writes the five settings. On failure shows an error box naming the file
    // and returns false; never reports a failed save as done.
    bool SalvaImpostazioni();

    // Tells the battery window that the settings in the state were changed
    // (the options dialog's OK), before they are saved.
    void settingsChanged();

    // The exit command: save, then end at once (status 1 if the save failed).
    void Esci();

private:
    void showError(const QString& text);
    int startupError(ConversionError error, const QString& key, const QString& text);

    SettingsStore& m_store;
    WindowFactory m_makeWindow;
    Boxes m_boxes;
    AppState m_state;
    std::unique_ptr<PrincWindow> m_frmPrinc;
};

}  // namespace tellavo
