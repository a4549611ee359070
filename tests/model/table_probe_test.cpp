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

TEST(TableProbes, StayShortForRandomSequentialAndCraftedNames)
{
    std::mt19937_64 generator(12);
    std::vector<std::string> random(million), sequential(million);
    char text[16];
    for (size_t i = 0; i < million; ++i)
    {
        random[i].resize(12);
        for (char& c : random[i])
            c = static_cast<char>('A' + generator() % 26);
        std::snprintf(text, sizeof text, "tex%07zu", i);
        sequential[i] = text;
    }
    std::vector<std::string> crafted = hostile::collidingNames(million);
    for (std::string& name : crafted)
        name.push_back('\0'); // as the pool stores them
    // The crafting works: all share one unkeyed hash.
    EXPECT_EQ(hostile::unkeyedHash(crafted[0].data(), 17),
              hostile::unkeyedHash(crafted[million - 1].data(), 17));

    for (const std::vector<std::string>* names : {&random, &sequential, &crafted})
    {
        ByteKeyTable table;
        for (const std::string& name : *names)
            table.intern(name.data(), static_cast<uint32_t>(name.size()));
        EXPECT_EQ(table.count, million);
        EXPECT_LE(table.longestProbe(), shortProbe) << (names == &random       ? "random"
                                                        : names == &sequential ? "sequential"
                                                                               : "crafted");
    }
}

} // namespace
} // namespace scourvane
