// Folders on the Windows API: the wide calls, with the long-path prefix where a path needs it, and
// names converted to and from the process's code page.
#include "platform/folder.h"
#include "platform/wide_path_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace scourvane::platform
{

bool listFolderFiles(const char* folder, std::vector<std::string>& names,
                     std::vector<std::string>* subfolders)
{
    std::wstring pattern = widePath(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern.push_back(L'\\');
    pattern.push_back(L'*');
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do
    {
        const std::string name = narrowText(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        {
            if (subfolders != nullptr && name != "." && name != ".." &&
                (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                subfolders->push_back(name);
        }
        else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0)
            names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return true;
}

bool makeFolders(const char* path)
{
    // Each folder on the way down, then the whole path; a part that already exists, or a drive or
    // server name that is no folder to make, fails harmlessly.
    const std::string text = path;
    for (size_t separator = text.find_first_of("\\/", 1); separator != std::string::npos;
         separator = text.find_first_of("\\/", separator + 1))
        CreateDirectoryW(widePath(text.substr(0, separator)).c_str(), nullptr);
    const std::wstring whole = widePath(text);
    CreateDirectoryW(whole.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(whole.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool makeFoldersWithin(const char* root, const char* path, IoError* error)
{
    auto fail = [error](IoStep step, DWORD code)
    {
        if (error) *error = IoError{step, static_cast<uint32_t>(code)};
        return false;
    };
    const std::string base = trimmedFolder(root);
    const std::string text = path;
    if (text.compare(0, base.size(), base) != 0 ||
        (text.size() > base.size() && !isPathSeparator(base.back()) && !isPathSeparator(text[base.size()])))
        return fail(IoStep::notFolder, 0);
    if (!makeFolders(base.c_str())) return fail(IoStep::create, GetLastError());
    for (size_t at = base.size(); at < text.size();)
    {
        size_t end = at;
        while (end < text.size() && !isPathSeparator(text[end]))
            ++end;
        const std::string name = text.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") return fail(IoStep::notFolder, 0);
        // Each folder on the way is made or proved a real folder, never a junction or link, before
        // the next is made inside it.
        const std::wstring folder = widePath(text.substr(0, end));
        const bool made = CreateDirectoryW(folder.c_str(), nullptr) != 0;
        const DWORD makeError = GetLastError();
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return fail(IoStep::create, made ? GetLastError() : makeError);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return fail(IoStep::notFolder, 0);
    }
    return true;
}

std::string fullPath(const char* path)
{
    // The wide call, as the 8-bit one stops at MAX_PATH; the result has no "\\?\" prefix, which
    // widePath adds where a call needs it.
    const std::wstring wide = wideText(path);
    if (wide.empty()) return path;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return narrowText(full);
}

std::string nameKey(std::string_view path)
{
    // The invariant locale's upper case without LCMAP_LINGUISTIC_CASING is the file system's rule:
    // one UTF-16 unit to one, the same table on every machine whatever the user's language (no
    // Turkish dotted i), as NTFS compares names through its own upper-case table.
    std::wstring wide = wideText(path);
    for (wchar_t& unit : wide)
        if (unit == L'/') unit = L'\\';
    std::wstring upper(wide.size(), L'\0');
    if (!wide.empty() &&
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()),
                      upper.data(), static_cast<int>(upper.size()), nullptr, nullptr,
                      0) != static_cast<int>(wide.size()))
        upper = wide;
    // Two bytes a unit, high first, so that the key sorts as the units do and keeps every unit.
    std::string key;
    key.reserve(upper.size() * 2);
    for (const wchar_t unit : upper)
    {
        key.push_back(static_cast<char>((unit >> 8) & 0xFF));
        key.push_back(static_cast<char>(unit & 0xFF));
    }
    return key;
}

} // namespace scourvane::platform
