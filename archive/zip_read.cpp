// Reading a zip image: the end records, the central directory, and every local header and data
// descriptor checked against its central record, before any entry is read.
#include "archive/byte_io.h"
#include "archive/deflate.h"
#include "archive/zip_archive.h"
#include "archive/zip_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>

namespace scourvane::archive
{

using namespace detail;

namespace detail
{

bool findZip64Fields(const uint8_t* record, size_t length, const RecordLayout& layout, Zip64Fields& fields)
{
    fields = Zip64Fields{};
    const size_t nameLength = load16(record + layout.nameLength);
    const size_t extraLength = load16(record + layout.extraLength);
    const size_t extraStart = layout.fixed + nameLength;
    if (!fits(extraStart, extraLength, length)) return false;
    const bool marked[4] = {load32(record + layout.uncompressedSize) == kMarker32,
                            load32(record + layout.compressedSize) == kMarker32,
                            layout.offset != 0 && load32(record + layout.offset) == kMarker32,
                            layout.disk != 0 && load16(record + layout.disk) == kMarker16};
    size_t at = extraStart;
    const size_t end = extraStart + extraLength;
    while (end - at >= 4)
    {
        const uint16_t id = load16(record + at);
        const size_t dataLength = load16(record + at + 2);
        if (dataLength > end - at - 4) break; // padding some writers leave; nothing more to find
        if (id == kZip64ExtraId)
        {
            fields.fieldStart = at;
            fields.fieldLength = dataLength;
            size_t value = at + 4;
            for (int i = 0; i < 4; ++i)
            {
                if (!marked[i]) continue;
                const size_t width = i == 3 ? 4 : 8;
                if (value + width > at + 4 + dataLength) return false;
                fields.at[i] = value;
                value += width;
            }
            return true;
        }
        at += 4 + dataLength;
    }
    return !(marked[0] || marked[1] || marked[2] || marked[3]);
}

} // namespace detail

namespace
{

// A field of a record, its ZIP64 value when the field holds the marker.
uint64_t wideField(const uint8_t* record, size_t fieldAt, size_t zip64At)
{
    return zip64At != 0 ? load64(record + zip64At) : load32(record + fieldAt);
}

// Deflate cannot expand data by more than this factor (plus a little), so a larger declared size lies.
constexpr uint64_t kDeflateMaxRatio = 1032;

// The end record: the last one whose comment fits in what follows it. Bytes after the comment
// (tools that write in blocks pad with zeros) are kept with it; picking the last one keeps the
// choice the same in a rewritten image, whose tail from the end record on is copied. SIZE_MAX when
// there is none.
size_t findEndRecord(const uint8_t* data, size_t size)
{
    if (size < kEndFixed) return SIZE_MAX;
    const size_t highest = size - kEndFixed;
    const size_t lowest = highest > 0xFFFF + kEndFixed ? highest - 0xFFFF - kEndFixed : 0;
    for (size_t at = highest + 1; at-- > lowest;)
        if (load32(data + at) == kEndSignature && load16(data + at + 20) <= size - at - kEndFixed) return at;
    return SIZE_MAX;
}

// The data descriptor after the entry's data (at `d`, `room` bytes before the central directory):
// with or without its signature, with 4- or 8-byte sizes, the form whose values agree with the
// central record. False when none does.
bool measureDataDescriptor(const uint8_t* d, uint64_t room, ZipEntry& entry)
{
    const auto agrees = [&](size_t at4, bool wide)
    {
        const size_t need = at4 + (wide ? 20 : 12);
        if (need > room || load32(d + at4) != entry.crc) return false;
        const uint64_t c = wide ? load64(d + at4 + 4) : load32(d + at4 + 4);
        const uint64_t u = wide ? load64(d + at4 + 12) : load32(d + at4 + 8);
        return c == entry.compressedSize && u == entry.uncompressedSize;
    };
    const bool signature = room >= 4 && load32(d) == kDescriptorSignature;
    const size_t at4 = signature ? 4 : 0;
    if (entry.zip64Local && agrees(at4, true))
        entry.descriptorLength = static_cast<uint8_t>(at4 + 20);
    else if (agrees(at4, false))
        entry.descriptorLength = static_cast<uint8_t>(at4 + 12);
    else if (agrees(at4, true))
        entry.descriptorLength = static_cast<uint8_t>(at4 + 20);
    else
        return false;
    return true;
}

// The entry's local header against its central record, then its data and any data descriptor, all
// of it ahead of the central directory (at `centralStart`).
ArchiveResult checkLocalHeader(const uint8_t* data, size_t centralStart, ZipEntry& entry)
{
    if (!fits(entry.localOffset, kLocalFixed, centralStart) ||
        load32(data + entry.localOffset) != kLocalSignature)
        return ArchiveResult::badLocalHeader;
    const uint8_t* local = data + entry.localOffset;
    const size_t nameLength = load16(local + 26);
    const size_t headerLength = kLocalFixed + nameLength + load16(local + 28);
    if (!fits(entry.localOffset, headerLength, centralStart)) return ArchiveResult::truncated;
    Zip64Fields zip64;
    const uint16_t flags = load16(local + 6);
    if (nameLength != entry.path.size() ||
        std::memcmp(local + kLocalFixed, entry.path.data(), nameLength) != 0 ||
        load16(local + 8) != entry.method || (flags & 0x49) != (entry.flags & 0x49) ||
        !findZip64Fields(local, headerLength, kLocalLayout, zip64))
        return ArchiveResult::badLocalHeader;
    entry.zip64Local = zip64.fieldStart != 0;
    if (!entry.hasDataDescriptor() &&
        (load32(local + 14) != entry.crc || wideField(local, 18, zip64.at[1]) != entry.compressedSize ||
         wideField(local, 22, zip64.at[0]) != entry.uncompressedSize))
        return ArchiveResult::badLocalHeader;
    entry.dataOffset = entry.localOffset + headerLength;
    if (!fits(entry.dataOffset, entry.compressedSize, centralStart)) return ArchiveResult::truncated;
    entry.endOffset = entry.dataOffset + entry.compressedSize;
    if (entry.hasDataDescriptor())
    {
        if (!measureDataDescriptor(data + entry.endOffset, centralStart - entry.endOffset, entry))
            return ArchiveResult::badDataDescriptor;
        entry.endOffset += entry.descriptorLength;
    }
    return ArchiveResult::ok;
}

} // namespace

// What the end records say of the central directory.
struct ZipArchive::Directory
{
    uint64_t disk = 0;
    uint64_t centralDisk = 0;
    uint64_t entriesHere = 0;
    uint64_t entryCount = 0;
    uint64_t centralSize = 0;
    uint64_t centralOffset = 0;
    size_t centralLimit = 0; // the central directory ends by here: the ZIP64 end record or the end record
};

ArchiveError ZipArchive::open(const uint8_t* data, size_t size)
{
    *this = ZipArchive{};
    data_ = data;
    size_ = size;
    Directory directory;
    ArchiveError error{readEndRecords(directory), {}};
    if (error.ok()) error.result = placeCentralDirectory(directory);
    if (error.ok()) error = readCentralRecords(directory);
    for (size_t i = 0; error.ok() && i < entries_.size(); ++i)
    {
        const ArchiveResult result = checkLocalHeader(data_, centralStart_, entries_[i]);
        if (result != ArchiveResult::ok) error = {result, entries_[i].path};
    }
    if (error.ok()) error = checkOverlaps();
    if (error.ok()) return {};
    entries_.clear();
    return error;
}

ArchiveResult ZipArchive::readEndRecords(Directory& directory)
{
    const size_t endAt = findEndRecord(data_, size_);
    if (endAt == SIZE_MAX) return ArchiveResult::endRecordNotFound;
    endRecordOffset_ = endAt;
    const uint8_t* end = data_ + endAt;
    directory.disk = load16(end + 4);
    directory.centralDisk = load16(end + 6);
    directory.entriesHere = load16(end + 8);
    directory.entryCount = load16(end + 10);
    directory.centralSize = load32(end + 12);
    directory.centralOffset = load32(end + 16);
    directory.centralLimit = endAt;
    if (endAt >= kZip64LocatorSize && load32(data_ + endAt - kZip64LocatorSize) == kZip64LocatorSignature)
    {
        const ArchiveResult result = readZip64End(endAt - kZip64LocatorSize, directory);
        if (result != ArchiveResult::ok) return result;
    }
    if (directory.disk != 0 || directory.centralDisk != 0 || directory.entriesHere != directory.entryCount)
        return ArchiveResult::multiDiskArchive;
    if (directory.centralSize > directory.centralLimit) return ArchiveResult::badCentralDirectory;
    return ArchiveResult::ok;
}

ArchiveResult ZipArchive::readZip64End(size_t locatorAt, Directory& directory)
{
    const uint8_t* locator = data_ + locatorAt;
    const uint64_t recordAt = load64(locator + 8);
    if (load32(locator + 4) != 0 || load32(locator + 16) > 1) return ArchiveResult::multiDiskArchive;
    if (!fits(recordAt, kZip64EndFixed, locatorAt) || load32(data_ + recordAt) != kZip64EndSignature)
        return ArchiveResult::badZip64Record;
    const uint8_t* record = data_ + recordAt;
    const uint64_t recordLength = load64(record + 4);
    // The record runs up to the locator, with nothing between.
    if (recordLength < kZip64EndFixed - 12 || recordLength + 12 != locatorAt - recordAt)
        return ArchiveResult::badZip64Record;
    zip64RecordOffset_ = static_cast<size_t>(recordAt);
    zip64RecordLength_ = static_cast<size_t>(recordLength + 12);
    directory.disk = load32(record + 16);
    directory.centralDisk = load32(record + 20);
    directory.entriesHere = load64(record + 24);
    directory.entryCount = load64(record + 32);
    directory.centralSize = load64(record + 40);
    directory.centralOffset = load64(record + 48);
    directory.centralLimit = zip64RecordOffset_;
    return ArchiveResult::ok;
}

ArchiveResult ZipArchive::placeCentralDirectory(const Directory& directory)
{
    // Offsets count from the start of the file, unless bytes were put ahead of the archive without
    // adjusting them; then the central directory's true place tells by how much.
    const uint64_t centralSize = directory.centralSize;
    const size_t centralLimit = directory.centralLimit;
    const auto centralAt = [&](uint64_t start)
    {
        return start + centralSize <= centralLimit &&
               (directory.entryCount == 0 || load32(data_ + start) == kCentralSignature);
    };
    if (fits(directory.centralOffset, centralSize, centralLimit) && centralAt(directory.centralOffset))
        base_ = 0;
    else if (centralLimit - centralSize > directory.centralOffset && centralAt(centralLimit - centralSize))
        base_ = static_cast<int64_t>(centralLimit - centralSize - directory.centralOffset);
    else
        return ArchiveResult::badCentralDirectory;
    centralStart_ = static_cast<size_t>(directory.centralOffset + static_cast<uint64_t>(base_));
    if (directory.entryCount > centralSize / kCentralFixed) return ArchiveResult::badCentralDirectory;
    return ArchiveResult::ok;
}

ArchiveError ZipArchive::readCentralRecords(const Directory& directory)
{
    const size_t centralEnd = centralStart_ + static_cast<size_t>(directory.centralSize);
    entries_.reserve(static_cast<size_t>(directory.entryCount));
    size_t at = centralStart_;
    for (uint64_t i = 0; i < directory.entryCount; ++i)
    {
        if (centralEnd - at < kCentralFixed || load32(data_ + at) != kCentralSignature)
            return {ArchiveResult::badCentralDirectory, {}};
        const uint8_t* record = data_ + at;
        const size_t length = kCentralFixed + load16(record + 28) + load16(record + 30) + load16(record + 32);
        if (length > centralEnd - at) return {ArchiveResult::badCentralDirectory, {}};
        ZipEntry entry;
        entry.path.assign(reinterpret_cast<const char*>(record + kCentralFixed), load16(record + 28));
        Zip64Fields zip64;
        if (!findZip64Fields(record, length, kCentralLayout, zip64))
            return {ArchiveResult::badCentralDirectory, entry.path};
        const uint64_t startDisk = zip64.at[3] != 0 ? load32(record + zip64.at[3]) : load16(record + 34);
        if (startDisk != 0) return {ArchiveResult::multiDiskArchive, entry.path};
        entry.flags = load16(record + 8);
        entry.method = load16(record + 10);
        entry.crc = load32(record + 16);
        entry.compressedSize = wideField(record, 20, zip64.at[1]);
        entry.uncompressedSize = wideField(record, 24, zip64.at[0]);
        const uint64_t stored = wideField(record, 42, zip64.at[2]);
        if (stored >= size_) return {ArchiveResult::badLocalHeader, entry.path};
        entry.localOffset = stored + static_cast<uint64_t>(base_);
        entry.centralOffset = at;
        entry.centralLength = length;
        entry.folder = !entry.path.empty() && entry.path.back() == '/';
        entries_.push_back(std::move(entry));
        at += length;
    }
    if (at != centralEnd) return {ArchiveResult::badCentralDirectory, {}};
    return {};
}

std::vector<size_t> ZipArchive::inImageOrder() const
{
    std::vector<size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [this](size_t a, size_t b) { return entries_[a].localOffset < entries_[b].localOffset; });
    return order;
}

ArchiveError ZipArchive::checkOverlaps()
{
    const std::vector<size_t> order = inImageOrder();
    for (size_t k = 1; k < order.size(); ++k)
        if (entries_[order[k - 1]].endOffset > entries_[order[k]].localOffset)
            return {ArchiveResult::overlappingEntries, entries_[order[k]].path};
    prefixEnd_ = order.empty() ? centralStart_ : static_cast<size_t>(entries_[order[0]].localOffset);
    return {};
}

namespace
{
// What keeps an entry's data from being decoded at all, whole or in part: ok when nothing does.
ArchiveResult decodable(const ZipEntry& entry)
{
    if (entry.encrypted()) return ArchiveResult::encryptedEntry;
    if (entry.method != 0 && entry.method != 8) return ArchiveResult::unsupportedMethod;
    if (entry.uncompressedSize > kMaxEntrySize) return ArchiveResult::entryTooLarge;
    if (entry.method == 0 && entry.compressedSize != entry.uncompressedSize)
        return ArchiveResult::sizeMismatch;
    if (entry.method == 8 && entry.uncompressedSize > entry.compressedSize * kDeflateMaxRatio + 64)
        return ArchiveResult::entryTooLarge;
    return ArchiveResult::ok;
}
} // namespace

ArchiveError ZipArchive::read(size_t index, std::vector<uint8_t>& out) const
{
    out.clear();
    if (index >= entries_.size()) return {ArchiveResult::badReplacement, {}};
    const ZipEntry& entry = entries_[index];
    ArchiveResult result = decodable(entry);
    const uint8_t* packed = data_ + entry.dataOffset;
    const size_t packedSize = static_cast<size_t>(entry.compressedSize);
    if (result == ArchiveResult::ok && entry.method == 0) out.assign(packed, packed + packedSize);
    if (result == ArchiveResult::ok && entry.method == 8)
        result = inflateBounded(packed, packedSize, static_cast<size_t>(entry.uncompressedSize), Wrapper::raw,
                                out);
    if (result == ArchiveResult::ok && crc32Of(out.data(), out.size()) != entry.crc)
        result = ArchiveResult::checksumMismatch;
    if (result == ArchiveResult::ok) return {};
    out.clear();
    return {result, entry.path};
}

ArchiveError ZipArchive::readStart(size_t index, size_t count, std::vector<uint8_t>& out) const
{
    out.clear();
    if (index >= entries_.size()) return {ArchiveResult::badReplacement, {}};
    const ZipEntry& entry = entries_[index];
    ArchiveResult result = decodable(entry);
    const uint8_t* packed = data_ + entry.dataOffset;
    const size_t packedSize = static_cast<size_t>(entry.compressedSize);
    if (result == ArchiveResult::ok && entry.method == 0)
        out.assign(packed, packed + std::min(packedSize, count));
    if (result == ArchiveResult::ok && entry.method == 8)
        result = inflateStart(packed, packedSize, count, Wrapper::raw, out);
    if (result == ArchiveResult::ok) return {};
    out.clear();
    return {result, entry.path};
}

std::span<const uint8_t> ZipArchive::rawEntry(size_t index) const
{
    const ZipEntry& entry = entries_[index];
    return {data_ + entry.localOffset, static_cast<size_t>(entry.endOffset - entry.localOffset)};
}

std::vector<uint8_t> ZipArchive::centralRecordWithoutOffset(size_t index) const
{
    const ZipEntry& entry = entries_[index];
    std::vector<uint8_t> record(data_ + entry.centralOffset,
                                data_ + entry.centralOffset + entry.centralLength);
    Zip64Fields zip64;
    findZip64Fields(record.data(), record.size(), kCentralLayout, zip64);
    if (zip64.at[2] != 0)
        store64(record.data() + zip64.at[2], 0);
    else
        store32(record.data() + 42, 0);
    return record;
}

} // namespace scourvane::archive
