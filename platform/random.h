// Unpredictable bytes from the system's random source, for keys that files must not be able to guess.
#pragma once

#include <cstddef>

namespace scourvane::platform
{

// Fills `size` bytes at `out` from the system's random source (never the clock). False when the
// source failed; the bytes are then unspecified.
bool fillRandom(void* out, size_t size);

} // namespace scourvane::platform
