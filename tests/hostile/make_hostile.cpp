// scourvane-make-hostile FOLDER: writes every crafted file into FOLDER with manifest.tsv, a line per
// file: its name, what a tool must do with it ("cleaned", or "read": fail with "Error reading file"),
// the reason the tool must print ("-" for a cleaned file) and what the file tries.
// Exit status 1 when a file the reader must refuse is refused for another reason than it was made for.
// scourvane-make-hostile --seeds FOLDER: only the small crafted files, as seeds for the fuzzers.
#include "hostile/hostile_files.h"
#include "support/test_support.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    using namespace scourvane;
    const bool seeds = argc == 3 && std::strcmp(argv[1], "--seeds") == 0;
    if (argc != 2 && !seeds)
    {
        std::fprintf(stderr, "usage: scourvane-make-hostile [--seeds] FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[argc - 1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (seeds)
    {
        for (const hostile::HostileFile& file : hostile::hostileFiles(false))
            if (file.bytes.size() <= 4096) test::writeBytes((folder / file.name).string(), file.bytes);
        return std::filesystem::is_directory(folder) ? 0 : 1;
    }

    std::ofstream manifest(folder / "manifest.tsv", std::ios::binary | std::ios::trunc);
    // An empty reason: the file must be cleaned.
    auto list = [&](const std::string& name, const std::string& reason, const std::string& about) {
        manifest << name << '\t' << (reason.empty() ? "cleaned\t-" : "read\t" + reason) << '\t' << about
                 << '\n';
    };
    for (const hostile::HostileFile& file : hostile::hostileFiles(true))
    {
        test::writeBytes((folder / file.name).string(), file.bytes);
        ObjectPart root;
        LoadError error;
        const bool ok = file.expected == LoadResult::ok;
        if (!ok) root.loadModelBytes(file.bytes.data(), file.bytes.size(), &error);
        // The tool's message comes from the same load, so only here can a file caught for the wrong
        // reason show.
        if (!ok && error.result != file.expected)
        {
            std::fprintf(stderr, "scourvane-make-hostile: %s fails for another reason: %s\n",
                         file.name.c_str(), describeLoadError(error).c_str());
            return 1;
        }
        list(file.name, ok ? "" : describeLoadError(error), file.about);
    }
    // Larger than any file a reader could follow: refused before anything is read. Sparse, so it
    // costs no disk space.
    const std::filesystem::path huge = folder / "huge-sparse.3do";
    std::ofstream(huge, std::ios::binary | std::ios::trunc).close();
    std::filesystem::resize_file(huge, (uintmax_t{1} << 31) + 4096, ec);
    ObjectPart root;
    LoadError error;
    root.loadModelFile(huge.string().c_str(), &error);
    if (!ec) list(huge.filename().string(), describeLoadError(error), "a sparse file of 2 GiB and 4 KiB");
    if (!manifest)
    {
        std::fprintf(stderr, "scourvane-make-hostile: cannot write into %s\n", argv[argc - 1]);
        return 1;
    }
    return 0;
}
