// Replays every input the fuzz targets ever broke on (tests/fuzz/regressions/<target>/), so a fixed
// fault stays fixed in the ordinary test run too, and pins the checks the targets rely on.
#include "fuzz/pipeline_check.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

std::vector<fs::path> regressionInputs(const std::string& target)
{
    std::vector<fs::path> inputs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(SCOURVANE_FUZZ_REGRESSIONS) / target, ec))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzRegressions, EveryKeptPipelineInputKeepsItsProperties)
{
    if (!fs::is_directory(SCOURVANE_FUZZ_REGRESSIONS))
        GTEST_SKIP() << "regression inputs not reachable at " << SCOURVANE_FUZZ_REGRESSIONS;
    for (const fs::path& input : regressionInputs("pipeline"))
    {
        const std::vector<uint8_t> bytes = test::readBytes(input.string());
        EXPECT_EQ(fuzz::checkPipeline(bytes.data(), bytes.size()), "") << input;
    }
}

TEST(FuzzRegressions, EveryKeptTableInputMatchesTheReference)
{
    if (!fs::is_directory(SCOURVANE_FUZZ_REGRESSIONS))
        GTEST_SKIP() << "regression inputs not reachable at " << SCOURVANE_FUZZ_REGRESSIONS;
    for (const fs::path& input : regressionInputs("byte_key_table"))
    {
        const std::vector<uint8_t> bytes = test::readBytes(input.string());
        EXPECT_EQ(fuzz::checkByteKeyTable(bytes.data(), bytes.size()), "") << input;
    }
}

TEST(PipelineCheck, LayoutSizeCountsTheSharedTextureNameOnce)
{
    // One part of 3 vertexes, a face of 3 indexes with a one-letter texture, a four-letter name:
    // 52 + 2 + 6 + 36 + 32 + 5 bytes.
    auto root = test::makePart("base");
    test::setVertexes(*root, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    test::addFace(*root, test::makeFace(1, {0, 1, 2}, "T"));
    EXPECT_EQ(fuzz::layoutSize(*root), 133u);

    auto child = test::makePart("arm");
    test::addFace(*child, test::makeFace(0, {}, "T")); // same name: no new pool entry
    root->child = std::move(child);
    EXPECT_EQ(fuzz::layoutSize(*root), 133u + 52 + 32 + 4);
}

TEST(PipelineCheck, AcceptsAFileThatFailsToLoadCleanly)
{
    const uint8_t shortFile[10] = {1};
    EXPECT_EQ(fuzz::checkPipeline(shortFile, sizeof shortFile), "");
    EXPECT_EQ(fuzz::checkPipeline(nullptr, 0), "");
}

TEST(PipelineCheck, AcceptsAModelThatCleaningChanges)
{
    auto root = test::makePart("body");
    test::setVertexes(*root, {{10, 0, 0}, {0, 0, 0}, {10, 0, 0}, {7, 7, 7}, {0, 0, 0}});
    test::addFace(*root, test::makeFace(0, {1, 3, 4}));
    test::addFace(*root, test::makeFace(5, {2, 3, 1}));
    test::addFace(*root, test::makeFace(0, {4, 2}));
    root->child = test::makePart("empty");
    std::vector<uint8_t> image;
    ASSERT_TRUE(root->buildModelImage(image));
    EXPECT_EQ(fuzz::checkPipeline(image.data(), image.size()), "");
}

TEST(TableCheck, ALongMixedRunOfOperationsMatchesTheReference)
{
    // Sets, lookups, grows and the odd release, from a fixed pseudo-random stream.
    std::vector<uint8_t> ops(20000);
    uint32_t state = 12345;
    for (uint8_t& op : ops)
    {
        state = state * 1103515245u + 12345u;
        op = static_cast<uint8_t>(state >> 16);
    }
    EXPECT_EQ(fuzz::checkByteKeyTable(ops.data(), ops.size()), "");
}

} // namespace
} // namespace scourvane
