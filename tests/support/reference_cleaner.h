// The cleaning of one part written the plain way, as the rules read: the reference the real cleaner
// must match exactly (the cleaner's tests check it on random parts, the benchmark on large ones) and
// the yardstick the benchmark times it against.
#pragma once

#include "model/object_part.h"

namespace scourvane::reference
{

// The merge of equal vertexes: for each vertex i, search j < i for the first equal vertex; when
// found, replace every index equal to i in every face by j. Quadratic. The part must be within the
// limits of cleaning (at most 65535 vertexes, every index below vertexCount).
void quadraticMerge(ObjectPart& part);

// The rest of the cleaning, after quadraticMerge: drop untextured faces of colour 0 (lines and the
// protected face excepted), renumber the used vertexes in first-use order and drop the others, and
// give a part left without faces a single point at the origin.
void cleanAfterMerge(ObjectPart& part);

// quadraticMerge, then cleanAfterMerge: the result scourvane::cleanSinglePart must give.
void cleanSinglePart(ObjectPart& part);

} // namespace scourvane::reference
