// ByteKeyTable: ordered slots, replace and clear. Agreement with a plain map over long runs of
// operations is the table fuzzer's check, replayed in every test run.
#include "model/byte_key_table.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace scourvane
