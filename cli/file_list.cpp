// The files a run takes: the paths as given, and the *.3do files of folders (their trees with -r).
#include "cli/cli.h"

#include "batch/archive_step.h"
#include "batch/selection_list.h"
#include "cli/glob.h"
#include "platform/file_io.h"
#include "platform/folder.h"

#include <algorithm>

namespace scourvane::cli
{

namespace
{
using platform::joinPath;

// Names on Windows ignore case, so the patterns that pick them do too.
#ifdef _WIN32
constexpr bool namesIgnoreCase = true;
#else
constexpr bool namesIgnoreCase = false;
#endif

// True when a pattern matches the file or folder at `relative` (in this system's spelling).
bool isExcluded(const std::vector<Glob>& excludes, const std::string& relative, bool isFolder)
{
    if (excludes.empty()) return false;
    std::string path = relative;
    for (char& c : path)
        if (platform::isPathSeparator(c)) c = '/';
    for (const Glob& glob : excludes)
        if (glob.matches(path, isFolder)) return true;
    return false;
}

// The *.3do files of `directory` (with `recursive`, of its whole tree; folders reached through links
// are not entered, so the walk cannot loop), each with its path relative to `directory`. The walk
// keeps its own list of folders to visit, so a deep tree costs memory, never stack.
void listDirectory(const std::string& directory, bool recursive, bool archives,
                   const std::vector<Glob>& excludes, std::vector<FoundFile>& found,
                   std::vector<std::string>& problems)
{
    std::vector<std::string> pending{""}; // folders to list, relative to `directory`
    while (!pending.empty())
    {
        const std::string relative = std::move(pending.back());
        pending.pop_back();
        const std::string folder = relative.empty() ? directory : joinPath(directory, relative);
        std::vector<std::string> names, subfolders;
        if (!platform::listFolderFiles(folder.c_str(), names, recursive ? &subfolders : nullptr))
        {
            problems.push_back(folder + ": cannot list the directory");
            continue;
        }
        for (const std::string& name : names)
        {
#ifdef _WIN32
            // Without the UTF-8 code page (Windows before 10 1903) a character the code page lacks
            // comes as '?', which no Windows name holds: such a file cannot be opened by this name.
            if (name.find('?') != std::string::npos)
            {
                problems.push_back(folder +
                                   ": skipped a file whose name has no 8-bit form in this code page");
                continue;
            }
#endif
            const bool model = hasModelExtension(name);
            if (!model && !(archives && hasArchiveExtension(name))) continue;
            const std::string inTree = relative.empty() ? name : joinPath(relative, name);
            if (isExcluded(excludes, inTree, false)) continue;
            std::string path = joinPath(directory, inTree);
            // Only what its contents show to be an archive is opened as one: a stray file named
            // like one is no model either, and is left alone.
            if (!model && archiveKindOfFile(path.c_str()) == archive::ArchiveKind::unknown) continue;
            found.push_back({std::move(path), inTree, !model});
        }
        for (const std::string& subfolder : subfolders)
        {
            std::string inTree = relative.empty() ? subfolder : joinPath(relative, subfolder);
            if (!isExcluded(excludes, inTree, true)) pending.push_back(std::move(inTree));
        }
    }
}
} // namespace

std::vector<FoundFile> collectFiles(const std::vector<std::string>& paths, bool recursive,
                                    std::vector<std::string>& problems,
                                    const std::vector<std::string>& excludes, bool archives)
{
    std::vector<Glob> globs;
    for (const std::string& pattern : excludes)
        globs.emplace_back(pattern, namesIgnoreCase);
    std::vector<FoundFile> files;
    for (const std::string& path : paths)
    {
        if (!platform::isDirectory(path.c_str()))
        {
            std::string name(platform::pathName(path));
            if (!isExcluded(globs, name, false))
                files.push_back({path, std::move(name),
                                 archiveKindOfFile(path.c_str()) != archive::ArchiveKind::unknown});
            continue;
        }
        std::vector<FoundFile> found;
        listDirectory(path, recursive, archives, globs, found, problems);
        // Directory order is whatever the file system gives; sorting makes runs repeatable.
        std::sort(found.begin(), found.end(),
                  [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

std::function<bool(std::string_view)> excludedEntries(const std::vector<std::string>& excludes)
{
    if (excludes.empty()) return {};
    std::vector<Glob> globs;
    for (const std::string& pattern : excludes)
        globs.emplace_back(pattern, namesIgnoreCase);
    // An entry is left out when a pattern matches it or any folder on its way.
    return [globs = std::move(globs)](std::string_view entry)
    {
        for (size_t slash = entry.find('/'); slash != std::string_view::npos;
             slash = entry.find('/', slash + 1))
            for (const Glob& glob : globs)
                if (glob.matches(entry.substr(0, slash), true)) return true;
        for (const Glob& glob : globs)
            if (glob.matches(entry, false)) return true;
        return false;
    };
}

bool subfoldersHoldModels(const std::vector<std::string>& paths)
{
    // Walked with a list of folders to visit, never through a link, so no tree can make it loop.
    std::vector<std::string> pending;
    for (const std::string& path : paths)
    {
        if (!platform::isDirectory(path.c_str())) continue;
        std::vector<std::string> files, subfolders;
        if (!platform::listFolderFiles(path.c_str(), files, &subfolders)) continue;
        for (const std::string& sub : subfolders)
            pending.push_back(joinPath(path, sub));
    }
    while (!pending.empty())
    {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        std::vector<std::string> files, subfolders;
        if (!platform::listFolderFiles(folder.c_str(), files, &subfolders)) continue;
        for (const std::string& name : files)
            if (hasModelExtension(name)) return true;
        for (const std::string& sub : subfolders)
            pending.push_back(joinPath(folder, sub));
    }
    return false;
}

} // namespace scourvane::cli
