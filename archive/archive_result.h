// What an archive operation found wrong (one code per kind of failure, with the entry it concerns),
// and what a rewrite is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace scourvane::archive
{

enum class ArchiveResult : uint8_t
{
    ok,
    notAnArchive,         // no zip or TA archive signature
    sevenZipNotSupported, // a 7z archive: neither read nor rewritten here
    truncated,            // a structure runs past the end of the file
    // zip
    endRecordNotFound,   // no end-of-central-directory record at the end of the file
    multiDiskArchive,    // parts of a split archive
    badZip64Record,      // ZIP64 locator or end record missing or inconsistent
    badCentralDirectory, // central directory records malformed or counted wrongly
    badLocalHeader,      // a local header missing or disagreeing with its central record
    badDataDescriptor,   // a data descriptor disagreeing with its central record
    overlappingEntries,  // entries sharing bytes (or reaching into the central directory)
    encryptedEntry,      // encrypted data cannot be read or replaced
    unsupportedMethod,   // a compression method this program cannot decode or encode
    // both
    entryTooLarge,     // an entry larger than the reader allows, or than its data could hold
    badCompressedData, // a deflate, zlib or LZ77 stream that does not decode
    sizeMismatch,      // data decoding to more or fewer bytes than declared
    checksumMismatch,  // CRC-32 or chunk byte sum wrong
    // TA archive
    kingdomsArchive,  // version 0x00020000, the sequel's layout
    savedGame,        // a 'BANK' saved game
    unknownVersion,   // any other version word
    badDirectory,     // offsets outside the file, bad counts, bad names
    directoryCycle,   // a folder reached twice
    directoryTooDeep, // folders nested deeper than the reader follows
    badChunk,         // a chunk header or chunk table wrong
    // rewriting and verifying
    badReplacement,    // a replacement naming no entry, a folder, or one entry twice
    rewriteMismatch,   // the rewritten image does not hold what it should
    unreferencedBytes, // TA archive: bytes at its end that nothing refers to would be lost
    unsupportedLayout, // zip: laid out so that a rewrite would not read back the same
};

// A result and the entry it concerns ("" for the archive as a whole).
struct ArchiveError
{
    ArchiveResult result = ArchiveResult::ok;
    std::string entry;

    bool ok() const { return result == ArchiveResult::ok; }
};

// One sentence naming the entry (when there is one) and the reason, such as
// "units/arm.3do: the data does not match its CRC-32". "" for ok.
std::string describeArchiveError(const ArchiveError& error);

// An entry's new uncompressed contents, for a rewrite. `bytes` must stay alive during the call.
struct Replacement
{
    size_t entry = 0;
    std::span<const uint8_t> bytes;
};

// The largest entry any reader of this room unpacks (and so allocates for).
inline constexpr uint64_t kMaxEntrySize = uint64_t(1) << 30;

} // namespace scourvane::archive
