// Telling what cleaning takes from a part, worked out apart from the cleaner: equal vertexes are
// found by sorting rather than by the cleaner's hash, so the two can check each other.
#include "clean/part_cleaner.h"

#include <algorithm>
#include <numeric>

namespace scourvane
{

namespace
{
// For each vertex, the first vertex of the part with the same coordinates (itself when none).
std::vector<uint32_t> firstEqualVertexes(std::span<const Vertex> vertexes)
{
    std::vector<uint32_t> order(vertexes.size());
    std::iota(order.begin(), order.end(), 0u);
    // Stable, so each run of equal vertexes starts with the lowest number.
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b)
                     {
                         const Vertex& p = vertexes[a];
                         const Vertex& q = vertexes[b];
                         return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : p.z < q.z;
                     });
    std::vector<uint32_t> firstEqual(vertexes.size());
    for (size_t i = 0; i < order.size(); ++i)
        firstEqual[order[i]] =
            i > 0 && vertexes[order[i]] == vertexes[order[i - 1]] ? firstEqual[order[i - 1]] : order[i];
    return firstEqual;
}
} // namespace

PartChanges explainPart(const ObjectPart& part)
{
    PartChanges changes;
    changes.name.assign(part.name.c_str());
    if (!withinCleaningLimits(part))
    {
        changes.beyondLimits = true;
        return changes;
    }
    const std::vector<uint32_t> firstEqual = firstEqualVertexes(part.vertexes());
    // Which vertexes the kept faces reach: through their own number (usedDirectly) and after the
    // merge (usedMerged).
    std::vector<bool> usedDirectly(part.vertexCount, false);
    std::vector<bool> usedMerged(part.vertexCount, false);
    const std::span<const uint16_t> indexes = part.indexes();
    size_t at = 0;
    uint32_t kept = 0;
    for (uint32_t f = 0; f < part.faceCount; ++f)
    {
        const Face& face = part.faces()[f];
        const std::span<const uint16_t> own = indexes.subspan(at, face.indexCount);
        at += face.indexCount;
        if (!cleaningKeepsFace(face, f, part.protectedFace))
        {
            changes.droppedFaces.push_back(f);
            continue;
        }
        ++kept;
        for (uint16_t index : own)
        {
            usedDirectly[index] = true;
            usedMerged[firstEqual[index]] = true;
        }
    }
    for (uint32_t v = 0; v < part.vertexCount; ++v)
    {
        if (firstEqual[v] != v && usedDirectly[v])
            ++changes.vertexesMerged;
        else if (!(firstEqual[v] == v && usedMerged[v]))
            ++changes.vertexesUnused;
    }
    changes.pointAdded = kept == 0;
    const uint32_t added = changes.pointAdded ? 1 : 0;
    changes.vertexesRemoved = static_cast<int32_t>(changes.vertexesMerged + changes.vertexesUnused - added);
    changes.facesRemoved = static_cast<int32_t>(static_cast<uint32_t>(changes.droppedFaces.size()) - added);
    return changes;
}

} // namespace scourvane
