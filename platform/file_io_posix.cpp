// POSIX file layer.
#include "platform/file_io.h"
#include "platform/path.h"

#include <algorithm>
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
#ifdef __linux__
#include <sys/xattr.h>
#endif
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
    identity.statusChanged = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
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

#ifdef __linux__
// The names of the extended attributes of the file at `path` (following links), or of `fd` when
// `path` is null. False with errno on failure; a file system without attributes has none.
bool attributeNames(const char* path, int fd, std::vector<std::string>& names)
{
    names.clear();
    std::vector<char> list;
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const ssize_t size = path ? ::listxattr(path, nullptr, 0) : ::flistxattr(fd, nullptr, 0);
        if (size < 0) return errno == ENOTSUP;
        list.resize(static_cast<size_t>(size));
        const ssize_t got = size == 0 ? 0
                            : path    ? ::listxattr(path, list.data(), list.size())
                                      : ::flistxattr(fd, list.data(), list.size());
        if (got < 0 && errno == ERANGE) continue; // one was added meanwhile
        if (got < 0) return false;
        for (size_t at = 0; at < static_cast<size_t>(got);)
        {
            const std::string name(list.data() + at);
            at += name.size() + 1;
            if (!name.empty()) names.push_back(name);
        }
        return true;
    }
    errno = ERANGE;
    return false;
}

// The value of attribute `name` of the file at `path` (or of `fd` when `path` is null).
bool attributeValue(const char* path, int fd, const std::string& name, std::vector<uint8_t>& value)
{
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const ssize_t size =
            path ? ::getxattr(path, name.c_str(), nullptr, 0) : ::fgetxattr(fd, name.c_str(), nullptr, 0);
        if (size < 0) return false;
        value.resize(static_cast<size_t>(size));
        const ssize_t got = path ? ::getxattr(path, name.c_str(), value.data(), value.size())
                                 : ::fgetxattr(fd, name.c_str(), value.data(), value.size());
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        value.resize(static_cast<size_t>(got));
        return true;
    }
    errno = ERANGE;
    return false;
}
#endif

// Gives the new file `fd` exactly the extended attributes of the file at `source`, access control
// lists included: an ACL the new file inherited from its folder but the source lacks is removed, as
// it would give access the source does not. An attribute the new file already holds with the same
// value (a security label the system set) needs no copy.
bool copyAttributes(int fd, const char* source, IoError* error)
{
#ifdef __linux__
    std::vector<std::string> wanted;
    if (!attributeNames(source, -1, wanted)) return fail(error, IoStep::attributes, errno);
    std::vector<uint8_t> value;
    std::vector<uint8_t> present;
    for (const std::string& name : wanted)
    {
        if (!attributeValue(source, -1, name, value))
        {
            if (errno == ENODATA) continue; // removed meanwhile
            return fail(error, IoStep::attributes, errno);
        }
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0) continue;
        const int code = errno;
        if (!attributeValue(nullptr, fd, name, present) || present != value)
            return fail(error, IoStep::attributes, code);
    }
    std::vector<std::string> held;
    if (!attributeNames(nullptr, fd, held)) return fail(error, IoStep::attributes, errno);
    for (const std::string& name : held)
    {
        bool inSource = false;
        for (const std::string& other : wanted)
            inSource = inSource || other == name;
        // Security labels are the system's to give; every other stray attribute goes.
        if (inSource || name.starts_with("security.")) continue;
        if (::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA)
            return fail(error, IoStep::attributes, errno);
    }
#else
    (void)fd;
    (void)source;
    (void)error;
#endif
    return true;
}

// Gives the new file `fd` the access of the file it replaces (`original`, at `path`): owner and
// group first, as changing them clears the set-user-id and set-group-id bits, which the mode then
// restores; then the extended attributes; the mode last, so that it is the original's whatever an
// access control list set. Where the owner or group cannot be kept (only root gives a file away, and
// only to a group it is in may a user give one), nothing is replaced: the file would change hands.
bool keepAccessOf(int fd, const char* path, const struct stat& original, IoError* error)
{
    if (::fchown(fd, original.st_uid, original.st_gid) != 0)
    {
        const int code = errno;
        struct stat now;
        if (::fstat(fd, &now) != 0 || now.st_uid != original.st_uid || now.st_gid != original.st_gid)
            return fail(error, IoStep::owner, code);
    }
    if (!copyAttributes(fd, path, error)) return false;
    if (::fchmod(fd, original.st_mode & 07777) != 0) return fail(error, IoStep::create, errno);
    return true;
}

// Gives the new file `fd`, a copy of the file at `source`, no more access than that file has: its
// owner and group where this process may give them, and its permission bits without the special
// ones. Where the group cannot be the source's, the group the copy has gets nothing.
bool shareAccessOf(int fd, const char* source, IoError* error)
{
    struct stat from;
    if (::stat(source, &from) != 0) return fail(error, IoStep::open, errno);
    mode_t mode = from.st_mode & 0777;
    if (::fchown(fd, from.st_uid, from.st_gid) != 0)
    {
        // Only root gives a file away; anyone may keep a group they belong to.
        (void)!::fchown(fd, static_cast<uid_t>(-1), from.st_gid);
        struct stat copy;
        if (::fstat(fd, &copy) != 0) return fail(error, IoStep::create, errno);
        if (copy.st_gid != from.st_gid) mode &= ~static_cast<mode_t>(0070);
    }
    if (!copyAttributes(fd, source, error)) return false;
    if (::fchmod(fd, mode) != 0) return fail(error, IoStep::create, errno);
    return true;
}

// Opens the regular file at `path` for reading into `fd` and tells what it is in `st`.
// Non-blocking, so that a FIFO or device named like a model cannot hang the open; only regular
// files are read.
bool openRegularFile(const char* path, int& fd, struct stat& st, IoError* error)
{
    if (injected(IoStep::open)) return fail(error, IoStep::open, errno);
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(error, IoStep::open, errno);
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
    return true;
}

// The head decides before the file's size is allocated: a huge file that plainly is not what is
// wanted costs one small read. False when the head cannot be read or `check` refuses it.
bool checkHead(int fd, uint64_t fileSize, size_t headSize, StartCheck check, void* context, IoError* error)
{
    uint8_t head[256];
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>({headSize, sizeof head, fileSize}));
    size_t got = 0;
    while (got < wanted)
    {
        const ssize_t n = ::pread(fd, head + got, wanted - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(error, IoStep::read, errno);
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (!check(head, got, fileSize, context)) return fail(error, IoStep::refused, 0);
    return true;
}

// Reads the file into `out`, sized for it already; a file that shrank since is what was read.
bool readBody(int fd, std::vector<uint8_t>& out, IoError* error)
{
    size_t done = 0;
    while (done < out.size())
    {
        if (injected(IoStep::read)) return fail(error, IoStep::read, errno);
        ssize_t got = ::read(fd, out.data() + done, out.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(error, IoStep::read, errno);
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    out.resize(done);
    return true;
}

} // namespace

bool readWholeFileChecked(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, size_t headSize,
                          StartCheck check, void* context, IoError* error, FileIdentity* identity)
{
    out.clear();
    if (identity) *identity = FileIdentity{};
    int fd = -1;
    struct stat st;
    if (!openRegularFile(path, fd, st, error)) return false;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (fileSize > maxSize)
    {
        ::close(fd);
        return fail(error, IoStep::tooLarge, EFBIG);
    }
    if (check && !checkHead(fd, fileSize, headSize, check, context, error))
    {
        ::close(fd);
        return false;
    }
    out.resize(static_cast<size_t>(st.st_size));
    if (!readBody(fd, out, error))
    {
        ::close(fd);
        out.clear();
        return false;
    }
    if (!closeChecked(fd))
    {
        out.clear();
        return fail(error, IoStep::close, errno);
    }
    if (identity) *identity = identityOf(st);
    return true;
}

bool readFileStart(const char* path, size_t count, std::vector<uint8_t>& out)
{
    out.clear();
    // Non-blocking for the same reason as above: a FIFO named like a model must not hang. A glance
    // at a file's first bytes leaves its access time, where the system allows (its owner or root),
    // so that a model whose times are kept keeps the access time it had before the run.
    int fd = -1;
#ifdef O_NOATIME
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOATIME);
#endif
    if (fd < 0) fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (read)
    {
        out.resize(std::min<uint64_t>(count, static_cast<uint64_t>(st.st_size)));
        size_t done = 0;
        while (read && done < out.size())
        {
            const ssize_t got = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            read = got > 0;
            if (read) done += static_cast<size_t>(got);
        }
        out.resize(done);
    }
    ::close(fd);
    return read;
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

bool FileReplacement::begin(const char* path, uint64_t expectedSize, IoError* error, bool replaceLink,
                            const char* accessSource)
{
    abandon();
    // A copy never writes through a link at its name: the link itself is replaced.
    const bool followLink = !replaceLink && accessSource == nullptr;
    target_ = followLink ? resolveTarget(path) : std::string(path);
    struct stat original;
    const bool exists =
        (followLink ? ::stat(target_.c_str(), &original) : ::lstat(target_.c_str(), &original)) == 0;
    // A link that is itself replaced has nothing to check or keep: it becomes a new file.
    const bool replacesFile = exists && !S_ISLNK(original.st_mode);
    if (replacesFile)
    {
        if (S_ISDIR(original.st_mode)) return fail(error, IoStep::open, EISDIR);
        if (!S_ISREG(original.st_mode)) return fail(error, IoStep::open, EINVAL);
        // A file without any write permission bit was made read-only on purpose; root could write
        // it anyway, but the user asked for it to be left alone.
        if ((original.st_mode & 0222) == 0) return fail(error, IoStep::readOnly, 0);
        if (injected(IoStep::open) || ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            return fail(error, IoStep::open, errno);
        // A link that is itself replaced (a report) may leave its other names; a model may not.
        if (original.st_nlink > 1 && !replaceLink) return fail(error, IoStep::linked, 0);
    }

    if (injected(IoStep::create)) return fail(error, IoStep::create, errno);
    const std::string folder = pathFolder(target_);
    int fd = -1;
    // A copy starts closed to everyone but this process and gets its source's access below.
    const mode_t startMode = accessSource ? 0600 : 0666;
#ifdef O_TMPFILE
    // Unnamed until commit: a process killed before then leaves nothing behind.
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, startMode);
    unnamed_ = fd >= 0;
#endif
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
    {
        temporary_ = temporaryNameIn(folder);
        fd = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, startMode);
        if (fd < 0)
        {
            const int code = errno;
            temporary_.clear();
            if (code != EEXIST) return fail(error, IoStep::create, code);
        }
    }
    if (fd < 0) return fail(error, IoStep::create, EEXIST);
    handle_ = fd;
    const bool accessKept = accessSource
                                ? shareAccessOf(fd, accessSource, error)
                                : !replacesFile || keepAccessOf(fd, target_.c_str(), original, error);
    if (!accessKept)
    {
        abandon();
        return false;
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
    std::vector<uint8_t> corrupted;
    if (!writeAll(static_cast<int>(handle_), detail::bytesToStore(data, size, corrupted), size))
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
    // Something else that wrote into the file (a stray descriptor of this process, say) must not
    // hide behind a prefix that reads as the image.
    struct stat status;
    if (::fstat(static_cast<int>(handle_), &status) != 0) return fail(error, IoStep::read, errno);
    if (static_cast<uint64_t>(status.st_size) != written_)
    {
        out.clear();
        return fail(error, IoStep::strayBytes, 0);
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
            std::string name = replace ? temporaryNameIn(pathFolder(target_)) : target_;
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
