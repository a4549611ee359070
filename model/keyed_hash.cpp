// The process's hash key and the keyed byte-string hash (a folded-multiply construction: each
// 16-byte block is folded into the state through a full product with key words).
#include "model/keyed_hash.h"

#include "platform/random.h"

#include <cstring>

namespace scourvane
{

namespace
{

HashKey drawKey()
{
    HashKey key{};
    if (!platform::fillRandom(key.word, sizeof key.word))
    {
        // No random source at all: the addresses the loader chose are the least guessable thing left.
        int local = 0;
        key.word[0] = reinterpret_cast<uintptr_t>(&local) * 0x9E3779B97F4A7C15ull;
        key.word[1] = reinterpret_cast<uintptr_t>(&drawKey) * 0xC2B2AE3D27D4EB4Full;
        key.word[2] = reinterpret_cast<uintptr_t>(&key) ^ 0x165667B19E3779F9ull;
        key.word[3] = key.word[0] ^ key.word[1];
    }
    // Odd multipliers keep every product informative.
    for (uint64_t& word : key.word)
        word |= 1u;
    return key;
}

inline uint64_t load64(const uint8_t* p)
{
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

} // namespace

const HashKey& hashKey()
{
    static const HashKey key = drawKey();
    return key;
}

uint64_t hashBytes(const void* bytes, size_t length)
{
    const HashKey& key = hashKey();
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint64_t state = key.word[0] ^ foldedMultiply(length ^ key.word[1], key.word[2]);
    size_t left = length;
    while (left > 16)
    {
        state = foldedMultiply(load64(p) ^ key.word[1], load64(p + 8) ^ state);
        p += 16;
        left -= 16;
    }
    // The last 1 to 16 bytes, zero-padded; the length taken in above tells the paddings apart.
    uint8_t tail[16] = {};
    if (left > 0) std::memcpy(tail, p, left);
    const uint64_t mixed = foldedMultiply(load64(tail) ^ key.word[1], load64(tail + 8) ^ state);
    return foldedMultiply(mixed ^ key.word[3], length ^ key.word[2]);
}

} // namespace scourvane
