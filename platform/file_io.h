// File services of the engine: read a whole file, replace a file safely, ask for sizes and attributes.
// One header, two implementations chosen at build time (file_io_win32.cpp, file_io_posix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::platform
{

// What failed, for messages. `systemError` is errno or GetLastError().
enum class IoStep : uint8_t
{
    none,
    open,
    size,
    read,
    tooLarge,
    create,
    write,
    flush,
    rename,
    close,
};

struct IoError
{
    IoStep step = IoStep::none;
    uint32_t systemError = 0;
};

// Short lowercase description of the step that failed, such as "cannot open the file".
const char* ioStepText(IoStep step);

// The system's own message for an error number (errno, or GetLastError() on Windows), without a
// trailing period or line end, such as "No such file or directory".
std::string systemMessage(uint32_t code);

// The step and the system's words with the number: "cannot open the file: No such file or directory
// (error 2)"; only the step when there is no number.
std::string describeIoError(const IoError& error);

// Reads the whole file at `path` into `out` with one read. Files larger than `maxSize` fail with
// IoStep::tooLarge before anything is allocated. The file is opened for reading with read sharing only.
bool readWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, IoError* error = nullptr);

// Replaces the contents of `path` with `size` bytes so that the old contents are never lost: the new
// image goes to a temporary file in the same folder, is flushed to disk and then renamed over the
// original in one step. A target that exists but cannot be opened for writing fails before anything
// is written. The original's permission bits (or attributes) are kept. On every failure the original
// is left byte for byte as it was and no temporary file remains.
bool replaceFileContents(const char* path, const uint8_t* data, size_t size, IoError* error = nullptr);

// Size of the file at `path` in bytes, or -1 when it cannot be had (missing, no access, a folder).
int64_t fileSize(const char* path);

// True when `path` names an existing directory.
bool isDirectory(const char* path);

// True when `path` names something that exists (file or directory).
bool pathExists(const char* path);

// Fault injection for tests: makes the nth (1-based) call of one kind of file operation fail, counted
// from the call that sets it. Kinds: IoStep::open, read, create, write, flush, rename, close.
// `nth` 0 disables injection. Costs one comparison per operation when off.
void injectFault(IoStep step, uint32_t nth);
void clearFaults();

namespace detail
{
// True when the fault plan says this operation must fail; counts the operation.
bool faultNow(IoStep step);
} // namespace detail

} // namespace scourvane::platform
