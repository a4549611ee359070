// Yardsticks for the archive goals: a TA archive of a folder's models laid out by the tests'
// reference writer (LZ77, as TA's own archives are), and the time to read an archive whole.
//   scourvane-archive-bench make-hpi DIR OUT   every file of DIR as objects3d/NAME, plus 5 MB of noise
//   scourvane-archive-bench read PATH          opens the archive and reads every entry; prints ms
#include "archive/archive.h"
#include "archive/hpi_reference.h"
#include "platform/file_io.h"
#include "platform/folder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
using namespace scourvane;

int makeHpi(const char* folder, const char* out)
{
    std::vector<std::string> names;
    if (!platform::listFolderFiles(folder, names)) return 1;
    std::sort(names.begin(), names.end());
    test::RefHpi hpi;
    hpi.key = 0x7D;
    for (const std::string& name : names)
    {
        test::RefHpiFile file;
        file.path = "objects3d/" + name;
        if (!platform::readWholeFile(platform::joinPath(folder, name).c_str(), file.bytes, uint64_t{1} << 30))
            return 1;
        file.method = 1;
        hpi.files.push_back(std::move(file));
    }
    test::RefHpiFile noise;
    noise.path = "textures/noise.gaf";
    noise.bytes.resize(5u << 20);
    std::mt19937 random(7);
    for (uint8_t& byte : noise.bytes)
        byte = static_cast<uint8_t>(random());
    noise.method = 2;
    hpi.files.push_back(std::move(noise));
    const std::vector<uint8_t> image = test::refWriteHpi(hpi);
    return platform::replaceFileContents(out, image.data(), image.size()) ? 0 : 1;
}

int readWhole(const char* path)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<uint8_t> image;
    if (!platform::readWholeFile(path, image, uint64_t{1} << 32)) return 1;
    archive::Archive opened;
    if (!opened.open(image.data(), image.size()).ok()) return 1;
    std::vector<uint8_t> entry;
    for (size_t i = 0; i < opened.entries().size(); ++i)
        if (!opened.entries()[i].folder && !opened.read(i, entry).ok()) return 1;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", std::chrono::duration<double, std::milli>(elapsed).count());
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "make-hpi") == 0) return makeHpi(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "read") == 0) return readWhole(argv[2]);
    std::fputs("usage: scourvane-archive-bench make-hpi DIR OUT | read PATH\n", stderr);
    return 2;
}
