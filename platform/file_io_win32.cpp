// Win32 file layer.
#include "platform/file_io.h"
#include "platform/path.h"
#include "platform/wide_path_win32.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
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

// A short name of one fixed shape beside the target, independent of the target's name.
std::string temporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const unsigned bits = static_cast<unsigned>(now.QuadPart) ^ (GetCurrentProcessId() << 12) ^
                          (counter.fetch_add(1) * 0x9E3779B9u);
    char name[32];
    std::snprintf(name, sizeof name, ".scourvane-%08x.tmp", bits);
    return target.substr(0, pathNameStart(target)) + name;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    FileIdentity identity;
    identity.device = info.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.modified =
        static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                             info.ftLastWriteTime.dwLowDateTime);
    identity.links = info.nNumberOfLinks;
    identity.known = true;
    return identity;
}

// Marks an open file to be deleted when its last handle closes, or clears that mark.
bool setDeleteOnClose(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Gives the new file `file` the access control list of the file at `source`: its own entries, and
// whether it takes the folder's. The owner stays the user of this process, as giving a file away
// needs a privilege. A volume that keeps no access lists has nothing to keep.
bool keepAccessList(HANDLE file, const std::wstring& source, IoError* error)
{
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
        (flags & FILE_PERSISTENT_ACLS) == 0)
        return true;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD code = GetNamedSecurityInfoW(source.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, &list, nullptr, &descriptor);
    if (code != ERROR_SUCCESS) return fail(error, IoStep::attributes, code);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                   : UNPROTECTED_DACL_SECURITY_INFORMATION);
    code = SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, list, nullptr);
    LocalFree(descriptor);
    if (code != ERROR_SUCCESS) return fail(error, IoStep::attributes, code);
    return true;
}

// Opens the file at `path` for reading into `file` and tells what it is in `info` and `size`.
bool openForReading(const char* path, HANDLE& file, BY_HANDLE_FILE_INFORMATION& info, LARGE_INTEGER& size,
                    IoError* error)
{
    if (injected(IoStep::open)) return fail(error, IoStep::open, GetLastError());
    file = CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(error, IoStep::open, GetLastError());
    if (!GetFileInformationByHandle(file, &info) || !GetFileSizeEx(file, &size))
    {
        DWORD code = GetLastError();
        CloseHandle(file);
        return fail(error, IoStep::size, code);
    }
    return true;
}

// The head decides before the file's size is allocated: a huge file that plainly is not what is
// wanted costs one small read. False when the head cannot be read or `check` refuses it.
bool checkHead(HANDLE file, uint64_t fileSize, size_t headSize, StartCheck check, void* context,
               IoError* error)
{
    uint8_t head[256];
    const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>({headSize, sizeof head, fileSize}));
    DWORD got = 0;
    OVERLAPPED start{};
    if (wanted > 0 && !ReadFile(file, head, wanted, &got, &start))
        return fail(error, IoStep::read, GetLastError());
    LARGE_INTEGER zero{};
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN); // the whole file is read from its start
    if (!check(head, got, fileSize, context)) return fail(error, IoStep::refused, 0);
    return true;
}

// Reads the file into `out`, sized for it already; a file that shrank since is what was read.
bool readBody(HANDLE file, std::vector<uint8_t>& out, IoError* error)
{
    size_t done = 0;
    while (done < out.size())
    {
        DWORD got = 0;
        size_t left = out.size() - done;
        DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        if (injected(IoStep::read) || !ReadFile(file, out.data() + done, chunk, &got, nullptr))
            return fail(error, IoStep::read, GetLastError());
        if (got == 0) break;
        done += got;
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
    HANDLE file = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    if (!openForReading(path, file, info, size, error)) return false;
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    if (fileSize > maxSize)
    {
        CloseHandle(file);
        return fail(error, IoStep::tooLarge, ERROR_FILE_TOO_LARGE);
    }
    if (check && !checkHead(file, fileSize, headSize, check, context, error))
    {
        CloseHandle(file);
        return false;
    }
    out.resize(static_cast<size_t>(size.QuadPart));
    if (!readBody(file, out, error))
    {
        CloseHandle(file);
        out.clear();
        return false;
    }
    if (!closeChecked(file))
    {
        out.clear();
        return fail(error, IoStep::close, GetLastError());
    }
    if (identity) *identity = identityOf(info);
    return true;
}

bool readFileStart(const char* path, size_t count, std::vector<uint8_t>& out)
{
    out.clear();
    HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool read = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size);
    if (read)
    {
        out.resize(static_cast<size_t>(std::min<uint64_t>(count, static_cast<uint64_t>(size.QuadPart))));
        size_t done = 0;
        while (read && done < out.size())
        {
            DWORD got = 0;
            read = ReadFile(file, out.data() + done, static_cast<DWORD>(out.size() - done), &got, nullptr) &&
                   got > 0;
            done += got;
        }
        out.resize(done);
    }
    CloseHandle(file);
    return read;
}

FileIdentity identifyFile(const char* path)
{
    HANDLE file =
        CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return ok ? identityOf(info) : FileIdentity{};
}

NameKind identifyName(const char* path, FileIdentity* identity)
{
    const std::wstring wide = widePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    HANDLE file =
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return attributes == INVALID_FILE_ATTRIBUTES ? NameKind::missing : NameKind::other;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    // A device (NUL, CON) opens but has no file information.
    if (!known || type != FILE_TYPE_DISK) return NameKind::other;
    if (identity) *identity = identityOf(info);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return NameKind::link;
    return info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? NameKind::other : NameKind::regular;
}

bool FileReplacement::begin(const char* path, uint64_t expectedSize, IoError* error, bool replaceLink,
                            const char* accessSource)
{
    abandon();
    // A link at the path is replaced itself by the rename below, never written through.
    target_ = path;
    const std::wstring wideTarget = widePath(target_);
    const DWORD attributes = GetFileAttributesW(wideTarget.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    attributes_ = exists ? attributes : 0;
    if (exists && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(error, IoStep::open, ERROR_ACCESS_DENIED);
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail(error, IoStep::readOnly, 0);
        // Refuse early when another program holds the file open against writing.
        if (injected(IoStep::open)) return fail(error, IoStep::open, GetLastError());
        HANDLE probe = CreateFileW(wideTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return fail(error, IoStep::open, GetLastError());
        BY_HANDLE_FILE_INFORMATION info;
        const bool linked = GetFileInformationByHandle(probe, &info) && info.nNumberOfLinks > 1;
        CloseHandle(probe);
        if (linked && !replaceLink) return fail(error, IoStep::linked, 0);
    }

    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt)
    {
        temporary_ = temporaryNameFor(target_);
        if (injected(IoStep::create))
        {
            temporary_.clear();
            return fail(error, IoStep::create, GetLastError());
        }
        file = CreateFileW(widePath(temporary_).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC,
                           FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
        {
            const DWORD code = GetLastError();
            temporary_.clear();
            if (code != ERROR_FILE_EXISTS) return fail(error, IoStep::create, code);
        }
    }
    if (file == INVALID_HANDLE_VALUE) return fail(error, IoStep::create, ERROR_FILE_EXISTS);
    handle_ = reinterpret_cast<intptr_t>(file);
    // Gone with the last handle, however the process ends, until commit clears the mark.
    unnamed_ = setDeleteOnClose(file, true);
    const bool replacesFile = exists && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (accessSource || replacesFile)
    {
        if (!keepAccessList(file, widePath(accessSource ? std::string(accessSource) : target_), error))
        {
            abandon();
            return false;
        }
    }
    if (expectedSize > 0)
    {
        // Reserving the room now lets a full disk fail before anything is written.
        FILE_ALLOCATION_INFO allocation{};
        allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(expectedSize & 0x7FFFFFFFFFFFFFFFull);
        if (!SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation) &&
            GetLastError() == ERROR_DISK_FULL)
        {
            abandon();
            return fail(error, IoStep::write, ERROR_DISK_FULL);
        }
    }
    return true;
}

bool FileReplacement::write(const uint8_t* data, size_t size, IoError* error)
{
    if (!isOpen()) return fail(error, IoStep::write, ERROR_INVALID_HANDLE);
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    std::vector<uint8_t> corrupted;
    data = detail::bytesToStore(data, size, corrupted);
    while (size > 0)
    {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (injected(IoStep::write) || !WriteFile(file, data, chunk, &written, nullptr) || written != chunk)
        {
            const DWORD code = GetLastError();
            abandon();
            return fail(error, IoStep::write, code);
        }
        data += written;
        size -= written;
        written_ += written;
    }
    return true;
}

bool FileReplacement::readBack(std::vector<uint8_t>& out, IoError* error)
{
    out.clear();
    if (!isOpen()) return fail(error, IoStep::read, ERROR_INVALID_HANDLE);
    if (written_ > SIZE_MAX) return fail(error, IoStep::tooLarge, ERROR_FILE_TOO_LARGE);
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    out.resize(static_cast<size_t>(written_));
    size_t done = 0;
    while (done < out.size())
    {
        const size_t left = out.size() - done;
        DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(done) >> 32);
        DWORD got = 0;
        if (injected(IoStep::read) || !ReadFile(file, out.data() + done, chunk, &got, &at) || got == 0)
        {
            const DWORD code = GetLastError();
            out.clear();
            return fail(error, IoStep::read, code);
        }
        done += got;
    }
    // A positioned read moves the file pointer: put it back at the end for further writes.
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(written_);
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    // Something else that wrote into the file must not hide behind a prefix that reads as the image.
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return fail(error, IoStep::read, GetLastError());
    if (static_cast<uint64_t>(size.QuadPart) != written_)
    {
        out.clear();
        return fail(error, IoStep::strayBytes, 0);
    }
    return true;
}

bool FileReplacement::finish(const FileIdentity* expected, bool replace, IoError* error)
{
    if (!isOpen()) return fail(error, IoStep::create, ERROR_INVALID_HANDLE);
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    auto drop = [&](IoStep step, DWORD code)
    {
        abandon();
        return fail(error, step, code);
    };
    if (injected(IoStep::flush) || !FlushFileBuffers(file)) return drop(IoStep::flush, GetLastError());
    if (expected && !expected->sameFileAndContent(identifyFile(target_.c_str())))
        return drop(IoStep::changed, 0);
    if (unnamed_)
    {
        if (!setDeleteOnClose(file, false)) return drop(IoStep::rename, GetLastError());
        unnamed_ = false;
    }
    handle_ = invalidHandle;
    if (!closeChecked(file)) return drop(IoStep::close, GetLastError());
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (injected(IoStep::rename) ||
        !MoveFileExW(widePath(temporary_).c_str(), widePath(target_).c_str(), flags))
    {
        const DWORD code = GetLastError();
        const bool taken = !replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS);
        return drop(taken ? IoStep::exists : IoStep::rename, code);
    }
    if ((attributes_ & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        SetFileAttributesW(widePath(target_).c_str(), attributes_); // keep hidden, archive and the like
    temporary_.clear();
    written_ = 0;
    return true;
}

void FileReplacement::abandon()
{
    if (handle_ != invalidHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = invalidHandle;
    // Deleting by name also covers a system that refused the delete-on-close mark.
    if (!temporary_.empty()) DeleteFileW(widePath(temporary_).c_str());
    temporary_.clear();
    unnamed_ = false;
    written_ = 0;
}

int64_t fileSize(const char* path)
{
    HANDLE file = CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(file, &info) != 0;
    if (!CloseHandle(file) || !ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
}

bool isDirectory(const char* path)
{
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
