// Lays out GAF files by hand for the texture tests: a header, the entry offsets, and each entry's
// 40-byte record followed by a frame table of zeros.
#pragma once

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

inline void putGafWord(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    if (bytes.size() < at + 4) bytes.resize(at + 4);
    for (size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> makeGaf(const std::vector<GafEntrySpec>& entries)
{
    std::vector<uint8_t> bytes;
    putGafWord(bytes, 0, 0x00010100u);
    putGafWord(bytes, 4, static_cast<uint32_t>(entries.size()));
    putGafWord(bytes, 8, 0);
    bytes.resize(12 + 4 * entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
    {
        const size_t at = bytes.size();
        putGafWord(bytes, 12 + 4 * i, static_cast<uint32_t>(at));
        bytes.resize(at + 40 + 8 * size_t{entries[i].frames});
        bytes[at] = static_cast<uint8_t>(entries[i].frames);
        bytes[at + 1] = static_cast<uint8_t>(entries[i].frames >> 8);
        bytes[at + 2] = 1;
        for (size_t c = 0; c < entries[i].name.size() && c < 32; ++c)
            bytes[at + 8 + c] = static_cast<uint8_t>(entries[i].name[c]);
    }
    return bytes;
}

} // namespace scourvane::test
