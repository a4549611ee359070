// The part tree: iterative teardown and counts, so no operation recurses as deep as a file's
// sibling chain; the arrays in one block from the thread's spare storage.
#include "model/object_part.h"

#include "model/byte_key_table.h"
#include "model/part_storage.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace scourvane
{

namespace
{

// Destroys the tree hanging from `node` one part at a time, without a stack: while the part at hand
// has a child, the child takes its place and the part becomes the child's sibling, with the child's
// old siblings as the part's new child (a rotation, linear in all); a part without a child is
// destroyed and its sibling comes next.
void destroyTree(std::unique_ptr<ObjectPart> node)
{
    while (node)
    {
        if (node->child)
        {
            std::unique_ptr<ObjectPart> child = std::move(node->child);
            node->child = std::move(child->sibling);
            child->sibling = std::move(node);
            node = std::move(child);
        }
        else
        {
            std::unique_ptr<ObjectPart> next = std::move(node->sibling);
            node.reset(); // no links left, so its own destructor has nothing to walk
            node = std::move(next);
        }
    }
}

void releaseLinks(ObjectPart& part)
{
    destroyTree(std::move(part.sibling));
    destroyTree(std::move(part.child));
}

} // namespace

void ObjectPart::releaseArrays()
{
    if (arrays_ != nullptr) giveArrayBlock(arrays_, arrayBlockBytes_);
    arrays_ = nullptr;
    arrayBlockBytes_ = 0;
}

ObjectPart::ObjectPart() = default;

ObjectPart::ObjectPart(ObjectPart&& other) noexcept
{
    *this = std::move(other);
}

ObjectPart::~ObjectPart()
{
    releaseLinks(*this);
    keepSparePool(textureNames);
    releaseArrays();
}

ObjectPart& ObjectPart::operator=(ObjectPart&& other) noexcept
{
    if (this != &other)
    {
        releaseLinks(*this);
        keepSparePool(textureNames);
        version = other.version;
        vertexCount = other.vertexCount;
        faceCount = other.faceCount;
        protectedFace = other.protectedFace;
        positionX = other.positionX;
        positionY = other.positionY;
        positionZ = other.positionZ;
        name = std::move(other.name);
        reservedZero = other.reservedZero;
        indexTotal = other.indexTotal;
        releaseArrays();
        arrays_ = std::exchange(other.arrays_, nullptr);
        arrayBlockBytes_ = std::exchange(other.arrayBlockBytes_, 0);
        other.vertexCount = other.faceCount = other.indexTotal = 0;
        textureNames = std::move(other.textureNames);
        sibling = std::move(other.sibling);
        child = std::move(other.child);
    }
    return *this;
}

uint32_t ObjectPart::addTextureName(const void* bytes, uint32_t length)
{
    if (length == 0) return noTexture;
    if (!textureNames)
    {
        textureNames = takeSparePool();
        if (!textureNames)
        {
            // Room for the names of a typical model from the start, so the pool grows once or twice.
            textureNames = std::make_unique<ByteKeyTable>();
            textureNames->reserve(32);
        }
    }
    return textureNames->intern(bytes, length);
}

std::string_view ObjectPart::textureNameOf(const Face& face) const
{
    if (!face.hasTexture() || !textureNames || face.textureId >= textureNames->count) return {};
    return textureNames->keys[face.textureId];
}

void ObjectPart::allocateArrays(uint32_t vertexes, uint32_t faces, uint32_t indexes)
{
    const size_t bytes =
        size_t{faces} * sizeof(Face) + size_t{vertexes} * sizeof(Vertex) + size_t{indexes} * 2;
    releaseArrays();
    if (bytes > 0)
    {
        size_t actual = 0;
        arrays_ = takeArrayBlock(bytes, actual);
        arrayBlockBytes_ = actual <= UINT32_MAX ? static_cast<uint32_t>(actual) : 0; // 0: never kept
    }
    vertexCount = vertexes;
    faceCount = faces;
    indexTotal = indexes;
}

void ObjectPart::shrinkArrays(uint32_t vertexes, uint32_t faces, uint32_t indexes)
{
    vertexCount = std::min(vertexes, vertexCount);
    faceCount = std::min(faces, faceCount);
    indexTotal = std::min(indexes, indexTotal);
}

void ObjectPart::setArrays(std::span<const Vertex> vertexes, std::span<const Face> faces,
                           std::span<const uint16_t> indexes)
{
    uint8_t* const old = std::exchange(arrays_, nullptr); // the spans may point into it
    const uint32_t oldBytes = std::exchange(arrayBlockBytes_, 0);
    allocateArrays(static_cast<uint32_t>(vertexes.size()), static_cast<uint32_t>(faces.size()),
                   static_cast<uint32_t>(indexes.size()));
    std::copy(vertexes.begin(), vertexes.end(), this->vertexes().begin());
    std::copy(faces.begin(), faces.end(), this->faces().begin());
    std::copy(indexes.begin(), indexes.end(), this->indexes().begin());
    if (old != nullptr) giveArrayBlock(old, oldBytes);
}

bool ObjectPart::indexCountsMatch() const
{
    uint64_t total = 0;
    for (const Face& face : faces())
        total += face.indexCount;
    return total == indexTotal;
}

uint32_t ObjectPart::countVertexes() const
{
    uint32_t total = 0;
    walkParts(*this, [&](const ObjectPart& part) { total += part.vertexCount; });
    return total;
}

uint32_t ObjectPart::countFaces() const
{
    uint32_t total = 0;
    walkParts(*this, [&](const ObjectPart& part) { total += part.faceCount; });
    return total;
}

} // namespace scourvane
