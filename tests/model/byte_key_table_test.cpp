// ByteKeyTable: ordered slots, replace and clear, and lookups that agree with a plain scan.
#include "model/byte_key_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace scourvane
{
namespace
{

TEST(ByteKeyTable, SlotsKeepFirstSetOrderAndValuesCanBeReplacedOrCleared)
{
    ByteKeyTable table;
    EXPECT_TRUE(table.set("b", 1, "1", 1));
    EXPECT_TRUE(table.set("a", 1, "22", 2));
    EXPECT_FALSE(table.set("b", 1, "333", 3)); // replaces, keeps slot 0
    EXPECT_EQ(table.count, 2u);
    EXPECT_EQ(table.find("b", 1), 0u);
    EXPECT_EQ(table.find("a", 1), 1u);
    uint32_t length = 99;
    const uint8_t* value = table.get("b", 1, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value), length), "333");

    EXPECT_FALSE(table.set("a", 1, nullptr, 5)); // clears the value, keeps the key
    EXPECT_TRUE(table.contains("a", 1));
    EXPECT_EQ(table.get("a", 1, &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(table.get("zz", 2, &length), nullptr);
    EXPECT_EQ(length, 0u);
}

TEST(ByteKeyTable, EmptyOrMissingKeysChangeNothing)
{
    ByteKeyTable table;
    EXPECT_FALSE(table.set(nullptr, 3, "v", 1));
    EXPECT_FALSE(table.set("k", 0, "v", 1));
    EXPECT_EQ(table.count, 0u);
    EXPECT_EQ(table.find(nullptr, 1), noSlot);
    EXPECT_EQ(table.find("k", 0), noSlot);
    table.set("k", 1, "v", 1);
    EXPECT_FALSE(table.keyMatchesAt(1, "k", 1));
    EXPECT_FALSE(table.keyMatchesAt(0, nullptr, 1));
    EXPECT_FALSE(table.keyMatchesAt(0, "k\0", 2)); // same bytes, other length
    EXPECT_TRUE(table.keyMatchesAt(0, "k", 1));
    table.release();
    EXPECT_EQ(table.count, 0u);
    EXPECT_FALSE(table.contains("k", 1));
}

TEST(ByteKeyTable, AgreesWithAPlainMapOverManyKeys)
{
    ByteKeyTable table;
    std::map<std::string, std::pair<uint32_t, std::string>> reference; // key -> slot, value
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i)
    {
        std::string key(1 + random() % 6, 'a');
        for (char& c : key)
            c = static_cast<char>('a' + random() % 4); // many repeats, case and length matter
        if (random() % 7 == 0) key[0] = 'A';
        std::string value = std::to_string(i);
        const bool isNew = reference.find(key) == reference.end();
        EXPECT_EQ(table.set(key.data(), static_cast<uint32_t>(key.size()), value.data(),
                            static_cast<uint32_t>(value.size())),
                  isNew);
        if (isNew) reference[key].first = table.count - 1;
        reference[key].second = value;
    }
    ASSERT_EQ(table.count, reference.size());
    for (const auto& [key, entry] : reference)
    {
        EXPECT_EQ(table.find(key.data(), static_cast<uint32_t>(key.size())), entry.first);
        uint32_t length = 0;
        const uint8_t* value = table.get(key.data(), static_cast<uint32_t>(key.size()), &length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(value), length), entry.second);
    }
}

} // namespace
} // namespace scourvane
