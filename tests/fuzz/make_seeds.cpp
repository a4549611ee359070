// Writes the starting corpus of the fuzz targets into a folder: models laid out by the project's own
// writer (textures shared between parts, dead faces, duplicate vertexes, lines, a protected face,
// empty parts, children and siblings) and the small crafted files of the hostile set.
// Usage: scourvane-fuzz-seeds FOLDER
#include "hostile/hostile_files.h"
#include "support/test_support.h"

#include <cstdio>
#include <filesystem>

namespace
{

using namespace scourvane;
using test::addFace;
using test::makeFace;
using test::makePart;
using test::setVertexes;

std::unique_ptr<ObjectPart> texturedTriangle(const std::string& name)
{
    auto part = makePart(name);
    setVertexes(*part, {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    addFace(*part, makeFace(0, {0, 1, 2}, "stone"));
    return part;
}

// The worked example of cleaning: duplicates, a dead triangle and a line of colour 0.
std::unique_ptr<ObjectPart> duplicatesAndDeadFaces()
{
    auto part = makePart("body");
    setVertexes(*part, {{10, 0, 0}, {0, 0, 0}, {10, 0, 0}, {7, 7, 7}, {0, 0, 0}});
    addFace(*part, makeFace(0, {1, 3, 4}));
    addFace(*part, makeFace(5, {2, 3, 1}));
    addFace(*part, makeFace(0, {4, 2}));
    return part;
}

std::unique_ptr<ObjectPart> tree()
{
    auto root = texturedTriangle("base");
    auto arm = duplicatesAndDeadFaces();
    auto flare = makePart("flare"); // nothing at all: gains a point
    auto gun = texturedTriangle("gun");
    gun->faces[0].textureName = std::string("STONE\0", 6); // differs from "stone" only in case
    addFace(*gun, makeFace(0, {2, 1, 0}, "stone"));
    auto guarded = makePart("guarded");
    setVertexes(*guarded, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {1, 1, 1}});
    addFace(*guarded, makeFace(0, {3, 1}));
    addFace(*guarded, makeFace(0, {0, 1, 2}));
    addFace(*guarded, makeFace(0, {2}, "x"));
    guarded->protectedFace = 1;
    flare->sibling = std::move(guarded);
    gun->child = std::move(flare);
    arm->sibling = std::move(gun);
    root->child = std::move(arm);
    return root;
}

std::unique_ptr<ObjectPart> untexturedAndEmptyFaces()
{
    auto part = makePart("odd");
    setVertexes(*part, {{5, 5, 5}, {6, 6, 6}});
    addFace(*part, makeFace(3, {}));           // kept, uses nothing
    addFace(*part, makeFace(0, {1}, "dot"));   // a textured point
    addFace(*part, makeFace(0, {0, 1, 0, 1})); // dead quad
    Face nulTexture = makeFace(0, {0});
    nulTexture.textureName = std::string(1, '\0'); // a texture name of just its NUL
    addFace(*part, nulTexture);
    return part;
}

void save(const std::filesystem::path& folder, const std::string& name, const ObjectPart& root)
{
    std::vector<uint8_t> image;
    if (root.buildModelImage(image)) test::writeBytes((folder / name).string(), image);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: scourvane-fuzz-seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    save(folder, "sample-triangle.3do", *texturedTriangle("base"));
    save(folder, "sample-dead-faces.3do", *duplicatesAndDeadFaces());
    save(folder, "sample-tree.3do", *tree());
    save(folder, "sample-odd-faces.3do", *untexturedAndEmptyFaces());
    save(folder, "sample-empty-part.3do", *makePart("empty"));
    for (const hostile::HostileFile& file : hostile::hostileFiles(false))
        if (file.bytes.size() <= 4096)
            test::writeBytes((folder / ("crafted-" + file.name)).string(), file.bytes);
    return std::filesystem::is_directory(folder) ? 0 : 1;
}
