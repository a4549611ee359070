// Where zip's records keep their fields, shared by the zip reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scourvane::archive::detail
{

inline constexpr uint32_t kLocalSignature = 0x04034b50;
inline constexpr uint32_t kCentralSignature = 0x02014b50;
inline constexpr uint32_t kEndSignature = 0x06054b50;
inline constexpr uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr uint32_t kDescriptorSignature = 0x08074b50;
inline constexpr uint16_t kZip64ExtraId = 0x0001;
inline constexpr uint32_t kMarker32 = 0xFFFFFFFFu;
inline constexpr uint16_t kMarker16 = 0xFFFFu;
inline constexpr size_t kLocalFixed = 30;
inline constexpr size_t kCentralFixed = 46;
inline constexpr size_t kEndFixed = 22;
inline constexpr size_t kZip64EndFixed = 56;
inline constexpr size_t kZip64LocatorSize = 20;

// Field positions of a local header or a central record. The ZIP64 extra field holds, in this order,
// the uncompressed size, compressed size, offset and disk of those whose own field holds the marker.
struct RecordLayout
{
    size_t fixed;
    size_t crc;
    size_t compressedSize;
    size_t uncompressedSize;
    size_t nameLength;
    size_t extraLength;
    size_t commentLength; // 0: none (local header)
    size_t disk;          // 0: none
    size_t offset;        // 0: none
};

inline constexpr RecordLayout kLocalLayout{kLocalFixed, 14, 18, 22, 26, 28, 0, 0, 0};
inline constexpr RecordLayout kCentralLayout{kCentralFixed, 16, 20, 24, 28, 30, 32, 34, 42};

} // namespace scourvane::archive::detail

namespace scourvane::archive::detail
{

// Where a record's ZIP64 values are: positions inside the record (0 when the value is not there),
// in the order uncompressed size, compressed size, offset, disk.
struct Zip64Fields
{
    size_t fieldStart = 0;  // of the extra field's 4-byte header; 0 when there is none
    size_t fieldLength = 0; // of its data
    size_t at[4] = {0, 0, 0, 0};
};

// Finds the ZIP64 extra field of the record at `record` (`length` bytes: fixed part, name, extra and
// comment) and the place of each value whose own field holds the marker. False when a marked value
// is missing.
bool findZip64Fields(const uint8_t* record, size_t length, const RecordLayout& layout, Zip64Fields& fields);

} // namespace scourvane::archive::detail
