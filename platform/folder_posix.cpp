// Folder listing on POSIX.
#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace scourvane::platform
{

bool listFolderFiles(const char* folder, std::vector<std::string>& names)
{
    DIR* listing = ::opendir(folder);
    if (listing == nullptr) return false;
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing))
    {
        // A link to a file counts as the file it leads to, as opening it would.
        struct stat st;
        if (::fstatat(folderFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    return true;
}

} // namespace scourvane::platform
