#include "sysfs_power_source.h"

#include "percent_reading.h"
#include "sysfs_supplies.h"

#include <utility>

// Called once a second on a laptop that runs on the battery it reads: plain
// POSIX calls and stack buffers, no allocation per file.

namespace tellavo {
using namespace sysfs;
namespace {

// Ratio of two counts in percent, when it is one.
bool ratio(int rootFd, const char* supply, const char* now, const char* full, double& percent)
{
    long long n = 0;
    long long f = 0;
    if (!readCount(rootFd, supply, full, f) || f == 0 || !readCount(rootFd, supply, now, n))
        return false;
    percent = 100.0 * static_cast<double>(n) / static_cast<double>(f);
    return percent::plausible(percent);
}

// One battery's charge in percent, 0..100 but not yet rounded.
bool batteryPercent(int rootFd, const char* supply, double& percent)
{
    long long capacity = 0;
    if (readCount(rootFd, supply, "capacity", capacity) &&
        percent::plausible(static_cast<double>(capacity)))
        percent = static_cast<double>(capacity);
    else if (!ratio(rootFd, supply, "energy_now", "energy_full", percent) &&
             !ratio(rootFd, supply, "charge_now", "charge_full", percent))
        return false;
    percent = percent::clamp(percent);
    return true;
}

}  // namespace

SysfsPowerSource::SysfsPowerSource(std::string root) : m_root(std::move(root)) {}

int SysfsPowerSource::acLineStatus()
{
    bool online = false;
    bool offline = false;
    bool discharging = false;
    bool charged = false;  // Charging, Full or "Not charging": a charger is there
    forEachSupply(m_root, [&](int rootFd, const char* name, Kind kind) {
        if (kind == Kind::Charger) {
            long long state = 0;
            if (readCount(rootFd, name, "online", state)) {
                // 1 online, 2 online with a programmable voltage
                (state != 0 ? online : offline) = true;
            }
            return !online;
        }
        Value status;
        if (readAttribute(rootFd, name, "status", status)) {
            if (is(status, "Discharging"))
                discharging = true;
            else if (is(status, "Charging") || is(status, "Full") || is(status, "Not charging"))
                charged = true;
        }
        return true;
    });
    if (online)
        return power::kAcOnline;
    if (offline || discharging)
        return power::kAcOffline;
    return charged ? power::kAcOnline : power::kUnknown;
}

int SysfsPowerSource::batteryLifePercent()
{
    int batteries = 0;
    int withEnergy = 0;
    int withCharge = 0;
    double plain = 0.0;
    double byEnergy = 0.0;
    double energyTotal = 0.0;
    double byCharge = 0.0;
    double chargeTotal = 0.0;
    forEachSupply(m_root, [&](int rootFd, const char* name, Kind kind) {
        double percent = 0.0;
        if (kind != Kind::Battery || !batteryPercent(rootFd, name, percent))
            return true;
        ++batteries;
        plain += percent;
        long long full = 0;
        if (readCount(rootFd, name, "energy_full", full) && full > 0) {
            ++withEnergy;
            byEnergy += percent * static_cast<double>(full);
            energyTotal += static_cast<double>(full);
        }
        if (readCount(rootFd, name, "charge_full", full) && full > 0) {
            ++withCharge;
            byCharge += percent * static_cast<double>(full);
            chargeTotal += static_cast<double>(full);
        }
        return true;
    });
    if (batteries == 0)
        return power::kUnknown;
    const double percent = withEnergy == batteries   ? byEnergy / energyTotal
                           : withCharge == batteries ? byCharge / chargeTotal
                                                     : plain / batteries;
    return percent::reading(percent);
}

}  // namespace tellavo
