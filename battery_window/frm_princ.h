#pragma once

#include "mouse_routing.h"
#include "princ_window.h"
#include "status_tip.h"
#include "status_words.h"
#include "tick_scheduler.h"
#include "twips.h"

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSlider;
class QTimer;

namespace tellavo {

class Module1;
class PowerSource;

struct AppState;

// The battery window: a small frameless strip with the charge as text, as a
// bar and as a status picture, a ">" label that opens the menu, and a slider
// that previews the picture for a chosen percentage. Geometry is in twips.
class FrmPrinc : public QWidget, public PrincWindow {
    Q_OBJECT
public:
    // The timer and clock the tick runs on, when not Timer1 and the
    // system's (tests drive the tick on virtual time).
    struct TickTiming {
        TickTimer& timer;
        const TickClock& clock;
    };

    // si: the power status the one-second tick reads; it must outlive the window.
    FrmPrinc(Module1& module, PowerSource& si, const TickTiming* timing = nullptr);
    ~FrmPrinc() override;

    // PrincWindow
    void setAbove(bool above) override;
    void showWindow() override;
    void moveToTwips(float left, float top) override;
    float leftTwips() const override;
    float topTwips() const override;
    void giveFocus() override;
    void settingsChanged() override;

    // Sets the picture of imgStato from Perc and Rete (a Perc of 0 leaves it).
    void CambiaImmagine();
    // The layout command: check mark on item n, outer size of layout n.
    void mnuLayout_Click(int index);
    // One tick of Timer1.
    void Timer1_Timer();
    // The window's mouse routine for a press of button.
    void mouseDownOn(MouseTarget target, Qt::MouseButton button, const QPoint& globalPos);

    // Whether the tick sleeps, for tests: they stop Timer1 by hand.
    TickScheduler& tickScheduler() { return *m_scheduler; }

protected:
    // The tool tip on the strip (Label1 keeps its own), made when asked for.
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Form_Load();
    void buildControls();
    void buildMenu();
    void applyLabel1Colours();
    // The largest size of the window's face, up to the one asked for, at
    // which no caption is cut.
    void fitCaptions();
    void placeControls();
    void loadImageList();
    void setUpTicking(const TickTiming* timing);
    void showPicture(int number);
    // Names and descriptions for a screen reader, from what is shown now;
    // each is set only when its words change.
    void describeShown();
    void SliderPerc_Change();
    void mnuOpzioni_Click();
    void mnuEsci_Click();
    void showWarning();
    void startDrag(const QPoint& globalPos);
    void showTip();
    bool tipShown() const;
    void hideTip();
    // The strip's own description for a screen reader: the tip's lines.
    void describeStrip(const QString& spokenLines);
    // The open tip, or else a listening screen reader, gets its lines anew.
    void retellTip();
    // The place as set, in pixels (as far as X coordinates go).
    QPoint placedPixels() const;
    bool movedByUser() const;
    // `here`, or the nearest place where all of the strip is on a screen,
    // which then becomes the place as set.
    QPoint wholeOnScreen(QPoint here);
    // After the screens changed: the strip whole on one again.
    void keepOnScreen();

    Module1& m_module;
    AppState& m_state;
    PowerSource& m_si;
    TwipScale m_scale;
    QPoint m_tipAt;
    QPointer<StatusTip> m_tip;

    QWidget* m_client = nullptr;
    QLabel* m_lblPerc = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_imgStato = nullptr;
    QLabel* m_label1 = nullptr;
    QSlider* m_sliderPerc = nullptr;
    QTimer* m_timer1 = nullptr;
    // Brings the first tick after the tick slept onto the grid Timer1 ticked
    // on, or ticks at once after the process was stopped or the machine slept.
    QTimer* m_timer1Phase = nullptr;
    std::unique_ptr<TickTimer> m_qtTimer;
    std::unique_ptr<TickClock> m_steadyClock;
    std::unique_ptr<TickScheduler> m_scheduler;
    QMenu* m_mnuPrinc = nullptr;
    std::array<QAction*, 3> m_mnuLayout{};

    QVector<QPixmap> m_imageList1;  // index 0 holds picture 1
    int m_shownPicture = 0;
    // The readings behind what the last tick showed.
    int m_shownLine = power::kUnknown;
    int m_shownReading = kNotReadYet;

    // The place as set in twips, kept as set until the user drags the window
    // or it has to be brought on screen.
    float m_leftTwips = 0.0f;
    float m_topTwips = 0.0f;
    bool m_placed = false;
    bool m_dragStarted = false;
    // The window manager was asked for an interactive move at the last press.
    bool m_systemMove = false;
    // Manual move, where the window manager offers no interactive move.
    bool m_manualDrag = false;
    QPoint m_dragOffset;
};

}  // namespace tellavo
