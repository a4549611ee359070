// Zip images laid out by hand for the tests: layouts the tools on hand may not make (ZIP64 fields,
// data descriptors, bytes ahead of the archive, entries under methods or flags this program cannot
// read), and the raw material for hostile archives.
#pragma once

#include "archive/archive_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::test
{

struct ZipSpec
{
    std::string name;
    std::vector<uint8_t> data; // uncompressed (stored as is for methods other than 0 and 8)
    uint16_t method = 8;
    uint16_t flags = 0; // bit 3 (data descriptor) is set by `descriptor`
    bool descriptor = false;
    bool zip64 = false; // sizes (and the offset) through ZIP64 extra fields
};

struct ZipLayout
{
    std::vector<uint8_t> prefix; // bytes ahead of the first entry, offsets adjusted for them
    std::string comment;
    bool zip64End = false; // ZIP64 end record and locator, markers in the end record
};

std::vector<uint8_t> buildZip(const std::vector<ZipSpec>& entries, const ZipLayout& layout);

// Offset of the first occurrence of the 4-byte little-endian `signature` at or after `from`.
size_t findSignature(const std::vector<uint8_t>& bytes, uint32_t signature, size_t from = 0);

} // namespace scourvane::test
