// The system's random source on POSIX: getrandom where the system has it, /dev/urandom otherwise.
#include "platform/random.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

namespace scourvane::platform
{

namespace
{

bool fromDevice(uint8_t* out, size_t size)
{
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (size > 0)
    {
        const ssize_t got = ::read(fd, out, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        out += got;
        size -= static_cast<size_t>(got);
    }
    ::close(fd);
    return size == 0;
}

} // namespace

bool fillRandom(void* out, size_t size)
{
    auto* bytes = static_cast<uint8_t*>(out);
#if defined(__linux__)
    while (size > 0)
    {
        const ssize_t got = ::getrandom(bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return fromDevice(bytes, size); // an old kernel without the call
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
#else
    return fromDevice(bytes, size);
#endif
}

} // namespace scourvane::platform
