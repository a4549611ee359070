// Win32 file layer.
#include "platform/file_io.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace scourvane::platform
{

namespace
{

bool fail(IoError* error, IoStep step, DWORD code)
{
    if (error) *error = IoError{step, static_cast<uint32_t>(code)};
    return false;
}

// A failure injected by a test looks like an I/O error to the caller.
bool injected(IoStep step)
{
    if (!detail::faultNow(step)) return false;
    SetLastError(ERROR_WRITE_FAULT);
    return true;
}

bool closeChecked(HANDLE handle)
{
    if (injected(IoStep::close))
    {
        CloseHandle(handle);
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return CloseHandle(handle) != 0;
}

std::string temporaryNameFor(const char* target)
{
    static std::atomic<unsigned> counter{0};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".scv%lu-%u-%lu.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()), counter++,
                  static_cast<unsigned long>(GetTickCount()));
    return std::string(target) + suffix;
}

} // namespace

bool readWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, IoError* error)
{
    out.clear();
    if (injected(IoStep::open)) return fail(error, IoStep::open, GetLastError());
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(error, IoStep::open, GetLastError());
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
    {
        DWORD code = GetLastError();
        CloseHandle(file);
        return fail(error, IoStep::size, code);
    }
    if (static_cast<uint64_t>(size.QuadPart) > maxSize)
    {
        CloseHandle(file);
        return fail(error, IoStep::tooLarge, ERROR_FILE_TOO_LARGE);
    }
    out.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < out.size())
    {
        DWORD got = 0;
        size_t left = out.size() - done;
        DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        if (injected(IoStep::read) || !ReadFile(file, out.data() + done, chunk, &got, nullptr))
        {
            DWORD code = GetLastError();
            CloseHandle(file);
            out.clear();
            return fail(error, IoStep::read, code);
        }
        if (got == 0) break; // the file shrank since the size query: what was read is the file
        done += got;
    }
    out.resize(done);
    if (!closeChecked(file))
    {
        out.clear();
        return fail(error, IoStep::close, GetLastError());
    }
    return true;
}

bool replaceFileContents(const char* path, const uint8_t* data, size_t size, IoError* error)
{
    const DWORD attributes = GetFileAttributesA(path);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists)
    {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(error, IoStep::open, ERROR_ACCESS_DENIED);
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail(error, IoStep::open, ERROR_ACCESS_DENIED);
        // Refuse early when another program holds the file open against writing.
        if (injected(IoStep::open)) return fail(error, IoStep::open, GetLastError());
        HANDLE probe = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return fail(error, IoStep::open, GetLastError());
        CloseHandle(probe);
    }

    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt)
    {
        temporary = temporaryNameFor(path);
        if (injected(IoStep::create)) return fail(error, IoStep::create, GetLastError());
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return fail(error, IoStep::create, GetLastError());
    }
    if (file == INVALID_HANDLE_VALUE) return fail(error, IoStep::create, ERROR_FILE_EXISTS);

    auto abandon = [&](IoStep step, DWORD code, bool open)
    {
        if (open) CloseHandle(file);
        DeleteFileA(temporary.c_str());
        return fail(error, step, code);
    };

    while (size > 0)
    {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (injected(IoStep::write) || !WriteFile(file, data, chunk, &written, nullptr) || written != chunk)
            return abandon(IoStep::write, GetLastError(), true);
        data += written;
        size -= written;
    }
    if (injected(IoStep::flush) || !FlushFileBuffers(file))
        return abandon(IoStep::flush, GetLastError(), true);
    if (!closeChecked(file)) return abandon(IoStep::close, GetLastError(), false);
    if (injected(IoStep::rename) ||
        !MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return abandon(IoStep::rename, GetLastError(), false);
    if (exists && (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) != 0)
        SetFileAttributesA(path, attributes); // keep hidden, archive and the like
    return true;
}

int64_t fileSize(const char* path)
{
    HANDLE file =
        CreateFileA(path, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(file, &info) != 0;
    if (!CloseHandle(file) || !ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
}

bool isDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool pathExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

std::string systemMessage(uint32_t code)
{
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, buffer, sizeof buffer, nullptr);
    // The system's messages end in a period and CR LF; a sentence inside ours must not.
    while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' ||
                          buffer[length - 1] == ' ' || buffer[length - 1] == '.'))
        --length;
    if (length == 0) return "system error";
    return std::string(buffer, length);
}

} // namespace scourvane::platform
