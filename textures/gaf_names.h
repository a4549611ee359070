// The entry names of a GAF file, TA's container of textures and animations, read from its bytes.
// Only what the texture report needs: the header, the table of entry offsets, and each entry's
// frame count and name. Frame pixels are never looked at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scourvane
{

inline constexpr uint32_t gafVersion = 0x00010100u;

enum class GafResult : uint8_t
{
    ok,
    headerPastEnd,  // the file is shorter than its 12-byte header
    badVersion,     // the first word is not 0x00010100
    tooManyEntries, // the entry count needs an offset table longer than the file
    entryPastEnd,   // an entry's offset leaves no room for its 40-byte record
    framesPastEnd,  // an entry's frame table (8 bytes a frame) reaches past the end of the file
};

struct GafEntryName
{
    std::string name;    // the bytes before the first NUL of the 32-byte field (all 32 when none)
    uint16_t frames = 0; // the entry's frame count
};

struct GafError
{
    GafResult result = GafResult::ok;
    uint32_t entry = 0; // which entry, for entryPastEnd and framesPastEnd
    uint32_t value = 0; // the offending word: the version, the count or the entry's offset
};

// Reads the entries of the GAF image `bytes[0, size)` into `entries` (in table order; a name may
// repeat). Every count and offset is checked against `size` before it is used, so the names take at
// most a small multiple of the file's size. On failure `entries` is empty and `error`, when given,
// says which check failed and where.
GafResult readGafEntryNames(const uint8_t* bytes, size_t size, std::vector<GafEntryName>& entries,
                            GafError* error = nullptr);

// One line of English for a result code, and for a whole error (with the entry and the value).
const char* describeGafResult(GafResult result);
std::string describeGafError(const GafError& error);

} // namespace scourvane
