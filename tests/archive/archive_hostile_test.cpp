// Hostile archives for both readers: each refused with its reason, quickly, without allocating what
// the file cannot justify.
#include "archive/archive.h"
#include "archive/hpi_reference.h"
#include "archive/zip_builder.h"

#include <gtest/gtest.h>

namespace scourvane
{
namespace
{

using archive::Archive;
using archive::ArchiveResult;

// Opens the image and, when that works, reads every entry: the first failure found, which must
// come with a reason.
ArchiveResult openAndReadAll(const std::vector<uint8_t>& image)
{
    Archive opened;
    archive::ArchiveError error = opened.open(image.data(), image.size());
    std::vector<uint8_t> bytes;
    for (size_t i = 0; error.ok() && i < opened.entries().size(); ++i)
        if (!opened.entries()[i].folder) error = opened.read(i, bytes);
    EXPECT_NE(describeArchiveError(error).empty(), !error.ok());
    return error.result;
}

TEST(HostileZip, CraftedFieldsAreRefusedWithTheirReason)
{
    const std::vector<uint8_t> base =
        test::buildZip({{"a.3do", std::vector<uint8_t>(5000, 'x'), 8, 0, false, false},
                        {"b.txt", std::vector<uint8_t>(100, 'y'), 0, 0, false, false}},
                       {});
    // Where the fields sit: the end record, the first central record, the second one and the second
    // entry's local header (the first's is at 0).
    struct Spots
    {
        size_t end, central, second, secondLocal;
    } at;
    at.end = base.size() - 22;
    at.central = test::le32(base, at.end + 16);
    at.second = test::findSignature(base, 0x02014b50, at.central + 1);
    at.secondLocal = test::le32(base, at.second + 42);
    struct Case
    {
        const char* name;
        void (*craft)(std::vector<uint8_t>&, const Spots&);
        ArchiveResult expected;
    };
    const Case cases[] = {
        {"central directory past the end", [](auto& b, auto& s) { test::setLe32(b, s.end + 16, 0x7FFFFFF0); },
         ArchiveResult::badCentralDirectory},
        {"huge entry count",
         [](auto& b, auto& s) { test::setLe16(b, s.end + 8, 0xFFFF), test::setLe16(b, s.end + 10, 0xFFFF); },
         ArchiveResult::badCentralDirectory},
        {"local header past the end", [](auto& b, auto& s) { test::setLe32(b, s.second + 42, 0x7FFFFFF0); },
         ArchiveResult::badLocalHeader},
        {"two entries on the same bytes", [](auto& b, auto& s) { test::setLe32(b, s.second + 42, 0); },
         ArchiveResult::badLocalHeader},
        {"declared size smaller than the data",
         [](auto& b, auto& s) { test::setLe32(b, s.central + 24, 4000), test::setLe32(b, 22, 4000); },
         ArchiveResult::sizeMismatch},
        {"declared size larger than the data",
         [](auto& b, auto& s) { test::setLe32(b, s.central + 24, 6000), test::setLe32(b, 22, 6000); },
         ArchiveResult::sizeMismatch},
        {"a bomb declaring 4 GB from a few bytes",
         [](auto& b, auto& s)
         { test::setLe32(b, s.central + 24, 0xFFFFFFF0u), test::setLe32(b, 22, 0xFFFFFFF0u); },
         ArchiveResult::entryTooLarge},
        {"wrong CRC", [](auto& b, auto& s) { test::setLe32(b, s.central + 16, 1), test::setLe32(b, 14, 1); },
         ArchiveResult::checksumMismatch},
        {"local name differs", [](auto& b, auto& s) { b[s.secondLocal + 30] = 'Z'; },
         ArchiveResult::badLocalHeader},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> image = base;
        c.craft(image, at);
        EXPECT_EQ(openAndReadAll(image), c.expected) << c.name;
    }

    // Two central records naming one local entry: same name, so the local header agrees; refused
    // as overlapping, which is what defeats overlapping-entry bombs.
    std::vector<uint8_t> twice = test::buildZip({{"a", std::vector<uint8_t>(50, 'x'), 8, 0, false, false},
                                                 {"a", std::vector<uint8_t>(50, 'x'), 8, 0, false, false}},
                                                {});
    const size_t firstRecord = test::le32(twice, twice.size() - 22 + 16);
    test::setLe32(twice, test::findSignature(twice, 0x02014b50, firstRecord + 1) + 42, 0);
    EXPECT_EQ(openAndReadAll(twice), ArchiveResult::overlappingEntries);
}

// Cuts a one-chunk LZ77 file of eight literals after them, before the end match's tag byte.
void cutBeforeTheEnd(std::vector<uint8_t>& b, size_t, size_t)
{
    test::setLe32(b, 20, 19 + 9);
    test::setLe32(b, 31, 9);
    test::setLe32(b, 39, test::le32(b, 39) - 1);
}

// Hostile TA archives are the reference writer's, without a key, with fields edited where its layout
// puts them: a one-chunk file's chunk header at 24 (the unpacked size at 35, the sum at 39, the
// payload at 43), the root node at the directory's start, then the names, then the records (offset,
// size, method) and the root's table (name, target, folder flag).
TEST(HostileHpi, CraftedArchivesAreRefusedWithTheirReason)
{
    // `copies` files of these bytes, "f", "f1" and so on.
    const auto file = [](std::vector<uint8_t> bytes, int method, std::string path = "f", int copies = 1)
    {
        std::vector<test::RefHpiFile> files;
        for (int i = 0; i < copies; ++i)
            files.push_back({path + (i > 0 ? std::to_string(i) : ""), bytes, method, false, {}});
        return files;
    };
    const std::vector<uint8_t> letters = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}; // LZ77: no matches
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "d/";
    // `root` is the root node, `record` the first file's record.
    using Edit = void (*)(std::vector<uint8_t>&, size_t root, size_t record);
    struct Case
    {
        const char* name;
        std::vector<test::RefHpiFile> files;
        Edit edit;
        ArchiveResult expected;
    };
    const Case cases[] = {
        {"a saved game", file(letters, 0), [](auto& b, size_t, size_t) { test::setLe32(b, 4, 0x4B4E4142); },
         ArchiveResult::savedGame},
        {"a Kingdoms archive", file(letters, 0),
         [](auto& b, size_t, size_t) { test::setLe32(b, 4, 0x00020000); }, ArchiveResult::kingdomsArchive},
        {"an unknown version", file(letters, 0),
         [](auto& b, size_t, size_t) { test::setLe32(b, 4, 0x00010001); }, ArchiveResult::unknownVersion},
        {"data past the end", file(letters, 0),
         [](auto& b, size_t, size_t r) { test::setLe32(b, r, 0x7FFFFF00); }, ArchiveResult::truncated},
        {"stored size past the end", file(letters, 0),
         [](auto& b, size_t, size_t r) { test::setLe32(b, r + 4, 1000); }, ArchiveResult::truncated},
        // Two chunks, so the first one's header is at 28.
        {"chunk over 64 KiB", file(std::vector<uint8_t>(70000, 1), 2),
         [](auto& b, size_t, size_t) { test::setLe32(b, 28 + 11, 70000); }, ArchiveResult::badChunk},
        {"LZ77 without its end", file(letters, 1), cutBeforeTheEnd, ArchiveResult::badCompressedData},
        {"LZ77 yielding less than declared", file(letters, 1),
         [](auto& b, size_t, size_t r) { test::setLe32(b, 35, 10), test::setLe32(b, r + 4, 10); },
         ArchiveResult::sizeMismatch},
        {"zlib yielding more than declared", file(std::vector<uint8_t>(60000, 1), 2),
         [](auto& b, size_t, size_t r) { test::setLe32(b, 35, 1000), test::setLe32(b, r + 4, 1000); },
         ArchiveResult::sizeMismatch},
        {"wrong chunk sum", file(letters, 1),
         [](auto& b, size_t, size_t) { test::setLe32(b, 39, test::le32(b, 39) + 1); },
         ArchiveResult::checksumMismatch},
        {"a chunk of another version", file(letters, 1), [](auto& b, size_t, size_t) { b[28] = 9; },
         ArchiveResult::badChunk},
        {"unknown method", file(letters, 0), [](auto& b, size_t, size_t r) { b[r + 8] = 7; },
         ArchiveResult::unsupportedMethod},
        {"a 4 GB file from a few bytes", file(std::vector<uint8_t>(64, 0), 2),
         [](auto& b, size_t, size_t r) { test::setLe32(b, r + 4, 0xFFFFFFF0u); }, ArchiveResult::truncated},
        {"directory cycle: a folder entry leading back to the root", file(letters, 0),
         [](auto& b, size_t root, size_t r)
         { test::setLe32(b, r + 13, static_cast<uint32_t>(root)), b[r + 17] = 1; },
         ArchiveResult::directoryCycle},
        {"folders nested 100 deep", file(letters, 0, deep + "f"), [](auto&, size_t, size_t) {},
         ArchiveResult::directoryTooDeep},
        {"huge entry count", file(letters, 0),
         [](auto& b, size_t root, size_t) { test::setLe32(b, root, 0x10000000); },
         ArchiveResult::badDirectory},
        {"name past the end", file(letters, 0),
         [](auto& b, size_t, size_t r) { test::setLe32(b, r + 9, 0x7FFFFFF0); }, ArchiveResult::badDirectory},
        // Each file would read the chunk, so a small archive could unpack into a huge one.
        {"two files on one chunk", file(std::vector<uint8_t>(65536, 0), 2, "f", 2),
         [](auto& b, size_t, size_t r) { test::setLe32(b, r + 9, test::le32(b, r)); },
         ArchiveResult::overlappingEntries},
    };
    for (const Case& c : cases)
    {
        test::RefHpi source;
        source.files = c.files;
        std::vector<uint8_t> image = test::refWriteHpi(source);
        const size_t root = test::le32(image, 16);
        c.edit(image, root, test::le32(image, test::le32(image, root + 4) + 4));
        EXPECT_EQ(openAndReadAll(image), c.expected) << c.name;
    }
}

// Every prefix is refused, but for cuts into a TA archive's copyright line, which leave a whole
// archive without one.
TEST(HostileArchives, EveryTruncationIsRefused)
{
    test::RefHpi hpi;
    hpi.key = 0x7D;
    hpi.files = {{"a/b.3do", std::vector<uint8_t>(3000, 'q'), 1, true, {}},
                 {"c.txt", std::vector<uint8_t>(500, 'r'), 2, false, {}}};
    const std::vector<uint8_t> zip = test::buildZip(
        {{"a.3do", std::vector<uint8_t>(3000, 'a'), 8, 0, true, true}, {"b", {1, 2, 3}, 0, 0, false, false}},
        {{}, "note", true});
    EXPECT_EQ(openAndReadAll(zip), ArchiveResult::ok);
    const std::vector<uint8_t> ta = test::refWriteHpi(hpi);
    for (const auto& [image, whole] : {std::pair{zip, zip.size()}, std::pair{ta, ta.size() - 36}})
        for (size_t size = 0; size < image.size(); ++size)
        {
            const std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<long>(size));
            EXPECT_TRUE(openAndReadAll(cut) != ArchiveResult::ok || size >= whole) << size;
        }
}

} // namespace
} // namespace scourvane
