// The GAF reader: names from well-formed files, one result code per kind of hostile file.
#include "textures/gaf_builder.h"
#include "textures/gaf_names.h"

#include <gtest/gtest.h>

#include <functional>

namespace scourvane
{
namespace
{

using test::makeGaf;

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

TEST(GafNames, EachHostileFileGetsItsOwnResultAndNoNames)
{
    const std::vector<uint8_t> good = makeGaf({{"first", 2}, {"second", 3}});
    const uint32_t secondAt = test::le32(good, 16);
    const uint32_t shortRecord = static_cast<uint32_t>(good.size()) - 39;
    const auto word = [](size_t at, uint32_t value)
    { return [=](std::vector<uint8_t>& b) { test::setLe32(b, at, value); }; };
    struct Case
    {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
        GafResult expected;
        uint32_t entry, value; // as the error reports them
    };
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }, GafResult::headerPastEnd, 0, 0},
        {"eleven bytes", [](auto& b) { b.resize(11); }, GafResult::headerPastEnd, 0, 0},
        {"wrong version", word(0, 0x00010101u), GafResult::badVersion, 0, 0x00010101u},
        {"count of 2^32 - 1", word(4, 0xFFFFFFFFu), GafResult::tooManyEntries, 0, 0xFFFFFFFFu},
        {"one entry, no offset table",
         [](auto& b)
         {
             b = makeGaf({});
             test::setLe32(b, 4, 1);
         },
         GafResult::tooManyEntries, 0, 1},
        {"offset near 2^32", word(16, 0xFFFFFFF0u), GafResult::entryPastEnd, 1, 0xFFFFFFF0u},
        {"record one byte short", word(12, shortRecord), GafResult::entryPastEnd, 0, shortRecord},
        {"last frame table one byte short", [](auto& b) { b.pop_back(); }, GafResult::framesPastEnd, 1,
         secondAt},
        {"65535 frames", [&](auto& b) { test::setLe16(b, secondAt, 0xFFFF); }, GafResult::framesPastEnd, 1,
         secondAt},
    };
    for (const Case& hostile : cases)
    {
        std::vector<uint8_t> bytes = good;
        hostile.edit(bytes);
        std::vector<GafEntryName> entries{{"stale", 1}};
        GafError error;
        EXPECT_EQ(readGafEntryNames(bytes.data(), bytes.size(), entries, &error), hostile.expected)
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
