#include "sysfs_power_source.h"

#include "percent_reading.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

// Called once a second on a laptop that runs on the battery it reads: plain
// POSIX calls and stack buffers, no allocation per file.

namespace tellavo {
namespace {

// An attribute is one short line ("Discharging\n", "48230000\n"); a file that
// fills this buffer is not one.
constexpr std::size_t kValueSize = 64;
// NAME_MAX, a slash, the longest attribute name and its NUL.
constexpr std::size_t kPathSize = 256 + 1 + 16 + 1;
// 18 digits always fit a long long.
constexpr std::size_t kMaxDigits = 18;

using Value = char[kValueSize];

// Reads <supply>/<attribute> under the root directory into `value`, without
// its line end. False for a missing or unreadable file, anything but a regular
// file (O_NONBLOCK so that a FIFO cannot hold up the open), an empty file, one
// that fills the buffer, or one with a NUL in it.
bool readAttribute(int rootFd, const char* supply, const char* attribute, Value& value)
{
    char path[kPathSize];
    const std::size_t supplyLen = std::strlen(supply);
    const std::size_t attributeLen = std::strlen(attribute);
    if (supplyLen + 1 + attributeLen + 1 > sizeof path)
        return false;
    std::memcpy(path, supply, supplyLen);
    path[supplyLen] = '/';
    std::memcpy(path + supplyLen + 1, attribute, attributeLen + 1);

    const int fd = ::openat(rootFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    ssize_t got = -1;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            got = ::read(fd, value, sizeof value);
        } while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    if (got <= 0 || static_cast<std::size_t>(got) >= sizeof value)
        return false;
    std::size_t len = static_cast<std::size_t>(got);
    if (value[len - 1] == '\n')
        --len;
    value[len] = '\0';
    return len > 0 && std::memchr(value, '\0', len) == nullptr;
}

// A whole number as the kernel writes it: digits only.
bool readCount(int rootFd, const char* supply, const char* attribute, long long& count)
{
    Value text;
    if (!readAttribute(rootFd, supply, attribute, text))
        return false;
    long long n = 0;
    std::size_t digits = 0;
    for (const char* p = text; *p; ++p, ++digits) {
        if (*p < '0' || *p > '9' || digits == kMaxDigits)
            return false;
        n = n * 10 + (*p - '0');
    }
    count = n;
    return true;
}

bool is(const char* text, const char* word)
{
    return std::strcmp(text, word) == 0;
}

enum class Kind { Other, Charger, Battery };

Kind kindOf(const char* type)
{
    if (is(type, "Battery"))
        return Kind::Battery;
    // USB chargers show as "USB", or as "USB_C", "USB_PD", ... on older kernels.
    if (is(type, "Mains") || is(type, "Wireless") || std::strncmp(type, "USB", 3) == 0)
        return Kind::Charger;
    return Kind::Other;
}

// A supply of the machine itself: not a mouse's or a headset's, and (for a
// battery) in its slot. A missing scope or present says nothing against it.
bool isOwnSupply(int rootFd, const char* supply, Kind kind)
{
    Value scope;
    if (readAttribute(rootFd, supply, "scope", scope) && is(scope, "Device"))
        return false;
    long long present = 1;
    if (kind == Kind::Battery && readCount(rootFd, supply, "present", present) && present == 0)
        return false;
    return true;
}

// Calls visit(rootFd, name, kind) for each charger and battery of the machine
// itself, listed afresh; visit returns false to stop early. False when the root
// cannot be listed.
template <typename Visit>
bool forEachSupply(const std::string& root, Visit visit)
{
    DIR* dir = ::opendir(root.c_str());
    if (!dir)
        return false;
    const int rootFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue;
        Value type;
        if (!readAttribute(rootFd, name, "type", type))
            continue;
        const Kind kind = kindOf(type);
        if (kind == Kind::Other || !isOwnSupply(rootFd, name, kind))
            continue;
        if (!visit(rootFd, name, kind))
            break;
    }
    ::closedir(dir);
    return true;
}

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
