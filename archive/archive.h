// The archive room's front: tell an archive's kind by its signature, and read, rewrite and verify
// zip and TA archives through one view. Everything works on images in memory; saving is the
// caller's.
#pragma once

#include "archive/archive_result.h"
#include "archive/hpi_archive.h"
#include "archive/zip_archive.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace scourvane::archive
{

enum class ArchiveKind : uint8_t
{
    unknown,
    zip,      // .sdz, .zip
    hpi,      // .hpi .ufo .ccx .gp3
    sevenZip, // .sd7: recognised so callers can say it cannot be rewritten
};

// The kind of archive the bytes hold, by signature alone: a zip local header or end record at the
// start (an empty zip) or one near the end (bytes ahead of the zip), "HAPI", or 7z's signature;
// whatever the name's extension says.
ArchiveKind detectArchiveKind(const uint8_t* data, size_t size);

struct ArchiveEntry
{
    std::string path;  // with '/'
    uint64_t size = 0; // uncompressed
    bool folder = false;
    uint64_t storedSize = 0; // as the archive holds it (compressed, with a TA file's chunk table)
};

// One zip or TA archive image, opened whole. The image must outlive the object and stay unchanged.
class Archive
{
  public:
    // Detects the kind and reads every structure of the archive (no entry data decoded, but TA
    // chunk checksums checked). 7z archives fail with sevenZipNotSupported, other bytes with
    // notAnArchive.
    ArchiveError open(const uint8_t* data, size_t size);

    ArchiveKind kind() const { return kind_; }
    // Entries in the archive's own order: zip in central directory order (folders included), TA
    // archives' files in directory order.
    const std::vector<ArchiveEntry>& entries() const { return entries_; }

    // The uncompressed bytes of entry `index`, every check applied.
    ArchiveError read(size_t index, std::vector<uint8_t>& out) const;

    // At most the first `count` bytes of entry `index`, decoding no more of it than that needs (no
    // checksum can be checked on a part): a look at a model's header before it is read whole.
    ArchiveError readStart(size_t index, size_t count, std::vector<uint8_t>& out) const;

    // A new image with each replaced entry holding its new bytes and every other entry kept as it
    // was stored (see ZipArchive::rewrite and HpiArchive::rewrite).
    ArchiveError rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const;

    const ZipArchive& zip() const { return zip_; }
    const HpiArchive& hpi() const { return hpi_; }

  private:
    ArchiveKind kind_ = ArchiveKind::unknown;
    ZipArchive zip_;
    HpiArchive hpi_;
    std::vector<ArchiveEntry> entries_;
};

// Checks a rewritten image before it replaces the original: opens it whole with this room's
// reader, requires the same entries with the same paths in the same order, decodes each replaced
// entry and compares it with its replacement bytes, and compares every other entry's stored bytes
// (zip: local header, data and descriptor, and the central record apart from its offset; TA: the
// deciphered data or chunks) with the original's. Untouched entries are never decompressed. Fails
// with rewriteMismatch naming the first entry that differs, or with the reader's own failure.
ArchiveError verifyRewrite(const uint8_t* original, size_t originalSize, const uint8_t* rewritten,
                           size_t rewrittenSize, std::span<const Replacement> replacements);

} // namespace scourvane::archive
