// Folders on POSIX.
#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

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

bool makeFolders(const char* path)
{
    // Each folder on the way down, then the whole path; a part that already exists fails harmlessly.
    const std::string text = path;
    for (size_t slash = text.find('/', 1); slash != std::string::npos; slash = text.find('/', slash + 1))
        ::mkdir(text.substr(0, slash).c_str(), 0777);
    ::mkdir(path, 0777);
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeFoldersWithin(const char* root, const char* path, IoError* error)
{
    auto fail = [error](IoStep step, int code)
    {
        if (error) *error = IoError{step, static_cast<uint32_t>(code)};
        return false;
    };
    const std::string base = trimmedFolder(root);
    const std::string text = path;
    if (text.compare(0, base.size(), base) != 0 ||
        (text.size() > base.size() && base.back() != '/' && text[base.size()] != '/'))
        return fail(IoStep::notFolder, 0);
    if (!makeFolders(base.c_str())) return fail(IoStep::create, errno);
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return fail(IoStep::create, errno);
    for (size_t at = base.size(); at < text.size();)
    {
        const size_t end = std::min(text.find('/', at), text.size());
        const std::string name = text.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..")
        {
            ::close(fd);
            return fail(IoStep::notFolder, 0);
        }
        // Made relative to the folder already proved, and entered only when it is a folder itself.
        const bool made = ::mkdirat(fd, name.c_str(), 0777) == 0 || errno == EEXIST;
        const int makeError = errno;
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openError = errno;
        ::close(fd);
        if (next < 0)
            return openError == ENOENT && !made ? fail(IoStep::create, makeError)
                                                : fail(IoStep::notFolder, openError);
        fd = next;
    }
    ::close(fd);
    return true;
}

namespace
{
// The link-free form of an existing path, or "" when it does not exist.
std::string resolved(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return {};
    std::string text = real;
    std::free(real);
    return text;
}
} // namespace

std::string fullPath(const char* path)
{
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/')
    {
        char* current = ::getcwd(nullptr, 0);
        if (current == nullptr) return path;
        absolute = std::string(current) + "/" + absolute;
        std::free(current);
    }
    // The longest leading part that exists is resolved by the system; the rest, which names nothing
    // yet, is resolved by its text.
    std::string head = absolute;
    std::string base = resolved(head);
    while (base.empty() && !head.empty())
    {
        const size_t slash = head.find_last_of('/');
        head.resize(slash == std::string::npos ? 0 : slash);
        base = head.empty() ? "/" : resolved(head);
    }
    std::vector<std::string> segments;
    auto add = [&segments](const std::string& text, size_t from)
    {
        for (size_t begin = from; begin <= text.size();)
        {
            size_t end = text.find('/', begin);
            if (end == std::string::npos) end = text.size();
            const std::string segment = text.substr(begin, end - begin);
            if (segment == "..")
            {
                if (!segments.empty()) segments.pop_back();
            }
            else if (!segment.empty() && segment != ".")
                segments.push_back(segment);
            begin = end + 1;
        }
    };
    add(base, 0);
    add(absolute, head.size());
    std::string full;
    for (const std::string& segment : segments)
        full += "/" + segment;
    return full.empty() ? "/" : full;
}

std::string nameKey(std::string_view path)
{
    // POSIX file names are bytes: two names are one only when every byte is.
    return std::string(path);
}

} // namespace scourvane::platform
