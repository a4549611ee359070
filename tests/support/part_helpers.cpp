// Part helpers for the tests and the benchmark, built on the model's public interface only.
#include "support/part_helpers.h"

#include "model/model_writer.h"

#include <algorithm>
#include <utility>

namespace scourvane
{

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

bool buildModelImage(const ObjectPart& root, std::vector<uint8_t>& out)
{
    ModelImageWriter& writer = threadImageWriter();
    if (!writer.plan(root))
    {
        out.clear();
        return false;
    }
    // Bytes `out` already holds are overwritten, not zero-filled first; only growth is. The
    // pipeline benchmark times this, so the image goes straight in, not through a piece.
    out.resize(static_cast<size_t>(writer.imageSize()));
    if (writer.writeInto(out.data())) return true;
    out.clear();
    return false;
}

uint64_t modelImageSize(const ObjectPart& root)
{
    ModelImageWriter writer;
    return writer.plan(root) ? writer.imageSize() : 0;
}

} // namespace scourvane
