// The plain cleaning: a quadratic merge, then the choice of faces and first-use renumbering through
// vectors built afresh.
#include "support/reference_cleaner.h"

#include <vector>

namespace scourvane::reference
{

namespace
{

bool keepsFace(const Face& face, uint32_t number, uint32_t protectedFace)
{
    return face.hasTexture() || face.colourIndex != 0 || number == protectedFace || face.indexCount == 2;
}

} // namespace

void quadraticMerge(ObjectPart& part)
{
    // A 16-bit counter, as the merge was first written; parts above 65535 vertexes are not cleaned.
    for (uint16_t i = 0; i < part.vertexCount; ++i)
    {
        for (uint16_t j = 0; j < i; ++j)
        {
            const Vertex& a = part.vertexes()[i];
            const Vertex& b = part.vertexes()[j];
            if (a.x == b.x && a.y == b.y && a.z == b.z)
            {
                for (uint16_t& index : part.indexes())
                    if (index == i) index = j;
                break;
            }
        }
    }
}

void cleanAfterMerge(ObjectPart& part)
{
    std::vector<bool> used(part.vertexCount, false);
    std::vector<uint16_t> newNumber(part.vertexCount, 0);
    std::vector<bool> kept(part.faceCount, false);
    uint32_t keptCount = 0;
    uint16_t usedCount = 0;
    const uint32_t protectedFace = part.protectedFace;
    size_t faceStart = 0;
    for (uint32_t f = 0; f < part.faceCount; ++f)
    {
        const Face& face = part.faces()[f];
        const auto faceIndexes = part.indexes().subspan(faceStart, face.indexCount);
        faceStart += face.indexCount;
        if (!keepsFace(face, f, protectedFace)) continue;
        if (f == protectedFace) part.protectedFace = keptCount;
        kept[f] = true;
        ++keptCount;
        for (uint16_t index : faceIndexes)
            if (!used[index])
            {
                used[index] = true;
                newNumber[index] = usedCount++;
            }
    }

    if (keptCount == 0)
    {
        Face point;
        point.indexCount = 1;
        const Vertex origin[1] = {Vertex{}};
        const uint16_t first[1] = {0};
        part.setArrays(origin, {&point, 1}, first);
        return;
    }

    std::vector<Face> faces;
    std::vector<uint16_t> indexes;
    faceStart = 0;
    for (uint32_t f = 0; f < part.faceCount; ++f)
    {
        const Face& face = part.faces()[f];
        const auto faceIndexes = part.indexes().subspan(faceStart, face.indexCount);
        faceStart += face.indexCount;
        if (!kept[f]) continue;
        for (uint16_t index : faceIndexes)
            indexes.push_back(newNumber[index]);
        faces.push_back(face);
    }
    std::vector<Vertex> vertexes(usedCount);
    for (uint32_t v = 0; v < part.vertexCount; ++v)
        if (used[v]) vertexes[newNumber[v]] = part.vertexes()[v];
    part.setArrays(vertexes, faces, indexes);
}

void cleanSinglePart(ObjectPart& part)
{
    quadraticMerge(part);
    cleanAfterMerge(part);
}

} // namespace scourvane::reference
