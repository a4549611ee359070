// The file format's words, read and written in little-endian byte order whatever the machine's: one
// load or store on a little-endian machine, byte by byte elsewhere. Callers check the bounds.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace scourvane
{

template <typename Word> inline Word loadLittle(const uint8_t* p)
{
    Word word = 0;
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(&word, p, sizeof word);
    else
        for (size_t i = 0; i < sizeof word; ++i)
            word = static_cast<Word>(word | static_cast<Word>(p[i]) << (8 * i));
    return word;
}

template <typename Word> inline void storeLittle(uint8_t* p, Word value)
{
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(p, &value, sizeof value);
    else
        for (size_t i = 0; i < sizeof value; ++i)
            p[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint16_t load16(const uint8_t* p)
{
    return loadLittle<uint16_t>(p);
}
inline uint32_t load32(const uint8_t* p)
{
    return loadLittle<uint32_t>(p);
}
inline uint64_t load64(const uint8_t* p)
{
    return loadLittle<uint64_t>(p);
}
inline void store16(uint8_t* p, uint16_t value)
{
    storeLittle(p, value);
}
inline void store32(uint8_t* p, uint32_t value)
{
    storeLittle(p, value);
}

} // namespace scourvane
