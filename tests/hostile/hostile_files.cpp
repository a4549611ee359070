// The crafted files. Each is the smallest layout that makes its point; offsets are worked out while
// the bytes are laid, so the files stay right if a case is changed.
#include "hostile/hostile_files.h"

#include "support/test_support.h"

namespace scourvane::hostile
{

namespace
{

using test::RawFile;
using Header = RawFile::Header;
using FaceRecord = RawFile::FaceRecord;

constexpr uint32_t border = 0x7FFFFFFFu;  // the last offset a reader may follow
constexpr uint32_t beyond = 0x80000000u;  // the first it may not
constexpr uint32_t headerVertexCount = 4; // byte positions of the header fields patched below
constexpr uint32_t headerFaceCount = 8;
constexpr uint32_t headerNameOffset = 28;
constexpr uint32_t headerReserved = 32;
constexpr uint32_t headerVertexArray = 36;
constexpr uint32_t headerFaceArray = 40;
constexpr uint32_t headerSibling = 44;
constexpr uint32_t headerChild = 48;
constexpr uint32_t faceIndexCount = 4;
constexpr uint32_t faceIndexArray = 12;
constexpr uint32_t faceTextureName = 16;

// One part: a name, three vertexes and one textured triangle; the header is at 0.
RawFile triangle()
{
    RawFile file;
    file.appendHeader({});
    Header h;
    h.nameOffset = file.appendName("base");
    h.vertexCount = 3;
    h.vertexArrayOffset = file.appendVertexes({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    const uint32_t indexes = file.appendIndexes({0, 1, 2});
    const uint32_t texture = file.appendName("tex");
    h.faceCount = 1;
    h.faceArrayOffset = file.appendFaces({{5, 3, 0, indexes, texture, 0, 0, 0}});
    file.writeHeader(0, h);
    return file;
}

// A root whose child is a second part; returns the file and the child's header offset.
RawFile rootWithChild(uint32_t& childAt)
{
    RawFile file = triangle();
    Header child;
    childAt = file.appendHeader({});
    child.nameOffset = file.appendName("child");
    file.writeHeader(childAt, child);
    file.put32(headerChild, childAt);
    return file;
}

void add(std::vector<HostileFile>& files, std::string name, std::string about, RawFile file,
         LoadResult expected, bool large = false)
{
    files.push_back(HostileFile{std::move(name), std::move(about), std::move(file.bytes), expected, large});
}

void countsNearTheTop(std::vector<HostileFile>& files)
{
    RawFile file = triangle();
    file.put32(headerVertexCount, 0xFFFFFFFFu);
    add(files, "vertex-count-max.3do", "vertexCount 0xFFFFFFFF", file, LoadResult::arrayPastEnd);

    file = triangle();
    file.put32(headerFaceCount, 0xFFFFFFFFu);
    add(files, "face-count-max.3do", "faceCount 0xFFFFFFFF", file, LoadResult::arrayPastEnd);

    file = triangle();
    file.put32(file.get32(headerFaceArray) + faceIndexCount, 0xFFFFFFFFu);
    add(files, "index-count-max.3do", "indexCount 0xFFFFFFFF", file, LoadResult::arrayPastEnd);

    // Counts whose byte sizes wrap around 2^32 to a few bytes that the file does hold.
    file = triangle();
    file.put32(headerVertexCount, 0x15555556u); // x 12 = 2^32 + 8
    add(files, "vertex-count-wraps.3do", "vertexCount x 12 wraps to 8 bytes", file, LoadResult::arrayPastEnd);

    file = triangle();
    file.put32(headerFaceCount, 0x08000001u); // x 32 = 2^32 + 32
    add(files, "face-count-wraps.3do", "faceCount x 32 wraps to one record", file, LoadResult::arrayPastEnd);

    file = triangle();
    file.put32(file.get32(headerFaceArray) + faceIndexCount, 0x80000003u); // x 2 = 2^32 + 6
    add(files, "index-count-wraps.3do", "indexCount x 2 wraps to three indexes", file,
        LoadResult::arrayPastEnd);
}

void offsetsAtTheBorder(std::vector<HostileFile>& files)
{
    // With a count of 0 nothing is read, so an offset below 2^31 is fine wherever it points.
    RawFile file = triangle();
    file.put32(headerVertexCount, 0);
    file.put32(headerVertexArray, border);
    file.put32(file.get32(headerFaceArray) + faceIndexCount, 0);
    add(files, "empty-vertexes-at-7fffffff.3do", "no vertexes, vertex array offset 0x7FFFFFFF", file,
        LoadResult::ok);
    file.put32(headerVertexArray, beyond);
    add(files, "empty-vertexes-at-80000000.3do", "no vertexes, vertex array offset 0x80000000", file,
        LoadResult::offsetTooLarge);

    file = triangle();
    file.put32(headerFaceCount, 0);
    file.put32(headerFaceArray, border);
    add(files, "empty-faces-at-7fffffff.3do", "no faces, face array offset 0x7FFFFFFF", file, LoadResult::ok);
    file.put32(headerFaceArray, beyond);
    add(files, "empty-faces-at-80000000.3do", "no faces, face array offset 0x80000000", file,
        LoadResult::offsetTooLarge);

    file = triangle();
    const uint32_t face = file.get32(headerFaceArray);
    file.put32(face + faceIndexCount, 0);
    file.put32(face + faceIndexArray, border);
    add(files, "empty-indexes-at-7fffffff.3do", "no indexes, index array offset 0x7FFFFFFF", file,
        LoadResult::ok);
    file.put32(face + faceIndexArray, beyond);
    add(files, "empty-indexes-at-80000000.3do", "no indexes, index array offset 0x80000000", file,
        LoadResult::offsetTooLarge);

    file = triangle();
    file.put32(headerVertexArray, border);
    add(files, "vertexes-at-7fffffff.3do", "three vertexes at offset 0x7FFFFFFF", file,
        LoadResult::arrayPastEnd);

    file = triangle();
    file.put32(headerNameOffset, border);
    add(files, "name-at-7fffffff.3do", "part name at offset 0x7FFFFFFF", file, LoadResult::namePastEnd);
    file.put32(headerNameOffset, beyond);
    add(files, "name-at-80000000.3do", "part name at offset 0x80000000", file, LoadResult::offsetTooLarge);

    file = triangle();
    file.put32(file.get32(headerFaceArray) + faceTextureName, 0xFFFFFFFFu);
    add(files, "texture-at-ffffffff.3do", "texture name at offset 0xFFFFFFFF", file,
        LoadResult::offsetTooLarge);

    file = triangle();
    file.put32(headerSibling, border);
    add(files, "sibling-at-7fffffff.3do", "sibling header at offset 0x7FFFFFFF", file,
        LoadResult::headerPastEnd);
    file.put32(headerSibling, beyond);
    add(files, "sibling-at-80000000.3do", "sibling header at offset 0x80000000", file,
        LoadResult::offsetTooLarge);

    file = triangle();
    file.put32(headerChild, beyond);
    add(files, "child-at-80000000.3do", "child header at offset 0x80000000", file,
        LoadResult::offsetTooLarge);
}

// Each array last in the file: once ending exactly at the end, once a byte short of room.
void arraysAtTheEnd(std::vector<HostileFile>& files)
{
    auto lastVertexes = []
    {
        RawFile file;
        file.appendHeader({});
        Header h;
        h.nameOffset = file.appendName("v");
        h.vertexCount = 2;
        h.vertexArrayOffset = file.appendVertexes({{1, 1, 1}, {2, 2, 2}});
        file.writeHeader(0, h);
        return file;
    };
    add(files, "vertexes-end-at-eof.3do", "vertex array ends exactly at the end of the file", lastVertexes(),
        LoadResult::ok);
    RawFile cut = lastVertexes();
    cut.bytes.pop_back();
    add(files, "vertexes-one-past-eof.3do", "vertex array ends one byte past the end of the file", cut,
        LoadResult::arrayPastEnd);

    auto lastFaces = []
    {
        RawFile file;
        file.appendHeader({});
        Header h;
        h.nameOffset = file.appendName("f");
        h.vertexCount = 1;
        h.vertexArrayOffset = file.appendVertexes({{3, 3, 3}});
        const uint32_t indexes = file.appendIndexes({0});
        h.faceCount = 2;
        h.faceArrayOffset =
            file.appendFaces({{7, 1, 0, indexes, 0, 0, 0, 0}, {0, 1, 0, indexes, 0, 0, 0, 0}});
        file.writeHeader(0, h);
        return file;
    };
    add(files, "faces-end-at-eof.3do", "face array ends exactly at the end of the file", lastFaces(),
        LoadResult::ok);
    cut = lastFaces();
    cut.bytes.pop_back();
    add(files, "faces-one-past-eof.3do", "face array ends one byte past the end of the file", cut,
        LoadResult::arrayPastEnd);

    auto lastIndexes = []
    {
        RawFile file;
        file.appendHeader({});
        Header h;
        h.nameOffset = file.appendName("i");
        h.vertexCount = 3;
        h.vertexArrayOffset = file.appendVertexes({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
        h.faceCount = 1;
        h.faceArrayOffset = file.appendFaces({{9, 3, 0, 0, 0, 0, 0, 0}});
        file.put32(h.faceArrayOffset + faceIndexArray, file.appendIndexes({2, 1, 0}));
        file.writeHeader(0, h);
        return file;
    };
    add(files, "indexes-end-at-eof.3do", "index array ends exactly at the end of the file", lastIndexes(),
        LoadResult::ok);
    cut = lastIndexes();
    cut.bytes.pop_back();
    add(files, "indexes-one-past-eof.3do", "index array ends one byte past the end of the file", cut,
        LoadResult::arrayPastEnd);

    cut = triangle();
    cut.bytes.resize(51);
    add(files, "short-header.3do", "51 bytes, one short of a part header", cut, LoadResult::headerPastEnd);
    add(files, "empty.3do", "an empty file", RawFile{}, LoadResult::headerPastEnd);
}

void namesWithoutEnd(std::vector<HostileFile>& files)
{
    RawFile file = triangle();
    const uint32_t name = file.size();
    file.append("no end in sight", 15);
    file.put32(headerNameOffset, name);
    add(files, "name-runs-to-eof.3do", "part name runs to the end of the file without a NUL", file,
        LoadResult::nameUnterminated);

    file = triangle();
    const uint32_t texture = file.size();
    file.append("texture", 7);
    file.put32(file.get32(headerFaceArray) + faceTextureName, texture);
    add(files, "texture-runs-to-eof.3do", "texture name runs to the end of the file without a NUL", file,
        LoadResult::nameUnterminated);

    file = triangle();
    file.put32(headerNameOffset, file.size());
    add(files, "name-at-eof.3do", "part name offset equal to the file size", file, LoadResult::namePastEnd);

    // A name that ends with the file's last byte, its NUL, is whole.
    file = triangle();
    file.put32(headerNameOffset, file.appendName("last"));
    add(files, "name-ends-at-eof.3do", "part name whose NUL is the file's last byte", file, LoadResult::ok);
}

void badLinks(std::vector<HostileFile>& files)
{
    uint32_t child = 0;
    RawFile file = rootWithChild(child);
    file.put32(child + headerChild, child);
    add(files, "child-of-itself.3do", "a part whose child is itself", file, LoadResult::cycle);

    file = rootWithChild(child);
    file.put32(child + headerSibling, child);
    add(files, "sibling-of-itself.3do", "a part whose sibling is itself", file, LoadResult::cycle);

    // Two parts that are each other's child.
    file = rootWithChild(child);
    Header other;
    const uint32_t second = file.appendHeader({});
    other.nameOffset = file.appendName("other");
    other.childOffset = child;
    file.writeHeader(second, other);
    file.put32(child + headerChild, second);
    add(files, "child-cycle.3do", "two parts that are each other's child", file, LoadResult::cycle);

    // A chain of a thousand siblings whose last leads back to its first.
    file = rootWithChild(child);
    const uint32_t nameAt = file.appendName("s");
    uint32_t previous = child;
    for (int i = 0; i < 1000; ++i)
    {
        Header h;
        h.nameOffset = nameAt;
        const uint32_t at = file.appendHeader(h);
        file.put32(previous + headerSibling, at);
        previous = at;
    }
    file.put32(previous + headerSibling, child);
    add(files, "sibling-cycle.3do", "a thousand siblings, the last leading back to the first", file,
        LoadResult::cycle);

    // Links that lead to a part twice without a cycle: the part is read twice.
    file = rootWithChild(child);
    Header shared;
    const uint32_t sharedAt = file.appendHeader({});
    shared.nameOffset = file.appendName("shared");
    file.writeHeader(sharedAt, shared);
    file.put32(child + headerChild, sharedAt);
    file.put32(child + headerSibling, sharedAt);
    add(files, "shared-subtree.3do", "one part reached as child and as sibling", file, LoadResult::ok);

    // Part k has part k+1 as both child and sibling: 2^40 parts from 40 headers.
    file = triangle();
    const uint32_t layerName = file.appendName("layer");
    std::vector<uint32_t> layers;
    for (int i = 0; i < 40; ++i)
    {
        Header h;
        h.nameOffset = layerName;
        layers.push_back(file.appendHeader(h));
    }
    file.put32(headerChild, layers[0]);
    for (size_t i = 0; i + 1 < layers.size(); ++i)
    {
        file.put32(layers[i] + headerChild, layers[i + 1]);
        file.put32(layers[i] + headerSibling, layers[i + 1]);
    }
    add(files, "exploding-tree.3do", "40 headers that make a tree of 2^40 parts", file,
        LoadResult::tooMuchSharing);

    file = rootWithChild(child);
    file.put32(child + headerReserved, 1);
    add(files, "deep-reserved-word.3do", "reservedZero 1 in a child", file, LoadResult::badReservedZero);
    file = rootWithChild(child);
    file.put32(child, 2);
    add(files, "deep-version.3do", "version 2 in a child", file, LoadResult::badVersion);
}

void sixteenBitEdge(std::vector<HostileFile>& files)
{
    auto wide = [](uint32_t vertexCount, uint16_t lastIndex)
    {
        RawFile file;
        file.appendHeader({});
        Header h;
        h.nameOffset = file.appendName("wide");
        h.vertexCount = vertexCount;
        h.vertexArrayOffset = file.size();
        for (uint32_t i = 0; i < vertexCount; ++i)
            file.appendVertexes({{i, i % 7, 0}}); // distinct coordinates: nothing merges
        h.faceCount = 1;
        h.faceArrayOffset = file.appendFaces({{1, 3, 0, 0, 0, 0, 0, 0}});
        file.put32(h.faceArrayOffset + faceIndexArray, file.appendIndexes({0, 1, lastIndex}));
        file.writeHeader(0, h);
        return file;
    };
    add(files, "index-65535-of-65535.3do", "face index 65535 in a part of 65535 vertexes (one too far)",
        wide(65535, 65535), LoadResult::ok);
    add(files, "index-65534-of-65535.3do", "face index 65534 in a part of 65535 vertexes (the last one)",
        wide(65535, 65534), LoadResult::ok);
    add(files, "vertexes-65536.3do", "a part of 65536 vertexes", wide(65536, 65535), LoadResult::ok);

    // Every vertex a duplicate of the first, and one face using them all: merging them one pass over
    // the indexes per duplicate would take 65534 x 65535 steps.
    RawFile same;
    same.appendHeader({});
    Header h;
    h.nameOffset = same.appendName("same");
    h.vertexCount = 65535;
    h.vertexArrayOffset = same.appendVertexes(std::vector<Vertex>(65535, Vertex{7, 7, 7}));
    std::vector<uint16_t> all(65535);
    for (uint32_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint16_t>(i);
    h.faceCount = 1;
    h.faceArrayOffset = same.appendFaces({{1, 65535, 0, 0, 0, 0, 0, 0}});
    same.put32(h.faceArrayOffset + faceIndexArray, same.appendIndexes(all));
    same.writeHeader(0, h);
    add(files, "all-vertexes-equal.3do", "65535 equal vertexes, one face using each of them", same,
        LoadResult::ok);
}

void large(std::vector<HostileFile>& files)
{
    // A million faces, each with the same 65535-index array: 128 GiB once read.
    RawFile file;
    file.appendHeader({});
    Header h;
    h.nameOffset = file.appendName("many");
    h.vertexCount = 1;
    h.vertexArrayOffset = file.appendVertexes({{0, 0, 0}});
    const uint32_t indexes = file.appendZeros(2 * 65535);
    h.faceCount = 1000000;
    h.faceArrayOffset =
        file.appendFaces(std::vector<FaceRecord>(h.faceCount, {1, 65535, 0, indexes, 0, 0, 0, 0}));
    file.writeHeader(0, h);
    add(files, "million-faces-one-index-array.3do", "a million faces sharing one array of 65535 indexes",
        file, LoadResult::tooMuchSharing, true);

    // A million empty parts in one sibling chain under the root, all with the same name: each gains
    // a point when cleaned.
    auto chain = [](bool asSiblings)
    {
        RawFile chained = triangle();
        const uint32_t nameAt = chained.appendName("p");
        chained.bytes.reserve(chained.bytes.size() + 52u * 1000000u);
        uint32_t previous = 0;
        for (int i = 0; i < 1000000; ++i)
        {
            Header part;
            part.nameOffset = nameAt;
            const uint32_t at = chained.appendHeader(part);
            chained.put32(previous + (asSiblings && i > 0 ? headerSibling : headerChild), at);
            previous = at;
        }
        return chained;
    };
    add(files, "million-part-sibling-chain.3do", "a sibling chain of a million empty parts", chain(true),
        LoadResult::ok, true);
    add(files, "million-part-child-chain.3do", "a million parts each the child of the one before",
        chain(false), LoadResult::ok, true);
}

} // namespace

std::vector<HostileFile> hostileFiles(bool withLarge)
{
    std::vector<HostileFile> files;
    countsNearTheTop(files);
    offsetsAtTheBorder(files);
    arraysAtTheEnd(files);
    namesWithoutEnd(files);
    badLinks(files);
    sixteenBitEdge(files);
    if (withLarge) large(files);
    return files;
}

const char* reasonWords(LoadResult result)
{
    switch (result)
    {
    case LoadResult::ok:
        return "";
    case LoadResult::openFailed:
        return "cannot";
    case LoadResult::fileTooLarge:
        return "too large";
    case LoadResult::headerPastEnd:
        return "part header at";
    case LoadResult::badVersion:
        return "version";
    case LoadResult::badReservedZero:
        return "reserved word";
    case LoadResult::offsetTooLarge:
        return "is beyond 2 GiB";
    case LoadResult::arrayPastEnd:
        return "runs past the end of the file";
    case LoadResult::namePastEnd:
        return "is past the end of the file";
    case LoadResult::nameUnterminated:
        return "without its NUL";
    case LoadResult::cycle:
        return "leads back to the part";
    case LoadResult::tooMuchSharing:
        return "records shared so often";
    }
    return "";
}

} // namespace scourvane::hostile
