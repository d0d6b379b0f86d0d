#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstring>
#include <string>

// The kernel's power supply files as the sources read them: one attribute at a
// time, and which supplies count. Shared by the tick's readings and the
// battery details read on demand, so that both go by the same rules. The small
// ones are inline: the tick calls them dozens of times a second.
namespace tellavo::sysfs {

// An attribute is one short line ("Discharging\n", "48230000\n"); a file that
// fills this buffer is not one.
constexpr std::size_t kValueSize = 64;
// 18 digits always fit a long long.
constexpr std::size_t kMaxDigits = 18;

using Value = char[kValueSize];

// Reads <supply>/<attribute> under the root directory into `value`, without
// its line end. False for a missing or unreadable file, anything but a regular
// file (O_NONBLOCK so that a FIFO cannot hold up the open), an empty file, one
// that fills the buffer, or one with a NUL in it.
bool readAttribute(int rootFd, const char* supply, const char* attribute, Value& value);

// A whole number as the kernel writes it: digits only, at most 18 of them. An
// empty text reads as 0; readAttribute never gives one.
inline bool parseCount(const char* text, long long& count)
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

inline bool readCount(int rootFd, const char* supply, const char* attribute, long long& count)
{
    Value text;
    return readAttribute(rootFd, supply, attribute, text) && parseCount(text, count);
}

inline bool is(const char* text, const char* word)
{
    return std::strcmp(text, word) == 0;
}

enum class Kind { Other, Charger, Battery };

inline Kind kindOf(const char* type)
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
inline bool isOwnSupply(int rootFd, const char* supply, Kind kind)
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

}  // namespace tellavo::sysfs
