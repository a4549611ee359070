// What the benchmarks share: seeded synthetic models, the unavoidable-I/O floor for one file, and a
// clock. The plain quadratic cleaning they measure against is the tests' (support/reference_cleaner.h).
#pragma once

#include "model/object_part.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::bench
{

// Monotonic seconds since an arbitrary start.
inline double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The largest part the cleaning handles.
inline constexpr uint32_t fullPartVertexes = 65535;

// The three shapes of vertex data that stress the merge of equal vertexes differently.
enum class MergeCase : uint8_t
{
    allDifferent, // no two vertexes are equal: the quadratic search runs to the end every time
    allEqual,     // every vertex equals vertex 0: every vertex is a duplicate
    fewPositions, // `fewPositionCount` distinct positions repeated in turn
};

inline constexpr uint32_t fewPositionCount = 256;

const char* mergeCaseName(MergeCase mergeCase);

// One named part of `vertexCount` vertexes shaped by `mergeCase`, with `triangleCount` triangles of
// colour 1 (all kept) whose corners are drawn from the vertexes with the generator seeded by `seed`.
// The same arguments always give the same part.
ObjectPart makeMergePart(MergeCase mergeCase, uint32_t vertexCount, uint32_t triangleCount, uint64_t seed);

// A part shaped like an unwelded mesh: `vertexCount` vertexes whose positions are drawn from
// `distinctPositions` random positions, and consecutive vertexes grouped into triangles of colour 1,
// so every vertex is used and every face is kept. Seeded like makeMergePart.
ObjectPart makeSoupPart(uint32_t vertexCount, uint32_t distinctPositions, uint64_t seed);

// A root part with `partCount - 1` children in its child's sibling chain, each part made by
// makeSoupPart with its own seed derived from `seed`.
ObjectPart makeSoupModel(uint32_t partCount, uint32_t vertexesPerPart, uint32_t distinctPositions,
                         uint64_t seed);

// A model whose written image is at least `targetBytes` long: parts of 65535 vertexes with as many
// triangles, most textured (from a handful of names), some of colour 0 and so dropped by cleaning,
// and some duplicate positions. Seeded.
ObjectPart makeLargeModel(uint64_t targetBytes, uint64_t seed);

// A deep copy of the tree rooted at `root`.
ObjectPart copyTree(const ObjectPart& root);

// The I/O that cleaning one file cannot avoid: read it whole, write the bytes to a new temporary file
// beside it, flush that to disk, and rename it over the original. With `syncFolder`, also flush the
// folder after the rename, which makes the rename itself durable at once. False with `error` on failure.
bool rewriteFileInPlace(const std::string& path, std::vector<uint8_t>& buffer, bool syncFolder,
                        std::string& error);

} // namespace scourvane::bench
