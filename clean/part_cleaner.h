// Cleaning of a loaded tree: per part, merge vertexes with equal coordinates, drop untextured faces
// of colour 0 (lines and the protected face excepted), drop the vertexes no kept face uses and
// renumber the rest in first-use order, and give a part left without faces a single point.
#pragma once

#include "model/object_part.h"

#include <cstdint>

namespace scourvane
{

// Cleans every part of the tree rooted at `root` (the part, its child subtree and its sibling
// chain), iteratively. A part beyond the limits of cleaning (more than 65535 vertexes, a face index
// at or beyond its vertexCount, or face counts that do not sum to its indexTotal) is left exactly as
// it is. Linear in the size of the tree.
void cleanPart(ObjectPart& root);

// Cleans one part only, not its child or sibling. False (and the part untouched) when the part is
// beyond the limits of cleaning (see cleanPart).
bool cleanSinglePart(ObjectPart& part);

// Frees the scratch tables the calling thread keeps from tree to tree. A worker thread calls it
// before it ends (the tables are held through a plain pointer, never a thread-local object).
void releaseCleaningBuffers();

} // namespace scourvane
