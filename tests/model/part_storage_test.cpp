// The parts' storage: blocks of arrays reused from part to part.
#include "model/object_part.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace scourvane
{
namespace
{

struct Tagged
{
    std::unique_ptr<ObjectPart> part;
    uint32_t tag = 0;
};

void fill(Tagged& tagged)
{
    ObjectPart& part = *tagged.part;
    for (Vertex& vertex : part.vertexes())
        vertex = Vertex{tagged.tag, ~tagged.tag, tagged.tag};
    for (Face& face : part.faces())
        face.colourIndex = face.extra2 = tagged.tag;
    for (uint16_t& index : part.indexes())
        index = static_cast<uint16_t>(tagged.tag);
}

bool intact(const Tagged& tagged)
{
    const ObjectPart& part = *tagged.part;
    for (const Vertex& vertex : part.vertexes())
        if (vertex != Vertex{tagged.tag, ~tagged.tag, tagged.tag}) return false;
    for (const Face& face : part.faces())
        if (face.colourIndex != tagged.tag || face.extra2 != tagged.tag) return false;
    for (uint16_t index : part.indexes())
        if (index != static_cast<uint16_t>(tagged.tag)) return false;
    return true;
}

TEST(PartStorage, BlocksReusedAcrossEverySizeNeverShareBytesBetweenLiveParts)
{
    // Vertex counts whose blocks fall on both sides of every size the spare blocks are sorted by
    // (16-byte steps up to 256 bytes, then powers of two up to 64 KiB, then the heap).
    const uint32_t counts[] = {1,   2,   3,   4,    5,    6,    7,    9,    10,   11,
                               20,  21,  22,  42,   43,   85,   86,   170,  171,  341,
                               342, 682, 683, 1365, 1366, 2730, 2731, 5461, 5462, 9000};
    std::vector<Tagged> live;
    uint32_t tag = 1;
    for (int round = 0; round < 6; ++round)
    {
        for (size_t i = 0; i < std::size(counts); ++i)
        {
            const uint32_t count = counts[(i * 7 + static_cast<size_t>(round) * 3) % std::size(counts)];
            Tagged made{std::make_unique<ObjectPart>(), tag++};
            made.part->allocateArrays(count, (count + round) / 3, count % 5 + static_cast<uint32_t>(round));
            fill(made);
            live.push_back(std::move(made));
        }
        for (const Tagged& tagged : live)
            ASSERT_TRUE(intact(tagged)) << "part " << tagged.tag << " after round " << round;
        // Free every other part, so the next round takes blocks of every size back.
        std::vector<Tagged> kept;
        for (size_t i = 0; i < live.size(); ++i)
            if ((i + static_cast<size_t>(round)) % 2 == 0) kept.push_back(std::move(live[i]));
        live = std::move(kept);
    }
}

} // namespace
} // namespace scourvane
