// Cleaning in one linear pass per part: a hash on the exact 12 bytes of each vertex finds the first
// vertex with the same coordinates, and one walk over the kept faces merges, renumbers in first-use
// order and compacts. The result is the same as comparing every vertex with every earlier one.
#include "clean/part_cleaner.h"

#include "model/keyed_hash.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace scourvane
{

namespace
{

constexpr uint32_t maxCleanableVertexes = 65535;
constexpr uint16_t unused = 0xFFFF; // no vertex number reaches it, since there are at most 65535

// Keyed, so a file cannot choose coordinates that all land in one bucket.
inline uint64_t hashVertex(const HashKey& key, const Vertex& v)
{
    return hashWords(key, uint64_t{v.x} << 32 | v.y, v.z);
}

// Scratch tables reused from part to part and, per thread, from tree to tree, so a run allocates
// them a few times in all.
struct Scratch
{
    std::vector<uint32_t> buckets; // vertex number + 1, 0 = empty
    std::vector<uint16_t> firstEqual;
    std::vector<uint16_t> newNumber;
};

thread_local Scratch* threadScratch = nullptr;

Scratch& scratchOfThread()
{
    if (threadScratch == nullptr) threadScratch = new Scratch;
    return *threadScratch;
}

} // namespace

bool withinCleaningLimits(const ObjectPart& part)
{
    const size_t vertexCount = part.vertexCount;
    if (vertexCount > maxCleanableVertexes || !part.indexCountsMatch()) return false;
    // Every index of the array belongs to a face, so one tight pass over it checks them all.
    uint16_t highest = 0;
    for (uint16_t index : part.indexes())
        highest = std::max(highest, index);
    return part.indexTotal == 0 || highest < vertexCount;
}

namespace
{

void mergeDuplicates(std::span<const Vertex> vertexes, Scratch& scratch)
{
    const size_t count = vertexes.size();
    // At most a quarter full: a vertex then mostly finds its bucket empty at the first try, and
    // whether it does is a branch that a fuller table makes hard to predict.
    size_t buckets = 16;
    while (buckets < 4 * count)
        buckets *= 2;
    scratch.buckets.assign(buckets, 0);
    scratch.firstEqual.resize(count);
    const size_t mask = buckets - 1;
    const HashKey& key = hashKey();
    for (size_t i = 0; i < count; ++i)
    {
        const Vertex& vertex = vertexes[i];
        size_t bucket = static_cast<size_t>(hashVertex(key, vertex)) & mask;
        for (;;)
        {
            const uint32_t entry = scratch.buckets[bucket];
            if (entry == 0)
            {
                scratch.buckets[bucket] = static_cast<uint32_t>(i + 1);
                scratch.firstEqual[i] = static_cast<uint16_t>(i);
                break;
            }
            if (vertexes[entry - 1] == vertex)
            {
                scratch.firstEqual[i] = static_cast<uint16_t>(entry - 1);
                break;
            }
            bucket = (bucket + 1) & mask;
        }
    }
}

// Puts the vertexes in their new order in place. `newNumber` gives the kept vertexes their new
// numbers and the others `unused`; it is spent on the way.
void renumberVertexes(std::span<Vertex> vertexes, uint16_t* newNumber, uint16_t used)
{
    // The dropped vertexes take the numbers after the kept ones, which makes the renumbering a
    // permutation. Each of its cycles is followed once: the vertex in hand goes to its place, the
    // one it displaces is taken up next, and a place filled is marked by its own number.
    uint16_t next = used;
    for (size_t v = 0; v < vertexes.size(); ++v)
        if (newNumber[v] == unused) newNumber[v] = next++;
    for (size_t start = 0; start < vertexes.size(); ++start)
    {
        size_t to = newNumber[start];
        if (to == start) continue;
        Vertex inHand = vertexes[start];
        while (to != start)
        {
            std::swap(inHand, vertexes[to]);
            const size_t after = newNumber[to];
            newNumber[to] = static_cast<uint16_t>(to);
            to = after;
        }
        vertexes[start] = inHand;
        newNumber[start] = static_cast<uint16_t>(start);
    }
}

void cleanWithin(ObjectPart& part, Scratch& scratch)
{
    const std::span<Vertex> vertexes = part.vertexes();
    mergeDuplicates(vertexes, scratch);

    // First the kept faces move down in place, and so do their indexes: a face's indexes are
    // written no further along the array than where they were read, so none is overwritten unread.
    // Most parts keep every face, and then nothing moves. Plain pointers in locals: through the
    // vectors, every store would make the compiler reload the tables' addresses.
    const std::span<Face> faces = part.faces();
    uint16_t* const indexes = part.indexes().data();
    uint32_t readAt = 0;
    uint32_t keptIndexCount = 0;
    uint32_t kept = 0;
    const uint32_t protectedFace = part.protectedFace;
    for (uint32_t f = 0; f < faces.size(); ++f)
    {
        const Face& face = faces[f];
        const uint32_t faceStart = readAt;
        readAt += face.indexCount;
        if (!cleaningKeepsFace(face, f, protectedFace)) continue;
        if (f == protectedFace) part.protectedFace = kept;
        if (kept != f)
        {
            std::copy_n(indexes + faceStart, face.indexCount, indexes + keptIndexCount);
            faces[kept] = face;
        }
        keptIndexCount += face.indexCount;
        ++kept;
    }

    // Most parts already hold their vertexes in the order their faces first use them, none equal to
    // another and none unused: then every number stays as it is, and nothing is renumbered or
    // moved. One pass without a branch per index tells, since the vertexes met so far must be
    // exactly 0 to next - 1 at every index; it gives up after the first run of 64 that says not.
    const uint16_t* const firstEqual = scratch.firstEqual.data();
    uint32_t next = 0;
    bool inOrder = true;
    for (uint32_t at = 0; inOrder && at < keptIndexCount; at += 64)
    {
        const uint16_t* const end = indexes + std::min(keptIndexCount, at + 64);
        for (const uint16_t* index = indexes + at; index != end; ++index)
        {
            const uint32_t vertex = firstEqual[*index];
            inOrder &= vertex <= next;
            next += vertex == next;
        }
    }
    const bool unchanged = inOrder && next == vertexes.size();

    // Otherwise one flat pass renumbers the kept indexes: the merged vertex of each, numbered in
    // the order of first use.
    uint16_t used = static_cast<uint16_t>(next);
    uint16_t* newNumber = nullptr;
    if (!unchanged)
    {
        scratch.newNumber.assign(vertexes.size(), unused);
        newNumber = scratch.newNumber.data();
        used = 0;
        for (uint16_t* index = indexes; index != indexes + keptIndexCount; ++index)
        {
            const uint16_t vertex = firstEqual[*index];
            uint16_t number = newNumber[vertex];
            if (number == unused) newNumber[vertex] = number = used++;
            *index = number;
        }
    }

    if (kept == 0)
    {
        // A part without faces troubles editors: give it one point at the origin, in the part's
        // own block when it has room.
        if (part.faceCount > 0 && part.vertexCount > 0 && part.indexTotal > 0)
            part.shrinkArrays(1, 1, 1);
        else
            part.allocateArrays(1, 1, 1);
        part.faces()[0] = Face{};
        part.faces()[0].indexCount = 1;
        part.indexes()[0] = 0;
        part.vertexes()[0] = Vertex{};
        return;
    }

    // The kept vertexes and indexes now lead their arrays; the shorter arrays start no later than
    // the old ones, the vertexes ending before the old indexes begin, so moving the vertexes first
    // and then the indexes overwrites nothing still to be moved.
    if (!unchanged) renumberVertexes(vertexes, newNumber, used);
    if (used == part.vertexCount && kept == part.faceCount) return; // nothing dropped: nothing moves
    part.shrinkArrays(used, kept, keptIndexCount);
    std::memmove(part.vertexes().data(), vertexes.data(), size_t{used} * sizeof(Vertex));
    std::memmove(part.indexes().data(), indexes, size_t{keptIndexCount} * sizeof(uint16_t));
}

} // namespace

void releaseCleaningBuffers()
{
    delete threadScratch;
    threadScratch = nullptr;
}

bool cleanSinglePart(ObjectPart& part)
{
    if (!withinCleaningLimits(part)) return false;
    cleanWithin(part, scratchOfThread());
    return true;
}

void cleanPart(ObjectPart& root)
{
    walkParts(root, [](ObjectPart& part) { cleanSinglePart(part); });
}

} // namespace scourvane
