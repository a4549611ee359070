// Texture names crafted against an unkeyed hash: every name has the same hash under the FNV-1a
// word hash the engine's tables once used, so an unkeyed table would put them all in one bucket.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace scourvane::hostile
{

// `count` distinct names of 16 bytes without NUL (the NUL is not included), all with one hash
// under unkeyedHash. The same count always gives the same names.
std::vector<std::string> collidingNames(size_t count);

// The unkeyed hash the names are crafted against, over `length` bytes.
uint64_t unkeyedHash(const void* bytes, size_t length);

} // namespace scourvane::hostile
