// scourvane-make-samples FOLDER: writes a few small models into FOLDER that carry what real ones
// do: duplicated vertexes, untextured colour-0 faces, unused vertexes, parts without faces, lines
// that must stay, a protected face, and texture names repeated once per face as editors save them.
#include "model/model_writer.h"
#include "model/object_part.h"
#include "platform/file_io.h"
#include "tools/editor_style_writer.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

using scourvane::Face;
using scourvane::ObjectPart;
using scourvane::Vertex;

// Coordinates are 16.16 fixed point, as the game reads them.
Vertex at(int32_t x, int32_t y, int32_t z)
{
    auto fixed = [](int32_t units) { return static_cast<uint32_t>(units * 65536); };
    return Vertex{fixed(x), fixed(y), fixed(z)};
}

std::unique_ptr<ObjectPart> part(const char* name, int32_t x = 0, int32_t y = 0, int32_t z = 0)
{
    auto made = std::make_unique<ObjectPart>();
    made->name = std::string(name) + '\0';
    made->positionX = static_cast<uint32_t>(x * 65536);
    made->positionY = static_cast<uint32_t>(y * 65536);
    made->positionZ = static_cast<uint32_t>(z * 65536);
    return made;
}

// The samples are a few dozen faces: each vertex and face is added by copying the part's arrays.
uint16_t addVertex(ObjectPart& target, Vertex vertex)
{
    std::vector<Vertex> vertexes(target.vertexes().begin(), target.vertexes().end());
    vertexes.push_back(vertex);
    const std::vector<Face> faces(target.faces().begin(), target.faces().end());
    const std::vector<uint16_t> indexes(target.indexes().begin(), target.indexes().end());
    target.setArrays(vertexes, faces, indexes);
    return static_cast<uint16_t>(target.vertexCount - 1);
}

void addFace(ObjectPart& target, std::vector<uint16_t> indexes, const char* texture, uint32_t colour = 0)
{
    Face face;
    face.colourIndex = colour;
    // Each part pools its own names while it is built; poolAtRoot moves them to the model's pool.
    if (texture != nullptr)
    {
        const std::string name = std::string(texture) + '\0';
        face.textureId = target.addTextureName(name.data(), static_cast<uint32_t>(name.size()));
    }
    face.indexCount = static_cast<uint32_t>(indexes.size());
    std::vector<Face> faces(target.faces().begin(), target.faces().end());
    faces.push_back(face);
    std::vector<uint16_t> allIndexes(target.indexes().begin(), target.indexes().end());
    allIndexes.insert(allIndexes.end(), indexes.begin(), indexes.end());
    const std::vector<Vertex> vertexes(target.vertexes().begin(), target.vertexes().end());
    target.setArrays(vertexes, faces, allIndexes);
}

// Moves the texture names every part pooled while it was built into the root's pool.
void poolAtRoot(ObjectPart& root)
{
    scourvane::walkParts(root,
                         [&](ObjectPart& part)
                         {
                             if (&part == &root) return;
                             for (Face& face : part.faces())
                                 if (face.hasTexture())
                                 {
                                     const std::string name(part.textureNameOf(face));
                                     face.textureId =
                                         root.addTextureName(name.data(), static_cast<uint32_t>(name.size()));
                                 }
                             part.textureNames.reset();
                         });
}

// A box whose six quads each bring their own four corners, the way a modeller's export leaves
// them: 24 vertexes for 8 corners.
void addBox(ObjectPart& target, int32_t w, int32_t h, int32_t d, const char* sideTexture,
            const char* topTexture)
{
    const Vertex c[8] = {at(-w, 0, -d), at(w, 0, -d), at(w, 0, d), at(-w, 0, d),
                         at(-w, h, -d), at(w, h, -d), at(w, h, d), at(-w, h, d)};
    const int quads[6][4] = {{4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5},
                             {2, 3, 7, 6}, {3, 0, 4, 7}, {3, 2, 1, 0}};
    for (int q = 0; q < 6; ++q)
    {
        std::vector<uint16_t> indexes;
        for (int corner : quads[q])
            indexes.push_back(addVertex(target, c[corner]));
        addFace(target, std::move(indexes), q == 0 ? topTexture : sideTexture);
    }
}

std::unique_ptr<ObjectPart> crate()
{
    auto root = part("base");
    addBox(*root, 8, 16, 8, "crate_side", "crate_top");
    return root;
}

std::unique_ptr<ObjectPart> tank()
{
    auto base = part("base");
    addBox(*base, 12, 6, 18, "hull_side", "hull_top");
    // The underside was marked unwanted (untextured, colour 0) but never deleted.
    addFace(*base, {0, 1, 2}, nullptr);
    // A shadow plate the modeller protected: untextured and colour 0, yet it stays.
    const uint16_t a = addVertex(*base, at(-14, 0, -20));
    const uint16_t b = addVertex(*base, at(14, 0, -20));
    const uint16_t c = addVertex(*base, at(0, 0, 22));
    addFace(*base, {a, b, c}, nullptr);
    base->protectedFace = base->faceCount - 1;
    // Construction points no face uses any more.
    addVertex(*base, at(30, 30, 30));
    addVertex(*base, at(-30, 30, 30));

    auto turret = part("turret", 0, 6, -2);
    addBox(*turret, 6, 4, 6, "turret_side", "turret_top");
    addFace(*turret, {0, 5, 10}, nullptr);

    auto barrel = part("barrel", 0, 2, 6);
    addBox(*barrel, 1, 1, 10, "barrel", "barrel");

    // A line (two indexes, untextured, colour 0): the game aims particle effects along it.
    auto flare = part("flare", 0, 2, 16);
    addVertex(*flare, at(0, 0, 0));
    addVertex(*flare, at(0, 0, 4));
    addFace(*flare, {0, 1}, nullptr);

    auto tracks = part("tracks");
    addBox(*tracks, 13, 3, 19, "track", "track");
    addFace(*tracks, {0, 1}, nullptr, 0); // a line on purpose: kept
    addFace(*tracks, {2, 3, 4, 5}, nullptr, 0);

    barrel->sibling = std::move(flare);
    turret->child = std::move(barrel);
    turret->sibling = std::move(tracks);
    base->child = std::move(turret);
    return base;
}

std::unique_ptr<ObjectPart> tower()
{
    auto root = part("tower");
    addBox(*root, 6, 40, 6, "tower_wall", "tower_roof");
    addFace(*root, {4, 5, 6}, nullptr, 17); // coloured, untextured: stays
    // A part with a position only, used as an emit point: no faces at all.
    auto beacon = part("beacon", 0, 42, 0);
    addVertex(*beacon, at(0, 0, 0));
    auto light = part("light", 0, 44, 0);
    beacon->sibling = std::move(light);
    root->child = std::move(beacon);
    return root;
}

std::unique_ptr<ObjectPart> rig()
{
    auto root = part("rig"); // an empty grouping part
    auto arm1 = part("arm1", -10, 0, 0);
    auto arm2 = part("arm2", 10, 0, 0);
    for (ObjectPart* arm : {arm1.get(), arm2.get()})
    {
        const uint16_t a = addVertex(*arm, at(0, 0, 0));
        const uint16_t b = addVertex(*arm, at(0, 12, 0));
        const uint16_t c = addVertex(*arm, at(2, 12, 0));
        addVertex(*arm, at(0, 12, 0)); // a duplicate nothing uses
        addVertex(*arm, at(4, 4, 4));  // a leftover construction point
        addFace(*arm, {a, b, c}, "rig_metal");
        addFace(*arm, {b, c, a}, "rig_metal");
        addFace(*arm, {a, b}, nullptr); // a line: kept
        addFace(*arm, {c}, nullptr);    // a stray point: dropped
    }
    auto tip = part("tip", 0, 12, 0);
    arm2->child = std::move(tip);
    arm1->sibling = std::move(arm2);
    root->child = std::move(arm1);
    return root;
}

bool writeEditorStyle(const std::string& path, ObjectPart& root)
{
    poolAtRoot(root);
    std::vector<uint8_t> image = scourvane::tools::editorStyleImage(root);
    scourvane::platform::IoError error;
    if (!scourvane::platform::replaceFileContents(path.c_str(), image.data(), image.size(), &error))
    {
        std::fprintf(stderr, "scourvane-make-samples: %s: %s\n", path.c_str(),
                     scourvane::platform::ioStepText(error.step));
        return false;
    }
    return true;
}

bool writeWithEngine(const std::string& path, ObjectPart& root)
{
    poolAtRoot(root);
    scourvane::SaveError error;
    if (!root.saveModelFile(path.c_str(), &error))
    {
        std::fprintf(stderr, "scourvane-make-samples: %s: %s\n", path.c_str(),
                     scourvane::describeSaveError(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-')
    {
        std::fprintf(stderr, "Usage: scourvane-make-samples FOLDER\n"
                             "Writes tank.3do, tower.3do, crate.3do and rig.3do into FOLDER.\n");
        return 2;
    }
    std::error_code error;
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder, error);
    if (error)
    {
        std::fprintf(stderr, "scourvane-make-samples: cannot create %s: %s\n", argv[1],
                     error.message().c_str());
        return 1;
    }
    auto file = [&](const char* name) { return (folder / name).string(); };

    bool ok = writeEditorStyle(file("tank.3do"), *tank());
    ok = writeWithEngine(file("tower.3do"), *tower()) && ok;
    ok = writeEditorStyle(file("crate.3do"), *crate()) && ok;
    ok = writeEditorStyle(file("rig.3do"), *rig()) && ok;
    return ok ? 0 : 1;
}
