// Hostile archives for both readers: each refused with its reason, quickly, without allocating what
// the file cannot justify.
#include "archive/archive.h"
#include "archive/hpi_reference.h"
#include "archive/zip_builder.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace scourvane
{
namespace
{

using archive::Archive;
using archive::ArchiveResult;

// Opens the image and, when that works, reads every entry: the first failure found.
ArchiveResult openAndReadAll(const std::vector<uint8_t>& image)
{
    Archive opened;
    const archive::ArchiveError error = opened.open(image.data(), image.size());
    if (!error.ok()) return error.result;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < opened.entries().size(); ++i)
        if (!opened.entries()[i].folder)
        {
            const archive::ArchiveError read = opened.read(i, bytes);
            if (!read.ok()) return read.result;
        }
    return ArchiveResult::ok;
}

std::vector<uint8_t> zlibPacked(const std::vector<uint8_t>& in)
{
    uLongf length = compressBound(static_cast<uLong>(in.size()));
    std::vector<uint8_t> out(length);
    compress2(out.data(), &length, in.data(), static_cast<uLong>(in.size()), 9);
    out.resize(length);
    return out;
}

TEST(HostileZip, EveryTruncationIsRefused)
{
    const std::vector<uint8_t> image = test::buildZip(
        {{"a.3do", std::vector<uint8_t>(3000, 'a'), 8, 0, true, true}, {"b", {1, 2, 3}, 0, 0, false, false}},
        {{}, "note", true});
    for (size_t size = 0; size < image.size(); ++size)
        EXPECT_NE(
            openAndReadAll(std::vector<uint8_t>(image.begin(), image.begin() + static_cast<long>(size))),
            ArchiveResult::ok)
            << size;
    EXPECT_EQ(openAndReadAll(image), ArchiveResult::ok);
}

TEST(HostileZip, CraftedFieldsAreRefusedWithTheirReason)
{
    const std::vector<uint8_t> base =
        test::buildZip({{"a.3do", std::vector<uint8_t>(5000, 'x'), 8, 0, false, false},
                        {"b.txt", std::vector<uint8_t>(100, 'y'), 0, 0, false, false}},
                       {});
    const size_t end = base.size() - 22;
    const size_t central = test::le32(base, end + 16);
    const size_t second = test::findSignature(base, 0x02014b50, central + 1);
    const size_t secondLocal = test::le32(base, second + 42);
    struct Case
    {
        const char* name;
        void (*craft)(std::vector<uint8_t>&, size_t end, size_t central, size_t second, size_t secondLocal);
        ArchiveResult expected;
    };
    const Case cases[] = {
        {"central directory past the end",
         [](auto& b, size_t e, size_t, size_t, size_t) { test::setLe32(b, e + 16, 0x7FFFFFF0); },
         ArchiveResult::badCentralDirectory},
        {"huge entry count",
         [](auto& b, size_t e, size_t, size_t, size_t)
         { test::setLe16(b, e + 8, 0xFFFF), test::setLe16(b, e + 10, 0xFFFF); },
         ArchiveResult::badCentralDirectory},
        {"local header past the end",
         [](auto& b, size_t, size_t, size_t s, size_t) { test::setLe32(b, s + 42, 0x7FFFFFF0); },
         ArchiveResult::badLocalHeader},
        {"two entries on the same bytes",
         [](auto& b, size_t, size_t, size_t s, size_t) { test::setLe32(b, s + 42, 0); },
         ArchiveResult::badLocalHeader},
        {"declared size smaller than the data",
         [](auto& b, size_t, size_t c, size_t, size_t)
         { test::setLe32(b, c + 24, 4000), test::setLe32(b, 22, 4000); },
         ArchiveResult::sizeMismatch},
        {"declared size larger than the data",
         [](auto& b, size_t, size_t c, size_t, size_t)
         { test::setLe32(b, c + 24, 6000), test::setLe32(b, 22, 6000); },
         ArchiveResult::sizeMismatch},
        {"a bomb declaring 4 GB from a few bytes",
         [](auto& b, size_t, size_t c, size_t, size_t)
         { test::setLe32(b, c + 24, 0xFFFFFFF0u), test::setLe32(b, 22, 0xFFFFFFF0u); },
         ArchiveResult::entryTooLarge},
        {"wrong CRC",
         [](auto& b, size_t, size_t c, size_t, size_t)
         { test::setLe32(b, c + 16, 1), test::setLe32(b, 14, 1); },
         ArchiveResult::checksumMismatch},
        {"local name differs", [](auto& b, size_t, size_t, size_t, size_t l) { b[l + 30] = 'Z'; },
         ArchiveResult::badLocalHeader},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> image = base;
        c.craft(image, end, central, second, secondLocal);
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

TEST(HostileZip, AnEntryThatInflatesPastItsDeclaredSizeStopsThere)
{
    // 8 MB of zeros declared as 1 KB: the reader stops after the declared kilobyte.
    std::vector<uint8_t> image =
        test::buildZip({{"bomb", std::vector<uint8_t>(8 << 20, 0), 8, 0, false, false}}, {});
    const size_t central = test::le32(image, image.size() - 22 + 16);
    test::setLe32(image, central + 24, 1024);
    test::setLe32(image, 22, 1024);
    EXPECT_EQ(openAndReadAll(image), ArchiveResult::sizeMismatch);
}

// A TA archive laid out by hand, without a key, for fields no writer would produce.
struct HandHpi
{
    std::vector<uint8_t> b = std::vector<uint8_t>(20, 0);
    size_t at() const { return b.size(); }
    void u32(uint32_t v)
    {
        b.resize(b.size() + 4);
        test::setLe32(b, b.size() - 4, v);
    }
    void bytes(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
    std::vector<uint8_t> finish(size_t directoryEnd, uint32_t start = 20)
    {
        test::setLe32(b, 0, 0x49504148);
        test::setLe32(b, 4, 0x00010000);
        test::setLe32(b, 8, static_cast<uint32_t>(directoryEnd));
        test::setLe32(b, 16, start);
        const std::string line = "Copyright 1998 Cavedog Entertainment";
        std::vector<uint8_t> image = b;
        image.insert(image.end(), line.begin(), line.end());
        return image;
    }
};

// A root holding one file "f" whose record is (dataOffset, size, method), the data placed after the
// directory by `data`.
std::vector<uint8_t> oneFile(uint32_t size, uint8_t method, const std::vector<uint8_t>& data,
                             int64_t dataOffset = -1)
{
    HandHpi h;
    h.u32(1);
    h.u32(28);
    h.u32(37); // name
    h.u32(39); // record
    h.b.push_back(0);
    h.bytes({'f', 0});
    h.u32(dataOffset >= 0 ? static_cast<uint32_t>(dataOffset) : 48);
    h.u32(size);
    h.b.push_back(method);
    const size_t directoryEnd = h.at();
    h.bytes(data);
    return h.finish(directoryEnd);
}

// A chunked file's data: the table and the chunks, each payload given as stored.
std::vector<uint8_t> chunks(const std::vector<std::pair<std::vector<uint8_t>, uint32_t>>& payloads,
                            uint8_t method, int sumError = 0)
{
    std::vector<uint8_t> out;
    for (const auto& [payload, unpacked] : payloads)
    {
        out.resize(out.size() + 4);
        test::setLe32(out, out.size() - 4, static_cast<uint32_t>(19 + payload.size()));
    }
    for (const auto& [payload, unpacked] : payloads)
    {
        uint32_t sum = static_cast<uint32_t>(sumError);
        for (const uint8_t c : payload)
            sum += c;
        const size_t h = out.size();
        out.resize(h + 19);
        test::setLe32(out, h, 0x48535153);
        out[h + 4] = 2;
        out[h + 5] = method;
        test::setLe32(out, h + 7, static_cast<uint32_t>(payload.size()));
        test::setLe32(out, h + 11, unpacked);
        test::setLe32(out, h + 15, sum);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    return out;
}

TEST(HostileHpi, CraftedArchivesAreRefusedWithTheirReason)
{
    const std::vector<uint8_t> literals = {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}; // no end match
    const std::vector<uint8_t> lz = {0x0C, 'a', 'b', 0x10, 0x00, 0x00, 0x00}; // "ab", "ab" again, end
    struct Case
    {
        const char* name;
        std::vector<uint8_t> image;
        ArchiveResult expected;
    };
    std::vector<Case> cases = {
        {"data past the end", oneFile(100, 0, {}, 0x7FFFFF00), ArchiveResult::truncated},
        {"stored size past the end", oneFile(1000, 0, std::vector<uint8_t>(10, 1)), ArchiveResult::truncated},
        {"chunk over 64 KiB",
         oneFile(70000, 2, chunks({{zlibPacked(std::vector<uint8_t>(70000, 1)), 70000}, {{}, 0}}, 2)),
         ArchiveResult::badChunk},
        {"LZ77 without its end", oneFile(8, 1, chunks({{literals, 8}}, 1)), ArchiveResult::badCompressedData},
        {"LZ77 yielding less than declared", oneFile(10, 1, chunks({{lz, 10}}, 1)),
         ArchiveResult::sizeMismatch},
        {"zlib yielding more than declared",
         oneFile(1000, 2, chunks({{zlibPacked(std::vector<uint8_t>(60000, 1)), 1000}}, 2)),
         ArchiveResult::sizeMismatch},
        {"wrong chunk sum", oneFile(8, 1, chunks({{literals, 8}}, 1, 1)), ArchiveResult::checksumMismatch},
        {"unknown method", oneFile(8, 7, std::vector<uint8_t>(8, 1)), ArchiveResult::unsupportedMethod},
        {"a 4 GB file from a few bytes", oneFile(0xFFFFFFF0u, 2, std::vector<uint8_t>(64, 0)),
         ArchiveResult::truncated},
    };

    // Directory faults.
    {
        HandHpi h; // a folder whose entry leads back to the root
        h.u32(1), h.u32(28), h.u32(37), h.u32(20), h.b.push_back(1), h.bytes({'d', 0});
        cases.push_back({"directory cycle", h.finish(h.at()), ArchiveResult::directoryCycle});
    }
    {
        HandHpi h; // 100 folders each holding the next
        for (uint32_t i = 0; i < 100; ++i)
        {
            const uint32_t node = static_cast<uint32_t>(h.at());
            h.u32(1), h.u32(node + 8), h.u32(node + 17), h.u32(node + 19), h.b.push_back(1),
                h.bytes({'d', 0});
        }
        h.u32(0), h.u32(0);
        cases.push_back({"folders nested 100 deep", h.finish(h.at()), ArchiveResult::directoryTooDeep});
    }
    {
        HandHpi h;
        h.u32(0x10000000), h.u32(28);
        cases.push_back({"huge entry count", h.finish(h.at()), ArchiveResult::badDirectory});
    }
    {
        HandHpi h;
        h.u32(1), h.u32(28), h.u32(0x7FFFFFF0), h.u32(20), h.b.push_back(0);
        cases.push_back({"name past the end", h.finish(h.at()), ArchiveResult::badDirectory});
    }
    {
        // Two files on one chunk: each would read it, so a small archive could unpack into a huge one.
        HandHpi h;
        h.u32(2), h.u32(28), h.u32(46), h.u32(48), h.b.push_back(0), h.u32(46), h.u32(57), h.b.push_back(0);
        h.bytes({'f', 0});
        const std::vector<uint8_t> data = chunks({{zlibPacked(std::vector<uint8_t>(65536, 0)), 65536}}, 2);
        const uint32_t dataAt = 66;
        h.u32(dataAt), h.u32(65536), h.b.push_back(2), h.u32(dataAt), h.u32(65536), h.b.push_back(2);
        const size_t directoryEnd = h.at();
        h.bytes(data);
        cases.push_back(
            {"two files on one chunk", h.finish(directoryEnd), ArchiveResult::overlappingEntries});
    }
    for (const Case& c : cases)
        EXPECT_EQ(openAndReadAll(c.image), c.expected) << c.name;
}

TEST(HostileHpi, EveryTruncationIsRefusedOrReadsWhole)
{
    test::RefHpi source;
    source.key = 0x7D;
    source.files = {{"a/b.3do", std::vector<uint8_t>(3000, 'q'), 1, true, {}},
                    {"c.txt", std::vector<uint8_t>(500, 'r'), 2, false, {}}};
    const std::vector<uint8_t> image = test::refWriteHpi(source);
    for (size_t size = 0; size < image.size(); ++size)
    {
        const std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<long>(size));
        // Cutting only into the copyright line leaves a whole archive without one.
        const ArchiveResult result = openAndReadAll(cut);
        EXPECT_TRUE(result != ArchiveResult::ok || size >= image.size() - 36) << size;
    }
}

} // namespace
} // namespace scourvane
