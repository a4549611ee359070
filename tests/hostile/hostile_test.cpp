// The crafted files in process: each fails to load for its own reason or loads and then keeps every
// pipeline property, natively, under the sanitizers and under Wine.
#include "fuzz/pipeline_check.h"
#include "hostile/hostile_files.h"

#include "clean/part_cleaner.h"

#include <gtest/gtest.h>

#include <chrono>

namespace scourvane
{
namespace
{

TEST(HostileFiles, EachSmallFileFailsForItsReasonOrKeepsEveryPipelineProperty)
{
    for (const hostile::HostileFile& file : hostile::hostileFiles(false))
    {
        SCOPED_TRACE(file.name + ": " + file.about);
        ObjectPart root;
        LoadError error;
        root.loadModelBytes(file.bytes.data(), file.bytes.size(), &error);
        EXPECT_EQ(error.result, file.expected) << describeLoadError(error);
        if (file.expected != LoadResult::ok) continue;
        EXPECT_EQ(fuzz::checkPipeline(file.bytes.data(), file.bytes.size()), "");
    }
}

// The chains of a million parts, where a recursive load, clean, save or release would overflow the
// stack (Windows gives a thread 1 MB).
TEST(HostileFiles, MillionPartChainsCleanAndSaveWithoutRecursion)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "over a minute and 1.5 GB under AddressSanitizer";
#endif
    for (const hostile::HostileFile& file : hostile::hostileFiles(true))
    {
        if (!file.large || file.expected != LoadResult::ok) continue;
        SCOPED_TRACE(file.name);
        const auto start = std::chrono::steady_clock::now();
        ObjectPart root;
        ASSERT_TRUE(root.loadModelBytes(file.bytes.data(), file.bytes.size()));
        cleanPart(root);
        std::vector<uint8_t> image;
        ASSERT_TRUE(root.buildModelImage(image));
        ObjectPart reloaded;
        ASSERT_TRUE(reloaded.loadModelBytes(image.data(), image.size()));
        EXPECT_TRUE(sameTree(root, reloaded));
        EXPECT_EQ(reloaded.countFaces(), 1000001u);
        // Generous for slow machines and Wine; a quadratic step would take hours.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    }
}

} // namespace
} // namespace scourvane
