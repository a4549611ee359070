// The in-memory model of a 3DO file: a tree of parts that own their data.
// The model holds no file offsets; the reader resolves them and the writer lays them out afresh.
#pragma once

#include "model/byte_key_table.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
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

inline constexpr uint32_t noTexture = 0xFFFFFFFFu;

// A face as a small fixed record: its indexes are the next `indexCount` of its part's `indexes`
// (where they start follows from the faces before it), and its texture name is an id into the
// model's texture-name pool (the root's `textureNames`).
struct Face
{
    // Words only, 28 bytes: a loaded model holds one per face of the file, so every word counts.
    uint32_t colourIndex = 0;
    uint32_t indexCount = 0; // how many of the part's indexes are this face's
    uint32_t faceWord2 = 0;
    uint32_t textureId = noTexture; // a slot of the root's `textureNames`, or noTexture
    uint32_t extra0 = 0;
    uint32_t extra1 = 0;
    uint32_t extra2 = 0;

    bool hasTexture() const { return textureId != noTexture; }

    friend bool operator==(const Face&, const Face&) = default;
};

inline constexpr uint32_t noProtectedFace = 0xFFFFFFFFu;

// One part of a model; the root part stands for the whole file. A part owns its sibling chain and
// its child subtree; destroying the root releases the whole tree (iteratively, so a chain of a
// million siblings is fine).
//
// Invariant: indexes() holds the index arrays of all the part's faces back to back in face order,
// and the faces' `indexCount`s sum to `indexTotal`. A face's indexes therefore start where the
// counts of the faces before it end; a loop over the faces keeps that running offset itself. The
// reader and the cleaner keep the invariant; the writer refuses a tree that breaks it.
class ObjectPart
{
  public:
    uint32_t version = 1;
    uint32_t vertexCount = 0; // the length of vertexes(); changed only through the array functions
    uint32_t faceCount = 0;   // the length of faces(); likewise
    uint32_t protectedFace = noProtectedFace;
    uint32_t positionX = 0;
    uint32_t positionY = 0;
    uint32_t positionZ = 0;

  private:
    // The real size of the block behind the arrays, which may exceed what they use, or 0 when the
    // block is too large to be kept for another part. It fills what would be padding before `name`,
    // so a part, a million of which a chain may hold, is no larger for it.
    uint32_t arrayBlockBytes_ = 0;

  public:
    // The part's name up to and including its NUL; empty only for a part that was never loaded.
    std::string name;
    uint32_t reservedZero = 0;
    // The length of indexes(), the index arrays of all the part's faces in face order (see the
    // invariant above).
    uint32_t indexTotal = 0;
    std::unique_ptr<ObjectPart> sibling;
    std::unique_ptr<ObjectPart> child;
    // Root only: the model's texture names (each with its NUL), one slot per distinct name; every
    // face of the tree with a texture holds the number of its name's slot.
    std::unique_ptr<ByteKeyTable> textureNames;

    ObjectPart();
    ~ObjectPart();
    ObjectPart(const ObjectPart&) = delete;
    ObjectPart& operator=(const ObjectPart&) = delete;
    ObjectPart(ObjectPart&& other) noexcept; // leaves `other` empty, its counts 0
    ObjectPart& operator=(ObjectPart&&) noexcept;

    // Parts come from the few thousand freed parts the calling thread keeps, when it has one, so a
    // run of many models does not go to the heap for every part (model/part_storage.h).
    static void* operator new(size_t size);
    static void operator delete(void* part, size_t size);

    // Loads the file at `path` into this (newly made) root part. True when the whole tree was read
    // and the file closed. On failure `error`, when given, says why and where; the tree then holds
    // whatever was read and is fit only to be destroyed.
    bool loadModelFile(const char* path, LoadError* error = nullptr);

    // The same from bytes already in memory (`size` may be anything; nothing past it is touched).
    bool loadModelBytes(const uint8_t* bytes, size_t size, LoadError* error = nullptr);

    // Writes the tree rooted here as a 3DO file over `path`, safely: the old file survives any
    // failure. True when the whole file was written, flushed and put in place.
    bool saveModelFile(const char* path, SaveError* error = nullptr) const;

    // The part's three arrays. They share one block of memory (faces, then vertexes, then indexes),
    // so a part costs one allocation besides itself, whatever it holds.
    std::span<Face> faces() { return {reinterpret_cast<Face*>(arrays_), faceCount}; }
    std::span<const Face> faces() const { return {reinterpret_cast<const Face*>(arrays_), faceCount}; }
    std::span<Vertex> vertexes() { return {reinterpret_cast<Vertex*>(arrays_ + vertexesAt()), vertexCount}; }
    std::span<const Vertex> vertexes() const
    {
        return {reinterpret_cast<const Vertex*>(arrays_ + vertexesAt()), vertexCount};
    }
    std::span<uint16_t> indexes() { return {reinterpret_cast<uint16_t*>(arrays_ + indexesAt()), indexTotal}; }
    std::span<const uint16_t> indexes() const
    {
        return {reinterpret_cast<const uint16_t*>(arrays_ + indexesAt()), indexTotal};
    }

    // Gives the part arrays of these lengths in a new block; their contents are unspecified until
    // written (nothing is zero-filled). The old arrays are released.
    void allocateArrays(uint32_t vertexes, uint32_t faces, uint32_t indexes);

    // Shortens the arrays in place: the first `faces` faces stay as they were; the vertexes and
    // indexes move with the shorter face array, so their contents are unspecified until written.
    void shrinkArrays(uint32_t vertexes, uint32_t faces, uint32_t indexes);

    // Gives the part copies of these arrays.
    void setArrays(std::span<const Vertex> vertexes, std::span<const Face> faces,
                   std::span<const uint16_t> indexes);

    // True when the faces' `indexCount`s sum to `indexTotal`, as the invariant asks. Linear.
    bool indexCountsMatch() const;

    // Called on the root: the id of the texture name of `length` bytes (its NUL included) at
    // `bytes`, added to the pool when new. noTexture for an empty name.
    uint32_t addTextureName(const void* bytes, uint32_t length);

    // Called on the root: the texture name (with its NUL) of a face anywhere in the tree; empty
    // when it has none or its id is not in the pool.
    std::string_view textureNameOf(const Face& face) const;

    // Vertex and face counts summed over this part, its sibling chain and its child subtree,
    // modulo 2^32.
    uint32_t countVertexes() const;
    uint32_t countFaces() const;

  private:
    uint8_t* arrays_ = nullptr; // one block from takeArrayBlock, given back by releaseArrays
    void releaseArrays();
    size_t vertexesAt() const { return size_t{faceCount} * sizeof(Face); }
    size_t indexesAt() const { return vertexesAt() + size_t{vertexCount} * sizeof(Vertex); }
};

// Calls visit(part) for every part of the tree rooted at `root` in the writer's walk order: a part,
// then its sibling subtree, then its child subtree. Iterative.
template <typename Part, typename Visit> void walkParts(Part& root, Visit&& visit)
{
    // The pending parts stay few in real trees: they start on the stack and move to the heap only
    // when a tree needs more, so a walk usually allocates nothing.
    constexpr size_t inlineDepth = 32;
    Part* inlineStack[inlineDepth];
    std::vector<Part*> heapStack;
    size_t count = 0;
    auto push = [&](Part* part)
    {
        if (count < inlineDepth)
            inlineStack[count] = part;
        else
        {
            if (heapStack.empty()) heapStack.assign(inlineStack, inlineStack + inlineDepth);
            heapStack.resize(count);
            heapStack.push_back(part);
        }
        ++count;
    };
    auto pop = [&]() -> Part* { return --count < inlineDepth ? inlineStack[count] : heapStack[count]; };
    push(&root);
    while (count > 0)
    {
        Part* part = pop();
        visit(*part);
        if (part->child) push(part->child.get());
        if (part->sibling) push(part->sibling.get());
    }
}

} // namespace scourvane
