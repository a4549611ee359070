// Folder listing on the Windows API (the 8-bit calls, so names come in the process's code page).
#include "platform/folder.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace scourvane::platform
{

bool listFolderFiles(const char* folder, std::vector<std::string>& names)
{
    std::string pattern(folder);
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern.push_back('\\');
    pattern.push_back('*');
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do
    {
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0)
            names.emplace_back(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return true;
}

} // namespace scourvane::platform
