// zlib behind the archive room: raw deflate (zip) and zlib streams (TA chunks), both ways, with the
// output bounded by the size the container declares.
#pragma once

#include "archive/archive_result.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scourvane::archive::detail
{

enum class Wrapper : uint8_t
{
    raw,  // bare deflate, as zip stores it
    zlib, // zlib header and Adler-32, as TA's chunks store it
};

// Decodes exactly `input` into `out`, which must come out `expectedSize` bytes long: a stream that
// would write more stops there (sizeMismatch), one that ends early or leaves input unused fails too.
ArchiveResult inflateBounded(const uint8_t* input, size_t inputSize, size_t expectedSize, Wrapper wrapper,
                             std::vector<uint8_t>& out);

// Decodes the start of `input` into `out`: at most `count` bytes, fewer when the stream ends (or its
// input runs out) first. For a look at an entry's first bytes before the whole is decoded; nothing
// past `count` is inflated, so a stream that declares gigabytes costs no more than its start.
ArchiveResult inflateStart(const uint8_t* input, size_t inputSize, size_t count, Wrapper wrapper,
                           std::vector<uint8_t>& out);

// Compresses `input` at level 9 into `out` (replacing its contents).
ArchiveResult deflateAll(const uint8_t* input, size_t inputSize, Wrapper wrapper, std::vector<uint8_t>& out);

// CRC-32 as zip uses it.
uint32_t crc32Of(const uint8_t* data, size_t size);

} // namespace scourvane::archive::detail
