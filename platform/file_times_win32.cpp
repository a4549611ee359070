// Win32 file times: FILETIME, in 100-nanosecond steps since 1601, kept through the open handle.
#include "platform/file_times.h"
#include "platform/wide_path_win32.h"

#include <windows.h>

namespace scourvane::platform
{

namespace
{
// 100-nanosecond steps from 1601-01-01 to 1970-01-01.
constexpr int64_t stepsBefore1970 = 116444736000000000;
constexpr int64_t stepsPerSecond = 10000000;

FileTime timeOf(const FILETIME& time)
{
    const int64_t steps =
        static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) -
        stepsBefore1970;
    int64_t seconds = steps / stepsPerSecond;
    int64_t rest = steps % stepsPerSecond;
    if (rest < 0)
    {
        rest += stepsPerSecond;
        --seconds;
    }
    return FileTime{seconds, static_cast<uint32_t>(rest * 100)};
}

FILETIME fileTimeOf(const FileTime& time)
{
    const uint64_t steps =
        static_cast<uint64_t>(time.seconds * stepsPerSecond + time.nanoseconds / 100 + stepsBefore1970);
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(steps);
    result.dwHighDateTime = static_cast<DWORD>(steps >> 32);
    return result;
}
} // namespace

FileTimes fileTimesOf(const char* path)
{
    // Opened for its attributes only: no read, so its access time stays as it is.
    HANDLE file = CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileTimes{};
    FILETIME accessed;
    FILETIME modified;
    const bool read = GetFileTime(file, nullptr, &accessed, &modified) != 0;
    CloseHandle(file);
    if (!read) return FileTimes{};
    FileTimes times;
    times.modified = timeOf(modified);
    times.accessed = timeOf(accessed);
    times.known = true;
    return times;
}

bool FileReplacement::keepTimes(const FileTimes& times, IoError* error)
{
    if (!isOpen())
    {
        if (error) *error = IoError{IoStep::times, ERROR_INVALID_HANDLE};
        return false;
    }
    if (!times.known) return true;
    // Set through the handle that wrote the file: the system then leaves these times as they are
    // when the handle closes.
    const FILETIME accessed = fileTimeOf(times.accessed);
    const FILETIME modified = fileTimeOf(times.modified);
    if (SetFileTime(reinterpret_cast<HANDLE>(handle_), nullptr, &accessed, &modified)) return true;
    const DWORD code = GetLastError();
    abandon();
    if (error) *error = IoError{IoStep::times, static_cast<uint32_t>(code)};
    return false;
}

} // namespace scourvane::platform
