// Folder listing on POSIX.
#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace scourvane::platform
{

bool listFolderFiles(const char* folder, std::vector<std::string>& names,
                     std::vector<std::string>* subfolders)
{
    DIR* listing = ::opendir(folder);
    if (listing == nullptr) return false;
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing))
    {
        // A link to a file counts as the file it leads to, as opening it would.
        const std::string name = entry->d_name;
        struct stat st;
        if (name == "." || name == ".." || ::fstatat(folderFd, entry->d_name, &st, 0) != 0) continue;
        if (S_ISREG(st.st_mode))
            names.push_back(name);
        else if (S_ISDIR(st.st_mode) && subfolders != nullptr &&
                 ::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            subfolders->push_back(name);
    }
    ::closedir(listing);
    return true;
}

} // namespace scourvane::platform
