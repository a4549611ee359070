// Folder listing on the Windows API (the 8-bit calls, so names come in the process's code page).
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

} // namespace scourvane::platform
