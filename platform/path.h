// Paths as strings: where a path's last name starts, its folder, and joining a folder and a name.
// One rule for separators and drive letters on each system, so that every caller splits and joins
// alike. Pure string work: nothing here asks the file system.
#pragma once

#include <string>
#include <string_view>

namespace scourvane::platform
{

// The separator this system writes between a path's segments, and the ones it reads ('/' and, on
// Windows, '\\' as well).
#ifdef _WIN32
inline constexpr char pathSeparator = '\\';
inline bool isPathSeparator(char c)
{
    return c == '\\' || c == '/';
}
#else
inline constexpr char pathSeparator = '/';
inline bool isPathSeparator(char c)
{
    return c == '/';
}
#endif

// Where the last name of `path` starts: after its last separator and, on Windows, after a drive's
// colon ("C:name"). path.size() when the path ends with a separator.
size_t pathNameStart(std::string_view path);

// The last name of `path` ("b.3do" of "a/b.3do"; the whole path when it has no folder).
std::string_view pathName(std::string_view path);

// `folder` without trailing separators, except that a root keeps its own ("/", "C:\\").
std::string trimmedFolder(std::string_view folder);

// The folder of `path` without trailing separators: "." for a bare name; a root keeps its own
// separator ("/", "C:\\") and a drive alone stays as it is ("C:" of "C:name").
std::string pathFolder(std::string_view path);

// `folder` and `name` with one separator between them: none is added after a separator the folder
// already ends with (or, on Windows, after a drive's colon), and an empty folder gives the name alone.
std::string joinPath(std::string_view folder, std::string_view name);

} // namespace scourvane::platform
