// Pieces of TA's container shared by its reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scourvane::archive::detail
{

inline constexpr uint32_t kHapiMarker = 0x49504148; // "HAPI"
inline constexpr uint32_t kBankMarker = 0x4B4E4142; // "BANK"
inline constexpr uint32_t kSqshMarker = 0x48535153; // "SQSH"
inline constexpr uint8_t kSqshVersion = 2;          // the byte after the marker, the same in every chunk
inline constexpr uint32_t kKingdomsVersion = 0x00020000;
inline constexpr size_t kEntrySize = 9;
inline constexpr size_t kRecordSize = 9;
inline constexpr size_t kMaxNameLength = 255;

// The working key from the header's key: none when its low byte is 0 or 0xFF.
inline bool hpiCipher(uint32_t headerKey, uint8_t& cipher)
{
    const unsigned k = headerKey & 0xFF;
    cipher = static_cast<uint8_t>(~((k >> 6) | (k << 2)) & 0xFF);
    return k != 0 && k != 0xFF;
}

// Enciphering and deciphering are the same exclusive-or with the position, the key and all ones.
inline void hpiCipherBytes(uint8_t cipher, size_t position, const uint8_t* in, size_t length, uint8_t* out)
{
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<uint8_t>((position + i) ^ cipher ^ static_cast<uint8_t>(~in[i]));
}

// The last 36 bytes of an archive the game mounts: the copyright line, any four characters as year.
inline bool isHpiTrailer(const uint8_t* p)
{
    static const char kBefore[] = "Copyright ";
    static const char kAfter[] = " Cavedog Entertainment";
    for (size_t i = 0; i < 10; ++i)
        if (p[i] != static_cast<uint8_t>(kBefore[i])) return false;
    for (size_t i = 0; i < 22; ++i)
        if (p[14 + i] != static_cast<uint8_t>(kAfter[i])) return false;
    return true;
}

// An encoded chunk payload's bytes are scrambled by their index: plain = (stored - x) ^ x.
inline uint8_t unscramble(uint8_t stored, size_t x)
{
    const uint8_t k = static_cast<uint8_t>(x);
    return static_cast<uint8_t>(static_cast<uint8_t>(stored - k) ^ k);
}
inline uint8_t scramble(uint8_t plain, size_t x)
{
    const uint8_t k = static_cast<uint8_t>(x);
    return static_cast<uint8_t>(static_cast<uint8_t>(plain ^ k) + k);
}

} // namespace scourvane::archive::detail
