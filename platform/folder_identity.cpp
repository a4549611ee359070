// Whether a path lies inside a folder, by the identity of the folders on its way up: the same on
// every system, as identity and the full path are the platform's own.
#include "platform/file_io.h"
#include "platform/folder.h"

namespace scourvane::platform
{

bool isSameOrInside(const char* path, const char* folder)
{
    const FileIdentity wanted = identifyFile(folder);
    if (!wanted.known) return false;
    // Each step drops one name, so the walk ends at the root; the bound only guards the loop.
    std::string current = fullPath(path);
    for (int step = 0; step < 65536; ++step)
    {
        if (identifyFile(current.c_str()).sameFileAs(wanted)) return true;
        std::string parent = pathFolder(current);
        if (parent == current || parent.empty() || parent == ".") return false;
        current = std::move(parent);
    }
    return false;
}

} // namespace scourvane::platform
