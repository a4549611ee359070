// What the tests and the benchmark do with part trees and the product never needs: comparing two
// trees, and the whole image of a tree in memory.
#pragma once

#include "model/object_part.h"

#include <cstdint>
#include <vector>

namespace scourvane
{

// True when two trees hold the same data part for part: the same words, vertexes, indexes face by
// face and texture names (compared by their bytes, each through its own root's pool). Which ids the
// names have does not matter.
bool sameTree(const ObjectPart& a, const ObjectPart& b);

// The complete file image of the tree rooted at `root`, as the writer streams it. False (and `out`
// empty) when the writer refuses the tree (an image of 2^31 bytes or more, broken invariants).
bool buildModelImage(const ObjectPart& root, std::vector<uint8_t>& out);

// The exact size in bytes of that image, or 0 when the writer refuses the tree.
uint64_t modelImageSize(const ObjectPart& root);

} // namespace scourvane
