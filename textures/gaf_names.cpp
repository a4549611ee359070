// Reading a GAF file's entry names. The layout, from the public GAF format notes of 1998:
//   header (12 bytes): version 0x00010100, entry count, a word that is always 0
//   entry offsets: one 32-bit word per entry, straight after the header
//   entry (40 bytes at its offset): frame count (16 bits), 16 bits, 32 bits, name (32 bytes, NUL-padded),
//   then the entry's frame table, 8 bytes a frame
// All words are little-endian.
#include "textures/gaf_names.h"

#include <cstdio>
#include <cstring>

namespace scourvane
{
namespace
{

constexpr size_t headerSize = 12;
constexpr size_t entrySize = 40;
constexpr size_t nameOffset = 8;
constexpr size_t nameSize = 32;
constexpr size_t frameRecordSize = 8;

uint32_t load32(const uint8_t* at)
{
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint16_t load16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

GafResult fail(GafResult result, uint32_t entry, uint32_t value, std::vector<GafEntryName>& entries,
               GafError* error)
{
    entries.clear();
    if (error) *error = {result, entry, value};
    return result;
}

} // namespace

GafResult readGafEntryNames(const uint8_t* bytes, size_t size, std::vector<GafEntryName>& entries,
                            GafError* error)
{
    entries.clear();
    if (error) *error = {};
    if (!bytes || size < headerSize) return fail(GafResult::headerPastEnd, 0, 0, entries, error);
    const uint32_t version = load32(bytes);
    if (version != gafVersion) return fail(GafResult::badVersion, 0, version, entries, error);
    const uint32_t count = load32(bytes + 4);
    // Before anything is allocated: the offset table must fit in the file.
    if (count > (size - headerSize) / 4) return fail(GafResult::tooManyEntries, 0, count, entries, error);
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint32_t offset = load32(bytes + headerSize + size_t{i} * 4);
        if (offset > size || entrySize > size - offset)
            return fail(GafResult::entryPastEnd, i, offset, entries, error);
        const uint8_t* entry = bytes + offset;
        const uint16_t frames = load16(entry);
        if (size_t{frames} * frameRecordSize > size - offset - entrySize)
            return fail(GafResult::framesPastEnd, i, offset, entries, error);
        const uint8_t* name = entry + nameOffset;
        const void* nul = std::memchr(name, 0, nameSize);
        const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - name) : nameSize;
        entries.push_back({std::string(reinterpret_cast<const char*>(name), length), frames});
    }
    return GafResult::ok;
}

const char* describeGafResult(GafResult result)
{
    switch (result)
    {
    case GafResult::ok:
        return "no error";
    case GafResult::headerPastEnd:
        return "the file is shorter than a GAF header";
    case GafResult::badVersion:
        return "not a GAF file (wrong version word)";
    case GafResult::tooManyEntries:
        return "the entry count needs more offsets than the file holds";
    case GafResult::entryPastEnd:
        return "an entry reaches past the end of the file";
    case GafResult::framesPastEnd:
        return "an entry's frame table reaches past the end of the file";
    }
    return "unknown GAF error";
}

std::string describeGafError(const GafError& error)
{
    std::string text = describeGafResult(error.result);
    switch (error.result)
    {
    case GafResult::badVersion:
    {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(error.value));
        text += std::string(" (") + hex + ")";
        break;
    }
    case GafResult::tooManyEntries:
        text += " (" + std::to_string(error.value) + ")";
        break;
    case GafResult::entryPastEnd:
    case GafResult::framesPastEnd:
        text += " (entry " + std::to_string(error.entry) + " at offset " + std::to_string(error.value) + ")";
        break;
    default:
        break;
    }
    return text;
}

} // namespace scourvane
