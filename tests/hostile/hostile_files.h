// Crafted model files that attack the reader and the cleaning where the reader's own tests do not:
// offsets at the 2^31 border, arrays that end exactly at or just past the end of the file, index
// counts that wrap, parts at the 16-bit edge and files of a million records. They are made at test time,
// never stored.
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

// Every crafted file; the large ones (a million parts or faces) only with `withLarge`.
std::vector<HostileFile> hostileFiles(bool withLarge);

} // namespace scourvane::hostile
