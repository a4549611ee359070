// POSIX file times: stat and futimens, to the nanosecond where the file system keeps them.
#include "platform/file_times.h"

#include <cerrno>
#include <sys/stat.h>

namespace scourvane::platform
{

namespace
{
FileTime timeOf(const struct timespec& time)
{
    return FileTime{static_cast<int64_t>(time.tv_sec), static_cast<uint32_t>(time.tv_nsec)};
}

struct timespec timespecOf(const FileTime& time)
{
    struct timespec result
    {
    };
    result.tv_sec = static_cast<time_t>(time.seconds);
    result.tv_nsec = static_cast<long>(time.nanoseconds);
    return result;
}
} // namespace

FileTimes fileTimesOf(const char* path)
{
    struct stat st;
    if (::stat(path, &st) != 0) return FileTimes{};
    FileTimes times;
    times.modified = timeOf(st.st_mtim);
    times.accessed = timeOf(st.st_atim);
    times.known = true;
    return times;
}

bool FileReplacement::keepTimes(const FileTimes& times, IoError* error)
{
    if (!isOpen())
    {
        if (error) *error = IoError{IoStep::times, EBADF};
        return false;
    }
    if (!times.known) return true;
    // On the descriptor, so that the times go to the new file whether it has a name yet or not.
    const struct timespec both[2] = {timespecOf(times.accessed), timespecOf(times.modified)};
    if (::futimens(static_cast<int>(handle_), both) == 0) return true;
    const int code = errno;
    abandon();
    if (error) *error = IoError{IoStep::times, static_cast<uint32_t>(code)};
    return false;
}

} // namespace scourvane::platform
