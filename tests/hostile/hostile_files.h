// Crafted model files that attack the reader and the cleaning: huge counts, offsets at the 2^31
// border, arrays that end exactly at or just past the end of the file, cycles, subtrees shared
// until the tree would explode, very long chains, names without an end, indexes at the 16-bit edge.
// They are made at test time, never stored.
#pragma once

#include "model/model_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::hostile
{

struct HostileFile
{
    std::string name;  // a file name ending in .3do
    std::string about; // what the file tries
    std::vector<uint8_t> bytes;
    LoadResult expected; // LoadResult::ok when the file loads (and is then cleaned and saved)
    bool large = false;  // tens of megabytes: made only when asked for
};

// Every crafted file; the large ones (chains of a million parts, a million faces) only with
// `withLarge`.
std::vector<HostileFile> hostileFiles(bool withLarge);

// A few words that the description of a failed load with this result always contains, for checking
// the reason a tool prints ("" for LoadResult::ok).
const char* reasonWords(LoadResult result);

} // namespace scourvane::hostile
