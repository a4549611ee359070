// TA's LZ77: an LZSS over a 4096-byte window whose cursor starts at 1. A tag byte, read from its
// lowest bit, tells for each of the next eight items a literal byte (0) or a match (1): a 16-bit
// word with the window position in its upper 12 bits and the length less 2 in its lower 4. A match
// at window position 0 ends the stream.
#pragma once

#include "archive/archive_result.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scourvane::archive::detail
{

// Decodes `input` into exactly `expectedSize` bytes at `out`: sizeMismatch when the stream would
// write more or ends with fewer, badCompressedData when the input runs out before the end match.
ArchiveResult lz77Decode(const uint8_t* input, size_t inputSize, size_t expectedSize, uint8_t* out);

// The encoder's search tables, kept from chunk to chunk of one rewrite so that each chunk costs no
// allocation and no clearing: a position is stored as `base` plus its offset in the chunk, and each
// chunk takes a base above every value stored before, so what an earlier chunk left reads as none.
struct Lz77Tables
{
    std::vector<uint32_t> head;     // by a position's first two bytes: the latest position
    std::vector<uint32_t> previous; // by offset: the position before it with the same two bytes
    uint32_t base = 0;              // this chunk's; 0 until the tables are first cleared
};

// Appends the encoding of `input` (at most 64 KiB, one chunk) to `out`. Matches only reach bytes
// already written and never overlap the bytes they produce, so any faithful decoder reads it.
void lz77Encode(const uint8_t* input, size_t inputSize, std::vector<uint8_t>& out, Lz77Tables& tables);

} // namespace scourvane::archive::detail
