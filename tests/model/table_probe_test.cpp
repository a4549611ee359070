// The texture-name pool's probe lengths stay short whatever names a file chooses: random names,
// sequential names, and names crafted so that an unkeyed hash gives them all one bucket.
#include "hostile/colliding_names.h"
#include "model/byte_key_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace scourvane
{
namespace
{

constexpr size_t million = 1000000;
// Linear probing at most half full averages under 3 probes; the longest run over a million keys
// stays in the tens. One bucket shared by every key would make it a million.
constexpr uint32_t shortProbe = 100;

uint32_t longestProbeOver(const std::vector<std::string>& names)
{
    ByteKeyTable table;
    for (const std::string& name : names)
        table.intern(name.data(), static_cast<uint32_t>(name.size()));
    EXPECT_EQ(table.count, names.size());
    return table.longestProbe();
}

TEST(TableProbes, StayShortForRandomNames)
{
    std::mt19937_64 generator(12);
    std::vector<std::string> names(million);
    for (std::string& name : names)
    {
        name.resize(12);
        for (char& c : name)
            c = static_cast<char>('A' + generator() % 26);
    }
    EXPECT_LE(longestProbeOver(names), shortProbe);
}

TEST(TableProbes, StayShortForSequentialNames)
{
    std::vector<std::string> names(million);
    char text[16];
    for (size_t i = 0; i < million; ++i)
    {
        std::snprintf(text, sizeof text, "tex%07zu", i);
        names[i] = text;
    }
    EXPECT_LE(longestProbeOver(names), shortProbe);
}

TEST(TableProbes, StayShortForNamesCraftedAgainstAnUnkeyedHash)
{
    std::vector<std::string> names = hostile::collidingNames(million);
    for (std::string& name : names)
        name.push_back('\0'); // as the pool stores them
    // The crafting works: all share one unkeyed hash.
    EXPECT_EQ(hostile::unkeyedHash(names[0].data(), 17), hostile::unkeyedHash(names[million - 1].data(), 17));
    EXPECT_LE(longestProbeOver(names), shortProbe);
}

} // namespace
} // namespace scourvane
