// Zip archives (.sdz, .zip) held in memory: read with every structure checked against every other,
// entries extracted (stored and deflate), and rewritten with chosen entries replaced while every
// other entry's bytes are copied as they were.
#pragma once

#include "archive/archive_result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace scourvane::archive
{

struct ZipEntry
{
    std::string path;    // as stored, with '/'
    uint16_t flags = 0;  // general purpose bit flags
    uint16_t method = 0; // 0 stored, 8 deflate, others kept raw only
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;     // of the local header, as an index into the image
    uint64_t dataOffset = 0;      // of the (compressed) data
    uint64_t endOffset = 0;       // after the data and any data descriptor
    uint8_t descriptorLength = 0; // 0, or 12/16 (with signature) or 20/24 (with signature), 8-byte sizes
    size_t centralOffset = 0;     // of the central record in the image
    size_t centralLength = 0;     // fixed part, name, extra and comment
    bool zip64Local = false;      // the local header carries a ZIP64 extra field
    bool folder = false;          // the path ends in '/'

    bool encrypted() const { return (flags & 0x41) != 0; }
    bool hasDataDescriptor() const { return (flags & 0x08) != 0; }
};

class ZipArchive
{
  public:
    // Reads the end record (and the ZIP64 end record), the whole central directory and every local
    // header and data descriptor from `data`, which must outlive the object and stay unchanged.
    // Entry data is not decoded. Fails with the first fault found, naming the entry.
    ArchiveError open(const uint8_t* data, size_t size);

    const std::vector<ZipEntry>& entries() const { return entries_; }

    // The entry's uncompressed bytes, CRC-checked. Encrypted entries and methods other than stored
    // and deflate fail (encryptedEntry, unsupportedMethod); output never grows past the declared size.
    ArchiveError read(size_t index, std::vector<uint8_t>& out) const;

    // At most the first `count` uncompressed bytes of entry `index` (fewer when it is shorter), with
    // read's checks but its checksum, which needs the whole: a look at an entry before all of it is
    // decoded.
    ArchiveError readStart(size_t index, size_t count, std::vector<uint8_t>& out) const;

    // The entry's bytes as stored: local header, data and data descriptor.
    std::span<const uint8_t> rawEntry(size_t index) const;
    // The entry's central record with its local-header offset fields zeroed, for comparisons that
    // must not see where the entry moved to.
    std::vector<uint8_t> centralRecordWithoutOffset(size_t index) const;

    // A new image of the archive with each replacement's entry holding the new bytes, compressed by
    // the entry's own method (deflate level 9 or stored). Every other entry is copied raw, its central
    // record changed only in its offset; bytes before the first entry and the comment are kept;
    // ZIP64 records are written where sizes, counts or offsets need them.
    ArchiveError rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const;

  private:
    struct Directory;
    struct Layout;

    // The steps of open, in order, each failing with the first fault it finds: the end record and
    // any ZIP64 end record; where the central directory stands (and so where offsets count from);
    // its records; each entry's local header and data descriptor (checked by a helper of
    // zip_read.cpp); and that no two entries share bytes nor reach into the central directory.
    ArchiveResult readEndRecords(Directory& directory);
    ArchiveResult readZip64End(size_t locatorAt, Directory& directory);
    ArchiveResult placeCentralDirectory(const Directory& directory);
    ArchiveError readCentralRecords(const Directory& directory);
    ArchiveError checkOverlaps();
    // Entry indexes in the order their bytes stand in the image.
    std::vector<size_t> inImageOrder() const;

    // The steps of rewrite: the entries, the central directory, the end records.
    ArchiveError appendEntries(std::span<const Replacement> replacements, Layout& layout,
                               std::vector<uint8_t>& out) const;
    ArchiveError appendCentralDirectory(const Layout& layout, std::vector<uint8_t>& out) const;
    void appendEndRecords(size_t centralStart, std::vector<uint8_t>& out) const;
    void appendZip64End(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                        std::vector<uint8_t>& out) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    std::vector<ZipEntry> entries_;
    int64_t base_ = 0;     // added to stored offsets to index the image (bytes prepended unadjusted)
    size_t prefixEnd_ = 0; // bytes kept ahead of the first entry
    size_t centralStart_ = 0;
    size_t zip64RecordOffset_ = 0; // 0 when there is no ZIP64 end record
    size_t zip64RecordLength_ = 0;
    size_t endRecordOffset_ = 0;
};

} // namespace scourvane::archive
