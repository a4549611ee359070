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

TEST(Explainer, TellsWhatEachStepTakesWithoutChangingThePart)
{
    // Vertexes 2 and 4 repeat 0 and 1 and are used; face 0 is dead, and so is vertex 5 with it.
    auto part = makePart("p");
    setVertexes(*part, {{10, 0, 0}, {0, 0, 0}, {10, 0, 0}, {7, 7, 7}, {0, 0, 0}, {9, 9, 9}});
    addFace(*part, makeFace(0, {1, 3, 4, 5}));
    addFace(*part, makeFace(5, {2, 3, 1}));
    addFace(*part, makeFace(0, {4, 2}));
    const PartChanges changes = explainPart(*part);
    EXPECT_EQ(changes.name, "p");
    EXPECT_EQ(changes.vertexesMerged, 2u);
    EXPECT_EQ(changes.vertexesUnused, 1u); // 5, used by the dead face alone
    EXPECT_EQ(changes.droppedFaces, (std::vector<uint32_t>{0}));
    EXPECT_EQ(changes.vertexesRemoved, 3);
    EXPECT_EQ(changes.facesRemoved, 1);
    EXPECT_FALSE(changes.pointAdded);
    EXPECT_EQ(part->vertexCount, 6u);
    EXPECT_EQ(part->faceCount, 3u);
}

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
    // Refused again one by one, and left as they are; the explainer says so.
    EXPECT_TRUE(explainPart(*root).beyondLimits);
    EXPECT_EQ(explainPart(*root).vertexesRemoved, 0);
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
        // The explainer works apart from the cleaner (it sorts, the cleaner hashes): what it says
        // a part loses must be what the cleaner takes.
        const PartChanges changes = explainPart(*fast);
        const uint32_t vertexesBefore = fast->vertexCount;
        const uint32_t facesBefore = fast->faceCount;
        cleanPart(*fast);
        reference::cleanSinglePart(*reference);
        ASSERT_TRUE(sameTree(*fast, *reference)) << "round " << round;
        EXPECT_EQ(changes.vertexesRemoved, static_cast<int32_t>(vertexesBefore - fast->vertexCount));
        EXPECT_EQ(changes.facesRemoved, static_cast<int32_t>(facesBefore - fast->faceCount));
    }
}

} // namespace
} // namespace scourvane
