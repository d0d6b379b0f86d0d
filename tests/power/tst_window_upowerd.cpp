// The battery window on the real upowerd over a fake kernel battery: its tick
// sleeps while the battery holds still, each change wakes it, and when UPower
// goes it ticks once a second again, on the kernel's files.
#include "bus_services.h"
#include "system_power_status.h"
#include "window_harness.h"

using namespace tellavo;

class TestWindowUpowerd : public QObject {
    Q_OBJECT
private slots:
    void init() { m_services.start(); }
    void sleepsAndWakes();

private:
    test::UpowerdOnBus m_services;
};

void TestWindowUpowerd::sleepsAndWakes()
{
    test::ServiceDriver& upowerd = m_services.upowerd();
    // The kernel's files say something else (mains, 88 %), to see the switch.
    SystemPowerStatus status(tellavo::test::fixturesDir() + QStringLiteral("/laptop_charging"),
                             UPowerTimings());
    QTRY_VERIFY_WITH_TIMEOUT(status.usingUPower(), 5000);
    test::WindowHarness h(status, 20, true);
    QVERIFY2(h.w && h.errors.isEmpty(), qPrintable(h.errors.join(QLatin1Char('\n'))));
    h.onError = [&h] { QFAIL(qPrintable(h.errors.last())); };
    FrmPrinc* w = h.w;
    int ticks = 0;
    // Every tick comes from one of the window's timers.
    for (QTimer* timer : w->findChildren<QTimer*>())
        connect(timer, &QTimer::timeout, w, [&ticks] { ++ticks; });

    QTRY_COMPARE_WITH_TIMEOUT(h.label(), QStringLiteral(" 57%"), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(w->tickScheduler().asleep(), 3000);
    QCOMPARE(test::shownPicture(w), 5);
    ticks = 0;
    QTest::qWait(2500);
    QCOMPARE(ticks, 0);
    QVERIFY(!test::named<QTimer>(w, "Timer1")->isActive());

    // The kernel reports a lower charge: upowerd's signal wakes the tick.
    QVERIFY2(upowerd.send("battery 30 Discharging"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(h.label(), QStringLiteral(" 30%"), 4000);
    QTRY_COMPARE_WITH_TIMEOUT(test::shownPicture(w), 8, 2500);
    QTRY_VERIFY_WITH_TIMEOUT(w->tickScheduler().asleep(), 2500);

    // The charger goes in: the mains picture, then sleep again.
    QVERIFY2(upowerd.send("ac 1"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(test::shownPicture(w), 21, 4000);
    QTRY_VERIFY_WITH_TIMEOUT(w->tickScheduler().asleep(), 2500);
    QVERIFY2(upowerd.send("ac 0"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(test::shownPicture(w), 8, 4000);
    QTRY_VERIFY_WITH_TIMEOUT(w->tickScheduler().asleep(), 2500);

    // A threshold above the charge, as OK in the options dialog sets it.
    QVERIFY(!h.boxes.warningBox());
    h.state().Soglia = 35;
    h.module->settingsChanged();
    QTRY_VERIFY_WITH_TIMEOUT(h.boxes.warningBox(), 1500);
    h.boxes.warningBox()->close();

    // UPower goes: the files take over, read once a second.
    upowerd.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!status.usingUPower(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(h.label(), QStringLiteral(" 88%"), 2500);
    QVERIFY(!w->tickScheduler().asleep());
    ticks = 0;
    QTest::qWait(3500);
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    QVERIFY(test::named<QTimer>(w, "Timer1")->isActive());
}

QTEST_MAIN(TestWindowUpowerd)
#include "tst_window_upowerd.moc"
