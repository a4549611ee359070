// Each crafted file is the smallest layout that makes its point; offsets are read back from the bytes
// laid, so a case stays right if the layout it patches changes.
#include "hostile/hostile_files.h"

#include "hostile/colliding_names.h"
#include "support/test_support.h"

namespace scourvane::hostile
{

namespace
{

using test::RawFile;
using Header = RawFile::Header;

constexpr uint32_t border = 0x7FFFFFFFu; // the last offset a reader may follow
constexpr uint32_t beyond = 0x80000000u; // the first it may not

// Header fields by byte position; face-record fields are `inFace` plus their position in the record.
constexpr uint32_t vertexCount = 4, faceCount = 8;
constexpr uint32_t nameOffset = 28, vertexArray = 36, faceArray = 40, sibling = 44, child = 48;
constexpr uint32_t inFace = 0x1000;
constexpr uint32_t indexCount = inFace + 4, indexArray = inFace + 12, textureName = inFace + 16;

using test::trianglePart;

void put(RawFile& file, uint32_t field, uint32_t value)
{
    file.put32(field >= inFace ? file.get32(faceArray) + field - inFace : field, value);
}

struct Patch
{
    const char* name;
    const char* about;
    uint32_t field, value;
    LoadResult expected;
};

const Patch patches[] = {
    {"vertex-count-max", "vertexCount 0xFFFFFFFF", vertexCount, 0xFFFFFFFFu, LoadResult::arrayPastEnd},
    {"face-count-max", "faceCount 0xFFFFFFFF", faceCount, 0xFFFFFFFFu, LoadResult::arrayPastEnd},
    {"index-count-max", "indexCount 0xFFFFFFFF", indexCount, 0xFFFFFFFFu, LoadResult::arrayPastEnd},
    {"index-count-wraps", "indexCount x 2 wraps to three indexes", indexCount, 0x80000003u,
     LoadResult::arrayPastEnd},
    {"vertexes-at-7fffffff", "three vertexes at offset 0x7FFFFFFF", vertexArray, border,
     LoadResult::arrayPastEnd},
    {"name-at-7fffffff", "part name at offset 0x7FFFFFFF", nameOffset, border, LoadResult::namePastEnd},
    {"name-at-80000000", "part name at offset 0x80000000", nameOffset, beyond, LoadResult::offsetTooLarge},
    {"texture-at-ffffffff", "texture name at offset 0xFFFFFFFF", textureName, 0xFFFFFFFFu,
     LoadResult::offsetTooLarge},
    {"sibling-at-7fffffff", "sibling header at offset 0x7FFFFFFF", sibling, border,
     LoadResult::headerPastEnd},
    {"sibling-at-80000000", "sibling header at offset 0x80000000", sibling, beyond,
     LoadResult::offsetTooLarge},
    {"child-at-80000000", "child header at offset 0x80000000", child, beyond, LoadResult::offsetTooLarge},
};

// The triangle followed by `count` empty parts with one name, linked by nothing yet.
RawFile withParts(int count, std::vector<uint32_t>& at)
{
    RawFile file = trianglePart();
    Header h;
    h.nameOffset = file.appendName("p");
    for (int i = 0; i < count; ++i)
        at.push_back(file.appendHeader(h));
    return file;
}

// One part of `vertexes` distinct vertexes and a triangle whose last corner is `lastIndex`.
RawFile wide(uint32_t vertexes, uint16_t lastIndex)
{
    RawFile file;
    file.appendHeader({});
    Header h;
    h.nameOffset = file.appendName("wide");
    h.vertexCount = vertexes;
    h.vertexArrayOffset = file.size();
    for (uint32_t i = 0; i < vertexes; ++i)
        file.appendVertexes({{i, i % 7, 0}});
    h.faceCount = 1;
    h.faceArrayOffset = file.appendFaces({{1, 3, 0, 0, 0, 0, 0, 0}});
    file.writeHeader(0, h);
    put(file, indexArray, file.appendIndexes({0, 1, lastIndex}));
    return file;
}

// 65535 equal vertexes and one face using each: merging with a pass over the indexes per duplicate
// would take 65534 x 65535 steps.
RawFile allVertexesEqual()
{
    RawFile file;
    file.appendHeader({});
    Header h;
    h.nameOffset = file.appendName("same");
    h.vertexCount = 65535;
    h.vertexArrayOffset = file.appendVertexes(std::vector<Vertex>(65535, Vertex{7, 7, 7}));
    std::vector<uint16_t> all(65535);
    for (uint32_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint16_t>(i);
    h.faceCount = 1;
    h.faceArrayOffset = file.appendFaces({{1, 65535, 0, file.appendIndexes(all), 0, 0, 0, 0}});
    file.writeHeader(0, h);
    return file;
}

// A million faces, each with the same 65535-index array: 128 GiB once read.
RawFile millionFaces()
{
    RawFile file;
    file.appendHeader({});
    Header h;
    h.nameOffset = file.appendName("many");
    const uint32_t indexes = file.appendZeros(2 * 65535);
    h.faceCount = 1000000;
    h.faceArrayOffset =
        file.appendFaces(std::vector<RawFile::FaceRecord>(h.faceCount, {1, 65535, 0, indexes, 0, 0, 0, 0}));
    file.writeHeader(0, h);
    return file;
}

// A million empty parts after the triangle, all with one name; each gains a point when cleaned.
RawFile millionParts(bool asSiblings)
{
    RawFile file = trianglePart();
    const uint32_t name = file.appendName("p");
    file.bytes.reserve(file.bytes.size() + 52u * 1000000u);
    uint32_t previous = 0;
    for (int i = 0; i < 1000000; ++i)
    {
        Header part;
        part.nameOffset = name;
        const uint32_t at = file.appendHeader(part);
        file.put32(previous + (asSiblings && i > 0 ? sibling : child), at);
        previous = at;
    }
    return file;
}

// One part of 120,000 textured faces, each naming its own texture, all names sharing one hash under
// an unkeyed hash: an unkeyed pool would probe through every earlier name for each face.
RawFile collidingTextures()
{
    RawFile file;
    file.appendHeader({});
    Header h;
    h.nameOffset = file.appendName("base");
    std::vector<RawFile::FaceRecord> faces;
    for (const std::string& name : collidingNames(120000))
        faces.push_back({1, 0, 0, 0, file.appendName(name), 0, 0, 0});
    h.faceCount = static_cast<uint32_t>(faces.size());
    h.faceArrayOffset = file.appendFaces(faces);
    file.writeHeader(0, h);
    return file;
}

} // namespace

std::vector<HostileFile> hostileFiles(bool withLarge)
{
    std::vector<HostileFile> files;
    auto add = [&](std::string name, std::string about, RawFile file, LoadResult expected, bool large = false)
    {
        files.push_back({name + ".3do", std::move(about), std::move(file.bytes), expected, large});
    };

    for (const Patch& patch : patches)
    {
        RawFile file = trianglePart();
        put(file, patch.field, patch.value);
        add(patch.name, patch.about, file, patch.expected);
    }

    // Each array last in the file: once ending exactly at the end, once a byte short of room.
    RawFile file = trianglePart();
    add("faces-end-at-eof", "face array ends exactly at the end of the file", file, LoadResult::ok);
    file.bytes.pop_back();
    add("faces-one-past-eof", "face array ends one byte past it", file, LoadResult::arrayPastEnd);
    file = trianglePart();
    put(file, indexArray, file.appendIndexes({2, 1, 0}));
    add("indexes-end-at-eof", "index array ends exactly at the end of the file", file, LoadResult::ok);
    file.bytes.pop_back();
    add("indexes-one-past-eof", "index array ends one byte past it", file, LoadResult::arrayPastEnd);
    add("empty", "an empty file", RawFile{}, LoadResult::headerPastEnd);

    file = trianglePart();
    put(file, textureName, file.append("texture", 7));
    add("texture-runs-to-eof", "texture name runs to the end of the file without a NUL", file,
        LoadResult::nameUnterminated);
    file = trianglePart();
    put(file, nameOffset, file.appendName("last"));
    add("name-ends-at-eof", "part name whose NUL is the file's last byte", file, LoadResult::ok);

    // Links: a part that is its own child, a thousand siblings whose last leads back to the first,
    // and 40 parts each with the next as both child and sibling, a tree of 2^40 parts.
    std::vector<uint32_t> at;
    file = withParts(1, at);
    put(file, child, at[0]);
    file.put32(at[0] + child, at[0]);
    add("child-of-itself", "a part whose child is itself", file, LoadResult::cycle);
    at.clear();
    file = withParts(1000, at);
    put(file, child, at[0]);
    for (size_t i = 0; i < at.size(); ++i)
        file.put32(at[i] + sibling, at[(i + 1) % at.size()]);
    add("sibling-cycle", "a thousand siblings, the last leading back to the first", file, LoadResult::cycle);
    at.clear();
    file = withParts(40, at);
    put(file, child, at[0]);
    for (size_t i = 0; i + 1 < at.size(); ++i)
    {
        file.put32(at[i] + child, at[i + 1]);
        file.put32(at[i] + sibling, at[i + 1]);
    }
    add("exploding-tree", "40 headers that make a tree of 2^40 parts", file, LoadResult::tooMuchSharing);

    add("vertexes-65536", "a part of 65536 vertexes", wide(65536, 65535), LoadResult::ok);
    add("index-65535-of-65535", "face index 65535 in a part of 65535 vertexes", wide(65535, 65535),
        LoadResult::ok);
    add("all-vertexes-equal", "65535 equal vertexes, one face using each", allVertexesEqual(),
        LoadResult::ok);
    if (!withLarge) return files;
    add("million-faces-one-index-array", "a million faces sharing one array of 65535 indexes", millionFaces(),
        LoadResult::tooMuchSharing, true);
    add("colliding-texture-names", "120,000 texture names crafted to collide under an unkeyed hash",
        collidingTextures(), LoadResult::ok, true);
    add("million-part-sibling-chain", "a sibling chain of a million empty parts", millionParts(true),
        LoadResult::ok, true);
    add("million-part-child-chain", "a million parts each the child of the one before", millionParts(false),
        LoadResult::ok, true);
    return files;
}

} // namespace scourvane::hostile
