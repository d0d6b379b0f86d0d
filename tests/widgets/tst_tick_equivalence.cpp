// The sleeping tick against a plain one-second tick, on virtual time: two
// battery windows see the same random events, one on a source that announces
// its changes (so its tick may sleep) and one on a source that does not (so it
// ticks every second). What each window shows must go through the same states,
// and the sleeping one may show each at most a second later, or at once where
// the plain one ticks as the process goes on after a stop.
#include "desktop_text.h"
#include "fake_power_source.h"
#include "frm_princ.h"
#include "ini_format.h"
#include "module1.h"
#include "settings_store.h"
#include "window_harness.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <vector>

using namespace tellavo;
using namespace tellavo::test;

namespace {

constexpr std::int64_t kNotDue = std::numeric_limits<std::int64_t>::max();

// A mix of events, each kind with its weight, and how far apart they come.
struct Profile {
    int readings, source, sliderMove, sliderClick, threshold, closeBox;
    int meanGapMs;
    int burstPercent;  // share of gaps under a second
    int stop = 0;      // the weight of the process being stopped, for stopMs
    int stopMs = 0;
};

enum class Kind { Readings, Source, SliderMove, SliderClick, Threshold, CloseBox, Stop };
// The events that wake the sleeping tick, each of its own kind.
enum class Wake { Readings, Source, Slider, Settings, None };
Wake wakeOf(Kind kind)
{
    switch (kind) {
        case Kind::Readings:
            return Wake::Readings;
        case Kind::Source:
            return Wake::Source;
        case Kind::SliderMove:
        case Kind::SliderClick:
            return Wake::Slider;
        case Kind::Threshold:
            return Wake::Settings;
        default:
            return Wake::None;
    }
}

struct Event {
    std::int64_t at;
    Kind kind;
    int line = 0;
    int percent = 0;
    bool announcing = false;
    int value = 0;  // slider value, threshold or how long stopped
};

struct Sequence {
    std::int64_t durationMs;
    int line, percent, soglia;
    bool announcing;
    std::vector<Event> events;
};

int randomPercent(std::mt19937& rng, int around)
{
    std::uniform_int_distribution<int> pick(0, 99);
    const int r = pick(rng);
    if (r < 4)
        return 255;  // cannot be determined
    if (r < 10)
        return std::uniform_int_distribution<int>(0, 100)(rng);
    const int base = around > 100 ? 50 : around;
    return std::clamp(base + std::uniform_int_distribution<int>(-3, 3)(rng), 0, 100);
}

int randomLine(std::mt19937& rng)
{
    const int r = std::uniform_int_distribution<int>(0, 9)(rng);
    return r < 5 ? power::kAcOffline : r < 9 ? power::kAcOnline : power::kUnknown;
}

int randomThreshold(std::mt19937& rng, int around)
{
    const int r = std::uniform_int_distribution<int>(0, 9)(rng);
    if (r == 0)
        return std::uniform_int_distribution<int>(101, 255)(rng);
    if (r < 4)
        return std::uniform_int_distribution<int>(0, 100)(rng);
    const int base = around > 100 ? 50 : around;
    return std::clamp(base + std::uniform_int_distribution<int>(-2, 2)(rng), 0, 100);
}

Sequence makeSequence(const Profile& p, unsigned seed)
{
    std::mt19937 rng(seed);
    Sequence s;
    s.durationMs = std::uniform_int_distribution<std::int64_t>(120'000, 300'000)(rng);
    s.line = randomLine(rng);
    s.percent = randomPercent(rng, 50);
    s.announcing = std::uniform_int_distribution<int>(0, 9)(rng) < 7;
    s.soglia = randomThreshold(rng, s.percent);

    const int weights[] = {p.readings,  p.source,   p.sliderMove, p.sliderClick,
                           p.threshold, p.closeBox, p.stop};
    std::discrete_distribution<int> kind(std::begin(weights), std::end(weights));
    std::exponential_distribution<double> gap(1.0 / p.meanGapMs);
    std::uniform_int_distribution<int> percent100(0, 99);
    int percent = s.percent;
    int line = s.line;
    bool announcing = s.announcing;
    int soglia = s.soglia;
    std::int64_t t = 0;
    for (;;) {
        if (percent100(rng) < p.burstPercent)
            t += std::uniform_int_distribution<int>(1, 999)(rng);
        else
            t += 1 + std::int64_t(gap(rng));
        // Some events fall on a tick's instant or next to it.
        const int near = percent100(rng);
        if (near < 3)
            t = (t / kTickMs + 1) * kTickMs + (near - 1);
        if (t >= s.durationMs)
            break;
        Event e{t, Kind(kind(rng))};
        switch (e.kind) {
            case Kind::Readings:
                if (percent100(rng) < 25)
                    line = randomLine(rng);
                else
                    percent = randomPercent(rng, percent);
                break;
            case Kind::Source:
                // The other source has readings of its own.
                announcing = !announcing;
                if (percent100(rng) < 50)
                    percent = randomPercent(rng, percent);
                if (percent100(rng) < 20)
                    line = randomLine(rng);
                break;
            case Kind::SliderMove:
                e.value = std::uniform_int_distribution<int>(0, 100)(rng);
                break;
            case Kind::Threshold:
                soglia = randomThreshold(rng, percent);
                e.value = soglia;
                break;
            case Kind::Stop:
                e.value = p.stopMs;
                break;
            case Kind::SliderClick:
            case Kind::CloseBox:
                break;
        }
        e.line = line;
        e.percent = percent;
        e.announcing = announcing;
        s.events.push_back(e);
    }
    return s;
}

struct VirtualClock : TickClock {
    std::int64_t now = 0;
    std::int64_t resumedUntil = kNever;
    std::int64_t nowMs() const override { return now; }
    std::int64_t resumedUntilMs() const override { return resumedUntil; }
};

struct VirtualTimer : TickTimer {
    VirtualClock& clock;
    std::int64_t due = kNotDue;
    // While set, a start is dropped: the timer of a window broken on purpose,
    // which does not wake for the event being delivered.
    bool deaf = false;
    explicit VirtualTimer(VirtualClock& c) : clock(c) {}
    void start(int firstMs) override
    {
        QVERIFY(firstMs >= 0 && firstMs <= kTickMs);
        if (!deaf)
            due = clock.now + firstMs;
    }
    void stop() override { due = kNotDue; }
};

// Everything a user can see of a tick's work, and the state behind it.
struct Shown {
    QString label;
    int bar;
    int picture;
    int boxesOpened;
    bool boxOpen;
    QString boxText;
    int perc, rete, avvisato;
    bool operator==(const Shown& o) const
    {
        return label == o.label && bar == o.bar && picture == o.picture &&
               boxesOpened == o.boxesOpened && boxOpen == o.boxOpen && boxText == o.boxText &&
               perc == o.perc && rete == o.rete && avvisato == o.avvisato;
    }
    QString describe() const
    {
        return QStringLiteral(
                   "label \"%1\" bar %2 picture %3 boxes %4%5 Perc %6 Rete %7 Avvisato %8")
            .arg(label)
            .arg(bar)
            .arg(picture)
            .arg(boxesOpened)
            .arg(boxOpen ? QStringLiteral(" (open)") : QString())
            .arg(perc)
            .arg(rete)
            .arg(avvisato);
    }
};

struct Timeline {
    std::vector<Shown> states;
    std::vector<std::int64_t> at;
    int ticks = 0;
    std::vector<std::int64_t> resumes;  // the instants the process went on
};

// One window through one sequence. sleeping: its source announces while the
// sequence says the readings are UPower's; otherwise it never does.
Timeline run(SettingsStore& store, const Sequence& seq, bool sleeping,
             std::optional<Wake> deafTo = std::nullopt)
{
    Timeline out;
    FakePowerSource si;
    si.set(seq.line, seq.percent);
    si.announcing = sleeping && seq.announcing;
    Module1 module(
        store, [](Module1&) { return nullptr; }, Module1::Boxes{});
    module.state().Soglia = quint8(seq.soglia);
    module.state().Messaggio = QStringLiteral("Attacca la spina!!");
    VirtualClock clock;
    VirtualTimer timer(clock);
    FrmPrinc::TickTiming timing{timer, clock};
    BoxCounter boxes;
    auto w = std::make_unique<FrmPrinc>(module, si, &timing);
    auto* const label = named<QLabel>(w.get(), "lblPerc");
    auto* const bar = named<QProgressBar>(w.get(), "ProgressBar");
    auto* const slider = named<QSlider>(w.get(), "SliderPerc");

    int boxesOpened = 0;
    QList<QPointer<QMessageBox>> known;
    const auto record = [&] {
        for (QMessageBox* open : boxes.warningBoxes()) {
            if (!known.contains(open)) {
                known.append(open);
                ++boxesOpened;
            }
        }
        QMessageBox* box = boxes.warningBox();
        const AppState& st = module.state();
        Shown now{label->text(), bar->value(),   shownPicture(w.get()),
                  boxesOpened,   box != nullptr, box ? box->text() : QString(),
                  st.Perc,       st.Rete,        st.Avvisato};
        if (out.states.empty() || !(out.states.back() == now)) {
            out.states.push_back(now);
            out.at.push_back(clock.now);
        }
    };
    record();

    const auto deliver = [&](const Event& e) {
        timer.deaf = deafTo && *deafTo == wakeOf(e.kind);
        switch (e.kind) {
            case Kind::Readings:
                si.change(e.line, e.percent);
                break;
            case Kind::Source:
                si.set(e.line, e.percent);
                si.setAnnouncing(sleeping && e.announcing);
                break;
            case Kind::SliderMove:
                slider->setValue(e.value);
                break;
            case Kind::SliderClick: {
                QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2),
                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(slider, &release);
                break;
            }
            case Kind::Threshold:
                // What OK in the options dialog does.
                module.state().Soglia = quint8(e.value);
                module.state().Messaggio = QStringLiteral("Soglia %1").arg(e.value);
                w->settingsChanged();
                break;
            case Kind::CloseBox:
                if (QMessageBox* box = boxes.warningBox()) {
                    box->close();
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                }
                break;
            case Kind::Stop:
                break;  // a stop within a stop is the same stop
        }
        timer.deaf = false;
    };

    size_t next = 0;
    for (;;) {
        const std::int64_t event = next < seq.events.size() ? seq.events[next].at : kNotDue;
        // At the same instant the tick comes first.
        if (timer.due <= event && timer.due < seq.durationMs) {
            clock.now = timer.due;
            timer.due += kTickMs;
            ++out.ticks;
            w->Timer1_Timer();
        } else if (event < seq.durationMs) {
            const Event& e = seq.events[next++];
            clock.now = e.at;
            if (e.kind == Kind::Stop) {
                // Nothing runs while the process is stopped; when it goes on,
                // what came meanwhile is delivered and a running timer is
                // overdue: it ticks then, and a second later, and so on.
                const std::int64_t until = e.at + e.value;
                clock.now = until;
                clock.resumedUntil = until;
                out.resumes.push_back(until);
                if (timer.due < until)
                    timer.due = until;
                while (next < seq.events.size() && seq.events[next].at < until) {
                    deliver(seq.events[next++]);
                    record();
                }
            } else {
                deliver(e);
            }
        } else {
            break;
        }
        record();
    }
    qDeleteAll(boxes.warningBoxes());
    w.reset();
    // Nothing runs an event loop here; what the run posted must not pile up.
    QCoreApplication::sendPostedEvents();
    return out;
}

// The first difference, or nothing.
std::optional<QString> compare(const Timeline& plain, const Timeline& sleeping)
{
    const size_t n = std::min(plain.states.size(), sleeping.states.size());
    for (size_t i = 0; i < n; ++i) {
        if (!(plain.states[i] == sleeping.states[i]))
            return QStringLiteral(
                       "state %1 differs: plain tick at %2 ms: %3; sleeping at %4 ms: %5")
                .arg(i)
                .arg(plain.at[i])
                .arg(plain.states[i].describe())
                .arg(sleeping.at[i])
                .arg(sleeping.states[i].describe());
        const std::int64_t lag = sleeping.at[i] - plain.at[i];
        const bool onGoing = std::find(plain.resumes.begin(), plain.resumes.end(), plain.at[i]) !=
                             plain.resumes.end();
        if (onGoing && lag != 0)
            return QStringLiteral(
                       "state %1 (%2) at %3 ms with the plain tick, as the process went on after a "
                       "stop, at %4 ms sleeping")
                .arg(i)
                .arg(plain.states[i].describe())
                .arg(plain.at[i])
                .arg(sleeping.at[i]);
        if (lag < 0 || lag > kTickMs)
            return QStringLiteral("state %1 (%2) at %3 ms with the plain tick, at %4 ms sleeping")
                .arg(i)
                .arg(plain.states[i].describe())
                .arg(plain.at[i])
                .arg(sleeping.at[i]);
    }
    if (plain.states.size() != sleeping.states.size()) {
        const bool plainLonger = plain.states.size() > sleeping.states.size();
        const Timeline& longer = plainLonger ? plain : sleeping;
        return QStringLiteral("only the %1 reaches state %2 (%3, at %4 ms)")
            .arg(plainLonger ? QStringLiteral("plain tick") : QStringLiteral("sleeping tick"))
            .arg(n)
            .arg(longer.states[n].describe())
            .arg(longer.at[n]);
    }
    return std::nullopt;
}

const Profile kMixed{30, 6, 10, 4, 6, 6, 4'000, 15};
const Profile kBursts{60, 4, 6, 2, 4, 4, 6'000, 60};
const Profile kSlowDischarge{70, 2, 6, 2, 4, 16, 30'000, 5};
const Profile kSourceFlapping{30, 40, 6, 2, 6, 6, 3'000, 30};
const Profile kStopped20s{40, 4, 6, 2, 4, 6, 8'000, 10, 6, 20'000};

int sequencesPerProfile()
{
    // A build under the sanitizers runs this far slower; it may ask for fewer.
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("TELLAVO_EQUIVALENCE_SEQUENCES", &ok);
    return ok && n > 0 ? n : 2'500;
}

}  // namespace

Q_DECLARE_METATYPE(Profile)
Q_DECLARE_METATYPE(Wake)

class TestTickEquivalence : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sameStatesAsThePlainTick_data();
    void sameStatesAsThePlainTick();
    void eachWakeIsNeeded_data();
    void eachWakeIsNeeded();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

void TestTickEquivalence::initTestCase()
{
    desktop_text::useFace();
    // The offscreen platform says so for every warning box it cannot raise.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.startsWith(QLatin1String("This plugin does not support")))
                previous(type, context, text);
        });
    QSettings::setPath(ini::format(), QSettings::UserScope, m_dir.path());
    m_store = std::make_unique<SettingsStore>();
}

void TestTickEquivalence::sameStatesAsThePlainTick_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<unsigned>("firstSeed");
    QTest::newRow("mixed") << kMixed << 1'000'000u;
    QTest::newRow("readings in bursts under a second") << kBursts << 2'000'000u;
    QTest::newRow("slow discharge, boxes closed") << kSlowDischarge << 3'000'000u;
    QTest::newRow("UPower and sysfs in turn") << kSourceFlapping << 4'000'000u;
    QTest::newRow("stopped 20 s at times") << kStopped20s << 6'000'000u;
}

void TestTickEquivalence::sameStatesAsThePlainTick()
{
    QFETCH(Profile, profile);
    QFETCH(unsigned, firstSeed);
    const int count = sequencesPerProfile();
    long plainTicks = 0;
    long sleepingTicks = 0;
    long states = 0;
    std::int64_t worstLag = 0;
    for (int i = 0; i < count; ++i) {
        const unsigned seed = firstSeed + unsigned(i);
        const Sequence seq = makeSequence(profile, seed);
        const Timeline plain = run(*m_store, seq, false);
        const Timeline sleeping = run(*m_store, seq, true);
        if (const std::optional<QString> diff = compare(plain, sleeping))
            QFAIL(qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(*diff)));
        plainTicks += plain.ticks;
        sleepingTicks += sleeping.ticks;
        states += long(plain.states.size());
        for (size_t k = 0; k < plain.at.size(); ++k)
            worstLag = std::max(worstLag, sleeping.at[k] - plain.at[k]);
        // Every sequence reaches a reading, so "???%" must go.
        QVERIFY(plain.states.size() > 1);
    }
    qInfo(
        "%d sequences, %ld states: the sleeping tick ran %ld of the plain tick's %ld ticks "
        "(%.1f %%); latest state %lld ms behind",
        count, states, sleepingTicks, plainTicks, 100.0 * double(sleepingTicks) / plainTicks,
        static_cast<long long>(worstLag));
    // The point of it all: the sleeping tick must sleep.
    QVERIFY(sleepingTicks < plainTicks);
}

void TestTickEquivalence::eachWakeIsNeeded_data()
{
    QTest::addColumn<Wake>("ignored");
    QTest::newRow("readings change") << Wake::Readings;
    QTest::newRow("source switch") << Wake::Source;
    QTest::newRow("slider preview") << Wake::Slider;
    QTest::newRow("options dialog OK") << Wake::Settings;
}

// A window that does not wake for one kind of event must be caught.
void TestTickEquivalence::eachWakeIsNeeded()
{
    QFETCH(Wake, ignored);
    for (unsigned seed = 5'000'000; seed < 5'000'500; ++seed) {
        const Sequence seq = makeSequence(kMixed, seed);
        const Timeline plain = run(*m_store, seq, false);
        const Timeline broken = run(*m_store, seq, true, ignored);
        if (const std::optional<QString> diff = compare(plain, broken)) {
            qInfo("caught at seed %u: %s", seed, qPrintable(*diff));
            return;
        }
    }
    QFAIL("500 sequences did not tell the broken window from the plain tick");
}

QTEST_MAIN(TestTickEquivalence)
#include "tst_tick_equivalence.moc"
