// scourvane-io-floor [--sync-folder] DIR: the I/O that cleaning the .3do files of DIR cannot avoid, and
// nothing else. For each file, in the same order as the command-line tool: read it whole, write the
// same bytes to a temporary file beside it, flush that to disk and rename it over the original. The
// files end up as they were; the time this takes is the floor the whole batch is measured against.
// --sync-folder also flushes the folder after each rename, to show what that step alone costs.
#include "bench/bench_support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

bool isModelName(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".3do";
}

} // namespace

int main(int argc, char** argv)
{
    const bool syncFolder = argc == 3 && std::string(argv[1]) == "--sync-folder";
    if (argc != 2 && !syncFolder)
    {
        std::fprintf(stderr, "usage: scourvane-io-floor [--sync-folder] DIR\n");
        return 2;
    }
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[argc - 1]))
        if (entry.is_regular_file() && isModelName(entry.path().filename().string()))
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());

    std::vector<uint8_t> buffer;
    std::string error;
    for (const std::string& path : paths)
        if (!scourvane::bench::rewriteFileInPlace(path, buffer, syncFolder, error))
        {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    std::printf("%zu files rewritten\n", paths.size());
    return 0;
}
