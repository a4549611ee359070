// Every real model loads, saves, cleans and reloads. Skipped where the corpus is not installed.
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

// Saving without cleaning never grows a file (texture names are pooled); the cleaned image reloads
// as the cleaned tree, and cleaning it again gives the same bytes. What the explainer says each part
// loses is what the cleaner takes.
TEST_F(Corpus, EveryModelRoundTripsAndCleansToAFixedPoint)
{
    int64_t vertexesRemoved = 0, facesRemoved = 0;
    uint64_t bytesBefore = 0, bytesAfter = 0;
    for (const std::string& path : files)
    {
        ObjectPart root;
        LoadError error;
        ASSERT_TRUE(root.loadModelFile(path.c_str(), &error)) << path << ": " << describeLoadError(error);
        const size_t fileSize = test::readBytes(path).size();
        EXPECT_LE(modelImageSize(root), fileSize) << path;
        const uint32_t vertexes = root.countVertexes(), faces = root.countFaces();
        std::vector<PartChanges> told;
        std::vector<std::pair<uint32_t, uint32_t>> counts;
        walkParts(root,
                  [&](const ObjectPart& part)
                  {
                      told.push_back(explainPart(part));
                      counts.emplace_back(part.vertexCount, part.faceCount);
                  });
        cleanPart(root);
        size_t at = 0;
        walkParts(root,
                  [&](const ObjectPart& part)
                  {
                      EXPECT_EQ(told[at].vertexesRemoved,
                                static_cast<int32_t>(counts[at].first - part.vertexCount));
                      EXPECT_EQ(told[at].facesRemoved,
                                static_cast<int32_t>(counts[at].second - part.faceCount));
                      ++at;
                  });
        vertexesRemoved += static_cast<int32_t>(vertexes - root.countVertexes());
        facesRemoved += static_cast<int32_t>(faces - root.countFaces());
        std::vector<uint8_t> once, twice;
        ASSERT_TRUE(buildModelImage(root, once));
        ObjectPart reloaded;
        ASSERT_TRUE(reloaded.loadModelBytes(once.data(), once.size()));
        EXPECT_TRUE(sameTree(root, reloaded)) << path;
        cleanPart(reloaded);
        ASSERT_TRUE(buildModelImage(reloaded, twice));
        EXPECT_EQ(once, twice) << path;
        bytesBefore += fileSize;
        bytesAfter += once.size();
    }
    std::printf("corpus: %zu files, %lld vertexes and %lld faces removed, %llu -> %llu bytes\n", files.size(),
                static_cast<long long>(vertexesRemoved), static_cast<long long>(facesRemoved),
                static_cast<unsigned long long>(bytesBefore), static_cast<unsigned long long>(bytesAfter));
}

} // namespace
} // namespace scourvane
