// Keyed hashes for the engine's lookup tables (texture names, vertexes). The key is drawn once per
// process from the system's random source, so no file can choose names or coordinates that crowd
// one bucket of a table: a table's probe lengths stay short whatever the file holds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scourvane
{

// The process's hash key: four random words, drawn on first use.
struct HashKey
{
    uint64_t word[4];
};
const HashKey& hashKey();

// The high and low halves of a full 64 x 64-bit product folded into one word.
inline uint64_t foldedMultiply(uint64_t a, uint64_t b)
{
#if defined(__SIZEOF_INT128__)
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
#else
    const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32, bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    const uint64_t low = aLow * bLow, middle1 = aHigh * bLow, middle2 = aLow * bHigh, high = aHigh * bHigh;
    const uint64_t carry = ((low >> 32) + (middle1 & 0xFFFFFFFFu) + (middle2 & 0xFFFFFFFFu)) >> 32;
    const uint64_t productLow = low + (middle1 << 32) + (middle2 << 32);
    const uint64_t productHigh = high + (middle1 >> 32) + (middle2 >> 32) + carry;
    return productLow ^ productHigh;
#endif
}

// Keyed 64-bit hash of a byte string.
uint64_t hashBytes(const void* bytes, size_t length);

// Keyed 64-bit hash of two words (a vertex's x and y in one, z in the other); `key` is hashKey(),
// fetched once by a caller that hashes many.
inline uint64_t hashWords(const HashKey& key, uint64_t a, uint64_t b)
{
    return foldedMultiply(foldedMultiply(a ^ key.word[0], b ^ key.word[1]) ^ key.word[2], key.word[3]);
}

} // namespace scourvane
