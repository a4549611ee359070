// The reader against hand-laid files: what loads, what fails, and why.
#include "model/model_reader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace scourvane
{
namespace
{

using test::RawFile;

LoadError loadFails(const RawFile& file)
{
    ObjectPart root;
    LoadError error;
    EXPECT_FALSE(root.loadModelBytes(file.bytes.data(), file.bytes.size(), &error));
    return error;
}

TEST(Reader, FacesGetTheirIndexesBackToBackInFaceOrderEvenWhenTheFileSharesThem)
{
    // Three faces over one stored array: the whole of it, its first two, and none.
    RawFile file;
    file.appendHeader({});
    const uint32_t indexes = file.appendIndexes({2, 0, 1});
    RawFile::Header h;
    h.nameOffset = file.appendName("shared");
    h.vertexCount = 3;
    h.vertexArrayOffset = file.appendVertexes({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    h.faceCount = 3;
    h.faceArrayOffset = file.appendFaces(
        {{1, 3, 0, indexes, 0, 0, 0, 0}, {1, 2, 0, indexes, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}});
    file.writeHeader(0, h);
    ObjectPart root;
    ASSERT_TRUE(root.loadModelBytes(file.bytes.data(), file.bytes.size()));
    EXPECT_EQ(test::indexesOf(root, 0), (std::vector<uint16_t>{2, 0, 1}));
    EXPECT_EQ(test::indexesOf(root, 1), (std::vector<uint16_t>{2, 0}));
    EXPECT_TRUE(test::indexesOf(root, 2).empty());
    EXPECT_EQ(std::vector<uint16_t>(root.indexes().begin(), root.indexes().end()),
              (std::vector<uint16_t>{2, 0, 1, 2, 0}));
    EXPECT_TRUE(root.indexCountsMatch());
}

TEST(Reader, FailsOnBadHeaderWordsDeepInTheTree)
{
    for (uint32_t field : {0u, 32u})
    {
        RawFile file = test::trianglePart();
        RawFile::Header child;
        child.nameOffset = 52;
        const uint32_t childAt = file.appendHeader(child);
        RawFile::Header grandchild = child;
        if (field == 0)
            grandchild.version = 2;
        else
            grandchild.reservedZero = 1;
        const uint32_t grandchildAt = file.appendHeader(grandchild);
        file.put32(childAt + 48, grandchildAt);
        file.put32(48, childAt);
        const LoadError error = loadFails(file);
        EXPECT_EQ(error.result, field == 0 ? LoadResult::badVersion : LoadResult::badReservedZero);
        EXPECT_EQ(error.offset, grandchildAt);
    }
}

TEST(Reader, EmptyArraysReadNothingWhereverTheyPointBelowTwoGiB)
{
    RawFile file = test::trianglePart();
    file.put32(4, 0);           // no vertexes...
    file.put32(36, 0x7FFFFFFF); // ...at an offset far past the end
    // The face's indexes refer to vertexes no longer there; the reader does not check them.
    ObjectPart root;
    ASSERT_TRUE(root.loadModelBytes(file.bytes.data(), file.bytes.size()));
    EXPECT_TRUE(root.vertexes().empty());

    file.put32(36, 0x80000000);
    EXPECT_EQ(loadFails(file).result, LoadResult::offsetTooLarge);

    RawFile noIndexes = test::trianglePart();
    const uint32_t faceAt = noIndexes.get32(40);
    noIndexes.put32(faceAt + 4, 0);
    noIndexes.put32(faceAt + 12, 0x7FFFFFF0);
    ObjectPart again;
    ASSERT_TRUE(again.loadModelBytes(noIndexes.bytes.data(), noIndexes.bytes.size()));
    EXPECT_EQ(again.faces()[0].indexCount, 0u);
    noIndexes.put32(faceAt + 12, 0xFFFFFFFF);
    EXPECT_EQ(loadFails(noIndexes).result, LoadResult::offsetTooLarge);
}

TEST(Reader, TextureNamesAndPartNames)
{
    RawFile file = test::trianglePart();
    const uint32_t faceAt = file.get32(40);
    const uint32_t nul = file.appendZeros(1);
    file.put32(faceAt + 16, nul); // a texture name that is only its NUL still counts
    file.put32(28, 0);            // the part name read from offset 0: the version byte, then NUL
    ObjectPart root;
    ASSERT_TRUE(root.loadModelBytes(file.bytes.data(), file.bytes.size()));
    EXPECT_EQ(root.textureNameOf(root.faces()[0]), std::string(1, '\0'));
    EXPECT_TRUE(root.faces()[0].hasTexture());
    EXPECT_EQ(root.name, std::string("\x01\0", 2));

    file.put32(faceAt + 16, 0);
    ObjectPart untextured;
    ASSERT_TRUE(untextured.loadModelBytes(file.bytes.data(), file.bytes.size()));
    EXPECT_FALSE(untextured.faces()[0].hasTexture());
}

TEST(Reader, EditorStyleTextureNamesOfEveryLengthGetOneSlotEach)
{
    // Every face stores its own copy of its name, as editors save them, and the names take turns,
    // so a name is met again and again at new offsets. Lengths around the 8- and 16-byte words a
    // name may be compared in, names that differ only in their last byte, and a last name that ends
    // the file are all told apart by their bytes.
    std::vector<std::string> names;
    for (size_t length = 0; length <= 20; ++length)
        names.push_back(std::string(length, 'a'));
    for (const char last : {'x', 'y'})
        for (const size_t length : {7, 8, 15, 16})
            names.push_back(std::string(length - 1, 'b') + last);
    const size_t faces = 3 * names.size() + 1;
    RawFile file;
    file.appendHeader({});
    RawFile::Header h;
    h.nameOffset = file.appendName("p");
    h.vertexCount = 1;
    h.vertexArrayOffset = file.appendVertexes({{0, 0, 0}});
    const uint32_t indexes = file.appendIndexes({0});
    h.faceCount = static_cast<uint32_t>(faces);
    h.faceArrayOffset = file.appendZeros(32 * faces);
    std::vector<std::string> expected;
    for (size_t f = 0; f < faces; ++f)
    {
        const uint32_t record = h.faceArrayOffset + static_cast<uint32_t>(32 * f);
        file.put32(record + 0, 1);
        file.put32(record + 4, 1);
        file.put32(record + 12, indexes);
        expected.push_back(f + 1 == faces ? "ends the file" : names[(f * 7) % names.size()]);
    }
    for (size_t f = 0; f < faces; ++f) // the names after the records, the last one at the very end
        file.put32(h.faceArrayOffset + static_cast<uint32_t>(32 * f) + 16, file.appendName(expected[f]));
    file.writeHeader(0, h);

    ObjectPart root;
    ASSERT_TRUE(root.loadModelBytes(file.bytes.data(), file.bytes.size()));
    ASSERT_EQ(root.faceCount, faces);
    for (size_t f = 0; f < faces; ++f)
        EXPECT_EQ(root.textureNameOf(root.faces()[f]), expected[f] + '\0') << "face " << f;
    EXPECT_EQ(root.textureNames->count, names.size() + 1);
}

TEST(Reader, SharedRecordsAreCopiedAndCountedPerPart)
{
    // Root with a child that has two siblings: 3, 5, 7 and 11 vertexes; all four share one name and
    // the two last share one vertex array.
    RawFile file;
    const uint32_t name = 0;
    file.appendHeader({});
    std::vector<Vertex> many(11, Vertex{1, 2, 3});
    const uint32_t vertexes = file.appendVertexes(many);
    uint32_t at[4];
    const uint32_t counts[4] = {3, 5, 7, 11};
    at[0] = 0;
    for (int i = 1; i < 4; ++i)
        at[i] = file.appendHeader({});
    for (int i = 0; i < 4; ++i)
    {
        RawFile::Header h;
        h.nameOffset = name;
        h.vertexCount = counts[i];
        h.vertexArrayOffset = vertexes;
        file.writeHeader(at[i], h);
    }
    file.put32(at[0] + 48, at[1]);
    file.put32(at[1] + 44, at[2]);
    file.put32(at[2] + 44, at[3]);
    ObjectPart root;
    ASSERT_TRUE(root.loadModelBytes(file.bytes.data(), file.bytes.size()));
    EXPECT_EQ(root.countVertexes(), 26u);
    EXPECT_EQ(root.countFaces(), 0u);
    ASSERT_TRUE(root.child && root.child->sibling && root.child->sibling->sibling);
    EXPECT_EQ(root.child->sibling->sibling->vertexCount, 11u);
}

// A part that is its own child and a sibling chain that closes on its start are the hostile suite's.
TEST(Reader, ACycleThroughAChildLinkBackToAPartStillBeingReadFails)
{
    // Root -> child a -> sibling b, and b's child is a.
    RawFile file;
    file.appendHeader({});
    RawFile::Header h;
    h.nameOffset = file.appendName("n");
    file.writeHeader(0, h);
    const uint32_t a = file.appendHeader(h);
    const uint32_t b = file.appendHeader(h);
    file.put32(48, a);
    file.put32(a + 44, b);
    file.put32(b + 48, a);
    const LoadError error = loadFails(file);
    EXPECT_EQ(error.result, LoadResult::cycle);
    EXPECT_NE(describeLoadError(error).find("leads back"), std::string::npos);
}

} // namespace
} // namespace scourvane
