// The kernel's power supply files: the fixture trees of tests/power/fixtures,
// and trees built here for what a fixture in git cannot hold (FIFOs, device
// links, huge files) or for one broken file at a time. Both the readings of
// the tick and the battery details of the tool tip.
#include "bus_services.h"
#include "data_row.h"
#include "file_tree.h"
#include "sysfs_power_source.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using tellavo::ChargeState;
using tellavo::PowerSupplyList;
using tellavo::SysfsPowerSource;
namespace power = tellavo::power;

using tellavo::test::Files;
using tellavo::test::putAnew;
using tellavo::test::row;
using tellavo::test::writeFile;
using tellavo::test::writeTree;
Q_DECLARE_METATYPE(Files)
Q_DECLARE_METATYPE(tellavo::ChargeState)

namespace {

constexpr int kOff = power::kAcOffline;
constexpr int kOn = power::kAcOnline;
constexpr int kUnknown = power::kUnknown;

// A discharging battery at 57 % by capacity, 40 % by energy and 25 % by
// charge: which figure comes out tells which file was used.
Files battery(const QString& name = QStringLiteral("BAT0"))
{
    const QString d = name + QLatin1Char('/');
    return {{d + "type", "Battery\n"},        {d + "present", "1\n"},
            {d + "status", "Discharging\n"},  {d + "capacity", "57\n"},
            {d + "energy_now", "20000000\n"}, {d + "energy_full", "50000000\n"},
            {d + "charge_now", "1000000\n"},  {d + "charge_full", "4000000\n"}};
}

Files with(Files files, const Files& changes)
{
    for (auto it = changes.begin(); it != changes.end(); ++it)
        files[it.key()] = it.value();
    return files;
}

Files without(Files files, const QStringList& paths)
{
    for (const QString& path : paths)
        files.remove(path);
    return files;
}

Files charger(const QByteArray& online, const QByteArray& type = "Mains",
              const QString& name = QStringLiteral("AC"))
{
    return {{name + "/type", type + '\n'}, {name + "/online", online}};
}

Files operator+(Files a, const Files& b)
{
    return with(std::move(a), b);
}

// How many descriptors this process holds on the folder and the files under
// it, and whether all of them are close-on-exec.
QPair<int, bool> filesUnder(const QString& dir)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(dir).canonicalFilePath());
    QPair<int, bool> held(0, true);
    for (int fd = 0; fd < 1024; ++fd) {
        char target[4096];
        const ssize_t len = ::readlink(qPrintable(QStringLiteral("/proc/self/fd/%1").arg(fd)),
                                       target, sizeof target);
        const QByteArray path(target, len > 0 ? int(len) : 0);
        if (path != folder && !path.startsWith(folder + '/'))
            continue;
        ++held.first;
        held.second = held.second && (::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    return held;
}

// A fixture tree behind a FUSE folder whose reads of chosen files fail with
// ENODEV (tests/lib/failing_sysfs.py), unmounted at the end even if the
// driver has died.
class FailingTree {
public:
    FailingTree(const QString& dir, const QString& fixture, const QStringList& failing)
        : m_mount(dir + QStringLiteral("/power_supply")),
          m_log(dir + QStringLiteral("/reads.log")),
          m_driver(QStringLiteral("failing_sysfs.py"), m_log)
    {
        QStringList arguments{QStringLiteral("--source"),
                              tellavo::test::fixturesDir() + QLatin1Char('/') + fixture,
                              QStringLiteral("--mount"), m_mount};
        for (const QString& file : failing)
            arguments << QStringLiteral("--fail") << file;
        m_started = QDir().mkpath(m_mount) && m_driver.start(arguments);
    }
    ~FailingTree()
    {
        m_driver.stop();
        // The driver unmounts as it ends; a mount it left (its folder on
        // another device than its parent, or no longer answering) is taken
        // away here.
        struct stat mount;
        struct stat parent;
        if (::stat(QFile::encodeName(m_mount).constData(), &mount) != 0 ||
            (::stat(QFile::encodeName(m_mount + QStringLiteral("/..")).constData(), &parent) == 0 &&
             mount.st_dev != parent.st_dev))
            QProcess::execute(QStringLiteral("fusermount3"),
                              {QStringLiteral("-u"), QStringLiteral("-z"), m_mount});
    }
    FailingTree(const FailingTree&) = delete;
    FailingTree& operator=(const FailingTree&) = delete;

    bool started() const { return m_started; }
    QString mount() const { return m_mount; }
    tellavo::test::ServiceDriver& driver() { return m_driver; }
    // The reads of a file that reached the FUSE folder so far.
    int reads(const QString& file) const
    {
        return m_driver.calls(QStringLiteral("read"), QLatin1Char('/') + file);
    }

private:
    QString m_mount;
    QString m_log;
    tellavo::test::ServiceDriver m_driver;
    bool m_started = false;
};

// The supplies the list holds after a refresh, sorted.
QStringList listed(PowerSupplyList& list)
{
    list.refresh();
    QStringList names;
    for (std::size_t i = 0; i < list.count(); ++i)
        names << QString::fromStdString(list.name(i));
    names.sort();
    return names;
}

// Line status, percentage, state and times in one line, to compare at once.
QString readings(int line, int percent, ChargeState state, double toEmpty, double toFull = 0.0)
{
    return QStringLiteral("line %1 percent %2 state %3 empty %4 full %5")
        .arg(line)
        .arg(percent)
        .arg(static_cast<int>(state))
        .arg(toEmpty)
        .arg(toFull);
}

QString readings(SysfsPowerSource& source)
{
    const int line = source.read().acLineStatus;
    const int percent = source.read().batteryLifePercent;
    const tellavo::BatteryDetails details = source.batteryDetails();
    return readings(line, percent, details.state, details.secondsToEmpty, details.secondsToFull);
}

}  // namespace

class TestSysfsPowerSource : public QObject {
    Q_OBJECT
private slots:
    void fixtureTrees_data();
    void fixtureTrees();
    void builtTrees_data();
    void builtTrees();
    void batteryDetails_data();
    void batteryDetails();
    void steadyTimeLeft_data();
    void steadyTimeLeft();
    void filesThatAreNotValues_data();
    void filesThatAreNotValues();
    void suppliesComeAndGo();
    void rootThatIsNoTree_data();
    void rootThatIsNoTree();
    void listKeptWhileNothingChanges();
    void listFollowsTheTree_data();
    void listFollowsTheTree();
    void listingAloneSeesSuppliesComeAndGo();
    void aFailedReadOfASupplyGoneMakesTheListAnew();
    void filesPastTheBoundReadByPath();
    void readsThatFail_data();
    void readsThatFail();
};

void TestSysfsPowerSource::fixtureTrees_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");
    QTest::addColumn<ChargeState>("state");
    QTest::addColumn<double>("toEmpty");
    QTest::addColumn<double>("toFull");

    using S = ChargeState;
    row("laptop on battery, mouse ignored", "laptop_on_battery", kOff, 57, S::Discharging, 10260.0,
        0.0);
    row("laptop charging", "laptop_charging", kOn, 88, S::Charging, 0.0, 1800.0);
    row("two batteries weighted by energy, times summed", "two_batteries", kOff, 60, S::Discharging,
        14400.0, 0.0);
    row("desktop, mains only", "desktop", kOn, kUnknown, S::NoBattery, 0.0, 0.0);
    row("charge units weighted by charge, times summed, watts from current", "charge_units", kOff,
        64, S::Discharging, 10800.0, 0.0);
    row("energy before charge, no rate", "energy_and_charge", kOn, 50, S::Charging, 0.0, 0.0);
    row("usb-c charger online", "usb_c_charger", kOn, 70, S::Charging, 0.0, 0.0);
    row("no charger listed, charging; headset ignored", "battery_only_charging", kOn, 35,
        S::Charging, 0.0, 0.0);
    row("held at the charge limit, the other pack full", "limit_two_packs", kOn, 87, S::NotCharging,
        0.0, 0.0);
    row("a battery of type Unknown", "unknown_type_battery", kOn, 10, S::Charging, 0.0, 16218.0);
}

void TestSysfsPowerSource::fixtureTrees()
{
    QFETCH(QString, tree);
    QFETCH(int, line);
    QFETCH(int, percent);

    const QString root = tellavo::test::fixturesDir() + QLatin1Char('/') + tree;
    QVERIFY2(QFileInfo(root).isDir(), qPrintable(root));
    SysfsPowerSource source(root.toStdString());
    QCOMPARE(source.read().acLineStatus, line);
    QCOMPARE(source.read().batteryLifePercent, percent);
    QFETCH(ChargeState, state);
    QFETCH(double, toEmpty);
    QFETCH(double, toFull);
    const tellavo::BatteryDetails details = source.batteryDetails();
    QCOMPARE(details.state, state);
    QCOMPARE(details.secondsToEmpty, toEmpty);
    QCOMPARE(details.secondsToFull, toFull);
}

void TestSysfsPowerSource::builtTrees_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");

    const Files bat = battery();
    const Files ratioOnly = without(bat, {"BAT0/capacity"});
    const Files chargeOnly = without(bat, {"BAT0/capacity", "BAT0/energy_now"});

    // Which figure of one battery is used.
    row("capacity first", bat, kOff, 57);
    row("no capacity: energy", ratioOnly, kOff, 40);
    row("no energy_now: charge", chargeOnly, kOff, 25);
    row("energy_full 0: charge, no division by zero",
        with(ratioOnly, {{"BAT0/energy_full", "0\n"}}), kOff, 25);
    row("charge_full 0 too: nothing", with(chargeOnly, {{"BAT0/charge_full", "0\n"}}), kOff,
        kUnknown);
    row("energy_now without energy_full is not mixed with charge_full",
        with(without(ratioOnly, {"BAT0/energy_full", "BAT0/charge_now"}),
             {{"BAT0/energy_now", "2000000\n"}}),
        kOff, kUnknown);
    row("nothing but the type", Files{{"BAT0/type", "Battery\n"}}, kUnknown, kUnknown);

    // Rounding half to even, clamping an overshoot.
    row("42.5 rounds to 42", with(ratioOnly, {{"BAT0/energy_now", "21250000\n"}}), kOff, 42);
    row("43.5 rounds to 44", with(ratioOnly, {{"BAT0/energy_now", "21750000\n"}}), kOff, 44);
    row("energy_now above energy_full is full",
        with(ratioOnly, {{"BAT0/energy_now", "52000000\n"}}), kOff, 100);
    row("capacity 103 is full", with(bat, {{"BAT0/capacity", "103\n"}}), kOff, 100);
    row("capacity 0", with(bat, {{"BAT0/capacity", "0\n"}}), kOff, 0);
    row("no line end", with(bat, {{"BAT0/capacity", "57"}}), kOff, 57);

    // A capacity that is no number falls back to energy.
    for (const auto& [tag, text] : std::initializer_list<std::pair<const char*, QByteArray>>{
             {"capacity empty", ""},
             {"capacity a line end only", "\n"},
             {"capacity text", "abc\n"},
             {"capacity with junk after", "57abc\n"},
             {"capacity two lines", "57\n58\n"},
             {"capacity with a blank", " 57\n"},
             {"capacity negative", "-3\n"},
             {"capacity with a NUL", QByteArray("5\0"
                                                "7\n",
                                                4)},
             {"capacity 255 (no gauge)", "255\n"},
             {"capacity 4294967295", "4294967295\n"},
             {"capacity 19 digits", "1234567890123456789\n"},
             {"capacity binary", QByteArray("\xff\xfe\x01\x02", 4)},
         })
        row(tag, with(bat, {{"BAT0/capacity", text}}), kOff, 40);
    row("energy garbage: charge", with(ratioOnly, {{"BAT0/energy_now", "lots\n"}}), kOff, 25);
    row("energy_now far above full (no gauge): charge",
        with(ratioOnly, {{"BAT0/energy_now", "999999999999\n"}}), kOff, 25);

    // Which batteries count.
    row("present 0 does not count",
        with(bat, {{"BAT0/present", "0\n"}}) + with(battery("BAT1"), {{"BAT1/capacity", "80\n"}}),
        kOff, 80);
    row("present garbage says nothing against it", with(bat, {{"BAT0/present", "yes\n"}}), kOff,
        57);
    row("scope Device does not count", with(bat, {{"BAT0/scope", "Device\n"}}), kUnknown, kUnknown);
    row("scope System counts", with(bat, {{"BAT0/scope", "System\n"}}), kOff, 57);
    // A type of no rule: a charger with an online file, else a battery.
    row("a UPS with online is not the battery",
        with(bat, {{"BAT0/type", "UPS\n"}, {"BAT0/online", "1\n"}}), kOn, kUnknown);
    row("type garbage without online is a battery", with(bat, {{"BAT0/type", "Battery!\n"}}), kOff,
        57);
    row("no type file", without(bat, {"BAT0/type"}), kUnknown, kUnknown);
    row("a file where a supply folder would be", bat + Files{{"BAT1", "Battery\n"}}, kOff, 57);
    row("a supply name of 255 characters", battery(QString(255, QLatin1Char('B'))), kOff, 57);

    // Several batteries.
    const Files small = with(battery("BAT0"), {{"BAT0/capacity", "100\n"},
                                               {"BAT0/energy_full", "20000000\n"},
                                               {"BAT0/charge_full", "1000000\n"}});
    const Files big = with(battery("BAT1"), {{"BAT1/capacity", "50\n"},
                                             {"BAT1/energy_now", "40000000\n"},
                                             {"BAT1/energy_full", "80000000\n"},
                                             {"BAT1/charge_full", "7000000\n"}});
    const QStringList noLevels{"BAT0/energy_now", "BAT0/charge_now", "BAT1/energy_now",
                               "BAT1/charge_now"};
    row("energy summed: 20 and 40 of 100 Wh", small + big, kOff, 60);
    row("one without energy_full: its charge at its voltage (10.8 of 10.8 Wh)",
        with(without(small + big, {"BAT0/energy_full"}),
             {{"BAT0/voltage_min_design", "10800000\n"}}),
        kOff, 56);
    row("one with no level nor full: plain average",
        without(small + big, {"BAT0/energy_full", "BAT0/charge_full"}), kOff, 75);
    row("no levels: weighted by energy_full",
        with(without(small + big, noLevels), {{"BAT1/capacity", "40\n"}}), kOff, 52);
    row("weighted average rounds half to even",
        with(without(small + big, noLevels), {{"BAT0/capacity", "97\n"},
                                              {"BAT1/capacity", "32\n"},
                                              {"BAT0/energy_full", "1\n"},
                                              {"BAT1/energy_full", "1\n"}}),
        kOff, 64);
    row("a broken battery does not count",
        small + with(big, {{"BAT1/capacity", "x\n"},
                           {"BAT1/energy_now", "x\n"},
                           {"BAT1/charge_now", "x\n"}}),
        kOff, 100);

    // The line status.
    row("charger online", bat + charger("1\n"), kOn, 57);
    row("charger online 2 (programmable)", bat + charger("2\n", "USB"), kOn, 57);
    row("charger offline, battery says charging",
        with(bat, {{"BAT0/status", "Charging\n"}}) + charger("0\n"), kOff, 57);
    row("one of two chargers online", bat + charger("0\n") + charger("1\n", "USB_C", "ucsi"), kOn,
        57);
    row("wireless charger online", bat + charger("1\n", "Wireless"), kOn, 57);
    row("charger online garbage: the battery decides", bat + charger("on\n"), kOff, 57);
    row("charger of a device does not count",
        with(bat, {{"BAT0/status", "Charging\n"}}) + charger("0\n") +
            Files{{"AC/scope", "Device\n"}},
        kOn, 57);
    row("mains only, offline", charger("0\n"), kOff, kUnknown);
    row("no charger, Full", with(bat, {{"BAT0/status", "Full\n"}}), kOn, 57);
    row("no charger, Not charging", with(bat, {{"BAT0/status", "Not charging\n"}}), kOn, 57);
    row("no charger, Unknown", with(bat, {{"BAT0/status", "Unknown\n"}}), kUnknown, 57);
    row("no charger, status garbage", with(bat, {{"BAT0/status", "Discharging!\n"}}), kUnknown, 57);
    row("no charger, no status", without(bat, {"BAT0/status"}), kUnknown, 57);
    row("no charger, one discharging and one idle",
        bat + with(without(battery("BAT1"), {"BAT1/energy_now", "BAT1/charge_now"}),
                   {{"BAT1/status", "Unknown\n"}}),
        kOff, 57);
    row("no charger, an absent battery's status does not count",
        with(bat, {{"BAT0/status", "Charging\n"}}) +
            with(battery("BAT1"), {{"BAT1/present", "0\n"}}),
        kOn, 57);
}

void TestSysfsPowerSource::builtTrees()
{
    QFETCH(Files, files);
    QFETCH(int, line);
    QFETCH(int, percent);

    QTemporaryDir root;
    QVERIFY(writeTree(root.path(), files));
    SysfsPowerSource source(root.path().toStdString());
    QCOMPARE(source.read().acLineStatus, line);
    QCOMPARE(source.read().batteryLifePercent, percent);
}

// How each battery's files become the model's figures, one file at a time
// (what the model makes of the figures is its own test's). The battery of
// battery() holds 20 of 50 Wh, or 1 of 4 Ah: at 10 W, or 0.5 A, two hours to
// empty; to full, three hours by energy and six by charge.
void TestSysfsPowerSource::batteryDetails_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<ChargeState>("state");
    QTest::addColumn<double>("toEmpty");
    QTest::addColumn<double>("toFull");

    using S = ChargeState;
    const Files bat = with(battery(), {{"BAT0/power_now", "10000000\n"}});
    const Files charging = with(bat, {{"BAT0/status", "Charging\n"}});
    const Files byCharge = with(without(bat, {"BAT0/energy_now", "BAT0/power_now"}),
                                {{"BAT0/current_now", "500000\n"}});
    constexpr double kHour = 3600.0;
    row("energy and power", bat, S::Discharging, 2 * kHour, 0.0);
    row("charge and current", byCharge, S::Discharging, 2 * kHour, 0.0);
    row("charge and power: the power over the voltage",
        with(without(bat, {"BAT0/energy_now"}), {{"BAT0/voltage_now", "20000000\n"}}),
        S::Discharging, 2 * kHour, 0.0);
    row("rate written negative", with(bat, {{"BAT0/power_now", "-10000000\n"}}), S::Discharging,
        2 * kHour, 0.0);
    row("energy far past full: charge instead",
        with(bat, {{"BAT0/energy_now", "999999999999\n"}, {"BAT0/current_now", "500000\n"}}),
        S::Discharging, 2 * kHour, 0.0);
    row("charging to a limit", with(charging, {{"BAT0/charge_control_end_threshold", "80\n"}}),
        S::Charging, 0.0, 2 * kHour);
    row("limit garbage is none",
        with(charging, {{"BAT0/charge_control_end_threshold", "eighty\n"}}), S::Charging, 0.0,
        3 * kHour);
    row("not charging", with(bat, {{"BAT0/status", "Not charging\n"}}), S::NotCharging, 0.0, 0.0);
}

void TestSysfsPowerSource::batteryDetails()
{
    QFETCH(Files, files);
    QFETCH(ChargeState, state);
    QFETCH(double, toEmpty);
    QFETCH(double, toFull);

    QTemporaryDir root;
    QVERIFY(writeTree(root.path(), files));
    SysfsPowerSource source(root.path().toStdString());
    const tellavo::BatteryDetails details = source.batteryDetails();
    QCOMPARE(details.state, state);
    QCOMPARE(details.secondsToEmpty, toEmpty);
    QCOMPARE(details.secondsToFull, toFull);
}

// A file the source must not read as a value: it would block (a FIFO with no
// writer), never end (/dev/zero) or be huge. Each stands for one file of the
// 57/40/25 battery; what comes out shows the file was passed over, and that
// the call came back at all shows nothing waited on it.
// A battery whose draw swings from 5 W to 25 W and back every second, about
// 15 W: the tick's readings over the last minutes give the time, not the
// draw of the moment (which alone says 1 h 11 min or 5 h 57 min at 37 Wh).
// Before a minute of them, and after a wake, the time is provisional.
void TestSysfsPowerSource::steadyTimeLeft_data()
{
    QTest::addColumn<bool>("swing");
    QTest::addColumn<int>("wakeAt");  // s; the boot clock jumps an hour ahead
    QTest::addColumn<int>("tipAt");   // s; a second tip one second later
    QTest::addColumn<bool>("provisional");

    row("swinging, from a minute on", true, -1, 61, false);
    row("swinging, ten minutes on", true, -1, 600, false);
    row("steady", false, -1, 200, false);
    row("under a minute: provisional", true, -1, 30, true);
    row("just woken: provisional", true, 100, 130, true);
    row("a minute after the wake", true, 100, 161, false);
}

void TestSysfsPowerSource::steadyTimeLeft()
{
    QFETCH(bool, swing);
    QFETCH(int, wakeAt);
    QFETCH(int, tipAt);
    QFETCH(bool, provisional);

    QTemporaryDir root;
    QVERIFY(writeTree(root.path(), battery() + charger("0\n")));
    std::int64_t bootMs = 0;
    std::int64_t monotonicMs = 0;
    tellavo::Wakes wakes([&] { return bootMs; }, [&] { return monotonicMs; },
                         [&] { return bootMs + 1'700'000'000'000; });
    SysfsPowerSource source(root.path().toStdString(), PowerSupplyList::kRelistMs, &wakes);
    double energy = 40.0;  // Wh
    for (int second = 0; second <= tipAt + 1; ++second) {
        const double watts = swing ? (second % 2 ? 25.0 : 5.0) : 15.0;
        energy -= watts / 3600.0;
        QVERIFY(writeTree(root.path(),
                          {{"BAT0/energy_now", QByteArray::number(qint64(energy * 1e6)) + '\n'},
                           {"BAT0/power_now", QByteArray::number(qint64(watts * 1e6)) + '\n'}}));
        if (second == wakeAt)
            bootMs += 3'600'000;
        bootMs += 1000;
        monotonicMs += 1000;
        source.read();
        if (second < tipAt)
            continue;
        const tellavo::BatteryDetails tip = source.batteryDetails();
        QCOMPARE(tip.timesProvisional, provisional);
        if (!provisional)
            QVERIFY2(qAbs(tip.secondsToEmpty / (3600.0 * energy / 15.0) - 1.0) < 0.2,
                     qPrintable(QString::number(tip.secondsToEmpty)));
    }
}

void TestSysfsPowerSource::filesThatAreNotValues_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");

    row("capacity a FIFO", "BAT0/capacity", "fifo", kOff, 40);
    row("type a FIFO", "BAT0/type", "fifo", kUnknown, kUnknown);
    row("status a FIFO", "BAT0/status", "fifo", kUnknown, 57);
    row("capacity /dev/zero", "BAT0/capacity", "zero", kOff, 40);
    row("energy_full /dev/urandom", "BAT0/energy_full", "urandom", kOff, 57);
    row("capacity huge", "BAT0/capacity", "huge", kOff, 40);
    row("capacity 63 digits", "BAT0/capacity", "long", kOff, 40);
    row("capacity a folder", "BAT0/capacity", "folder", kOff, 40);
    row("capacity a dangling link", "BAT0/capacity", "dangling", kOff, 40);
    row("capacity unreadable", "BAT0/capacity", "unreadable", kOff, 40);
    row("the supply a dangling link", "BAT0", "dangling", kUnknown, kUnknown);
}

void TestSysfsPowerSource::filesThatAreNotValues()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(int, line);
    QFETCH(int, percent);

    QTemporaryDir root;
    QVERIFY(writeTree(root.path(), battery()));
    const QString path = root.path() + QLatin1Char('/') + file;
    QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
    const QByteArray p = QFile::encodeName(path);
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(p.constData(), 0644), 0);
    } else if (kind == "zero" || kind == "urandom") {
        QVERIFY(QFile::link(QStringLiteral("/dev/") + kind, path));
    } else if (kind == "huge") {
        // 57 and then a mebibyte of line ends: only a reader that takes it all
        // and trims it would see 57.
        QVERIFY(writeFile(path, "57" + QByteArray(1 << 20, '\n')));
    } else if (kind == "long") {
        QVERIFY(writeFile(path, QByteArray(61, '0') + "57"));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(root.path() + QStringLiteral("/gone"), path));
    } else if (kind == "unreadable") {
        QVERIFY(writeFile(path, "57\n"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        if (::geteuid() == 0)
            QSKIP("root reads any file");
    }
    SysfsPowerSource source(root.path().toStdString());
    QCOMPARE(source.read().acLineStatus, line);
    QCOMPARE(source.read().batteryLifePercent, percent);
}

// Nothing is kept between calls: one source, listing the folder at every
// reading, follows the tree as supplies are plugged and pulled, and as the
// whole folder goes and comes back.
void TestSysfsPowerSource::suppliesComeAndGo()
{
    QTemporaryDir tmp;
    const QString root = tmp.path() + QStringLiteral("/power_supply");
    QVERIFY(QDir().mkpath(root));
    SysfsPowerSource source(root.toStdString(), 0);
    const auto readings = [&source] {
        const int line = source.read().acLineStatus;
        return qMakePair(line, source.read().batteryLifePercent);
    };
    using R = QPair<int, int>;

    QCOMPARE(readings(), R(kUnknown, kUnknown));
    // BAT0 tells no level: the charges are weighed by full energy.
    QVERIFY(writeTree(root, without(battery("BAT0"), {"BAT0/energy_now", "BAT0/charge_now"})));
    QCOMPARE(readings(), R(kOff, 57));
    QVERIFY(writeTree(root, charger("1\n")));
    QCOMPARE(readings(), R(kOn, 57));
    const Files bat1 =
        with(battery("BAT1"), {{"BAT1/capacity", "100\n"}, {"BAT1/energy_full", "150000000\n"}});
    QVERIFY(writeTree(root, bat1));
    QCOMPARE(readings(), R(kOn, 89));  // (57 * 50 + 100 * 150) / 200 = 89.25
    QVERIFY(writeFile(root + "/AC/online", "0\n"));
    QCOMPARE(readings(), R(kOff, 89));
    QVERIFY(QDir(root + "/BAT0").removeRecursively());
    QCOMPARE(readings(), R(kOff, 100));
    QVERIFY(putAnew(root, "BAT1", without(bat1, {"BAT1/capacity"})));  // registered anew
    QCOMPARE(readings(), R(kOff, 13));                                 // 20 of 150 Wh
    QVERIFY(QDir(root + "/BAT1").removeRecursively());
    QCOMPARE(readings(), R(kOff, kUnknown));
    QVERIFY(QDir(root).removeRecursively());
    QCOMPARE(readings(), R(kUnknown, kUnknown));
    QVERIFY(writeTree(root, battery("BAT2")));
    QCOMPARE(readings(), R(kOff, 57));
}

void TestSysfsPowerSource::rootThatIsNoTree_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty folder") << "empty";
    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "file";
    QTest::newRow("empty path") << "empty path";
}

void TestSysfsPowerSource::rootThatIsNoTree()
{
    QFETCH(QString, kind);
    QTemporaryDir tmp;
    QString root = tmp.path() + QStringLiteral("/power_supply");
    if (kind == "empty")
        QVERIFY(QDir().mkpath(root));
    else if (kind == "file")
        QVERIFY(writeFile(root, "Battery\n"));
    else if (kind == "empty path")
        root.clear();
    SysfsPowerSource source(root.toStdString());
    QCOMPARE(source.read().acLineStatus, kUnknown);
    QCOMPARE(source.read().batteryLifePercent, kUnknown);
}

// Nothing changes: the list is made once, though listed at every reading, and
// each file read is kept open (close-on-exec) and read again; the source
// closes them all.
void TestSysfsPowerSource::listKeptWhileNothingChanges()
{
    QTemporaryDir root;
    QVERIFY(writeTree(root.path(), battery() + charger("0\n")));
    {
        SysfsPowerSource source(root.path().toStdString(), 0);
        for (int tick = 0; tick < 50; ++tick) {
            QCOMPARE(source.read().acLineStatus, kOff);
            QCOMPARE(source.read().batteryLifePercent, 57);
        }
        QCOMPARE(source.supplies().scans(), 1ul);
        // The folder, and online, present, capacity and energy_now (kept for
        // the average rate): the battery's status is not read while the
        // charger says offline.
        QCOMPARE(filesUnder(root.path()), qMakePair(5, true));
    }
    QCOMPARE(filesUnder(root.path()).first, 0);
}

// A change to the tree after the list was made, as sysfs makes it: a supply
// comes or goes, a value is rewritten in place, or a supply is registered anew
// (written aside, then moved in whole: a kept file removed or replaced, a
// scope changed). Two batteries (57 % and 80 %, 50 Wh each, 68 % together) and
// a charger offline; the folder listed at every reading.
void TestSysfsPowerSource::listFollowsTheTree_data()
{
    QTest::addColumn<QString>("change");  // write, remove <supply>, or anew <supply> (or .)
    QTest::addColumn<Files>("files");     // what is written
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");

    const Files bat0 = battery();
    const Files bat1 = without(with(battery("BAT1"), {{"BAT1/capacity", "80\n"}}),
                               {"BAT1/energy_now", "BAT1/charge_now"});
    row("nothing", "write", Files{}, kOff, 68);
    row("a battery appears", "write", with(battery("BAT2"), {{"BAT2/capacity", "100\n"}}), kOff,
        79);
    row("a battery vanishes", "remove BAT1", Files{}, kOff, 57);
    row("a kept file removed: energy", "anew BAT0", without(bat0, {"BAT0/capacity"}), kOff, 60);
    row("a kept file replaced by another", "anew BAT0", with(bat0, {{"BAT0/capacity", "20\n"}}),
        kOff, 50);
    row("a kept file rewritten", "write", Files{{"BAT0/capacity", "20\n"}}, kOff, 50);
    row("the charger online, rewritten", "write", Files{{"AC/online", "1\n"}}, kOn, 68);
    row("the charger replaced by another", "anew AC", charger("1\n"), kOn, 68);
    row("a battery becomes a device's", "anew BAT1", bat1 + Files{{"BAT1/scope", "Device\n"}}, kOff,
        57);
    row("a battery taken out", "write", Files{{"BAT1/present", "0\n"}}, kOff, 57);
    row("the whole folder replaced", "anew .", with(battery("BAT2"), {{"BAT2/capacity", "20\n"}}),
        kOff, 20);
}

void TestSysfsPowerSource::listFollowsTheTree()
{
    QFETCH(QString, change);
    QFETCH(Files, files);
    QFETCH(int, line);
    QFETCH(int, percent);

    QTemporaryDir tmp;
    const QString root = tmp.filePath(QStringLiteral("power_supply"));
    // BAT1 tells no level: the charges are weighed, so each capacity counts.
    QVERIFY(writeTree(root, battery() +
                                without(with(battery("BAT1"), {{"BAT1/capacity", "80\n"}}),
                                        {"BAT1/energy_now", "BAT1/charge_now"}) +
                                charger("0\n")));
    SysfsPowerSource source(root.toStdString(), 0);
    QCOMPARE(source.read().acLineStatus, kOff);
    QCOMPARE(source.read().batteryLifePercent, 68);

    const QString name = change.section(QLatin1Char(' '), 1);
    if (change == "write")
        QVERIFY(writeTree(root, files));
    else if (change.startsWith("remove"))
        QVERIFY(QDir(root + QLatin1Char('/') + name).removeRecursively());
    else
        QVERIFY(putAnew(root, name, files));
    QCOMPARE(source.read().acLineStatus, line);
    QCOMPARE(source.read().batteryLifePercent, percent);
}

// The folder's listing, taken every relistMs, finds supplies that come and go
// (sysfs tells inotify nothing of them). Each comes and goes whole, as it does
// there: a charger written beside the tree and moved in, then BAT0 removed.
void TestSysfsPowerSource::listingAloneSeesSuppliesComeAndGo()
{
    QTemporaryDir tmp;
    const QString root = tmp.filePath(QStringLiteral("power_supply"));
    QVERIFY(writeTree(root, battery()));
    PowerSupplyList list(root.toStdString(), 100);
    QCOMPARE(listed(list), QStringList{"BAT0"});
    QVERIFY(writeTree(tmp.filePath(QStringLiteral("AC")), {{"type", "Mains\n"}}));
    QVERIFY(QFile::rename(tmp.filePath(QStringLiteral("AC")), root + QStringLiteral("/AC")));
    QTRY_COMPARE_WITH_TIMEOUT(listed(list), (QStringList{"AC", "BAT0"}), 3000);
    QVERIFY(QDir(root + QStringLiteral("/BAT0")).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(listed(list), QStringList{"AC"}, 3000);
    QCOMPARE(list.scans(), 3ul);  // once at first, then once for each change
}

// A supply that has gone, as sysfs shows it: its folder missing and the reads
// of its kept files failing, with no word to inotify. Here BAT1 is a link to
// a folder through a process's working folder under /proc, and its capacity
// that process's oom_score_adj: both go when the process ends. The next
// reading passes BAT1 over, and the one after makes the list anew, once.
void TestSysfsPowerSource::aFailedReadOfASupplyGoneMakesTheListAnew()
{
    QTemporaryDir root;
    QTemporaryDir work;
    QProcess child;
    child.setWorkingDirectory(work.path());
    child.start(QStringLiteral("sleep"), {QStringLiteral("600")});
    QVERIFY(child.waitForStarted());
    const QString proc = QStringLiteral("/proc/%1").arg(child.processId());
    const QString adjust = proc + QStringLiteral("/oom_score_adj");
    QVERIFY(writeFile(adjust, "63"));
    // No levels: the capacities, weighed by full energy, make the charge.
    QVERIFY(writeTree(work.path(), without(battery("BAT1"), {"BAT1/capacity", "BAT1/energy_now",
                                                             "BAT1/charge_now"})));
    QVERIFY(QFile::link(adjust, work.filePath(QStringLiteral("BAT1/capacity"))));
    QVERIFY(writeTree(root.path(), without(battery(), {"BAT0/energy_now", "BAT0/charge_now"})));
    QVERIFY(QFile::link(proc + QStringLiteral("/cwd/BAT1"), root.filePath(QStringLiteral("BAT1"))));

    SysfsPowerSource source(root.path().toStdString());
    QCOMPARE(source.read().batteryLifePercent, 60);  // 57 and 63, both of 50 Wh
    child.kill();
    QVERIFY(child.waitForFinished());
    QCOMPARE(source.read().batteryLifePercent, 57);  // BAT0 alone
    QCOMPARE(source.supplies().scans(), 1ul);
    for (int tick = 0; tick < 3; ++tick)
        QCOMPARE(source.read().batteryLifePercent, 57);
    QCOMPARE(source.supplies().scans(), 2ul);
}

// Twelve batteries need more files than are kept open: the rest are read
// anew each time, with the same readings.
void TestSysfsPowerSource::filesPastTheBoundReadByPath()
{
    QTemporaryDir root;
    Files files;
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("BAT%1").arg(i);
        files = files + with(without(battery(name), {name + "/energy_now", name + "/charge_now"}),
                             {{name + "/capacity", i < 6 ? "20\n" : "80\n"}});
    }
    QVERIFY(writeTree(root.path(), files));
    SysfsPowerSource source(root.path().toStdString());
    for (int tick = 0; tick < 3; ++tick) {
        QCOMPARE(source.read().acLineStatus, kOff);
        QCOMPARE(source.read().batteryLifePercent, 50);
    }
    QCOMPARE(filesUnder(root.path()), qMakePair(PowerSupplyList::kMaxOpenFiles + 1, true));
}

// Reads that fail as an ACPI battery's do while the battery is there: the file
// opens and its read answers ENODEV, for a while or for good. The readings come
// from the values that do read, the list is kept (no scan at a tick, nor at a
// tool tip: the details are read at every other tick), a failing value is
// tried again once a listing and not at every tick, and read again once it
// comes back. The fixture two_batteries: 100 % of 20 Wh idle, 50 % of 80 Wh
// at 15 W, the charger offline; 60 %, four hours to empty.
void TestSysfsPowerSource::readsThatFail_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<QString>("before");
    // "heal": the failing files read again; else a command to the FUSE folder.
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("after");
    QTest::addColumn<unsigned long>("scans");

    using S = ChargeState;
    const QString healthy = readings(kOff, 60, S::Discharging, 14400.0);
    QTest::newRow("energy_full of one of two batteries: an equal average, no time")
        << "two_batteries" << QStringList{"BAT0/energy_full"}
        << readings(kOff, 75, S::Discharging, 0.0) << "heal" << healthy << 1ul;
    QTest::newRow("the rate: no time")
        << "two_batteries" << QStringList{"BAT1/power_now"}
        << readings(kOff, 60, S::Discharging, 0.0) << "heal" << healthy << 1ul;
    QTest::newRow("energy_full and the rate")
        << "two_batteries" << QStringList{"BAT0/energy_full", "BAT1/power_now"}
        << readings(kOff, 75, S::Discharging, 0.0) << "heal" << healthy << 1ul;
    QTest::newRow("the discharging battery's status: the idle one's, full at 100 %")
        << "two_batteries" << QStringList{"BAT1/status"} << readings(kOff, 60, S::Full, 0.0)
        << "heal" << healthy << 1ul;
    QTest::newRow("the online charger's online: the other charger's")
        << "usb_c_charger" << QStringList{"ucsi-source-psy-USBC000:001/online"}
        << readings(kOff, 70, S::Charging, 0.0) << "heal" << readings(kOn, 70, S::Charging, 0.0)
        << 1ul;
    QTest::newRow("then a battery gone: its folder missing, the list made anew")
        << "two_batteries" << QStringList{"BAT1/power_now"}
        << readings(kOff, 60, S::Discharging, 0.0) << "remove BAT0"
        << readings(kOff, 50, S::Discharging, 0.0) << 2ul;
}

void TestSysfsPowerSource::readsThatFail()
{
    QFETCH(QString, tree);
    QFETCH(QStringList, failing);
    QFETCH(QString, before);
    QFETCH(QString, change);
    QFETCH(QString, after);
    QFETCH(unsigned long, scans);
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        QSKIP("no /dev/fuse: no FUSE folder can be mounted here");

    QTemporaryDir tmp;
    FailingTree folder(tmp.path(), tree, failing);
    QVERIFY2(folder.started(), qPrintable(folder.driver().answer()));
    constexpr int kRelistMs = 200;
    SysfsPowerSource source(folder.mount().toStdString(), kRelistMs);

    // Ticks for a few listings, the tool tip's details read at every other one.
    QElapsedTimer clock;
    clock.start();
    for (int tick = 0; tick < 40; ++tick) {
        if (tick % 2 == 0) {
            QCOMPARE(readings(source), before);
        } else {
            const QString line = before.section(QLatin1Char(' '), 0, 3);
            QCOMPARE(QStringLiteral("line %1 percent %2")
                         .arg(source.read().acLineStatus)
                         .arg(source.read().batteryLifePercent),
                     line);
        }
        QTest::qSleep(10);
    }
    QCOMPARE(source.supplies().scans(), 1ul);
    // Once after the scan and once after each listing, at most.
    const qint64 tries = clock.elapsed() / kRelistMs + 3;
    for (const QString& file : failing)
        QVERIFY2(folder.reads(file) <= tries, qPrintable(QStringLiteral("%1 read %2 times in %3 ms")
                                                             .arg(file)
                                                             .arg(folder.reads(file))
                                                             .arg(clock.elapsed())));

    if (change == "heal") {
        for (const QString& file : failing)
            QVERIFY2(folder.driver().send(QStringLiteral("heal ") + file),
                     qPrintable(folder.driver().answer()));
    } else {
        QVERIFY2(folder.driver().send(change), qPrintable(folder.driver().answer()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(readings(source), after, 10 * kRelistMs);
    QCOMPARE(source.supplies().scans(), scans);
}

QTEST_GUILESS_MAIN(TestSysfsPowerSource)
#include "tst_sysfs_power_source.moc"
