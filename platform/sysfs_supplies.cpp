#include "sysfs_supplies.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// Plain POSIX calls and stack buffers, no allocation per file: the tick reads
// these once a second on a laptop that runs on the battery it reads.

namespace tellavo::sysfs {
namespace {

// NAME_MAX, a slash, the longest attribute name and its NUL.
constexpr std::size_t kPathSize = 256 + 1 + 16 + 1;

}  // namespace

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

}  // namespace tellavo::sysfs
