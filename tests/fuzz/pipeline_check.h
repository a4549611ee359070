// Properties that every input must keep through the whole pipeline (load, write, reload, clean, write,
// reload, clean again), shared by the fuzz targets and the unit test that replays their findings.
#pragma once

#include "model/object_part.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace scourvane::fuzz
{

// Loads `size` bytes as a model; a load may fail with a reason, else the tree must be written at the
// size predicted and reload as itself, before and after cleaning, the verifier must accept the
// cleaned image, and a second clean must change nothing. Returns "" when every property holds, else
// a sentence naming the first one broken.
std::string checkPipeline(const uint8_t* data, size_t size);

// Runs ByteKeyTable operations decoded from `data` against a plain list of slots searched from the
// front, comparing every result and the table's members after each one. Returns "" or a sentence
// naming the first difference.
std::string checkByteKeyTable(const uint8_t* data, size_t size);

} // namespace scourvane::fuzz
