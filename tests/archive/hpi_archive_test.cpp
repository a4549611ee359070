// The product's TA archive reader and writer against the tests' own (hpi_reference.h).
#include "archive/archive.h"
#include "archive/archive_bytes.h"
#include "archive/hpi_reference.h"

#include <gtest/gtest.h>

#include <map>

namespace scourvane
{
namespace
{

using archive::Archive;
using archive::ArchiveKind;
using archive::Replacement;
using test::RefHpi;
using test::RefHpiFile;
using test::sampleBytes;

// Every file of a reference archive, with the names, sizes and methods the tests vary.
RefHpi sampleArchive(uint32_t key, int method, bool encoded)
{
    RefHpi hpi;
    hpi.key = key;
    const auto add = [&](std::string path, std::vector<uint8_t> bytes, int m) {
        hpi.files.push_back(RefHpiFile{std::move(path), std::move(bytes), m, encoded, {}});
    };
    add("Objects3d/ARMCOM.3DO", sampleBytes(9000, 1), method);
    add("Objects3d/Sub/deeper/armflash.3do", sampleBytes(200000, 2), method); // four chunks
    add("Objects3d/Sub/noise.BIN", sampleBytes(70000, 3, false), method);
    add("objects3d2/Empty.3do", {}, method);
    add("readme.txt", sampleBytes(65536, 4), method); // exactly one chunk
    add("sounds/a.wav", sampleBytes(3000, 5, false), 0);
    return hpi;
}

std::map<std::string, std::vector<uint8_t>> byPath(const std::vector<RefHpiFile>& files)
{
    std::map<std::string, std::vector<uint8_t>> map;
    for (const RefHpiFile& file : files)
        map[file.path] = file.bytes;
    return map;
}

TEST(HpiArchive, ReadsAndRewritesEveryKeyMethodAndEncodingTheReferenceMakes)
{
    for (const uint32_t key : {0u, 0x7Du, 0xFFu, 0x12345603u})
        for (const int method : {0, 1, 2})
            for (const bool encoded : {false, true})
            {
                SCOPED_TRACE(::testing::Message()
                             << "key " << key << " method " << method << (encoded ? " encoded" : " plain"));
                const RefHpi source = sampleArchive(key, method, encoded);
                const std::vector<uint8_t> image = test::refWriteHpi(source);
                ASSERT_EQ(archive::detectArchiveKind(image.data(), image.size()), ArchiveKind::hpi);
                Archive opened;
                ASSERT_EQ(describeArchiveError(opened.open(image.data(), image.size())), "");
                RefHpi reference;
                ASSERT_EQ(test::refReadHpi(image, reference), "");
                ASSERT_EQ(opened.entries().size(), reference.files.size());
                std::vector<uint8_t> bytes;
                for (size_t i = 0; i < reference.files.size(); ++i)
                {
                    EXPECT_EQ(opened.entries()[i].path, reference.files[i].path);
                    ASSERT_TRUE(opened.read(i, bytes).ok()) << reference.files[i].path;
                    EXPECT_EQ(bytes, reference.files[i].bytes) << reference.files[i].path;
                    // A look at the start decodes the same bytes, up to a chunk's border and past it.
                    for (const size_t count : {size_t{52}, size_t{65536 + 9}})
                    {
                        std::vector<uint8_t> start;
                        ASSERT_TRUE(opened.readStart(i, count, start).ok());
                        EXPECT_EQ(start, std::vector<uint8_t>(bytes.begin(),
                                                              bytes.begin() + std::min(count, bytes.size())));
                    }
                }

                // Replace the two models with new contents: one smaller, one crossing chunk borders
                // with long runs (matches up to 17 bytes) and noise.
                std::vector<uint8_t> small = sampleBytes(5000, 9);
                std::vector<uint8_t> large(140000, 7);
                const std::vector<uint8_t> noise = sampleBytes(20000, 10, false);
                std::copy(noise.begin(), noise.end(), large.begin() + 60000);
                std::map<std::string, size_t> index;
                for (size_t i = 0; i < opened.entries().size(); ++i)
                    index[opened.entries()[i].path] = i;
                const Replacement replacements[] = {{index.at("Objects3d/ARMCOM.3DO"), small},
                                                    {index.at("Objects3d/Sub/deeper/armflash.3do"), large}};
                std::vector<uint8_t> rewritten;
                ASSERT_TRUE(opened.rewrite(replacements, rewritten).ok());
                EXPECT_EQ(describeArchiveError(archive::verifyRewrite(
                              image.data(), image.size(), rewritten.data(), rewritten.size(), replacements)),
                          "");

                RefHpi after;
                ASSERT_EQ(test::refReadHpi(rewritten, after), "");
                EXPECT_EQ(after.key, key);
                EXPECT_EQ(after.version, 0x00010000u);
                EXPECT_TRUE(std::equal(image.end() - 36, image.end(), rewritten.end() - 36));
                std::map<std::string, std::vector<uint8_t>> expected = byPath(source.files);
                expected["Objects3d/ARMCOM.3DO"] = small;
                expected["Objects3d/Sub/deeper/armflash.3do"] = large;
                EXPECT_EQ(byPath(after.files), expected);
                for (size_t i = 0; i < after.files.size(); ++i)
                {
                    EXPECT_EQ(after.files[i].path, reference.files[i].path); // directory order kept
                    EXPECT_EQ(after.files[i].method, reference.files[i].method);
                    const bool replaced = after.files[i].path == "Objects3d/ARMCOM.3DO" ||
                                          after.files[i].path == "Objects3d/Sub/deeper/armflash.3do";
                    if (!replaced) // untouched: the same chunks
                    {
                        EXPECT_EQ(after.files[i].stored, reference.files[i].stored) << after.files[i].path;
                    }
                    else if (method != 0 && after.files[i].bytes == large) // its runs do compress
                    {
                        EXPECT_LT(after.files[i].stored.size(), large.size() / 2);
                    }
                }
            }
}

} // namespace
} // namespace scourvane
