// Where each file goes below an output folder, and the checks that no output meets a source or
// another output.
#include "cli/cli.h"

#include "platform/file_io.h"
#include "platform/folder.h"

#include <algorithm>
#include <tuple>

namespace scourvane::cli
{

namespace
{
// A path as the file system would compare it: absolute, with dot segments resolved (and on POSIX
// links followed as far as the path exists), no trailing separator, then keyed by the system's rule
// for names: on Windows case is ignored over all of Unicode, on POSIX every byte counts.
std::string comparable(const std::string& path)
{
    return platform::nameKey(platform::trimmedFolder(platform::fullPath(path.c_str())));
}

using Identity = std::tuple<uint64_t, uint64_t>; // device (volume) and index

Identity identityKey(const platform::FileIdentity& identity)
{
    return {identity.device, identity.index};
}
} // namespace

bool planOutputs(const std::vector<std::string>& arguments, const std::vector<FoundFile>& files,
                 const std::string& outputDir, std::vector<std::string>& outputs, std::string& error)
{
    // By identity, not by spelling: a link, a bind mount, "..", a short 8.3 name or another case can
    // name a source folder without looking like it.
    for (const std::string& argument : arguments)
    {
        if (platform::isDirectory(argument.c_str()) &&
            platform::isSameOrInside(outputDir.c_str(), argument.c_str()))
        {
            error = "the output folder " + outputDir + " may not be " + argument +
                    ", a folder being cleaned, or inside it";
            return false;
        }
    }
    // Outputs that do not exist yet have no identity: they are one file when the file system would
    // take their names for one.
    std::vector<std::pair<std::string, size_t>> seen; // comparable output path, file number
    outputs.clear();
    for (size_t i = 0; i < files.size(); ++i)
    {
        const std::string path = platform::joinPath(outputDir, files[i].relative);
        outputs.push_back(path);
        seen.emplace_back(comparable(path), i);
    }
    std::sort(seen.begin(), seen.end());
    for (size_t k = 1; k < seen.size(); ++k)
        if (seen[k].first == seen[k - 1].first)
        {
            error = files[seen[k - 1].second].path + " and " + files[seen[k].second].path +
                    " would both be written to " + outputs[seen[k].second];
            return false;
        }
    // An output that exists already may be a source under another name (another case, a short name,
    // a path through a bind mount): compared as files. The output's own name is asked, not what a
    // link there leads to, as a link at an output is replaced and never written through.
    std::vector<std::pair<Identity, size_t>> sources; // identity, file number
    for (size_t i = 0; i < files.size(); ++i)
    {
        const platform::FileIdentity identity = platform::identifyFile(files[i].path.c_str());
        if (identity.known) sources.emplace_back(identityKey(identity), i);
    }
    std::sort(sources.begin(), sources.end());
    for (size_t i = 0; i < files.size(); ++i)
    {
        platform::FileIdentity identity;
        platform::identifyName(outputs[i].c_str(), &identity);
        const Identity key = identityKey(identity);
        auto match = identity.known
                         ? std::lower_bound(sources.begin(), sources.end(), std::make_pair(key, size_t{0}))
                         : sources.end();
        bool itself = comparable(files[i].path) == comparable(outputs[i]);
        for (auto at = match; at != sources.end() && at->first == key; ++at)
            itself = itself || at->second == i;
        if (itself)
        {
            error = files[i].path + " would be written over itself";
            return false;
        }
        if (match != sources.end() && match->first == key)
        {
            error = files[i].path + " would be written over " + files[match->second].path +
                    ", another file being cleaned";
            return false;
        }
    }
    return true;
}

} // namespace scourvane::cli
