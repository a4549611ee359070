// Folders: listing a folder's files, making folders, and a path's full form. One header, two
// implementations chosen at build time (folder_win32.cpp, folder_posix.cpp). Names are 8-bit strings
// in the process's code page, as every path here is (UTF-8 on POSIX, and on Windows under the
// program's manifest).
#pragma once

#include "platform/file_io.h"
#include "platform/path.h"

#include <string>
#include <string_view>
#include <vector>

namespace scourvane::platform
{

// Appends to `names` the names (without the folder) of the regular files directly in `folder`, in
// the order the system gives them, and, when `subfolders` is given, the names of its subfolders
// ("." and ".." left out; a link to a folder too, so a walk down them cannot loop) to that list. False when
// the folder cannot be listed (missing, no access, not a folder).
bool listFolderFiles(const char* folder, std::vector<std::string>& names,
                     std::vector<std::string>* subfolders = nullptr);

// Makes the folder `path` and every missing folder above it. True when `path` is a folder afterwards
// (made now or already there); a part that cannot be made leaves the rest unmade.
bool makeFolders(const char* path);

// Makes the folder `path`, which lies below `root` (its text begins with `root`'s), one folder at a
// time without following a link: `root` itself (made when missing) may be anything, but every
// folder from there down must be a real folder, made now or already there, so that nothing made or
// written at `path` can land outside `root`. False with IoStep::notFolder when a part is a link, not
// a folder or "..", or with IoStep::create when one cannot be made.
bool makeFoldersWithin(const char* root, const char* path, IoError* error = nullptr);

// `path` as an absolute path with "." and ".." segments resolved and (on POSIX, as far as the path
// exists) links followed, so that two spellings of one place compare equal. The system's separator;
// no case folding. `path` as it is when the system cannot make it absolute.
std::string fullPath(const char* path);

// A key for `path` that two spellings share exactly when this system's file names would take them
// for one name, for comparing and sorting names that may not exist yet (where no identity can tell
// them apart). On Windows the UTF-16 units in upper case by the file system's rule, ignoring case
// over all of Unicode as CompareStringOrdinal does, with '/' read as '\\'; on POSIX the bytes as
// they are. Only the spelling is compared: make the path full first for ".", ".." and the like.
std::string nameKey(std::string_view path);

// True when `path` is the folder `folder` or lies anywhere below it, judged by identity, never by
// spelling: `path` and each folder above it are compared with `folder` as files (device and index),
// so links, bind mounts, "..", and on Windows short names and case cannot hide that a path is inside
// a folder. A `path` that does not exist yet is judged by the folders above it that do. False when
// `folder` does not exist.
bool isSameOrInside(const char* path, const char* folder);

} // namespace scourvane::platform
