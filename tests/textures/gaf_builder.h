// Lays out GAF files by hand for the texture tests: a header, the entry offsets, and each entry's
// 40-byte record followed by a frame table of zeros.
#pragma once

#include "archive/archive_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::test
{

struct GafEntrySpec
{
    std::string name; // written into the 32-byte field; longer names are cut at 32 bytes
    uint16_t frames = 1;
};

inline std::vector<uint8_t> makeGaf(const std::vector<GafEntrySpec>& entries)
{
    std::vector<uint8_t> bytes;
    setLe32(bytes, 0, 0x00010100u);
    setLe32(bytes, 4, static_cast<uint32_t>(entries.size()));
    bytes.resize(12 + 4 * entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
    {
        const size_t at = bytes.size();
        setLe32(bytes, 12 + 4 * i, static_cast<uint32_t>(at));
        bytes.resize(at + 40 + 8 * size_t{entries[i].frames});
        setLe16(bytes, at, entries[i].frames);
        bytes[at + 2] = 1;
        for (size_t c = 0; c < entries[i].name.size() && c < 32; ++c)
            bytes[at + 8 + c] = static_cast<uint8_t>(entries[i].name[c]);
    }
    return bytes;
}

} // namespace scourvane::test
