// The in-memory model of a 3DO file: a tree of parts that own their data.
// The model holds no file offsets; the reader resolves them and the writer lays them out afresh.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scourvane
{

struct LoadError;
struct SaveError;

// Three 32-bit words, copied and compared bit for bit; nothing does arithmetic on them.
struct Vertex
{
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t z = 0;

    friend bool operator==(const Vertex&, const Vertex&) = default;
};

struct Face
{
    // The words first and together: no padding, which counts in models of millions of faces.
    uint32_t colourIndex = 0;
    uint32_t indexCount = 0; // always indexes.size()
    uint32_t faceWord2 = 0;
    uint32_t extra0 = 0;
    uint32_t extra1 = 0;
    uint32_t extra2 = 0;
    std::vector<uint16_t> indexes;
    // The texture name's bytes up to and including its NUL; empty means the face has no texture.
    std::string textureName;

    bool hasTexture() const { return !textureName.empty(); }

    friend bool operator==(const Face&, const Face&) = default;
};

inline constexpr uint32_t noProtectedFace = 0xFFFFFFFFu;

// One part of a model; the root part stands for the whole file. A part owns its sibling chain and
// its child subtree; destroying the root releases the whole tree (iteratively, so a chain of a
// million siblings is fine).
class ObjectPart
{
  public:
    uint32_t version = 1;
    uint32_t vertexCount = 0; // always vertexes.size()
    uint32_t faceCount = 0;   // always faces.size()
    uint32_t protectedFace = noProtectedFace;
    uint32_t positionX = 0;
    uint32_t positionY = 0;
    uint32_t positionZ = 0;
    // The part's name up to and including its NUL; empty only for a part that was never loaded.
    std::string name;
    uint32_t reservedZero = 0;
    std::vector<Vertex> vertexes;
    std::vector<Face> faces;
    std::unique_ptr<ObjectPart> sibling;
    std::unique_ptr<ObjectPart> child;

    ObjectPart() = default;
    ~ObjectPart();
    ObjectPart(const ObjectPart&) = delete;
    ObjectPart& operator=(const ObjectPart&) = delete;
    ObjectPart(ObjectPart&&) noexcept = default;
    ObjectPart& operator=(ObjectPart&&) noexcept;

    // Loads the file at `path` into this (newly made) root part. True when the whole tree was read
    // and the file closed. On failure `error`, when given, says why and where; the tree then holds
    // whatever was read and is fit only to be destroyed.
    bool loadModelFile(const char* path, LoadError* error = nullptr);

    // The same from bytes already in memory (`size` may be anything; nothing past it is touched).
    bool loadModelBytes(const uint8_t* bytes, size_t size, LoadError* error = nullptr);

    // Writes the tree rooted here as a 3DO file over `path`, safely: the old file survives any
    // failure. True when the whole file was written, flushed and put in place.
    bool saveModelFile(const char* path, SaveError* error = nullptr) const;

    // Builds the complete file image of the tree rooted here. False (and `out` empty) when the
    // image would reach 2^31 bytes, which no reader could follow.
    bool buildModelImage(std::vector<uint8_t>& out) const;

    // Vertex and face counts summed over this part, its sibling chain and its child subtree,
    // modulo 2^32.
    uint32_t countVertexes() const;
    uint32_t countFaces() const;
};

// True when two trees hold the same data part for part (file offsets do not exist in the model).
bool sameTree(const ObjectPart& a, const ObjectPart& b);

// Calls visit(part) for every part of the tree rooted at `root` in the writer's walk order: a part,
// then its sibling subtree, then its child subtree. Iterative.
template <typename Part, typename Visit> void walkParts(Part& root, Visit&& visit)
{
    std::vector<Part*> stack;
    stack.push_back(&root);
    while (!stack.empty())
    {
        Part* part = stack.back();
        stack.pop_back();
        visit(*part);
        if (part->child) stack.push_back(part->child.get());
        if (part->sibling) stack.push_back(part->sibling.get());
    }
}

} // namespace scourvane
