// Every real model: loads, survives save and reload unchanged, cleans to a fixed point, and every
// truncation of one fails cleanly. Skipped where the corpus is not installed.
#include "clean/part_cleaner.h"
#include "model/model_reader.h"
#include "model/model_writer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace scourvane
{
namespace
{

class Corpus : public ::testing::Test
{
  protected:
    std::vector<std::string> files = test::corpusFiles();
    void SetUp() override
    {
        if (files.empty())
            GTEST_SKIP() << "the real-model corpus is not installed (set SCOURVANE_CORPUS_DIR); skipping";
    }
};

TEST_F(Corpus, EveryModelLoadsAndSurvivesSaveAndReload)
{
    for (const std::string& path : files)
    {
        ObjectPart root;
        LoadError error;
        ASSERT_TRUE(root.loadModelFile(path.c_str(), &error)) << path << ": " << describeLoadError(error);
        std::vector<uint8_t> image, again;
        ASSERT_TRUE(root.buildModelImage(image));
        ObjectPart reloaded;
        ASSERT_TRUE(reloaded.loadModelBytes(image.data(), image.size())) << path;
        EXPECT_TRUE(sameTree(root, reloaded)) << path;
        ASSERT_TRUE(reloaded.buildModelImage(again));
        EXPECT_EQ(image, again) << path;
        EXPECT_LE(image.size(), test::readBytes(path).size()) << path; // pooling never grows a file
    }
}

TEST_F(Corpus, CleaningReachesAFixedPointAndReportsTheSavings)
{
    int64_t vertexesRemoved = 0, facesRemoved = 0;
    uint64_t bytesBefore = 0, bytesAfter = 0;
    for (const std::string& path : files)
    {
        ObjectPart root;
        ASSERT_TRUE(root.loadModelFile(path.c_str())) << path;
        const uint32_t vertexes = root.countVertexes(), faces = root.countFaces();
        cleanPart(root);
        vertexesRemoved += static_cast<int32_t>(vertexes - root.countVertexes());
        facesRemoved += static_cast<int32_t>(faces - root.countFaces());
        std::vector<uint8_t> once, twice;
        ASSERT_TRUE(root.buildModelImage(once));
        ObjectPart reloaded;
        ASSERT_TRUE(reloaded.loadModelBytes(once.data(), once.size()));
        EXPECT_TRUE(sameTree(root, reloaded)) << path;
        cleanPart(reloaded);
        ASSERT_TRUE(reloaded.buildModelImage(twice));
        EXPECT_EQ(once, twice) << path;
        bytesBefore += test::readBytes(path).size();
        bytesAfter += once.size();
    }
    std::printf("corpus: %zu files, %lld vertexes and %lld faces removed, %llu -> %llu bytes\n", files.size(),
                static_cast<long long>(vertexesRemoved), static_cast<long long>(facesRemoved),
                static_cast<unsigned long long>(bytesBefore), static_cast<unsigned long long>(bytesAfter));
}

TEST_F(Corpus, EveryPrefixOfARealModelLoadsOrFailsCleanly)
{
    // A few models of different shapes: the smallest, one from the middle, the last.
    std::vector<std::string> picks = {files.front(), files[files.size() / 2], files.back()};
    for (const std::string& path : picks)
    {
        const std::vector<uint8_t> bytes = test::readBytes(path);
        size_t loaded = 0;
        for (size_t length = 0; length <= bytes.size(); ++length)
        {
            // A copy of exactly `length` bytes, so the sanitizers see any read past it.
            std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
            ObjectPart root;
            LoadError error;
            if (root.loadModelBytes(prefix.data(), prefix.size(), &error))
                ++loaded;
            else
                EXPECT_NE(error.result, LoadResult::ok);
        }
        EXPECT_GE(loaded, 1u) << path; // the whole file at least
    }
}

} // namespace
} // namespace scourvane
