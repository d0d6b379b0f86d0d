// The real upowerd, on a private bus, over a fake kernel battery made with
// umockdev (tests/lib/upowerd_umockdev.py). The battery changes as the kernel
// would announce it; with the default timings (a liveness call after 60 s)
// only upowerd's PropertiesChanged can bring the change within seconds.
#include "bus_services.h"
#include "upower_power_source.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using tellavo::UPowerPowerSource;
using tellavo::test::PrivateBus;
using tellavo::test::ServiceDriver;
namespace power = tellavo::power;

class TestUpowerdUmockdev : public QObject {
    Q_OBJECT
private slots:
    void followsTheKernelBattery();
};

void TestUpowerdUmockdev::followsTheKernelBattery()
{
    QVERIFY2(QFileInfo(QStringLiteral("/usr/libexec/upowerd")).isExecutable(),
             "needs the upower package (scripts/deps.sh test)");
    QTemporaryDir tmp;
    PrivateBus bus(tmp.path());
    QVERIFY2(bus.start(), qPrintable(bus.error()));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
    ServiceDriver upowerd(QStringLiteral("upowerd_umockdev.py"),
                          tmp.filePath(QStringLiteral("upowerd.log")));
    QVERIFY2(upowerd.start({"--percentage", "57", "--status", "Discharging", "--ac-online", "0"}),
             qPrintable(upowerd.answer()));

    UPowerPowerSource source;
    QTRY_VERIFY_WITH_TIMEOUT(source.isAvailable(), 5000);
    QCOMPARE(source.acLineStatus(), power::kAcOffline);
    QCOMPARE(source.batteryLifePercent(), 57);
    QSignalSpy changed(&source, &UPowerPowerSource::readingsChanged);

    QVERIFY2(upowerd.send("battery 30 Discharging"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryLifePercent(), 30, 3000);
    QCOMPARE(source.acLineStatus(), power::kAcOffline);

    QVERIFY2(upowerd.send("ac 1"), qPrintable(upowerd.answer()));
    QVERIFY2(upowerd.send("battery 88 Charging"), qPrintable(upowerd.answer()));
    QTRY_COMPARE_WITH_TIMEOUT(source.acLineStatus(), power::kAcOnline, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(source.batteryLifePercent(), 88, 3000);
    QVERIFY(changed.count() >= 2);
    QVERIFY(source.isAvailable());
}

QTEST_GUILESS_MAIN(TestUpowerdUmockdev)
#include "tst_upowerd_umockdev.moc"
