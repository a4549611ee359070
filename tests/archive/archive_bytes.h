// What the tests that lay archives and textures out by hand share: little-endian fields, and sample
// contents that are pseudo-random but the same on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scourvane::test
{

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}

// Writes the low `width` bytes of `value` at `at`, growing `b` when it ends sooner.
inline void setLe(std::vector<uint8_t>& b, size_t at, uint64_t value, size_t width)
{
    if (b.size() < at + width) b.resize(at + width);
    for (size_t i = 0; i < width; ++i)
        b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void setLe32(std::vector<uint8_t>& b, size_t at, uint32_t value)
{
    setLe(b, at, value, 4);
}
inline void setLe16(std::vector<uint8_t>& b, size_t at, uint16_t value)
{
    setLe(b, at, value, 2);
}
inline void pushLe(std::vector<uint8_t>& b, uint64_t value, size_t width = 4)
{
    setLe(b, b.size(), value, width);
}

// `size` bytes from `seed`: a phrase repeated with jitter, which packs well, or noise, which does not.
inline std::vector<uint8_t> sampleBytes(size_t size, uint32_t seed, bool compressible = true)
{
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i)
    {
        state = state * 1103515245u + 12345u;
        bytes[i] = compressible ? static_cast<uint8_t>("Scourvane model bytes "[(i + (state >> 28)) % 22])
                                : static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

} // namespace scourvane::test
