// The GAF reader: names from well-formed files, one result code per kind of hostile file.
#include "textures/gaf_builder.h"
#include "textures/gaf_names.h"

#include <gtest/gtest.h>

namespace scourvane
{
namespace
{

using test::makeGaf;
using test::putGafWord;

std::vector<std::string> namesOf(const std::vector<GafEntryName>& entries)
{
    std::vector<std::string> names;
    for (const GafEntryName& entry : entries)
        names.push_back(entry.name);
    return names;
}

// Names in table order with their frame counts; a name stops at its first NUL or fills all 32 bytes;
// an empty table reads as no names, not as what the list held before.
TEST(GafNames, ReadsEveryEntryInTableOrderWithItsFrameCount)
{
    std::vector<uint8_t> file = makeGaf({{"ArmSolar", 10}, {std::string(32, 'a'), 1}, {"x", 0}});
    const uint32_t last = file[20] | file[21] << 8;
    file[last + 8 + 3] = 'z'; // after the NUL: not part of the name
    std::vector<GafEntryName> entries;
    ASSERT_EQ(readGafEntryNames(file.data(), file.size(), entries), GafResult::ok);
    EXPECT_EQ(namesOf(entries), (std::vector<std::string>{"ArmSolar", std::string(32, 'a'), "x"}));
    EXPECT_EQ(entries[0].frames, 10);
    EXPECT_EQ(entries[2].frames, 0);

    file = makeGaf({});
    EXPECT_EQ(readGafEntryNames(file.data(), file.size(), entries), GafResult::ok);
    EXPECT_TRUE(entries.empty());
}

struct HostileCase
{
    const char* what;
    std::vector<uint8_t> bytes;
    GafResult expected;
    uint32_t entry;
    uint32_t value;
};

std::vector<HostileCase> hostileCases()
{
    std::vector<HostileCase> cases;
    const std::vector<uint8_t> good = makeGaf({{"first", 2}, {"second", 3}});
    const uint32_t secondAt = good[16] | good[17] << 8;

    cases.push_back({"empty", {}, GafResult::headerPastEnd, 0, 0});
    cases.push_back({"eleven bytes", std::vector<uint8_t>(good.begin(), good.begin() + 11),
                     GafResult::headerPastEnd, 0, 0});
    std::vector<uint8_t> bytes = good;
    putGafWord(bytes, 0, 0x00010101u);
    cases.push_back({"wrong version", bytes, GafResult::badVersion, 0, 0x00010101u});
    bytes = good;
    putGafWord(bytes, 4, 0xFFFFFFFFu);
    cases.push_back({"count of 2^32 - 1", bytes, GafResult::tooManyEntries, 0, 0xFFFFFFFFu});
    bytes = makeGaf({});
    putGafWord(bytes, 4, 1);
    cases.push_back({"one entry, no offset table", bytes, GafResult::tooManyEntries, 0, 1});
    bytes = good;
    putGafWord(bytes, 16, 0xFFFFFFF0u);
    cases.push_back({"offset near 2^32", bytes, GafResult::entryPastEnd, 1, 0xFFFFFFF0u});
    bytes = good;
    putGafWord(bytes, 12, static_cast<uint32_t>(good.size()) - 39);
    cases.push_back({"record one byte short", bytes, GafResult::entryPastEnd, 0,
                     static_cast<uint32_t>(good.size()) - 39});
    bytes = good;
    bytes.resize(bytes.size() - 1);
    cases.push_back({"last frame table one byte short", bytes, GafResult::framesPastEnd, 1, secondAt});
    bytes = good;
    bytes[secondAt] = 0xFF;
    bytes[secondAt + 1] = 0xFF;
    cases.push_back({"65535 frames", bytes, GafResult::framesPastEnd, 1, secondAt});
    return cases;
}

TEST(GafNames, EachHostileFileGetsItsOwnResultAndNoNames)
{
    for (const HostileCase& hostile : hostileCases())
    {
        std::vector<GafEntryName> entries{{"stale", 1}};
        GafError error;
        EXPECT_EQ(readGafEntryNames(hostile.bytes.data(), hostile.bytes.size(), entries, &error),
                  hostile.expected)
            << hostile.what;
        EXPECT_EQ(error.result, hostile.expected) << hostile.what;
        EXPECT_EQ(error.entry, hostile.entry) << hostile.what;
        EXPECT_EQ(error.value, hostile.value) << hostile.what;
        EXPECT_TRUE(entries.empty()) << hostile.what;
        EXPECT_NE(describeGafError(error).find(describeGafResult(hostile.expected)), std::string::npos);
    }
}

// Every shorter prefix of a good file fails cleanly (the sanitizer build sees any stray read).
TEST(GafNames, EveryTruncationFails)
{
    const std::vector<uint8_t> good = makeGaf({{"a", 1}, {"b", 4}, {"c", 0}});
    for (size_t size = 0; size < good.size(); ++size)
    {
        const std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        std::vector<GafEntryName> entries;
        EXPECT_NE(readGafEntryNames(prefix.data(), prefix.size(), entries), GafResult::ok) << size;
        EXPECT_TRUE(entries.empty());
    }
}

} // namespace
} // namespace scourvane
