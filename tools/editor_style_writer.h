// Writes a part tree the way outside model editors save it: a fresh copy of the texture name for
// every face that uses it, and each part's records in its own order. The engine's writer never
// produces such files (it pools names), so samples that show what cleaning gains need this one.
#pragma once

#include "model/object_part.h"

#include <cstdint>
#include <vector>

namespace scourvane::tools
{

// The file image: per part, depth first (a part, its child subtree, then its sibling subtree),
// the header, the name, the vertexes, each face's index array followed by its own copy of its
// texture name, then the face records.
std::vector<uint8_t> editorStyleImage(const ObjectPart& root);

} // namespace scourvane::tools
