// The 3DO reader: loads a whole file into an ObjectPart tree, treating every byte as hostile.
// ObjectPart::loadModelFile and ObjectPart::loadModelBytes are declared in object_part.h.
#pragma once

#include "model/object_part.h"
#include "platform/file_io.h"

#include <cstdint>
#include <string>

namespace scourvane
{

// One code per reason a load fails.
enum class LoadResult : uint8_t
{
    ok,
    openFailed,       // the file cannot be opened or read (see ioError)
    fileTooLarge,     // larger than any 3DO file a reader could follow
    headerPastEnd,    // a part header does not fit in the file
    badVersion,       // version is not 1
    badReservedZero,  // reservedZero is not 0
    offsetTooLarge,   // an offset that is followed is 2^31 or more
    arrayPastEnd,     // a vertex, face or index array reaches past the end of the file
    namePastEnd,      // a name's offset is at or past the end of the file
    nameUnterminated, // a name runs to the end of the file without its NUL
    cycle,            // a child or sibling link leads back to a part still being read
    tooMuchSharing,   // shared records would make the tree far larger than the file
};

// Which record a failure is about.
enum class LoadWhat : uint8_t
{
    file,
    partHeader,
    vertexArray,
    faceArray,
    indexArray,
    textureName,
    partName,
    childLink,
    siblingLink,
};

struct LoadError
{
    LoadResult result = LoadResult::ok;
    LoadWhat what = LoadWhat::file;
    uint32_t offset = 0;   // file offset of the record at fault (or of the header holding the field)
    uint32_t value = 0;    // the offending value (a version, an offset), when there is one
    uint64_t fileSize = 0; // size of the file
    platform::IoError ioError;
};

// A load may materialise at most this many times the file's size (plus a small floor), counted in
// the bytes the records take in a file (names of up to 15 bytes are free), before it fails with
// tooMuchSharing. A file without shared records never exceeds 1, and no real model does.
inline constexpr uint64_t materialiseFactor = 4;
inline constexpr uint64_t materialiseFloor = 1u << 20;

// Files larger than this are refused before anything is allocated. No offset at or above 2^31 can
// be followed, so a larger file could only matter through an array that starts below 2^31 and runs
// past it; no real model comes near.
inline constexpr uint64_t maxModelFileSize = uint64_t{1} << 31;

// How many bytes of a file's start checkModelStart looks at: the first part header.
inline constexpr size_t modelStartSize = 52;

// Checks a file's start before it is read whole: `head` holds its first min(modelStartSize,
// fileSize) bytes. The first part header must fit in the file, have version 1 and reservedZero 0,
// and its vertex and face arrays must lie inside the file. These are the load's own first checks in
// its own order, so a refusal is exactly the error the full load of that file would give, and a file
// the full load accepts is never refused. True says nothing about the rest of the file.
bool checkModelStart(const uint8_t* head, size_t headSize, uint64_t fileSize, LoadError* error);

// A readable sentence for a failed load, for example
// "version 2 in the part header at offset 0x1F4" or
// "index array at 0x2A0 runs past the end of the file (size 0x290)".
std::string describeLoadError(const LoadError& error);

} // namespace scourvane
