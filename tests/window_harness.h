#pragma once
// The whole battery window in the test process, as the program builds it:
// Module1 with a store of its own, FrmPrinc over the power status given,
// started through Main(). Tests drive its tick and watch what a user would
// see: the percentage label, the bar and the warning boxes.
#include "desktop_text.h"
#include "frm_princ.h"
#include "ini_format.h"
#include "module1.h"
#include "princ_window.h"
#include "settings_store.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace tellavo::test {

// Counts every warning box the application shows, whoever shows it: an
// application-wide filter sees the Show event of any QMessageBox, so a second
// box would be counted even if the window lost track of the first.
class BoxCounter : public QObject {
public:
    BoxCounter() { qApp->installEventFilter(this); }
    ~BoxCounter() override { qApp->removeEventFilter(this); }
    BoxCounter(const BoxCounter&) = delete;
    BoxCounter& operator=(const BoxCounter&) = delete;

    int shown() const { return m_shown; }
    QPointer<QMessageBox> last() const { return m_last; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            if (auto* box = qobject_cast<QMessageBox*>(watched); box && box->isWindow()) {
                ++m_shown;
                m_last = box;
            }
        }
        return false;
    }

private:
    int m_shown = 0;
    QPointer<QMessageBox> m_last;
};

struct WindowHarness {
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Module1> module;
    QStringList errors;
    std::function<void()> onError;  // run after each error box is recorded
    FrmPrinc* w = nullptr;

    // soglia (if not negative) is set before the first tick; the product timer
    // is stopped when the test drives the ticks itself.
    WindowHarness(PowerSource& si, int soglia = -1, bool productTimer = false)
    {
        desktop_text::useFace();
        QSettings::setPath(ini::format(), QSettings::UserScope, dir.path());
        store = std::make_unique<SettingsStore>();
        Module1::Boxes boxes;
        boxes.welcome = [] {};
        boxes.error = [this](const QString& text) {
            errors << text;
            if (onError)
                onError();
        };
        module = std::make_unique<Module1>(
            *store, [&si](Module1& m) { return std::make_unique<FrmPrinc>(m, si); }, boxes);
        if (module->Main() != 0)
            return;
        w = static_cast<FrmPrinc*>(module->frmPrinc());
        if (!productTimer)
            w->Timer1()->stop();
        if (soglia >= 0)
            module->state().Soglia = quint8(soglia);
    }
    ~WindowHarness()
    {
        if (w)
            qDeleteAll(w->warningBoxes());
    }
    AppState& state() { return module->state(); }
    QString label() const { return w->lblPerc()->text(); }

    // One tick, then the events it posted (repaints, deferred deletes).
    void tick()
    {
        w->Timer1_Timer();
        QCoreApplication::sendPostedEvents();
    }

    // The user closes the warning box; it is gone once this returns.
    void closeBox()
    {
        if (QMessageBox* box = w->warningBox()) {
            box->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
};

// What the label may show at any tick: the no-reading text or a blank, 0..100
// and "%". Anything else (a NaN printed, 255 %, a minus sign) is a wrong reading.
inline bool saneLabel(const QString& text)
{
    static const QRegularExpression reading(QStringLiteral("^ (0|[1-9][0-9]?|100)%$"));
    return text == QLatin1String("!") || reading.match(text).hasMatch();
}

// Ticks every `periodMs` with the event loop running in between, until the
// label reads `want` or `timeoutMs` has passed; records every label seen that
// was not sane and the longest single tick.
struct Ticker {
    explicit Ticker(WindowHarness& harness) : h(harness) {}
    WindowHarness& h;
    QStringList insane;
    qint64 longestTickMs = 0;
    int ticks = 0;

    bool until(const QString& want, int timeoutMs, int periodMs = 20)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            QElapsedTimer clock;
            clock.start();
            h.tick();
            ++ticks;
            longestTickMs = qMax(longestTickMs, clock.elapsed());
            if (!saneLabel(h.label()) && !insane.contains(h.label()))
                insane << h.label();
            if (h.label() == want)
                return true;
            if (deadline.hasExpired())
                return false;
            QTest::qWait(periodMs);
        }
    }

    // Ticks for a while whatever the label says.
    void during(int ms, int periodMs = 20) { until(QStringLiteral("<never>"), ms, periodMs); }
};

}  // namespace tellavo::test
