// Listing a folder's files. One header, two implementations chosen at build time (folder_win32.cpp,
// folder_posix.cpp). Names are 8-bit strings in the process's code page, as every path here is.
#pragma once

#include <string>
#include <vector>

namespace scourvane::platform
{

// Appends to `names` the names (without the folder) of the regular files directly in `folder`, in
// the order the system gives them, and, when `subfolders` is given, the names of its subfolders
// ("." and ".." left out; a link to a folder too, so a walk down them cannot loop) to that list. False when
// the folder cannot be listed (missing, no access, not a folder).
bool listFolderFiles(const char* folder, std::vector<std::string>& names,
                     std::vector<std::string>* subfolders = nullptr);

} // namespace scourvane::platform
