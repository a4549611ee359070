// The part tree: iterative teardown, counts and comparison, so no operation recurses as deep as a
// file's sibling chain.
#include "model/object_part.h"

#include "model/byte_key_table.h"

#include <algorithm>
#include <utility>

namespace scourvane
{

namespace
{

// Takes every descendant link out of `part` and lets the parts die one at a time.
void releaseLinks(ObjectPart& part)
{
    std::vector<std::unique_ptr<ObjectPart>> pending;
    if (part.sibling) pending.push_back(std::move(part.sibling));
    if (part.child) pending.push_back(std::move(part.child));
    while (!pending.empty())
    {
        std::unique_ptr<ObjectPart> doomed = std::move(pending.back());
        pending.pop_back();
        if (doomed->sibling) pending.push_back(std::move(doomed->sibling));
        if (doomed->child) pending.push_back(std::move(doomed->child));
    }
}

// One emptied texture pool per thread waits for the next model, so a run does not build a pool
// from nothing for each model. A plain pointer: releaseSpareTexturePool frees it.
thread_local ByteKeyTable* sparePool = nullptr;

void recyclePool(std::unique_ptr<ByteKeyTable>& pool)
{
    if (!pool || sparePool != nullptr) return;
    pool->release();
    sparePool = pool.release();
}

} // namespace

void releaseSpareTexturePool()
{
    delete sparePool;
    sparePool = nullptr;
}

ObjectPart::ObjectPart() = default;

ObjectPart::ObjectPart(ObjectPart&& other) noexcept
{
    *this = std::move(other);
}

ObjectPart::~ObjectPart()
{
    releaseLinks(*this);
    recyclePool(textureNames);
}

ObjectPart& ObjectPart::operator=(ObjectPart&& other) noexcept
{
    if (this != &other)
    {
        releaseLinks(*this);
        recyclePool(textureNames);
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
        arrays_ = std::move(other.arrays_);
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
        if (sparePool != nullptr)
        {
            textureNames.reset(sparePool);
            sparePool = nullptr;
        }
        else
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
    arrays_ = bytes == 0 ? nullptr : std::make_unique_for_overwrite<uint8_t[]>(bytes);
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
    std::unique_ptr<uint8_t[]> old = std::move(arrays_); // the spans may point into it
    allocateArrays(static_cast<uint32_t>(vertexes.size()), static_cast<uint32_t>(faces.size()),
                   static_cast<uint32_t>(indexes.size()));
    std::copy(vertexes.begin(), vertexes.end(), this->vertexes().begin());
    std::copy(faces.begin(), faces.end(), this->faces().begin());
    std::copy(indexes.begin(), indexes.end(), this->indexes().begin());
}

void ObjectPart::appendFace(Face face, std::span<const uint16_t> faceIndexes)
{
    std::vector<Face> newFaces(faces().begin(), faces().end());
    std::vector<uint16_t> newIndexes(indexes().begin(), indexes().end());
    face.indexCount = static_cast<uint32_t>(faceIndexes.size());
    newIndexes.insert(newIndexes.end(), faceIndexes.begin(), faceIndexes.end());
    newFaces.push_back(face);
    const std::vector<Vertex> keptVertexes(vertexes().begin(), vertexes().end());
    setArrays(keptVertexes, newFaces, newIndexes);
}

std::span<const uint16_t> ObjectPart::indexesOf(uint32_t faceNumber) const
{
    uint64_t first = 0;
    for (const Face& face : faces().first(faceNumber))
        first += face.indexCount;
    const uint32_t count = faces()[faceNumber].indexCount;
    if (first > indexTotal || count > indexTotal - first) return {};
    return indexes().subspan(static_cast<size_t>(first), count);
}

std::span<uint16_t> ObjectPart::indexesOf(uint32_t faceNumber)
{
    const std::span<const uint16_t> found = std::as_const(*this).indexesOf(faceNumber);
    return {const_cast<uint16_t*>(found.data()), found.size()};
}

bool ObjectPart::indexCountsMatch() const
{
    uint64_t total = 0;
    for (const Face& face : faces())
        total += face.indexCount;
    return total == indexTotal;
}

uint32_t ObjectPart::appendVertex(Vertex vertex)
{
    std::vector<Vertex> newVertexes(vertexes().begin(), vertexes().end());
    newVertexes.push_back(vertex);
    const std::vector<Face> keptFaces(faces().begin(), faces().end());
    const std::vector<uint16_t> keptIndexes(indexes().begin(), indexes().end());
    setArrays(newVertexes, keptFaces, keptIndexes);
    return vertexCount - 1;
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

namespace
{

bool sameFaces(const ObjectPart& rootA, const ObjectPart& x, const ObjectPart& rootB, const ObjectPart& y)
{
    if (x.faceCount != y.faceCount) return false;
    for (size_t i = 0; i < x.faceCount; ++i)
    {
        const Face& f = x.faces()[i];
        const Face& g = y.faces()[i];
        if (f.colourIndex != g.colourIndex || f.indexCount != g.indexCount || f.faceWord2 != g.faceWord2 ||
            f.extra0 != g.extra0 || f.extra1 != g.extra1 || f.extra2 != g.extra2 ||
            f.hasTexture() != g.hasTexture() || rootA.textureNameOf(f) != rootB.textureNameOf(g))
            return false;
    }
    // The faces' counts are equal, so equal index arrays give every face the same indexes.
    return std::ranges::equal(x.indexes(), y.indexes());
}

} // namespace

bool sameTree(const ObjectPart& a, const ObjectPart& b)
{
    std::vector<std::pair<const ObjectPart*, const ObjectPart*>> pending{{&a, &b}};
    while (!pending.empty())
    {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (x->version != y->version || x->vertexCount != y->vertexCount || x->faceCount != y->faceCount ||
            x->protectedFace != y->protectedFace || x->positionX != y->positionX ||
            x->positionY != y->positionY || x->positionZ != y->positionZ || x->name != y->name ||
            x->reservedZero != y->reservedZero || !std::ranges::equal(x->vertexes(), y->vertexes()) ||
            !sameFaces(a, *x, b, *y))
            return false;
        if (!x->sibling != !y->sibling || !x->child != !y->child) return false;
        if (x->sibling) pending.emplace_back(x->sibling.get(), y->sibling.get());
        if (x->child) pending.emplace_back(x->child.get(), y->child.get());
    }
    return true;
}

} // namespace scourvane
