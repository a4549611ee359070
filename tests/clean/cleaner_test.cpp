// Cleaning: agreement with the plain quadratic method, and the parts it must leave alone.
#include "clean/part_cleaner.h"
#include "support/part_helpers.h"
#include "support/reference_cleaner.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace scourvane
{
namespace
{

using test::addFace;
using test::makeFace;
using test::makePart;
using test::setVertexes;

TEST(Cleaner, PartsBeyondTheLimitsAreLeftAsLoadedWhileTheRestIsCleaned)
{
    auto root = makePart("root");
    setVertexes(*root, {{1, 1, 1}, {1, 1, 1}});
    addFace(*root, makeFace(0, {0, 1, 2})); // index 2 is beyond vertexCount
    auto big = makePart("big");
    setVertexes(*big, std::vector<Vertex>(65536, Vertex{}));
    auto fine = makePart("fine");
    setVertexes(*fine, {{1, 1, 1}, {1, 1, 1}});
    addFace(*fine, makeFace(2, {1}));
    auto uncounted = makePart("uncounted");
    setVertexes(*uncounted, {{1, 1, 1}, {1, 1, 1}});
    addFace(*uncounted, makeFace(0, {0, 1}));
    uncounted->faces()[0].indexCount = 1; // its counts no longer cover its indexes
    fine->sibling = std::move(uncounted);
    big->sibling = std::move(fine);
    root->child = std::move(big);
    cleanPart(*root);
    EXPECT_EQ(root->faceCount, 1u);
    EXPECT_EQ(root->vertexCount, 2u);
    EXPECT_EQ(root->child->vertexCount, 65536u);
    EXPECT_EQ(root->child->faceCount, 0u);
    EXPECT_EQ(root->child->sibling->vertexCount, 1u);
    const ObjectPart& uncountedAfter = *root->child->sibling->sibling;
    EXPECT_EQ(uncountedAfter.vertexCount, 2u);
    EXPECT_EQ(uncountedAfter.faceCount, 1u);
    EXPECT_EQ(uncountedAfter.indexTotal, 2u);
    // Refused again one by one, and left as they are.
    EXPECT_FALSE(cleanSinglePart(*root));
    EXPECT_FALSE(cleanSinglePart(*root->child->sibling->sibling));
}

// Random parts with few distinct coordinates, so merges, drops, lines and protected faces are all
// common; the fast cleaner must give exactly the plain reference's tree.
TEST(Cleaner, MatchesTheQuadraticMethodOnRandomParts)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round)
    {
        auto fast = makePart("r");
        auto reference = makePart("r");
        const auto vertexCount = static_cast<uint32_t>(random() % 60);
        std::vector<Vertex> vertexes;
        for (uint32_t i = 0; i < vertexCount; ++i)
            vertexes.push_back({static_cast<uint32_t>(random() % 4), static_cast<uint32_t>(random() % 3), 7});
        setVertexes(*fast, vertexes);
        setVertexes(*reference, vertexes);
        const auto faceCount = static_cast<uint32_t>(random() % 12);
        for (uint32_t f = 0; f < faceCount; ++f)
        {
            std::vector<uint16_t> indexes(vertexCount == 0 ? 0 : random() % 5);
            for (uint16_t& index : indexes)
                index = static_cast<uint16_t>(random() % vertexCount);
            const auto face = makeFace(random() % 3 == 0 ? 1u : 0u, indexes, random() % 5 == 0 ? "tex" : "");
            addFace(*fast, face);
            addFace(*reference, face);
            fast->faces().back().extra2 = reference->faces().back().extra2 = f;
        }
        const uint32_t protectedFace =
            random() % 3 == 0 ? static_cast<uint32_t>(random() % 14) : noProtectedFace;
        fast->protectedFace = reference->protectedFace = protectedFace;
        cleanPart(*fast);
        reference::cleanSinglePart(*reference);
        ASSERT_TRUE(sameTree(*fast, *reference)) << "round " << round;
    }
}

} // namespace
} // namespace scourvane
