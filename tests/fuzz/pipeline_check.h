// Properties that every input must keep through the whole pipeline (load, count, clean, write,
// reload, clean again), shared by the fuzz targets and the unit test that replays their findings.
#pragma once

#include "model/object_part.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace scourvane::fuzz
{

// Loads `size` bytes as a model and, when they load, checks the counts, the cleaning, the written
// image and its reload. Returns "" when every property holds, else a sentence naming the first
// property broken. A file that fails to load is fine as long as it fails cleanly.
std::string checkPipeline(const uint8_t* data, size_t size);

// Runs a sequence of ByteKeyTable operations decoded from `data` against a plain ordered list of
// slots searched from the front, comparing every result and the table's members after each one.
// Returns "" or a sentence naming the first difference.
std::string checkByteKeyTable(const uint8_t* data, size_t size);

} // namespace scourvane::fuzz
