#include "archive/archive_result.h"

namespace scourvane::archive
{

namespace
{

const char* reasonText(ArchiveResult result)
{
    switch (result)
    {
    case ArchiveResult::ok:
        return "";
    case ArchiveResult::notAnArchive:
        return "not a zip or TA archive";
    case ArchiveResult::sevenZipNotSupported:
        return "cannot rewrite 7z archives; unpack, clean and repack it";
    case ArchiveResult::truncated:
        return "the archive ends inside a structure";
    case ArchiveResult::endRecordNotFound:
        return "no end of central directory record at the end of the zip";
    case ArchiveResult::multiDiskArchive:
        return "split (multi-disk) zip archives are not supported";
    case ArchiveResult::badZip64Record:
        return "the ZIP64 end record or its locator is wrong";
    case ArchiveResult::badCentralDirectory:
        return "the central directory is malformed";
    case ArchiveResult::badLocalHeader:
        return "the local header does not match the central directory";
    case ArchiveResult::badDataDescriptor:
        return "the data descriptor does not match the central directory";
    case ArchiveResult::overlappingEntries:
        return "the entry shares bytes with another part of the archive";
    case ArchiveResult::encryptedEntry:
        return "the entry is encrypted";
    case ArchiveResult::unsupportedMethod:
        return "the entry uses a compression method this program cannot handle";
    case ArchiveResult::entryTooLarge:
        return "the entry is larger than its data could hold or than is allowed";
    case ArchiveResult::badCompressedData:
        return "the compressed data is corrupt";
    case ArchiveResult::sizeMismatch:
        return "the data decodes to a size other than the one declared";
    case ArchiveResult::checksumMismatch:
        return "the data does not match its checksum";
    case ArchiveResult::kingdomsArchive:
        return "archives of TA: Kingdoms (version 2) are not supported";
    case ArchiveResult::savedGame:
        return "saved games (BANK) are not archives this program edits";
    case ArchiveResult::unknownVersion:
        return "the TA archive has an unknown version";
    case ArchiveResult::badDirectory:
        return "the directory is malformed";
    case ArchiveResult::directoryCycle:
        return "the directory leads back into a folder already read";
    case ArchiveResult::directoryTooDeep:
        return "the folders are nested too deep";
    case ArchiveResult::badChunk:
        return "a compressed chunk or the chunk table is malformed";
    case ArchiveResult::badReplacement:
        return "the replacement does not name a file of the archive once";
    case ArchiveResult::rewriteMismatch:
        return "the rewritten archive does not hold what it should";
    case ArchiveResult::unsupportedLayout:
        return "the zip is laid out so that a rewritten archive would not read back the same; unpack, "
               "clean and repack it";
    case ArchiveResult::unreferencedBytes:
        return "it ends with bytes that nothing in it refers to and that are not the game's copyright "
               "line; rewriting it would lose them";
    }
    return "unknown failure";
}

} // namespace

std::string describeArchiveError(const ArchiveError& error)
{
    if (error.ok()) return "";
    std::string text = error.entry.empty() ? std::string() : error.entry + ": ";
    return text + reasonText(error.result);
}

} // namespace scourvane::archive
