// POSIX file layer.
#include "platform/file_io.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace scourvane::platform
{

namespace
{

bool fail(IoError* error, IoStep step, int code)
{
    if (error) *error = IoError{step, static_cast<uint32_t>(code)};
    return false;
}

// A failure injected by a test looks like an I/O error to the caller.
bool injected(IoStep step)
{
    if (!detail::faultNow(step)) return false;
    errno = EIO;
    return true;
}

// An injected close failure still closes the descriptor, as a real failing close does.
bool closeChecked(int fd)
{
    const bool fault = injected(IoStep::close);
    const int result = ::close(fd);
    if (fault)
    {
        errno = EIO;
        return false;
    }
    return result == 0;
}

// Where a path really leads, so that cleaning through a symbolic link rewrites the linked file
// rather than replacing the link with a copy.
std::string resolveTarget(const char* path)
{
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode))
    {
        char* real = ::realpath(path, nullptr);
        if (real)
        {
            std::string result(real);
            std::free(real);
            return result;
        }
    }
    return path;
}

std::string temporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".scv%ld-%u-%lx.tmp", static_cast<long>(::getpid()), counter++,
                  static_cast<unsigned long>(now.tv_nsec));
    return target + suffix;
}

bool writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0)
    {
        if (injected(IoStep::write)) return false;
        size_t chunk = size < (size_t{1} << 30) ? size : (size_t{1} << 30);
        ssize_t written = ::write(fd, data, chunk);
        if (written < 0)
        {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0)
        {
            errno = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

bool readWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, IoError* error)
{
    out.clear();
    if (injected(IoStep::open)) return fail(error, IoStep::open, errno);
    // Non-blocking, so that a FIFO or device named like a model cannot hang the open; only
    // regular files are read.
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(error, IoStep::open, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        const int code = errno;
        ::close(fd);
        return fail(error, IoStep::open, code);
    }
    if (!S_ISREG(st.st_mode))
    {
        ::close(fd);
        return fail(error, IoStep::open, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (static_cast<uint64_t>(st.st_size) > maxSize)
    {
        ::close(fd);
        return fail(error, IoStep::tooLarge, EFBIG);
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < out.size())
    {
        if (injected(IoStep::read))
        {
            int code = errno;
            ::close(fd);
            out.clear();
            return fail(error, IoStep::read, code);
        }
        ssize_t got = ::read(fd, out.data() + done, out.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
        {
            int code = errno;
            ::close(fd);
            out.clear();
            return fail(error, IoStep::read, code);
        }
        if (got == 0) break; // the file shrank since fstat: what was read is the file
        done += static_cast<size_t>(got);
    }
    out.resize(done);
    if (!closeChecked(fd))
    {
        out.clear();
        return fail(error, IoStep::close, errno);
    }
    return true;
}

bool replaceFileContents(const char* path, const uint8_t* data, size_t size, IoError* error)
{
    const std::string target = resolveTarget(path);
    struct stat original;
    const bool exists = ::stat(target.c_str(), &original) == 0;
    if (exists)
    {
        if (S_ISDIR(original.st_mode)) return fail(error, IoStep::open, EISDIR);
        if (!S_ISREG(original.st_mode)) return fail(error, IoStep::open, EINVAL);
        // A file without any write permission bit was made read-only on purpose; root could write
        // it anyway, but the user asked for it to be left alone.
        if ((original.st_mode & 0222) == 0) return fail(error, IoStep::open, EACCES);
        if (injected(IoStep::open) || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return fail(error, IoStep::open, errno);
    }

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
    {
        temporary = temporaryNameFor(target);
        if (injected(IoStep::create)) return fail(error, IoStep::create, errno);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return fail(error, IoStep::create, errno);
    }
    if (fd < 0) return fail(error, IoStep::create, EEXIST);

    auto abandon = [&](IoStep step, int code, bool open)
    {
        if (open) ::close(fd);
        ::unlink(temporary.c_str());
        return fail(error, step, code);
    };

    if (exists)
    {
        // Keep the original's permission bits and, where allowed, its owner.
        if (::fchmod(fd, original.st_mode & 07777) != 0) return abandon(IoStep::create, errno, true);
        if (::geteuid() == 0) (void)!::fchown(fd, original.st_uid, original.st_gid);
    }
    if (!writeAll(fd, data, size)) return abandon(IoStep::write, errno, true);
    if (injected(IoStep::flush) || ::fsync(fd) != 0) return abandon(IoStep::flush, errno, true);
    if (!closeChecked(fd)) return abandon(IoStep::close, errno, false);
    // The new bytes are on disk before the rename, so after a crash the name leads to either the
    // old model or the new one, never to a partial file. The folder itself is not flushed: that
    // would only make the new name durable sooner, at the price of a second flush per file.
    if (injected(IoStep::rename) || ::rename(temporary.c_str(), target.c_str()) != 0)
        return abandon(IoStep::rename, errno, false);
    return true;
}

int64_t fileSize(const char* path)
{
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool isDirectory(const char* path)
{
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const char* path)
{
    struct stat st;
    return ::stat(path, &st) == 0;
}

std::string systemMessage(uint32_t code)
{
    return std::strerror(static_cast<int>(code));
}

} // namespace scourvane::platform
