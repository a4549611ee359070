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
#include <sys/random.h>
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

// The folder part of a path, for the temporary file that must sit beside the target.
std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A short name of one fixed shape in `folder`, independent of the target's name (so that a target
// whose name is as long as the system allows can still be replaced), random so that runs in the same
// folder do not meet.
std::string temporaryNameIn(const std::string& folder)
{
    static std::atomic<uint32_t> counter{0};
    uint32_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
    {
        struct timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        bits = static_cast<uint32_t>(now.tv_nsec) ^ (static_cast<uint32_t>(::getpid()) << 12);
    }
    bits ^= counter.fetch_add(0x9E3779B9u);
    char name[32];
    std::snprintf(name, sizeof name, "/.scourvane-%08x.tmp", static_cast<unsigned>(bits));
    return folder + name;
}

FileIdentity identityOf(const struct stat& st)
{
    FileIdentity identity;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.index = static_cast<uint64_t>(st.st_ino);
    identity.size = static_cast<uint64_t>(st.st_size);
    identity.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    identity.links = static_cast<uint32_t>(st.st_nlink);
    identity.known = true;
    return identity;
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

bool readWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, IoError* error,
                   FileIdentity* identity)
{
    out.clear();
    if (identity) *identity = FileIdentity{};
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
    if (identity) *identity = identityOf(st);
    return true;
}

FileIdentity identifyFile(const char* path)
{
    struct stat st;
    if (::stat(path, &st) != 0) return FileIdentity{};
    return identityOf(st);
}

NameKind identifyName(const char* path, FileIdentity* identity)
{
    struct stat st;
    if (::lstat(path, &st) != 0) return NameKind::missing;
    if (identity) *identity = identityOf(st);
    if (S_ISREG(st.st_mode)) return NameKind::regular;
    return S_ISLNK(st.st_mode) ? NameKind::link : NameKind::other;
}

bool FileReplacement::begin(const char* path, uint64_t expectedSize, IoError* error, bool replaceLink)
{
    abandon();
    target_ = replaceLink ? std::string(path) : resolveTarget(path);
    struct stat original;
    const bool exists =
        (replaceLink ? ::lstat(target_.c_str(), &original) : ::stat(target_.c_str(), &original)) == 0;
    // A link that is itself replaced has nothing to check or keep: it becomes a new file.
    const bool keepMetadata = exists && !S_ISLNK(original.st_mode);
    if (keepMetadata)
    {
        if (S_ISDIR(original.st_mode)) return fail(error, IoStep::open, EISDIR);
        if (!S_ISREG(original.st_mode)) return fail(error, IoStep::open, EINVAL);
        // A file without any write permission bit was made read-only on purpose; root could write
        // it anyway, but the user asked for it to be left alone.
        if ((original.st_mode & 0222) == 0) return fail(error, IoStep::open, EACCES);
        if (injected(IoStep::open) || ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            return fail(error, IoStep::open, errno);
        // A link that is itself replaced (a report) may leave its other names; a model may not.
        if (original.st_nlink > 1 && !replaceLink) return fail(error, IoStep::linked, 0);
    }

    if (injected(IoStep::create)) return fail(error, IoStep::create, errno);
    const std::string folder = folderOf(target_);
    int fd = -1;
#ifdef O_TMPFILE
    // Unnamed until commit: a process killed before then leaves nothing behind.
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    unnamed_ = fd >= 0;
#endif
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
    {
        temporary_ = temporaryNameIn(folder);
        fd = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
        {
            const int code = errno;
            temporary_.clear();
            if (code != EEXIST) return fail(error, IoStep::create, code);
        }
    }
    if (fd < 0) return fail(error, IoStep::create, EEXIST);
    handle_ = fd;

    if (keepMetadata)
    {
        // Owner first: changing it clears the set-user-id and set-group-id bits, which the mode then
        // restores. Only root may give a file away; anyone may keep their own group.
        (void)!::fchown(fd, original.st_uid, original.st_gid);
        if (::fchmod(fd, original.st_mode & 07777) != 0)
        {
            const int code = errno;
            abandon();
            return fail(error, IoStep::create, code);
        }
    }
#ifdef FALLOC_FL_KEEP_SIZE
    // Reserving the room now lets a full disk fail before anything is written.
    if (expectedSize > 0 &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(expectedSize & 0x7FFFFFFFFFFFFFFFull)) !=
            0 &&
        (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
    {
        const int code = errno;
        abandon();
        return fail(error, IoStep::write, code);
    }
#else
    (void)expectedSize;
#endif
    return true;
}

bool FileReplacement::write(const uint8_t* data, size_t size, IoError* error)
{
    if (!isOpen()) return fail(error, IoStep::write, EBADF);
    if (!writeAll(static_cast<int>(handle_), data, size))
    {
        const int code = errno;
        abandon();
        return fail(error, IoStep::write, code);
    }
    written_ += size;
    return true;
}

bool FileReplacement::readBack(std::vector<uint8_t>& out, IoError* error)
{
    out.clear();
    if (!isOpen()) return fail(error, IoStep::read, EBADF);
    if (written_ > SIZE_MAX) return fail(error, IoStep::tooLarge, EFBIG);
    out.resize(static_cast<size_t>(written_));
    size_t done = 0;
    while (done < out.size())
    {
        if (injected(IoStep::read)) return fail(error, IoStep::read, errno);
        ssize_t got = ::pread(static_cast<int>(handle_), out.data() + done, out.size() - done,
                              static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0)
        {
            const int code = got < 0 ? errno : EIO;
            out.clear();
            return fail(error, IoStep::read, code);
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool FileReplacement::finish(const FileIdentity* expected, bool replace, IoError* error)
{
    if (!isOpen()) return fail(error, IoStep::create, EBADF);
    const int fd = static_cast<int>(handle_);
    auto drop = [&](IoStep step, int code)
    {
        abandon();
        return fail(error, step, code);
    };
    // The new bytes are on disk before the rename, so after a crash the name leads to either the
    // old file or the new one, never to a partial file. The folder itself is not flushed: that
    // would only make the new name durable sooner, at the price of a second flush per file.
    if (injected(IoStep::flush) || ::fsync(fd) != 0) return drop(IoStep::flush, errno);
    if (expected && !expected->sameFileAndContent(identifyFile(target_.c_str())))
        return drop(IoStep::changed, 0);

    if (unnamed_)
    {
        // Give the unnamed file a name: directly the target's when nothing may be replaced (the link
        // fails if the name is taken), otherwise a temporary one to rename over the target.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        for (int attempt = 0; attempt < 16; ++attempt)
        {
            std::string name = replace ? temporaryNameIn(folderOf(target_)) : target_;
            if (!replace && injected(IoStep::rename)) return drop(IoStep::rename, errno);
            int linked = ::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno == ENOENT) // no /proc: needs the capability to link by descriptor
                linked = ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
            if (linked == 0)
            {
                if (replace) temporary_ = name;
                break;
            }
            if (errno != EEXIST) return drop(IoStep::rename, errno);
            if (!replace) return drop(IoStep::exists, EEXIST);
        }
        if (replace && temporary_.empty()) return drop(IoStep::rename, EEXIST);
        if (!replace)
        {
            // The target's name is the file's only name: nothing to remove on failure from here on.
            handle_ = invalidHandle;
            unnamed_ = false;
            ::close(fd); // the bytes are on disk already
            return true;
        }
        // Renamed at once, before the descriptor is closed: the named temporary exists only between
        // these two calls, the one instant a process killed outright can leave it behind.
        if (injected(IoStep::rename) || ::rename(temporary_.c_str(), target_.c_str()) != 0)
            return drop(IoStep::rename, errno);
        temporary_.clear();
        handle_ = invalidHandle;
        unnamed_ = false;
        written_ = 0;
        ::close(fd); // flushed above: a failing close cannot lose what is in place now
        return true;
    }

    handle_ = invalidHandle;
    if (!closeChecked(fd)) return drop(IoStep::close, errno);
    if (replace)
    {
        if (injected(IoStep::rename) || ::rename(temporary_.c_str(), target_.c_str()) != 0)
            return drop(IoStep::rename, errno);
    }
    else
    {
        // A hard link fails when the name is taken, where a rename would replace it.
        if (injected(IoStep::rename)) return drop(IoStep::rename, errno);
        if (::link(temporary_.c_str(), target_.c_str()) != 0)
            return drop(errno == EEXIST ? IoStep::exists : IoStep::rename, errno);
        ::unlink(temporary_.c_str());
    }
    temporary_.clear();
    written_ = 0;
    return true;
}

void FileReplacement::abandon()
{
    if (handle_ != invalidHandle) ::close(static_cast<int>(handle_));
    handle_ = invalidHandle;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    unnamed_ = false;
    written_ = 0;
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

std::string systemMessage(uint32_t code)
{
    return std::strerror(static_cast<int>(code));
}

} // namespace scourvane::platform
