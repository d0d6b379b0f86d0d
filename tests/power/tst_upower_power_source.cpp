// The UPower source against python3-dbusmock's upower template on a private
// system bus: what it reads, that changes come by signal and not by polling,
// and that no value the service sends, however wrong, gives a wrong reading.
#include "bus_services.h"
#include "change_log.h"
#include "data_row.h"
#include "upower_power_source.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using tellavo::test::row;

using tellavo::BatteryDetails;
using tellavo::ChargeState;
using tellavo::UPowerPowerSource;
using tellavo::UPowerTimings;
using tellavo::test::kDisplayPath;
using tellavo::test::kRootPath;
using tellavo::test::ServiceDriver;
namespace power = tellavo::power;

Q_DECLARE_METATYPE(tellavo::ChargeState)

namespace {

constexpr int kOff = power::kAcOffline;
constexpr int kOn = power::kAcOnline;
constexpr int kUnknown = power::kUnknown;

// Long enough for a slow machine, far shorter than any timer of the source's
// defaults: what arrives within it came by signal or by the first GetAll.
constexpr int kSoon = 3000;

UPowerTimings quick(int livenessMs, int replyTimeoutMs, int reconnectMs)
{
    UPowerTimings t;
    t.livenessMs = livenessMs;
    t.replyTimeoutMs = replyTimeoutMs;
    t.reconnectMs = reconnectMs;
    return t;
}

}  // namespace

class TestUPowerPowerSource : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_env.startBus()); }
    void cleanup() { m_env.mock().stop(); }

    void readsTheDisplayDevice_data();
    void readsTheDisplayDevice();
    void changesArriveBySignalAlone();
    void readingsChangedOnlyOnRealChange();
    void details_data();
    void details();
    void roundHeldOrAskedAgain_data();
    void roundHeldOrAskedAgain();
    void livenessAsksOncePerPeriod();
    void livenessWaitsForSilence_data();
    void livenessWaitsForSilence();
    void badValues_data();
    void badValues();
    void recoversFromBadValues();
    void availabilityFollowsTheName();
    void lateReplyFromFormerOwnerIsDropped();
    void hungServiceCountsAsAbsent();
    void errorRepliesCountAsAbsent();

private:
    tellavo::test::MockOnBus m_env;
    ServiceDriver& m_mock = m_env.mock();
};

void TestUPowerPowerSource::readsTheDisplayDevice_data()
{
    QTest::addColumn<QStringList>("mock");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");
    QTest::addColumn<ChargeState>("state");
    // The machine's batteries the tip tells after a round: "battery", "ups".
    QTest::addColumn<QString>("told");

    row("discharging 57",
        QStringList{"--percentage", "57", "--state", "discharging", "--on-battery"}, kOff, 57,
        ChargeState::Discharging, "battery");
    row("full on AC", QStringList{"--percentage", "100", "--state", "fully-charged", "--on-ac"},
        kOn, 100, ChargeState::Full, "battery");
    row("charging 88.5 rounds to 88",
        QStringList{"--percentage", "88.5", "--state", "charging", "--on-ac"}, kOn, 88,
        ChargeState::Charging, "battery");
    row("43.5 rounds to 44", QStringList{"--percentage", "43.5"}, kOff, 44,
        ChargeState::Discharging, "battery");
    row("empty", QStringList{"--percentage", "0", "--state", "empty"}, kOff, 0, ChargeState::Empty,
        "battery");
    row("pending charge", QStringList{"--state", "pending-charge", "--on-ac"}, kOn, 57,
        ChargeState::NotCharging, "battery");
    // UPower says Percentage 0 for a machine without battery: not 0 %.
    row("no battery", QStringList{"--no-battery", "--on-ac"}, kOn, kUnknown, ChargeState::NoBattery,
        "");
    // No device listed, the display device charged: it is the battery told.
    row("display device alone", QStringList{"--display-only", "battery"}, kOff, 57,
        ChargeState::Discharging, "battery");
    row("a UPS UPower does not list", QStringList{"--display-only", "ups"}, kOff, 57,
        ChargeState::Discharging, "ups");
}

void TestUPowerPowerSource::readsTheDisplayDevice()
{
    QFETCH(QStringList, mock);
    QFETCH(int, line);
    QFETCH(int, percent);
    QFETCH(ChargeState, state);
    QFETCH(QString, told);

    QVERIFY(m_env.startMock(mock));
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QCOMPARE(source.read().acLineStatus, line);
    QCOMPARE(source.read().batteryLifePercent, percent);
    QCOMPARE(source.batteryDetails().state, state);
    // The round tells the same, battery by battery.
    QSignalSpy rounds(&source, &tellavo::PowerSource::detailsChanged);
    source.refreshDetails();
    QVERIFY(rounds.wait(kSoon));
    const BatteryDetails details = source.batteryDetails();
    QCOMPARE(details.state, state);
    QStringList batteries;
    for (const tellavo::BatteryPack& pack : details.batteries)
        batteries << (pack.ups ? "ups" : "battery");
    QCOMPARE(batteries.join(','), told);
}

// A change made with the mock's SetDeviceProperties is read within a second,
// while the reads go on as the tick makes them, and the mock sees no call
// after the first GetAll of each object.
void TestUPowerPowerSource::changesArriveBySignalAlone()
{
    QVERIFY(m_env.startMock());
    UPowerPowerSource source;  // liveness every 30 s: not within this test
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QCOMPARE(source.read().batteryLifePercent, 57);
    QCOMPARE(m_mock.calls("GetAll", kRootPath), 1);
    QCOMPARE(m_mock.calls("GetAll", kDisplayPath), 1);
    ChangeLog changed(source);

    QVERIFY(m_mock.send("percentage 30"));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, 30, 1000);
    QVERIFY(m_mock.send("on-battery false"));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().acLineStatus, kOn, 1000);
    for (int tick = 0; tick < 20; ++tick) {
        QCOMPARE(source.read().acLineStatus, kOn);
        QCOMPARE(source.read().batteryLifePercent, 30);
        QTest::qWait(100);
    }

    QCOMPARE(changed.readings(), 2);
    QCOMPARE(m_mock.calls("GetAll", kRootPath), 1);
    QCOMPARE(m_mock.calls("GetAll", kDisplayPath), 1);
    QCOMPARE(m_mock.calls("Get", kRootPath), 0);
    QCOMPARE(m_mock.calls("Get", kDisplayPath), 0);
}

void TestUPowerPowerSource::readingsChangedOnlyOnRealChange()
{
    QVERIFY(m_env.startMock());
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    ChangeLog changed(source);

    // None of these changes a reading...
    QVERIFY(m_mock.send("percentage 57.3"));
    QVERIFY(m_mock.send("state charging"));
    QVERIFY(m_mock.send("set display Energy 12.5"));
    QVERIFY(m_mock.send("set display IconName 'battery-low'"));
    QVERIFY(m_mock.send("set root LidIsClosed true"));
    QVERIFY(m_mock.send("set root OnBattery true"));
    // ...this one does, and it comes after them on the same connection.
    QVERIFY(m_mock.send("percentage 58"));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, 58, kSoon);
    QCOMPARE(changed.readings(), 1);
}

// The state and the times, by signal (set) or by the GetAll an invalidation
// calls for: the display device's 28.5 of 50 Wh over its rate. Before each
// row the rate is set to 10 W (2 h 51 min to empty), so that a row that ends
// with another time, or none, shows its signal has come. A figure of the
// wrong type or out of all reason is none (UPower's are doubles).
void TestUPowerPowerSource::details_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<ChargeState>("state");
    QTest::addColumn<double>("toEmpty");
    QTest::addColumn<double>("toFull");

    using S = ChargeState;
    const auto row = [](const char* tag, const QStringList& commands, S state, double toEmpty,
                        double toFull) {
        QTest::newRow(tag) << commands << state << toEmpty << toFull;
    };
    row("State charging: 21.5 Wh to go", {"set display State @u 1"}, S::Charging, 0, 7740);
    row("State out of range", {"set display State @u 7"}, S::Unknown, 0, 0);
    row("State a string", {"set display State 'charging'"}, S::Unknown, 0, 0);
    row("EnergyRate", {"set display EnergyRate 5.0"}, S::Discharging, 20520, 0);
    row("EnergyRate negative", {"set display EnergyRate -5.0"}, S::Discharging, 20520, 0);
    row("EnergyRate huge", {"set display EnergyRate 1e300"}, S::Discharging, 0, 0);
    row("EnergyRate an int32", {"set display EnergyRate 10"}, S::Discharging, 0, 0);
    row("EnergyRate NaN", {"set display EnergyRate nan"}, S::Discharging, 0, 0);
    row("EnergyRate a trickle: past ten days", {"set display EnergyRate 0.01"}, S::Discharging, 0,
        0);
    row("Energy in a variant", {"set display Energy <28.5>"}, S::Discharging, 0, 0);
    row("fetched: EnergyRate", {"invalidate display EnergyRate 4.0"}, S::Discharging, 25650, 0);
    row("fetched: EnergyRate gone", {"invalidate display EnergyRate"}, S::Discharging, 0, 0);
}

void TestUPowerPowerSource::details()
{
    QFETCH(QStringList, commands);
    QFETCH(ChargeState, state);
    QFETCH(double, toEmpty);
    QFETCH(double, toFull);

    QVERIFY(m_env.startMock());
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QVERIFY(m_mock.send("set display EnergyRate 10.0"));
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryDetails().secondsToEmpty, 10260.0, kSoon);
    QCOMPARE(source.batteryDetails().state, ChargeState::Discharging);
    QCOMPARE(source.batteryDetails().secondsToFull, 0.0);
    ChangeLog changed(source);

    for (const QString& command : commands)
        QVERIFY2(m_mock.send(command), qPrintable(m_mock.answer()));
    const auto matches = [&] {
        const BatteryDetails d = source.batteryDetails();
        return d.state == state && d.secondsToEmpty == toEmpty && d.secondsToFull == toFull;
    };
    QTRY_VERIFY_WITH_TIMEOUT(matches(), kSoon);
    // Neither is a reading: the window's sleeping tick is not woken for them.
    QCOMPARE(changed.readings(), 0);
    QCOMPARE(source.read().batteryLifePercent, 57);
}

// The tip's round (each battery's watts and times) holds while it tells the
// truth: a tip shown again within seconds reuses it; once the charger is
// plugged in, or the machine woke, its times and watts are not shown, the
// state is, and the next tip asks anew.
void TestUPowerPowerSource::roundHeldOrAskedAgain_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<bool>("asksAgain");
    row("shown again at once: reused", "", false, false);
    row("shown again after 5 s: asked again", "wait", false, true);
    row("the charger plugged in", "plug", true, true);
    row("a wake", "wake", true, true);
}

void TestUPowerPowerSource::roundHeldOrAskedAgain()
{
    QFETCH(QString, then);
    QFETCH(bool, stale);
    QFETCH(bool, asksAgain);
    QVERIFY(m_env.startMock());
    // The machine's clocks, all three moved on together when the row lets time pass.
    std::int64_t passedMs = 0;
    const auto clock = [&passedMs](clockid_t id) {
        return [&passedMs, id] { return tellavo::clockMs(id) + passedMs; };
    };
    tellavo::Wakes wakes(clock(CLOCK_BOOTTIME), clock(CLOCK_MONOTONIC), clock(CLOCK_REALTIME));
    UPowerPowerSource source({}, &wakes);
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QSignalSpy rounds(&source, &tellavo::PowerSource::detailsChanged);
    source.refreshDetails();
    QVERIFY(rounds.wait(kSoon));
    QCOMPARE(source.batteryDetails().watts, 10.0);
    const int asked = m_mock.calls("EnumerateDevices", {});

    if (then == QLatin1String("wait")) {
        passedMs += 5100;
    } else if (then == QLatin1String("plug")) {
        QVERIFY(m_mock.send("state charging"));
        QVERIFY(m_mock.send("on-battery false"));
        QTRY_COMPARE_WITH_TIMEOUT(source.read().acLineStatus, kOn, kSoon);
    } else if (then == QLatin1String("wake")) {
        source.wakes().woke();
    }
    const BatteryDetails held = source.batteryDetails();
    QCOMPARE(held.watts, stale ? 0.0 : 10.0);
    QCOMPARE(held.secondsToEmpty + held.secondsToFull > 0.0, !stale);
    QCOMPARE(held.state,
             then == QLatin1String("plug") ? ChargeState::Charging : ChargeState::Discharging);
    source.refreshDetails();
    if (asksAgain)
        QVERIFY(rounds.wait(kSoon));
    else
        QVERIFY(!rounds.wait(300));
    QCOMPARE(m_mock.calls("EnumerateDevices", {}), asked + (asksAgain ? 1 : 0));
    QCOMPARE(source.batteryDetails().watts, 10.0);
}

// With a short period: one GetAll per period, of the two objects in turn,
// however often the readings are taken.
void TestUPowerPowerSource::livenessAsksOncePerPeriod()
{
    constexpr int kPeriod = 200;
    QVERIFY(m_env.startMock());
    UPowerPowerSource source(quick(kPeriod, 2000, 1000));
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    const int root0 = m_mock.calls("GetAll", kRootPath);
    const int display0 = m_mock.calls("GetAll", kDisplayPath);

    QElapsedTimer clock;
    clock.start();
    int ticks = 0;
    while (clock.elapsed() < 10 * kPeriod) {
        source.read().acLineStatus;
        source.read().batteryLifePercent;
        ++ticks;
        QTest::qWait(10);
    }
    const int periods = int(clock.elapsed() / kPeriod);
    const int root = m_mock.calls("GetAll", kRootPath) - root0;
    const int display = m_mock.calls("GetAll", kDisplayPath) - display0;
    const QByteArray counts = QByteArray::number(root) + " root, " + QByteArray::number(display) +
                              " display calls in " + QByteArray::number(periods) + " periods, " +
                              QByteArray::number(ticks) + " ticks";
    QVERIFY2(ticks > 3 * periods, counts.constData());
    QVERIFY2(root + display >= periods / 2 && root + display <= periods + 1, counts.constData());
    QVERIFY2(qAbs(root - display) <= 1, counts.constData());
    QCOMPARE(m_mock.calls("Get", kDisplayPath), 0);
    QVERIFY(source.isAvailable());
}

// UPower talks (a signal every 100 ms that changes no reading, as upowerd's
// refreshes of a discharging battery do) for five periods: no liveness call.
// Then it falls silent, and the call comes one period after its last word; or
// it hangs, and is noticed within that period and the reply timeout.
void TestUPowerPowerSource::livenessWaitsForSilence_data()
{
    QTest::addColumn<bool>("hang");
    row("falls silent", false);
    row("hangs", true);
}

void TestUPowerPowerSource::livenessWaitsForSilence()
{
    QFETCH(bool, hang);
    constexpr int kPeriod = 1000;
    constexpr int kTimeout = 500;
    QVERIFY(m_env.startMock());
    UPowerPowerSource source(quick(kPeriod, kTimeout, 60'000));
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    const auto calls = [this] {
        return m_mock.calls("GetAll", kRootPath) + m_mock.calls("GetAll", kDisplayPath);
    };
    const int before = calls();

    QElapsedTimer clock;
    clock.start();
    // Not send(): the wait for each answer would hold the source's event loop
    // up, and the silence it saw would be the test's own.
    for (int i = 0; clock.elapsed() < 5 * kPeriod; ++i) {
        m_mock.post(QStringLiteral("set display Energy %1").arg(40.0 - i * 0.01));
        QTest::qWait(100);
    }
    QVERIFY2(m_mock.answered(), qPrintable(m_mock.answer()));
    QCOMPARE(calls(), before);
    clock.restart();
    if (hang) {
        m_mock.pause();
        QTRY_VERIFY_WITH_TIMEOUT(!source.isAvailable(), kPeriod + kTimeout + 1000);
        QVERIFY2(clock.elapsed() >= kTimeout, qPrintable(QString::number(clock.elapsed())));
        m_mock.resume();
    } else {
        QTest::qWait(kPeriod / 2);
        QCOMPARE(calls(), before);
        QTRY_COMPARE_WITH_TIMEOUT(calls(), before + 1, kPeriod);
        QVERIFY(source.isAvailable());
    }
}

// The mock starts on battery at 57 %; each row sends values of the wrong type
// or out of all reason, by signal (set) or by the GetAll that an invalidation
// calls for (invalidate). A lenient reading (a string "42" taken as 42, an
// unsigned 1 as true) would give a number here; the right answer is 255. Rows
// that leave the readings as they were end with a change of the line status,
// which arrives after the bad signal, so the check comes after it.
void TestUPowerPowerSource::badValues_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");
    // The GetAll calls the commands bring, of each object; -1: not counted.
    QTest::addColumn<int>("rootFetches");
    QTest::addColumn<int>("displayFetches");

    const auto row = [](const char* tag, const QStringList& commands, int line, int percent,
                        int rootFetches = -1, int displayFetches = -1) {
        QTest::newRow(tag) << commands << line << percent << rootFetches << displayFetches;
    };
    // A signal that names a property without its value: the source asks for
    // the object's properties again, once, and only for a property it reads.
    row("Percentage", {"invalidate display Percentage 42.0"}, kOff, 42, 0, 1);
    row("IsPresent", {"invalidate display IsPresent false"}, kOff, kUnknown, 0, 1);
    row("Type", {"invalidate display Type @u 5"}, kOff, kUnknown, 0, 1);
    row("OnBattery", {"invalidate root OnBattery false"}, kOn, 57, 1, 0);
    row("Percentage gone", {"invalidate display Percentage"}, kOff, kUnknown, 0, 1);
    row("OnBattery gone", {"invalidate root OnBattery"}, kUnknown, 57, 1, 0);
    row("a property not read: no call", {"invalidate display IconName 'x'", "on-battery false"},
        kOn, 57, 0, 0);

    row("Percentage a string", {"set display Percentage 'hello'"}, kOff, kUnknown);
    row("Percentage a string of digits", {"set display Percentage '42'"}, kOff, kUnknown);
    row("Percentage NaN", {"set display Percentage nan"}, kOff, kUnknown);
    row("Percentage infinite", {"set display Percentage inf"}, kOff, kUnknown);
    row("Percentage minus infinite", {"set display Percentage -inf"}, kOff, kUnknown);
    row("Percentage 1e308", {"set display Percentage 1e308"}, kOff, kUnknown);
    row("Percentage 250", {"set display Percentage 250.0"}, kOff, kUnknown);
    row("Percentage -5", {"set display Percentage -5.0"}, kOff, kUnknown);
    row("Percentage 100.4 is full", {"set display Percentage 100.4"}, kOff, 100);
    row("Percentage -0.4 is empty", {"set display Percentage -0.4"}, kOff, 0);
    row("Percentage an unsigned", {"set display Percentage @u 42"}, kOff, kUnknown);
    row("Percentage an int32", {"set display Percentage 42"}, kOff, kUnknown);
    row("Percentage in a variant", {"set display Percentage <42.0>"}, kOff, kUnknown);
    row("Percentage an array", {"set display Percentage [42.0]"}, kOff, kUnknown);
    row("Percentage a dictionary", {"set display Percentage {'a': <42.0>}"}, kOff, kUnknown);
    row("IsPresent a string", {"set display IsPresent 'true'"}, kOff, kUnknown);
    row("IsPresent an unsigned", {"set display IsPresent @u 1"}, kOff, kUnknown);
    row("IsPresent false", {"set display IsPresent false"}, kOff, kUnknown);
    row("Type a string", {"set display Type '2'"}, kOff, kUnknown);
    row("Type an int32", {"set display Type 2"}, kOff, kUnknown);
    row("Type a double", {"set display Type 2.0"}, kOff, kUnknown);
    row("Type line power", {"set display Type @u 1"}, kOff, kUnknown);
    row("Type mouse", {"set display Type @u 5"}, kOff, kUnknown);
    row("Type UPS is a battery", {"set display Type @u 3", "set display Percentage 42.0"}, kOff,
        42);
    row("OnBattery a string", {"set root OnBattery 'false'"}, kUnknown, 57);
    row("OnBattery an unsigned", {"set root OnBattery @u 0"}, kUnknown, 57);
    row("OnBattery in a variant", {"set root OnBattery <false>"}, kUnknown, 57);
    row("OnBattery false", {"set root OnBattery false"}, kOn, 57);

    row("fetched: Percentage NaN", {"invalidate display Percentage nan"}, kOff, kUnknown);
    row("fetched: Percentage a string", {"invalidate display Percentage '42'"}, kOff, kUnknown);
    row("fetched: IsPresent an unsigned", {"invalidate display IsPresent @u 1"}, kOff, kUnknown);
    row("fetched: Type an int32", {"invalidate display Type 2"}, kOff, kUnknown);
    row("fetched: OnBattery a string", {"invalidate root OnBattery 'false'"}, kUnknown, 57);
    row("fetched: everything gone",
        {"invalidate display Percentage", "invalidate display IsPresent", "invalidate display Type",
         "invalidate root OnBattery"},
        kUnknown, kUnknown);

    row("signal of another interface",
        {"emit display ('org.example.Other', {'Percentage': <42.0>}, @as [])", "on-battery false"},
        kOn, 57);
    row("device properties from the root object",
        {"emit root ('org.freedesktop.UPower.Device', {'Percentage': <42.0>}, @as [])",
         "on-battery false"},
        kOn, 57);
    row("signal of other arguments", {"emit display (1, 2)", "on-battery false"}, kOn, 57);
    row("signal with a list for the map",
        {"emit display ('org.freedesktop.UPower.Device', ['Percentage'], @as [])",
         "on-battery false"},
        kOn, 57);
    row("signal without the invalidated list",
        {"emit display ('org.freedesktop.UPower.Device', {'Percentage': <42.0>})",
         "on-battery false"},
        kOn, 57);
    row("signal with an empty map",
        {"emit display ('org.freedesktop.UPower.Device', @a{sv} {}, @as [])", "on-battery false"},
        kOn, 57);
}

void TestUPowerPowerSource::badValues()
{
    QFETCH(QStringList, commands);
    QFETCH(int, line);
    QFETCH(int, percent);
    QFETCH(int, rootFetches);
    QFETCH(int, displayFetches);

    QVERIFY(m_env.startMock());
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    const int root0 = m_mock.calls("GetAll", kRootPath);
    const int display0 = m_mock.calls("GetAll", kDisplayPath);
    for (const QString& command : commands)
        QVERIFY2(m_mock.send(command), qPrintable(m_mock.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().acLineStatus, line, kSoon);
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, percent, kSoon);
    if (rootFetches >= 0) {
        QTest::qWait(200);  // a second call, if one were made, would show by now
        QCOMPARE(m_mock.calls("GetAll", kRootPath) - root0, rootFetches);
        QCOMPARE(m_mock.calls("GetAll", kDisplayPath) - display0, displayFetches);
    }
    QVERIFY(source.isAvailable());
}

void TestUPowerPowerSource::recoversFromBadValues()
{
    QVERIFY(m_env.startMock());
    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QVERIFY(m_mock.send("set display Percentage nan"));
    QVERIFY(m_mock.send("set root OnBattery 'yes'"));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, kUnknown, kSoon);
    QTRY_COMPARE_WITH_TIMEOUT(source.read().acLineStatus, kUnknown, kSoon);
    QVERIFY(m_mock.send("percentage 42"));
    QVERIFY(m_mock.send("on-battery false"));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, 42, kSoon);
    QTRY_COMPARE_WITH_TIMEOUT(source.read().acLineStatus, kOn, kSoon);
}

void TestUPowerPowerSource::availabilityFollowsTheName()
{
    UPowerPowerSource source;
    ChangeLog availability(source);
    QTest::qWait(200);
    QVERIFY(!source.isAvailable());
    QCOMPARE(source.read().acLineStatus, kUnknown);
    QCOMPARE(source.read().batteryLifePercent, kUnknown);
    QCOMPARE(availability.sources(), 0);

    QVERIFY(m_env.startMock());
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QCOMPARE(availability.sources(), 1);
    QCOMPARE(availability.announcing.at(0), true);
    QCOMPARE(source.read().batteryLifePercent, 57);

    m_mock.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!source.isAvailable(), kSoon);
    QCOMPARE(availability.sources(), 2);
    QCOMPARE(availability.announcing.at(1), false);
    QCOMPARE(source.read().acLineStatus, kUnknown);
    QCOMPARE(source.read().batteryLifePercent, kUnknown);

    QVERIFY(m_env.startMock({"--percentage", "80", "--on-ac"}));
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QCOMPARE(source.read().acLineStatus, kOn);
    QCOMPARE(source.read().batteryLifePercent, 80);

    m_mock.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!source.isAvailable(), kSoon);
    QCOMPARE(availability.sources(), 4);
}

// A stopped UPower (A) has a liveness GetAll waiting; another one (B) takes
// the name; A wakes and answers with its old 57 %. That answer belongs to a
// service that no longer owns the name and must change nothing.
void TestUPowerPowerSource::lateReplyFromFormerOwnerIsDropped()
{
    QVERIFY(m_env.startMock());
    UPowerPowerSource source(quick(300, 5000, 1000));
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    const int answeredBefore = m_mock.calls("GetAll", kDisplayPath);

    m_mock.pause();
    QTest::qWait(500);  // a liveness call goes out to A and waits there
    ServiceDriver other(QStringLiteral("upower_mock.py"), m_env.filePath("other.log"));
    QVERIFY2(other.start({"--percentage", "30"}), qPrintable(other.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.read().batteryLifePercent, 30, kSoon);
    // B's own liveness answers would soon mend a wrong reading: watch for
    // any change at all instead.
    ChangeLog changed(source);
    ChangeLog availability(source);

    m_mock.resume();
    QTRY_VERIFY_WITH_TIMEOUT(m_mock.calls("GetAll", kDisplayPath) > answeredBefore, kSoon);
    QTest::qWait(300);  // A's answer reaches the source
    QCOMPARE(changed.readings(), 0);
    QCOMPARE(availability.sources(), 0);
    QCOMPARE(source.read().batteryLifePercent, 30);
}

// The source alone; tst_power_hung_service times the whole power status.
void TestUPowerPowerSource::hungServiceCountsAsAbsent()
{
    QVERIFY(m_env.startMock());
    UPowerPowerSource source(quick(300, 500, 500));
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    m_mock.pause();
    QTRY_VERIFY_WITH_TIMEOUT(!source.isAvailable(), kSoon);
    QCOMPARE(source.read().acLineStatus, kUnknown);
    QCOMPARE(source.read().batteryLifePercent, kUnknown);
    m_mock.resume();
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QCOMPARE(source.read().batteryLifePercent, 57);
}

// The name is owned but the display device is gone: the liveness call fails.
void TestUPowerPowerSource::errorRepliesCountAsAbsent()
{
    QVERIFY(m_env.startMock());
    UPowerPowerSource source(quick(300, 2000, 500));
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), kSoon);
    QVERIFY(m_mock.send("remove-object display"));
    QTRY_VERIFY_WITH_TIMEOUT(!source.isAvailable(), kSoon);
    QCOMPARE(source.read().acLineStatus, kUnknown);
    QCOMPARE(source.read().batteryLifePercent, kUnknown);
}

QTEST_GUILESS_MAIN(TestUPowerPowerSource)
#include "tst_upower_power_source.moc"
