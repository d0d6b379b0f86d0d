// The battery window's one-second tick, run N times in a row against the
// power status the program uses, for instruction counts (valgrind
// --tool=callgrind; the difference of two runs with different N leaves the
// ticks alone) and for heap growth (--heap: glibc's count of allocated bytes
// before and after the ticks).
//
//   tellavo_tick_bench --source sysfs|upower --ticks N [--sysfs DIR] [--heap]
//
// sysfs: the power supply files under DIR, with UPower unreachable (point
// DBUS_SYSTEM_BUS_ADDRESS at nothing). upower: waits until UPower answers on
// the system bus and the cache is filled, then ticks read from the cache.
// Each tick is followed by the delivery of the events it posted (a label or a
// bar that changed posts its repaint), so their cost counts too.
//
// Runs on any Qt platform; offscreen is enough. Prints one line:
//   source=sysfs ticks=N line=0 percent=57 label= 57% heap_growth=0
#include "desktop_text.h"
#include "frm_princ.h"
#include "ini_format.h"
#include "module1.h"
#include "princ_window.h"
#include "settings_store.h"
#include "system_power_status.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace tellavo;

namespace {

[[noreturn]] void usage()
{
    std::fprintf(stderr,
                 "usage: tellavo_tick_bench --source sysfs|upower --ticks N [--sysfs DIR] "
                 "[--heap]\n");
    std::exit(64);
}

// Bytes the program holds from malloc, small blocks and mmapped ones.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The ticks measured. Its own function, not inlined, so that callgrind can
// count it alone (--collect-atstart=no --toggle-collect='*runTicks*').
__attribute__((noinline)) void runTicks(FrmPrinc* window, long ticks)
{
    for (long i = 0; i < ticks; ++i) {
        window->Timer1_Timer();
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QString source;
    long ticks = -1;
    QString sysfsRoot = QStringLiteral("/sys/class/power_supply");
    bool heap = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--source") == 0 && hasValue)
            source = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--ticks") == 0 && hasValue)
            ticks = std::atol(argv[++i]);
        else if (std::strcmp(argv[i], "--sysfs") == 0 && hasValue)
            sysfsRoot = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--heap") == 0)
            heap = true;
        else
            usage();
    }
    if ((source != QLatin1String("sysfs") && source != QLatin1String("upower")) || ticks < 0)
        usage();

    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    // A store of our own, so that no user setting (a threshold, a place) comes in.
    QTemporaryDir config;
    QSettings::setPath(ini::format(), QSettings::UserScope, config.path());
    SettingsStore store;

    SystemPowerStatus powerStatus(sysfsRoot, UPowerTimings());
    const bool wantUPower = source == QLatin1String("upower");
    QDeadlineTimer deadline(60'000);  // valgrind is slow to start
    while (powerStatus.usingUPower() != wantUPower && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (powerStatus.usingUPower() != wantUPower) {
        std::fprintf(stderr, "tellavo_tick_bench: %s\n",
                     wantUPower ? "UPower did not answer on the system bus"
                                : "UPower answers: point DBUS_SYSTEM_BUS_ADDRESS at no bus");
        return 2;
    }

    desktop_text::useFace();
    Module1::Boxes boxes;
    boxes.welcome = [] {};
    boxes.error = [](const QString& text) {
        std::fprintf(stderr, "tellavo_tick_bench: %s\n", qPrintable(text));
    };
    FrmPrinc* window = nullptr;
    const auto make = [&powerStatus, &window](Module1& m) {
        auto made = std::make_unique<FrmPrinc>(m, powerStatus);
        window = made.get();
        return made;
    };
    Module1 module(store, make, boxes);
    if (module.Main() != 0)
        return 1;
    // The ticks are driven here, as fast as they go.
    window->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    // Let start-up settle: the bus's answers to the first calls, the watchers'
    // deferred deletions, the first paint.
    QDeadlineTimer settle(500);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    // The first ticks change the label, the bar and the picture; the state
    // measured is the one that lasts, where nothing changes.
    for (int i = 0; i < 3; ++i) {
        window->Timer1_Timer();
        QCoreApplication::sendPostedEvents();
    }
    const std::size_t before = heapInUse();
    runTicks(window, ticks);
    const std::size_t after = heapInUse();

    std::printf("source=%s ticks=%ld line=%d percent=%d label=%s", qPrintable(source), ticks,
                powerStatus.read().acLineStatus, powerStatus.read().batteryLifePercent,
                qPrintable(window->findChild<QLabel*>(QStringLiteral("lblPerc"))->text()));
    if (heap)
        std::printf(" heap_growth=%lld",
                    static_cast<long long>(after) - static_cast<long long>(before));
    std::printf("\n");
    return 0;
}
