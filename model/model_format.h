// The 3DO file's records as the reader and the writer see them: where each word of a part header and
// of a face record lies, and how large the records are. All words are 32-bit little-endian, indexes
// 16-bit. (The verifier keeps its own copy on purpose: it must not share a mistake with them.)
#pragma once

#include <cstdint>

namespace scourvane::format
{

// A part header: thirteen words.
inline constexpr uint32_t headerSize = 52;
struct HeaderWord
{
    static constexpr uint32_t version = 0;
    static constexpr uint32_t vertexCount = 4;
    static constexpr uint32_t faceCount = 8;
    static constexpr uint32_t protectedFace = 12;
    static constexpr uint32_t positionX = 16;
    static constexpr uint32_t positionY = 20;
    static constexpr uint32_t positionZ = 24;
    static constexpr uint32_t nameOffset = 28;
    static constexpr uint32_t reservedZero = 32;
    static constexpr uint32_t vertexArrayOffset = 36;
    static constexpr uint32_t faceArrayOffset = 40;
    static constexpr uint32_t siblingOffset = 44;
    static constexpr uint32_t childOffset = 48;
};

// A face record: eight words.
inline constexpr uint32_t faceRecordSize = 32;
struct FaceWord
{
    static constexpr uint32_t colourIndex = 0;
    static constexpr uint32_t indexCount = 4;
    static constexpr uint32_t word2 = 8;
    static constexpr uint32_t indexArrayOffset = 12;
    static constexpr uint32_t textureNameOffset = 16;
    static constexpr uint32_t extra0 = 20;
    static constexpr uint32_t extra1 = 24;
    static constexpr uint32_t extra2 = 28;
};

// A vertex: the words x, y and z.
inline constexpr uint32_t vertexSize = 12;
// An entry of a face's index array.
inline constexpr uint32_t indexSize = 2;

// No offset at or above 2^31 can be followed, so no image may reach that size.
inline constexpr uint32_t firstUnreachableOffset = 0x80000000u;

} // namespace scourvane::format
