// Writes the crafted files into a folder, with manifest.tsv listing for each file what a tool must
// do with it: "cleaned", or "read" (fail with "Error reading file") and words its reason contains
// ("-" for a cleaned file), then what the file tries.
// Usage: scourvane-make-hostile FOLDER
#include "hostile/hostile_files.h"
#include "support/test_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    using namespace scourvane;
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: scourvane-make-hostile FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::ofstream manifest(folder / "manifest.tsv", std::ios::binary | std::ios::trunc);
    for (const hostile::HostileFile& file : hostile::hostileFiles(true))
    {
        test::writeBytes((folder / file.name).string(), file.bytes);
        manifest << file.name << '\t' << (file.expected == LoadResult::ok ? "cleaned" : "read") << '\t'
                 << (file.expected == LoadResult::ok ? "-" : hostile::reasonWords(file.expected)) << '\t'
                 << file.about << '\n';
    }

    // Larger than any file a reader could follow: refused before anything is read. Sparse, so it
    // costs no disk space.
    const std::filesystem::path huge = folder / "huge-sparse.3do";
    {
        std::ofstream create(huge, std::ios::binary | std::ios::trunc);
    }
    std::filesystem::resize_file(huge, (uintmax_t{1} << 31) + 4096, ec);
    if (!ec)
        manifest << huge.filename().string() << "\tread\t" << hostile::reasonWords(LoadResult::fileTooLarge)
                 << "\ta sparse file of 2 GiB and 4 KiB\n";
    if (!manifest)
    {
        std::fprintf(stderr, "scourvane-make-hostile: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
