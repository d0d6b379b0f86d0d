#pragma once
// The whole battery window in the test process, as the program builds it:
// Module1 with a store of its own, FrmPrinc over the power status given,
// started through Main(). Tests drive its tick and watch what a user would
// see: the percentage label, the bar and the warning boxes. They find the
// controls as a screen reader or a test tool does: by the names the windows
// give them.
#include "desktop_text.h"
#include "frm_princ.h"
#include "ini_format.h"
#include "module1.h"
#include "picture_choice.h"
#include "pictures.h"
#include "princ_window.h"
#include "settings_store.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QHash>
#include <QImage>
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

// The control of a window that has that object name.
template <typename T = QWidget>
T* named(const QObject* window, const QString& name)
{
    return window->findChild<T*>(name);
}

// The number of the picture the battery window's imgStato shows, told by its
// pixels (no two of the 25 are alike); 0 for none of them.
inline int shownPicture(const QObject* window)
{
    static const QList<QImage> pictures = [] {
        QList<QImage> all;
        for (int n = 1; n <= kPictureCount; ++n)
            all << QPixmap(picturePath(n)).toImage();
        return all;
    }();
    // A window's pictures are shared with what it shows: each is told once.
    static QHash<qint64, int> told;
    const QPixmap shown = named<QLabel>(window, "imgStato")->pixmap();
    if (const auto known = told.constFind(shown.cacheKey()); known != told.constEnd())
        return *known;
    const int number = int(pictures.indexOf(shown.toImage())) + 1;
    told.insert(shown.cacheKey(), number);
    return number;
}

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
    // The battery window's warning boxes not yet deleted, oldest first.
    QList<QMessageBox*> warningBoxes() const
    {
        QList<QMessageBox*> open(m_warnings.begin(), m_warnings.end());
        open.removeAll(nullptr);
        return open;
    }
    // The newest of them, else null.
    QMessageBox* warningBox() const { return warningBoxes().value(warningBoxes().size() - 1); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            if (auto* box = qobject_cast<QMessageBox*>(watched); box && box->isWindow()) {
                ++m_shown;
                m_last = box;
                // Those deleted go, so that a long run does not keep them.
                m_warnings.removeAll(nullptr);
                if (box->objectName() == QLatin1String("warningBox") && !m_warnings.contains(box))
                    m_warnings.append(box);
            }
        }
        return false;
    }

private:
    int m_shown = 0;
    QPointer<QMessageBox> m_last;
    QList<QPointer<QMessageBox>> m_warnings;
};

struct WindowHarness {
    BoxCounter boxes;
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
        Module1::Boxes shown;
        shown.welcome = [] {};
        shown.error = [this](const QString& text) {
            errors << text;
            if (onError)
                onError();
        };
        const auto make = [this, &si](Module1& m) {
            auto window = std::make_unique<FrmPrinc>(m, si);
            w = window.get();
            return window;
        };
        module = std::make_unique<Module1>(*store, make, shown);
        if (module->Main() != 0) {
            w = nullptr;  // the program would end here
            return;
        }
        if (!productTimer)
            named<QTimer>(w, "Timer1")->stop();
        if (soglia >= 0)
            module->state().Soglia = quint8(soglia);
    }
    ~WindowHarness() { qDeleteAll(boxes.warningBoxes()); }
    AppState& state() { return module->state(); }
    QString label() const { return named<QLabel>(w, "lblPerc")->text(); }

    // One tick, then the events it posted (repaints, deferred deletes).
    void tick()
    {
        w->Timer1_Timer();
        QCoreApplication::sendPostedEvents();
    }

    // The user closes the warning box; it is gone once this returns.
    void closeBox()
    {
        if (QMessageBox* box = boxes.warningBox()) {
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
