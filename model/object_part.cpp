// The part tree: iterative teardown, counts and comparison, so no operation recurses as deep as a
// file's sibling chain.
#include "model/object_part.h"

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

} // namespace

ObjectPart::~ObjectPart()
{
    releaseLinks(*this);
}

ObjectPart& ObjectPart::operator=(ObjectPart&& other) noexcept
{
    if (this != &other)
    {
        releaseLinks(*this);
        version = other.version;
        vertexCount = other.vertexCount;
        faceCount = other.faceCount;
        protectedFace = other.protectedFace;
        positionX = other.positionX;
        positionY = other.positionY;
        positionZ = other.positionZ;
        name = std::move(other.name);
        reservedZero = other.reservedZero;
        vertexes = std::move(other.vertexes);
        faces = std::move(other.faces);
        sibling = std::move(other.sibling);
        child = std::move(other.child);
    }
    return *this;
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
            x->reservedZero != y->reservedZero || x->vertexes != y->vertexes || x->faces != y->faces)
            return false;
        if (!x->sibling != !y->sibling || !x->child != !y->child) return false;
        if (x->sibling) pending.emplace_back(x->sibling.get(), y->sibling.get());
        if (x->child) pending.emplace_back(x->child.get(), y->child.get());
    }
    return true;
}

} // namespace scourvane
