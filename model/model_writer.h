// The 3DO writer: lays the whole tree out afresh with one copy of each texture name and writes it
// with one write, through a safe replace. ObjectPart::saveModelFile and ObjectPart::buildModelImage
// are declared in object_part.h.
//
// Layout, part by part in walk order (a part, its sibling subtree, its child subtree), no gaps:
// header (52 bytes); for the root only, the pool of distinct texture names in first-met order;
// the index arrays of the part's faces; the vertex array; the face array; the part's name.
#pragma once

#include "model/object_part.h"
#include "platform/file_io.h"

#include <cstdint>

namespace scourvane
{

enum class SaveResult : uint8_t
{
    ok,
    tooLarge, // the image would reach 2^31 bytes
    ioFailed, // the file could not be replaced (see ioError); the old file is intact
};

struct SaveError
{
    SaveResult result = SaveResult::ok;
    platform::IoError ioError;
};

// The exact size in bytes of the image buildModelImage makes for this tree. A part without a name
// (one that was never loaded) is written with an empty name, a single NUL.
uint64_t modelImageSize(const ObjectPart& root);

// A readable sentence for a failed save.
const char* describeSaveError(const SaveError& error);

} // namespace scourvane
