#include "power_supply_list.h"

#include "wakes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace tellavo {
namespace {

using Value = PowerSupplyList::Value;

// NAME_MAX, a slash, the longest attribute name and its NUL.
constexpr std::size_t kPathSize = 256 + 1 + 30 + 1;
// 18 digits always fit a long long.
constexpr std::size_t kMaxDigits = 18;

const char* const kAttributeNames[PowerSupplyList::AttributeCount] = {
    "online",
    "status",
    "present",
    "capacity",
    "energy_now",
    "energy_full",
    "charge_now",
    "charge_full",
    "power_now",
    "current_now",
    "voltage_now",
    "voltage_max_design",
    "voltage_min_design",
    "model_name",
    "energy_full_design",
    "charge_full_design",
    "cycle_count",
    "charge_control_end_threshold",
    "charge_control_start_threshold",
};

// The coarse clock: a few ms are nothing to a listing every few seconds.
long long monotonicMs()
{
    return clockMs(CLOCK_MONOTONIC_COARSE);
}

bool joinPath(const char* supply, const char* attribute, char (&path)[kPathSize])
{
    const std::size_t supplyLen = std::strlen(supply);
    const std::size_t attributeLen = std::strlen(attribute);
    if (supplyLen + 1 + attributeLen + 1 > sizeof path)
        return false;
    std::memcpy(path, supply, supplyLen);
    path[supplyLen] = '/';
    std::memcpy(path + supplyLen + 1, attribute, attributeLen + 1);
    return true;
}

// A file under dirFd opened for reading, or -1 for a missing or unreadable
// file or anything but a regular file (O_NONBLOCK so that a FIFO cannot hold
// up the open).
int openValue(int dirFd, const char* path)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ssize_t readFromStart(int fd, Value& value)
{
    ssize_t got;
    do {
        got = ::pread(fd, value, sizeof value, 0);
    } while (got < 0 && errno == EINTR);
    return got;
}

// The text of a read of `got` bytes, without its line end. False for an empty
// file, one that fills the buffer, or one with a NUL in it.
bool asText(ssize_t got, Value& value)
{
    if (got <= 0 || static_cast<std::size_t>(got) >= sizeof value)
        return false;
    std::size_t len = static_cast<std::size_t>(got);
    if (value[len - 1] == '\n')
        --len;
    value[len] = '\0';
    return len > 0 && std::memchr(value, '\0', len) == nullptr;
}

// <supply>/<attribute> opened, read and closed: for what the scan reads once.
bool readOnce(int dirFd, const char* supply, const char* attribute, Value& value)
{
    char path[kPathSize];
    if (!joinPath(supply, attribute, path))
        return false;
    const int fd = openValue(dirFd, path);
    if (fd < 0)
        return false;
    const ssize_t got = readFromStart(fd, value);
    ::close(fd);
    return asText(got, value);
}

bool parseCount(const char* text, long long& count)
{
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

// Calls visit(inode, name) for each entry of the folder open as fd, from where
// its offset stands, dot-names left out. False when the listing fails.
template <typename Visit>
bool listFolder(int fd, Visit visit)
{
    alignas(dirent64) char buffer[4096];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (entry->d_name[0] != '.')
                visit(static_cast<unsigned long long>(entry->d_ino), entry->d_name);
        }
    }
}

// FNV-1a, over the entries' inodes and names.
constexpr unsigned long long kHashStart = 14695981039346656037ull;

void hashInto(unsigned long long& hash, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
}

void hashEntry(unsigned long long& hash, unsigned long long inode, const char* name)
{
    hashInto(hash, &inode, sizeof inode);
    hashInto(hash, name, std::strlen(name) + 1);
}

}  // namespace

PowerSupplyList::PowerSupplyList(std::string root, int relistMs)
    : m_root(std::move(root)), m_relistMs(relistMs)
{
}

PowerSupplyList::~PowerSupplyList()
{
    forget();
}

void PowerSupplyList::forget()
{
    for (Supply& supply : m_supplies)
        for (const int file : supply.files)
            if (file >= 0)
                ::close(file);
    m_supplies.clear();
    m_openFiles = 0;
    m_failedFiles = 0;
    if (m_rootFd >= 0)
        ::close(m_rootFd);
    m_rootFd = -1;
    m_trusted = false;
}

void PowerSupplyList::refresh()
{
    if (m_stale || !m_trusted) {
        scan();
        return;
    }
    const long long now = monotonicMs();
    if (now < m_relistAt)
        return;
    m_relistAt = now + m_relistMs;
    unsigned long long listing = kHashStart;
    const bool listed = ::lseek(m_rootFd, 0, SEEK_SET) == 0 &&
                        listFolder(m_rootFd, [&](unsigned long long inode, const char* name) {
                            hashEntry(listing, inode, name);
                        });
    if (!listed || listing != m_listing || rootReplaced()) {
        scan();
        return;
    }
    // The values that failed are tried again, once a listing.
    if (m_failedFiles == 0)
        return;
    for (Supply& supply : m_supplies)
        for (int& file : supply.files)
            if (file == kFailed)
                file = kNotOpened;
    m_failedFiles = 0;
}

bool PowerSupplyList::rootReplaced() const
{
    struct stat st;
    return ::lstat(m_root.c_str(), &st) != 0 ||
           static_cast<unsigned long long>(st.st_dev) != m_rootDev ||
           static_cast<unsigned long long>(st.st_ino) != m_rootIno;
}

void PowerSupplyList::scan()
{
    forget();
    ++m_scans;
    m_stale = false;
    m_relistAt = monotonicMs() + m_relistMs;

    // A root that is a link could be pointed elsewhere without a word to the
    // listing, taken on its target as it was; one that is missing may come,
    // with no folder to list meanwhile: both are scanned at every refresh.
    struct stat st;
    const bool folder = ::lstat(m_root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    m_rootFd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (m_rootFd < 0)
        return;
    if (::fstat(m_rootFd, &st) == 0) {
        m_rootDev = static_cast<unsigned long long>(st.st_dev);
        m_rootIno = static_cast<unsigned long long>(st.st_ino);
    }

    unsigned long long listing = kHashStart;
    const bool listed = listFolder(m_rootFd, [&](unsigned long long inode, const char* name) {
        hashEntry(listing, inode, name);
        Value type;
        if (!readOnce(m_rootFd, name, "type", type))
            return;
        // USB chargers show as "USB", or as "USB_C", "USB_PD", ... on older
        // kernels. Any other type is told by its files, as upowerd tells it
        // (an old PMU's battery says Unknown): a charger has an online file.
        Value online;
        const bool charger =
            !is(type, "Battery") && (is(type, "Mains") || std::strncmp(type, "USB", 3) == 0 ||
                                     readOnce(m_rootFd, name, "online", online));
        Value scope;
        if (readOnce(m_rootFd, name, "scope", scope) && is(scope, "Device"))
            return;
        Supply supply{name, charger ? Kind::Charger : Kind::Battery, {}};
        for (int& file : supply.files)
            file = kNotOpened;
        m_supplies.push_back(std::move(supply));
    });
    m_listing = listing;
    m_trusted = folder && listed;
}

bool PowerSupplyList::text(std::size_t i, Attribute attribute, Value& value)
{
    Supply& supply = m_supplies[i];
    if (supply.gone)
        return false;
    const char* name = kAttributeNames[attribute];
    int& file = supply.files[attribute];
    if (file == kNotOpened) {
        char path[kPathSize];
        if (m_openFiles >= kMaxOpenFiles)
            file = kByPath;
        else if (!joinPath(supply.name.c_str(), name, path) ||
                 (file = openValue(m_rootFd, path)) < 0)
            file = kAbsent;
        else
            ++m_openFiles;
    }
    if (file == kAbsent || file == kFailed)
        return false;
    ssize_t got;
    if (file == kByPath) {
        char path[kPathSize];
        const int fd = joinPath(supply.name.c_str(), name, path) ? openValue(m_rootFd, path) : -1;
        if (fd < 0)
            return false;
        got = readFromStart(fd, value);
        ::close(fd);
    } else {
        got = readFromStart(file, value);
    }
    if (got < 0) {
        readFailed(supply, file);
        return false;
    }
    return asText(got, value);
}

// A supply that has gone, or a value its driver does not know (see the class comment).
void PowerSupplyList::readFailed(Supply& supply, int& file)
{
    struct stat st;
    if (m_stale || ::fstatat(m_rootFd, supply.name.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode)) {
        // Its other files, still open, may yet read: none of it counts.
        supply.gone = true;
        m_stale = true;
        return;
    }
    if (file >= 0) {
        ::close(file);
        --m_openFiles;
    }
    file = kFailed;
    ++m_failedFiles;
}

bool PowerSupplyList::number(std::size_t i, Attribute attribute, long long& count)
{
    Value digits;
    return text(i, attribute, digits) && parseCount(digits, count);
}

bool PowerSupplyList::signedNumber(std::size_t i, Attribute attribute, long long& value)
{
    Value digits;
    if (!text(i, attribute, digits))
        return false;
    const bool negative = digits[0] == '-';
    long long magnitude = 0;
    if (!parseCount(digits + (negative ? 1 : 0), magnitude) || (negative && digits[1] == '\0'))
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

bool PowerSupplyList::inSlot(std::size_t i)
{
    long long present = 1;
    return m_supplies[i].kind != Kind::Battery || !number(i, Present, present) || present != 0;
}

}  // namespace tellavo
