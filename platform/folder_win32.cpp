// Folders on the Windows API (the 8-bit calls, so names come in the process's code page).
#include "platform/folder.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace scourvane::platform
{

bool listFolderFiles(const char* folder, std::vector<std::string>& names,
                     std::vector<std::string>* subfolders)
{
    std::string pattern(folder);
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern.push_back('\\');
    pattern.push_back('*');
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do
    {
        const std::string name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        {
            if (subfolders != nullptr && name != "." && name != ".." &&
                (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                subfolders->push_back(name);
        }
        else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0)
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
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
        CreateDirectoryA(text.substr(0, separator).c_str(), nullptr);
    CreateDirectoryA(path, nullptr);
    const DWORD attributes = GetFileAttributesA(path);
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
        const std::string folder = text.substr(0, end);
        const bool made = CreateDirectoryA(folder.c_str(), nullptr) != 0;
        const DWORD makeError = GetLastError();
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return fail(IoStep::create, made ? GetLastError() : makeError);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return fail(IoStep::notFolder, 0);
    }
    return true;
}

std::string fullPath(const char* path)
{
    const DWORD needed = GetFullPathNameA(path, 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::string full(needed, '\0');
    const DWORD length = GetFullPathNameA(path, needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

} // namespace scourvane::platform
