// A file's modification and access times: read from a file before it is read, and given to the new
// file that replaces or copies it, so that tools which compare times (rsync, make, packaging steps)
// do not take a cleaned file for a new one. One header, two implementations chosen at build time
// (file_times_posix.cpp, file_times_win32.cpp), which also hold FileReplacement::keepTimes.
#pragma once

#include "platform/file_io.h"

#include <cstdint>

namespace scourvane::platform
{

// Times as seconds and nanoseconds since 1970-01-01 UTC (negative seconds before it), exactly as
// the system keeps them: nanoseconds on Linux, 100-nanosecond steps on Windows.
struct FileTime
{
    int64_t seconds = 0;
    uint32_t nanoseconds = 0; // 0 to 999,999,999

    bool operator==(const FileTime&) const = default;
};

struct FileTimes
{
    FileTime modified;
    FileTime accessed;
    bool known = false; // false: nothing was read, nothing to set
};

// The times of the file `path` leads to (following symbolic links); `known` false when there is no
// such file or it cannot be asked. Reading them changes neither.
FileTimes fileTimesOf(const char* path);

} // namespace scourvane::platform
