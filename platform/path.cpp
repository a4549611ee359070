// Splitting and joining paths by the system's one rule for separators and drive letters.
#include "platform/path.h"

namespace scourvane::platform
{

namespace
{
bool endsAName(std::string_view path, size_t at)
{
    const char c = path[at];
#ifdef _WIN32
    // "C:" ends a drive, never a name: "C:name" is the file name on drive C's current folder.
    if (c == ':' && at == 1) return true;
#endif
    return isPathSeparator(c);
}
} // namespace

size_t pathNameStart(std::string_view path)
{
    size_t start = path.size();
    while (start > 0 && !endsAName(path, start - 1))
        --start;
    return start;
}

std::string_view pathName(std::string_view path)
{
    return path.substr(pathNameStart(path));
}

std::string trimmedFolder(std::string_view folder)
{
    auto isRoot = [](std::string_view f)
    {
#ifdef _WIN32
        if (f.size() == 2 && f[1] == ':') return true;                          // "C:"
        if (f.size() == 3 && f[1] == ':' && isPathSeparator(f[2])) return true; // "C:\\"
#endif
        return f.size() == 1 && isPathSeparator(f[0]);
    };
    while (!isRoot(folder) && folder.size() > 1 && isPathSeparator(folder.back()))
        folder.remove_suffix(1);
    return std::string(folder);
}

std::string pathFolder(std::string_view path)
{
    const size_t start = pathNameStart(path);
    if (start == 0) return ".";
    return trimmedFolder(path.substr(0, start));
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    std::string joined(folder);
    if (!folder.empty() && !endsAName(folder, folder.size() - 1)) joined += pathSeparator;
    joined += name;
    return joined;
}

} // namespace scourvane::platform
