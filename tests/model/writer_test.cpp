// The writer's layout, byte for byte, and what a save keeps of the file it replaces. Faults during a
// save are the fault suite's.
#include "model/model_reader.h"
#include "model/model_writer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace scourvane
{
namespace
{

using test::addFace;
using test::makeFace;
using test::makePart;
using test::setVertexes;

uint32_t word(const std::vector<uint8_t>& bytes, uint32_t offset)
{
    return static_cast<uint32_t>(bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16) |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

std::vector<uint8_t> imageOf(const ObjectPart& root)
{
    std::vector<uint8_t> image;
    EXPECT_TRUE(buildModelImage(root, image));
    EXPECT_EQ(image.size(), modelImageSize(root));
    return image;
}

TEST(Writer, OnePartLaysOutHeaderPoolIndexesVertexesFacesAndName)
{
    auto root = makePart("body");
    setVertexes(*root, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    addFace(*root, makeFace(3, {0, 1, 2}, "A"));
    const auto image = imageOf(*root);
    ASSERT_EQ(image.size(), 133u);
    EXPECT_EQ(word(image, 28), 128u);     // name
    EXPECT_EQ(word(image, 36), 60u);      // vertexes
    EXPECT_EQ(word(image, 40), 96u);      // faces
    EXPECT_EQ(word(image, 96 + 12), 54u); // index array
    EXPECT_EQ(word(image, 96 + 16), 52u); // texture name in the pool
    EXPECT_EQ(image[52], 'A');
    EXPECT_EQ(image[53], 0);
}

TEST(Writer, TreesFollowWalkOrderAndShareOnePoolEntryPerName)
{
    // R's child A has the sibling B and the child C; textures X, T, U, T.
    auto root = makePart("R");
    auto a = makePart("A");
    auto b = makePart("B");
    auto c = makePart("C");
    const char* textures[4] = {"X", "T", "U", "T"};
    ObjectPart* parts[4] = {root.get(), a.get(), b.get(), c.get()};
    for (int i = 0; i < 4; ++i)
    {
        setVertexes(*parts[i], {{0, 0, 0}});
        addFace(*parts[i], makeFace(1, {0}, textures[i]), root.get());
    }
    a->child = std::move(c);
    a->sibling = std::move(b);
    root->child = std::move(a);
    const auto image = imageOf(*root);
    ASSERT_EQ(image.size(), 406u);
    EXPECT_EQ(image[52], 'X');
    EXPECT_EQ(image[54], 'T');
    EXPECT_EQ(image[56], 'U');
    EXPECT_EQ(word(image, 48), 106u);       // R's child A
    EXPECT_EQ(word(image, 106 + 44), 206u); // A's sibling B
    EXPECT_EQ(word(image, 106 + 48), 306u); // A's child C
    const uint32_t faceOfA = word(image, 106 + 40), faceOfC = word(image, 306 + 40);
    EXPECT_EQ(word(image, faceOfA + 16), 54u);
    EXPECT_EQ(word(image, faceOfC + 16), 54u);
}

TEST(Writer, EmptyArraysGetZeroOffsetsAndEmptyIndexListsPointAtWhatFollows)
{
    auto root = makePart("p");
    addFace(*root, makeFace(1, {}, "case"));
    addFace(*root, makeFace(1, {}, "Case")); // differs in case: a second pool entry
    addFace(*root, makeFace(2, {}, std::string()));
    root->faces()[2].textureId = root->addTextureName("", 1); // only its NUL: a one-byte entry
    auto image = imageOf(*root);
    // pool: "case\0" 52, "Case\0" 57, "\0" 62; no indexes, no vertexes; faces at 63
    EXPECT_EQ(word(image, 36), 0u);
    EXPECT_EQ(word(image, 40), 63u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(word(image, 63 + 32 * i + 12), 63u);
    EXPECT_EQ(word(image, 63 + 16), 52u);
    EXPECT_EQ(word(image, 63 + 32 + 16), 57u);
    EXPECT_EQ(word(image, 63 + 64 + 16), 62u);

    auto bare = makePart("bare");
    image = imageOf(*bare);
    EXPECT_EQ(image.size(), 57u); // header and name only
    EXPECT_EQ(word(image, 40), 0u);
}

TEST(Writer, ZeroIndexFacesBetweenOthersTakeTheNextArraysOffset)
{
    auto root = makePart("p");
    setVertexes(*root, {{0, 0, 0}, {1, 1, 1}});
    addFace(*root, makeFace(1, {0, 1}));
    addFace(*root, makeFace(1, {}));
    addFace(*root, makeFace(1, {1}));
    const auto image = imageOf(*root);
    const uint32_t faces = word(image, 40);
    EXPECT_EQ(word(image, faces + 12), 52u);
    EXPECT_EQ(word(image, faces + 32 + 12), 56u);
    EXPECT_EQ(word(image, faces + 64 + 12), 56u);
}

TEST(Writer, StreamsPiecesOfBoundedSizeThatMakeTheWholeImage)
{
    // Long enough for several pieces, with a name longer than a piece.
    auto root = makePart(std::string(imagePieceSize + 100, 'n'));
    std::vector<Vertex> vertexes(65535);
    std::vector<Face> faces;
    std::vector<uint16_t> indexes;
    const uint32_t skin = root->addTextureName("skin", 5);
    for (uint32_t i = 0; i < vertexes.size(); ++i)
    {
        vertexes[i] = {i, i + 1, i + 2};
        indexes.push_back(static_cast<uint16_t>(i));
        if (i % 3 == 2) faces.push_back(Face{1, 3, 0, skin, 0, 0, 0});
    }
    root->setArrays(vertexes, faces, indexes);
    const auto whole = imageOf(*root);

    struct Collected
    {
        std::vector<uint8_t> bytes;
        size_t pieces = 0;
        size_t stopAfter = 0;
    };
    auto sink = [](void* context, const uint8_t* bytes, size_t size)
    {
        auto& collected = *static_cast<Collected*>(context);
        EXPECT_LE(size, imagePieceSize);
        collected.bytes.insert(collected.bytes.end(), bytes, bytes + size);
        return ++collected.pieces != collected.stopAfter;
    };
    ModelImageWriter writer;
    ASSERT_TRUE(writer.plan(*root));
    EXPECT_EQ(writer.imageSize(), whole.size());
    Collected all;
    ASSERT_TRUE(writer.write(sink, &all));
    EXPECT_GT(all.pieces, 2u);
    EXPECT_EQ(all.bytes, whole);

    Collected stopped;
    stopped.stopAfter = 1;
    EXPECT_FALSE(writer.write(sink, &stopped));
    EXPECT_EQ(stopped.pieces, 1u);
}

TEST(Writer, RefusesCountsThatDoNotCoverTheIndexesAndTexturesOutsideThePool)
{
    auto root = makePart("p");
    addFace(*root, makeFace(1, {0}));
    addFace(*root, makeFace(1, {0, 0}));
    ModelImageWriter writer;
    SaveError error;
    root->faces()[1].indexCount = 3; // runs past the part's indexes
    EXPECT_FALSE(writer.plan(*root, &error));
    EXPECT_EQ(error.result, SaveResult::invalidTree);
    root->faces()[1].indexCount = 1; // leaves an index no face owns
    EXPECT_FALSE(writer.plan(*root, &error));
    EXPECT_EQ(error.result, SaveResult::invalidTree);
    root->faces()[1].indexCount = 2;
    EXPECT_TRUE(writer.plan(*root, &error));
    root->faces()[0].indexCount = 1;
    root->faces()[0].textureId = 3; // no such pool slot
    EXPECT_FALSE(writer.plan(*root, &error));
    EXPECT_EQ(error.result, SaveResult::invalidTree);
}

#ifndef _WIN32
TEST(SaveTest, SavingThroughASymbolicLinkRewritesTheLinkedFile)
{
    test::TempDir dir;
    const std::string path = dir.file("model.3do"), link = dir.file("link.3do");
    test::writeBytes(path, {1, 2, 3, 4, 5});
    auto root = makePart("saved");
    setVertexes(*root, {{1, 2, 3}});
    addFace(*root, makeFace(0, {0, 0}));
    std::filesystem::create_symlink(path, link);
    ASSERT_TRUE(root->saveModelFile(link.c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readBytes(path), imageOf(*root));
}
#endif

} // namespace
} // namespace scourvane
