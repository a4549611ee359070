// Where each file goes below an output folder, and the checks that no output meets a source or
// another output.
#include "cli/cli.h"

#include "platform/file_io.h"
#include "platform/folder.h"

#include <algorithm>

namespace scourvane::cli
{

namespace
{
// A path in one spelling for comparisons: absolute, with links and dot segments resolved as far as
// the path exists; on Windows, where names ignore case, folded to lower case.
std::string comparable(const std::string& path)
{
    std::string text = platform::fullPath(path.c_str());
#ifdef _WIN32
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) {
                       return c == '\\' ? '/' : c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
                   });
#endif
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool isWithin(const std::string& inner, const std::string& outer)
{
    return inner == outer || (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                              (inner[outer.size()] == '/' || outer.back() == '/'));
}
} // namespace

bool planOutputs(const std::vector<std::string>& arguments, const std::vector<FoundFile>& files,
                 const std::string& outputDir, std::vector<std::string>& outputs, std::string& error)
{
    const std::string output = comparable(outputDir);
    for (const std::string& argument : arguments)
    {
        if (platform::isDirectory(argument.c_str()) && isWithin(output, comparable(argument)))
        {
            error = "the output folder " + outputDir + " may not be " + argument +
                    ", a folder being cleaned, or inside it";
            return false;
        }
    }
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
    // No output may be a source of this run, its own or another's, however either is spelt: an
    // existing output is told by its identity (links, bind mounts and all).
    std::vector<std::pair<std::pair<uint64_t, uint64_t>, size_t>> sources;
    for (size_t i = 0; i < files.size(); ++i)
    {
        const platform::FileIdentity identity = platform::identifyFile(files[i].path.c_str());
        if (identity.known) sources.push_back({{identity.device, identity.index}, i});
    }
    std::sort(sources.begin(), sources.end());
    for (size_t i = 0; i < files.size(); ++i)
    {
        const platform::FileIdentity identity = platform::identifyFile(outputs[i].c_str());
        const std::pair<uint64_t, uint64_t> key{identity.device, identity.index};
        const auto found = std::lower_bound(sources.begin(), sources.end(), std::make_pair(key, size_t{0}));
        const bool isSource = identity.known && found != sources.end() && found->first == key;
        if (comparable(files[i].path) == comparable(outputs[i]) || (isSource && found->second == i))
        {
            error = files[i].path + " would be written over itself";
            return false;
        }
        if (isSource)
        {
            error = files[i].path + " would be written over " + files[found->second].path +
                    ", another model being cleaned";
            return false;
        }
    }
    return true;
}

} // namespace scourvane::cli
