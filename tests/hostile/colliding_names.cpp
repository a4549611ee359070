// Each name is two 8-byte words: the first free (a counter in printable bytes), the second solved
// so that the hash state after it is one fixed value. The word step (xor, multiply by an odd
// prime, xor-shift) is invertible, so the solution is exact; a solution with a NUL byte is skipped.
#include "hostile/colliding_names.h"

#include <cstdint>
#include <cstring>

namespace scourvane::hostile
{

namespace
{

constexpr uint64_t prime = 0x100000001b3ull;
constexpr uint64_t target = 0x0123456789ABCDEFull;

uint64_t step(uint64_t hash, uint64_t word)
{
    hash = (hash ^ word) * prime;
    return hash ^ hash >> 29;
}

uint64_t inverseOfPrime()
{
    uint64_t inverse = prime; // Newton's iteration doubles the correct low bits each round
    for (int i = 0; i < 6; ++i)
        inverse *= 2 - prime * inverse;
    return inverse;
}

uint64_t undoShift(uint64_t value)
{
    return value ^ value >> 29 ^ value >> 58;
}

bool hasNul(uint64_t word)
{
    for (int i = 0; i < 8; ++i)
        if ((word >> (8 * i) & 0xFF) == 0) return true;
    return false;
}

} // namespace

uint64_t unkeyedHash(const void* bytes, size_t length)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint64_t hash = 0xcbf29ce484222325ull ^ length;
    for (; length >= 8; p += 8, length -= 8)
    {
        uint64_t word;
        std::memcpy(&word, p, 8);
        hash = step(hash, word);
    }
    for (; length > 0; --length)
        hash = (hash ^ *p++) * prime;
    hash ^= hash >> 32;
    hash *= 0xd6e8feb86659fd93ull;
    return hash ^ hash >> 32;
}

std::vector<std::string> collidingNames(size_t count)
{
    // Names are stored with their NUL (17 bytes), so that is the length the hash starts from.
    const uint64_t start = 0xcbf29ce484222325ull ^ 17;
    const uint64_t inverse = inverseOfPrime();
    const uint64_t needed = undoShift(target) * inverse; // (state ^ second word) must equal this
    std::vector<std::string> names;
    names.reserve(count);
    for (uint64_t counter = 0; names.size() < count; ++counter)
    {
        uint64_t first = 0;
        for (int i = 0; i < 8; ++i)
            first |= uint64_t{static_cast<uint8_t>('0' + (counter >> (6 * i) & 63))} << (8 * i);
        const uint64_t second = step(start, first) ^ needed;
        if (hasNul(second)) continue;
        std::string name(16, '\0');
        std::memcpy(name.data(), &first, 8);
        std::memcpy(name.data() + 8, &second, 8);
        names.push_back(std::move(name));
    }
    return names;
}

} // namespace scourvane::hostile
