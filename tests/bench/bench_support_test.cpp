// The benchmarks compare like with like only if their yardsticks clean exactly as the engine does
// and their seeded inputs are what they claim to be.
#include "bench/bench_support.h"

#include "clean/part_cleaner.h"
#include "model/model_writer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <tuple>

namespace scourvane::bench
{
namespace
{

size_t distinctPositions(const ObjectPart& part)
{
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> seen;
    for (const Vertex& v : part.vertexes)
        seen.emplace(v.x, v.y, v.z);
    return seen.size();
}

// Small parts mixing every rule: duplicates, dead faces, lines, points, empty faces, textures and a
// protected face, drawn from a fixed seed.
ObjectPart randomSmallPart(std::mt19937& random)
{
    auto below = [&](uint32_t bound) { return static_cast<uint32_t>(random() % bound); };
    ObjectPart part;
    part.name = std::string("p") + '\0';
    const uint32_t vertexCount = below(40);
    for (uint32_t v = 0; v < vertexCount; ++v)
        part.vertexes.push_back(Vertex{below(4), below(3), 7});
    const uint32_t faceCount = below(12);
    for (uint32_t f = 0; f < faceCount; ++f)
    {
        Face face;
        face.colourIndex = below(3) == 0 ? 0 : below(9);
        const uint32_t indexCount = vertexCount == 0 ? 0 : below(6);
        for (uint32_t i = 0; i < indexCount; ++i)
            face.indexes.push_back(static_cast<uint16_t>(below(vertexCount)));
        face.indexCount = indexCount;
        if (below(4) == 0) face.textureName = std::string("tex") + '\0';
        face.extra1 = f;
        part.faces.push_back(std::move(face));
    }
    part.protectedFace = below(3) == 0 ? below(faceCount + 2) : noProtectedFace;
    part.vertexCount = vertexCount;
    part.faceCount = faceCount;
    return part;
}

// ---- the quadratic yardstick ----

TEST(QuadraticYardstick, CleansExactlyAsTheEngineOnManyMixedParts)
{
    std::mt19937 random(20261206);
    for (int round = 0; round < 2000; ++round)
    {
        ObjectPart ours = randomSmallPart(random);
        ObjectPart plain = copyTree(ours);
        ASSERT_TRUE(cleanSinglePart(ours));
        plainCleanSinglePart(plain);
        ASSERT_TRUE(sameTree(ours, plain)) << "round " << round;
    }
}

TEST(QuadraticYardstick, CleansEveryMergeWorstCaseAsTheEngine)
{
    for (MergeCase mergeCase : {MergeCase::allDifferent, MergeCase::allEqual, MergeCase::fewPositions})
    {
        ObjectPart ours = makeMergePart(mergeCase, 3000, 4000, 7);
        ObjectPart plain = copyTree(ours);
        ASSERT_TRUE(cleanSinglePart(ours));
        plainCleanSinglePart(plain);
        EXPECT_TRUE(sameTree(ours, plain)) << mergeCaseName(mergeCase);
    }
}

TEST(QuadraticYardstick, MergeAloneRedirectsToTheFirstEqualVertexAndMovesNothing)
{
    ObjectPart part = makeMergePart(MergeCase::fewPositions, 1024, 2000, 3);
    const std::vector<Vertex> before = part.vertexes;
    quadraticMerge(part);
    EXPECT_EQ(part.vertexes, before);
    for (const Face& face : part.faces)
        for (uint16_t index : face.indexes)
            EXPECT_LT(index, fewPositionCount);
}

// ---- seeded inputs ----

TEST(SeededModels, TheSameSeedGivesTheSameModelAndAnotherSeedAnother)
{
    EXPECT_TRUE(sameTree(makeMergePart(MergeCase::allDifferent, 500, 700, 1),
                         makeMergePart(MergeCase::allDifferent, 500, 700, 1)));
    EXPECT_FALSE(sameTree(makeMergePart(MergeCase::allDifferent, 500, 700, 1),
                          makeMergePart(MergeCase::allDifferent, 500, 700, 2)));
    EXPECT_TRUE(sameTree(makeSoupModel(3, 999, 100, 5), makeSoupModel(3, 999, 100, 5)));
    EXPECT_TRUE(sameTree(makeLargeModel(1, 9), makeLargeModel(1, 9)));
}

TEST(SeededModels, MergeCasesHaveTheirNumberOfDistinctPositions)
{
    EXPECT_EQ(distinctPositions(makeMergePart(MergeCase::allDifferent, fullPartVertexes, 10, 1)),
              fullPartVertexes);
    EXPECT_EQ(distinctPositions(makeMergePart(MergeCase::allEqual, fullPartVertexes, 10, 1)), 1u);
    EXPECT_EQ(distinctPositions(makeMergePart(MergeCase::fewPositions, fullPartVertexes, 10, 1)),
              fewPositionCount);
    const ObjectPart part = makeMergePart(MergeCase::allEqual, fullPartVertexes, 100000, 1);
    EXPECT_EQ(part.vertexCount, fullPartVertexes);
    EXPECT_EQ(part.faceCount, 100000u);
}

TEST(SeededModels, SoupKeepsEveryFaceAndUsesEveryVertex)
{
    ObjectPart model = makeSoupModel(4, 3000, 50000, 11);
    EXPECT_EQ(model.countVertexes(), 4u * 3000);
    const uint32_t faces = model.countFaces();
    cleanPart(model);
    EXPECT_EQ(model.countFaces(), faces);
    // With far more positions than vertexes, almost none merge.
    EXPECT_GT(model.countVertexes(), 4u * 2900);
}

TEST(SeededModels, LargeModelReachesItsTargetSizeAndCleaningShrinksIt)
{
    ObjectPart model = makeLargeModel(5'000'000, 4);
    const uint64_t size = modelImageSize(model);
    EXPECT_GE(size, 5'000'000u);
    EXPECT_LT(size, 5'000'000u + 4'000'000u); // at most one part too many
    cleanPart(model);
    EXPECT_LT(modelImageSize(model), size);
}

// ---- the I/O floor ----

TEST(IoFloor, RewritesTheFileWithTheSameBytesAndLeavesNoTemporaryFile)
{
    test::TempDir dir;
    const std::vector<uint8_t> bytes{1, 2, 3, 0, 255, 9};
    test::writeBytes(dir.file("a.3do"), bytes);
    std::vector<uint8_t> buffer;
    std::string error;
    ASSERT_TRUE(rewriteFileInPlace(dir.file("a.3do"), buffer, true, error)) << error;
    EXPECT_EQ(test::readBytes(dir.file("a.3do")), bytes);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(IoFloor, AMissingFileFailsWithItsName)
{
    test::TempDir dir;
    std::vector<uint8_t> buffer;
    std::string error;
    EXPECT_FALSE(rewriteFileInPlace(dir.file("gone.3do"), buffer, false, error));
    EXPECT_NE(error.find("gone.3do"), std::string::npos);
}

} // namespace
} // namespace scourvane::bench
