// The verifier: it accepts what cleaning makes of real and made models, and refuses a cleaned image
// broken in each way that would change what the model draws.
#include "verify/model_verifier.h"

#include "clean/part_cleaner.h"
#include "model/model_reader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace scourvane
{
namespace
{

using test::addFace;
using test::makeFace;
using test::makePart;
using test::RawFile;
using test::setVertexes;

std::vector<uint8_t> cleanedImageOf(const std::vector<uint8_t>& original)
{
    ObjectPart root;
    EXPECT_TRUE(root.loadModelBytes(original.data(), original.size()));
    cleanPart(root);
    std::vector<uint8_t> image;
    EXPECT_TRUE(buildModelImage(root, image));
    return image;
}

bool verifies(const std::vector<uint8_t>& original, const std::vector<uint8_t>& cleaned,
              VerifyError* error = nullptr)
{
    return verifyCleanedImage(original.data(), original.size(), cleaned.data(), cleaned.size(), error);
}

// Root "base" with children A and B and A's child "empty". A: a textured triangle, a dead triangle
// over a duplicate vertex, an untextured line; B: a quad of colour 7, protected dead point at 1;
// "empty": only dead faces, so it ends as one point.
std::vector<uint8_t> madeModel()
{
    auto root = makePart("base");
    root->positionX = 5;
    auto a = makePart("A");
    setVertexes(*a, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {9, 9, 9}});
    addFace(*a, makeFace(0, {0, 1, 2}, "Tex"), root.get());
    addFace(*a, makeFace(0, {3, 4, 2}));
    addFace(*a, makeFace(0, {3, 1}));
    auto b = makePart("B");
    setVertexes(*b, {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {2, 2, 0}});
    addFace(*b, makeFace(7, {0, 1, 2, 3}));
    addFace(*b, makeFace(0, {3}));
    b->protectedFace = 1;
    auto empty = makePart("empty");
    setVertexes(*empty, {{4, 4, 4}});
    addFace(*empty, makeFace(0, {0}, ""));
    a->child = std::move(empty);
    a->sibling = std::move(b);
    root->child = std::move(a);
    std::vector<uint8_t> image;
    EXPECT_TRUE(buildModelImage(*root, image));
    return image;
}

// Offsets of the written cleaned image's parts: root, A, B, and A's child.
struct Layout
{
    uint32_t root = 0, a, b, empty;
    explicit Layout(const RawFile& f) : a(f.get32(48)), b(f.get32(a + 44)), empty(f.get32(a + 48)) {}
};

TEST(Verifier, RefusesACleanedImageBrokenInEachWayThatChangesTheDrawing)
{
    const std::vector<uint8_t> original = madeModel();
    const struct
    {
        const char* what;
        std::function<void(RawFile&, const Layout&)> breakIt;
        VerifyResult result;
    } cases[] = {
        {"a moved vertex", [](RawFile& f, const Layout& p) { f.put32(f.get32(p.a + 36), 2); },
         VerifyResult::cornerDiffers},
        {"a swapped index",
         [](RawFile& f, const Layout& p)
         {
             const uint32_t indexes = f.get32(f.get32(p.a + 40) + 12);
             const uint32_t both = f.get32(indexes);
             f.put32(indexes, both >> 16 | both << 16);
         },
         VerifyResult::cornerDiffers},
        {"a dropped kept face", [](RawFile& f, const Layout& p) { f.put32(p.b + 8, 0); },
         VerifyResult::faceCountDiffers},
        {"a changed texture", [](RawFile& f, const Layout& p) { ++f.bytes[f.get32(f.get32(p.a + 40) + 16)]; },
         VerifyResult::faceDiffers},
        {"a changed colour", [](RawFile& f, const Layout& p) { f.put32(f.get32(p.b + 40), 8); },
         VerifyResult::faceDiffers},
        {"a renamed part", [](RawFile& f, const Layout& p) { ++f.bytes[f.get32(p.b + 28)]; },
         VerifyResult::nameDiffers},
        {"reordered siblings",
         [](RawFile& f, const Layout& p)
         {
             f.put32(p.root + 48, p.b);
             f.put32(p.b + 44, p.a);
             f.put32(p.a + 44, 0);
         },
         VerifyResult::nameDiffers},
        {"a moved part", [](RawFile& f, const Layout& p) { f.put32(p.root + 16, 6); },
         VerifyResult::headerDiffers},
        {"a lost protected face", [](RawFile& f, const Layout& p) { f.put32(p.b + 12, 0xFFFFFFFF); },
         VerifyResult::headerDiffers},
        {"a lost child", [](RawFile& f, const Layout& p) { f.put32(p.a + 48, 0); },
         VerifyResult::treeDiffers},
        {"a point off the origin", [](RawFile& f, const Layout& p) { f.put32(f.get32(p.empty + 36) + 8, 1); },
         VerifyResult::pointDiffers},
        {"an index past the vertexes", [](RawFile& f, const Layout& p) { f.put32(p.a + 4, 1); },
         VerifyResult::cornerDiffers},
        {"a face array past the end", [](RawFile& f, const Layout& p) { f.put32(p.b + 40, f.size() - 8); },
         VerifyResult::cleanedUnreadable},
        {"a cut image", [](RawFile& f, const Layout&) { f.bytes.resize(f.size() - 1); },
         VerifyResult::cleanedUnreadable},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        RawFile file;
        file.bytes = cleanedImageOf(original);
        const Layout layout(file);
        c.breakIt(file, layout);
        VerifyError error;
        EXPECT_FALSE(verifies(original, file.bytes, &error));
        EXPECT_EQ(error.result, c.result) << describeVerifyError(error);
    }
}

TEST(Verifier, APartBeyondCleaningsLimitsMustComeOutAsItWas)
{
    auto root = makePart("odd");
    setVertexes(*root, {{1, 1, 1}, {1, 1, 1}});
    addFace(*root, makeFace(0, {0, 1, 5})); // an index past the vertexes: cleaning leaves the part
    std::vector<uint8_t> original;
    ASSERT_TRUE(buildModelImage(*root, original));
    RawFile cleaned;
    cleaned.bytes = cleanedImageOf(original);
    EXPECT_TRUE(verifies(original, cleaned.bytes));
    EXPECT_EQ(cleaned.bytes, original);

    cleaned.put32(cleaned.get32(36) + 12, 2); // the unused duplicate vertex
    VerifyError error;
    EXPECT_FALSE(verifies(original, cleaned.bytes, &error));
    EXPECT_EQ(error.result, VerifyResult::untouchedPartDiffers);
}

TEST(Verifier, EndsOnHostileImagesWithoutReadingOutsideThem)
{
    // A root whose child links to itself, checked against itself: the walk must stop on its budget.
    RawFile cyclic;
    RawFile::Header header;
    header.vertexCount = 1;
    header.faceCount = 1;
    header.nameOffset = 104;
    header.vertexArrayOffset = 106;
    header.faceArrayOffset = 118;
    cyclic.appendHeader(header);
    const uint32_t child = cyclic.appendHeader(header);
    cyclic.appendName("x");
    cyclic.appendVertexes({{1, 2, 3}});
    RawFile::FaceRecord face;
    face.colourIndex = 1;
    face.indexCount = 1;
    face.indexArrayOffset = 150;
    cyclic.appendFaces({face});
    cyclic.appendIndexes({0});
    cyclic.put32(48, child);
    cyclic.put32(child + 48, child);
    VerifyError error;
    EXPECT_FALSE(verifies(cyclic.bytes, cyclic.bytes, &error));
    EXPECT_EQ(error.result, VerifyResult::tooMuchWork);

    const std::vector<uint8_t> empty, shortImage{1, 0, 0};
    EXPECT_FALSE(verifies(empty, empty));
    EXPECT_FALSE(verifies(shortImage, madeModel()));
    EXPECT_FALSE(verifies(madeModel(), shortImage));
}

TEST(Verifier, AcceptsEveryRealModelOnceCleaned)
{
    const std::vector<std::string> files = test::corpusFiles();
    if (files.empty())
        GTEST_SKIP() << "the real-model corpus is not installed (set SCOURVANE_CORPUS_DIR); skipping";
    for (const std::string& path : files)
    {
        const std::vector<uint8_t> original = test::readBytes(path);
        const std::vector<uint8_t> cleaned = cleanedImageOf(original);
        VerifyError error;
        EXPECT_TRUE(verifies(original, cleaned, &error)) << path << ": " << describeVerifyError(error);
    }
}

} // namespace
} // namespace scourvane
