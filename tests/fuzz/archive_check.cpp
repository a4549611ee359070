#include "fuzz/archive_check.h"

#include "archive/archive.h"
#include "textures/gaf_names.h"

#include <vector>

namespace scourvane::fuzz
{

namespace
{

// Entries past this are skipped so one input cannot stall the fuzzer; the readers' own bound is larger.
constexpr uint64_t kLargestRead = uint64_t(1) << 24;

template <typename Reader, typename Entries>
std::string check(const uint8_t* data, size_t size, const Entries& (Reader::*entries)() const,
                  bool (*replaceable)(const typename Entries::value_type&))
{
    Reader reader;
    const archive::ArchiveError error = reader.open(data, size);
    if (!error.ok()) return describeArchiveError(error).empty() ? "a refusal without a reason" : "";
    std::vector<uint8_t> bytes;
    const std::vector<uint8_t> model = {'3', 'd', 'o'};
    std::vector<archive::Replacement> replacements;
    for (size_t i = 0; i < (reader.*entries)().size(); ++i)
    {
        const auto& entry = (reader.*entries)()[i];
        if (!replaceable(entry)) continue;
        if (replacements.empty()) replacements.push_back({i, model});
        const archive::ArchiveError read = reader.read(i, bytes);
        if (!read.ok() && describeArchiveError(read).empty()) return "a failed read without a reason";
    }
    std::vector<uint8_t> rewritten;
    const archive::ArchiveError rewrite = reader.rewrite(replacements, rewritten);
    if (!rewrite.ok())
        return describeArchiveError(rewrite).empty() ? "a failed rewrite without a reason" : "";
    const archive::ArchiveError verified =
        archive::verifyRewrite(data, size, rewritten.data(), rewritten.size(), replacements);
    if (!verified.ok()) return "the rewrite does not verify: " + describeArchiveError(verified);
    return "";
}

} // namespace

std::string checkZipArchive(const uint8_t* data, size_t size)
{
    // The kind is told by signature, so verifying needs an image that starts like a zip.
    if (archive::detectArchiveKind(data, size) != archive::ArchiveKind::zip)
    {
        archive::ZipArchive zip;
        const archive::ArchiveError error = zip.open(data, size);
        return error.ok() || !describeArchiveError(error).empty() ? "" : "a refusal without a reason";
    }
    return check<archive::ZipArchive>(data, size, &archive::ZipArchive::entries,
                                      [](const archive::ZipEntry& e)
                                      {
                                          return !e.folder && !e.encrypted() &&
                                                 (e.method == 0 || e.method == 8) &&
                                                 e.uncompressedSize <= kLargestRead;
                                      });
}

std::string checkHpiArchive(const uint8_t* data, size_t size)
{
    return check<archive::HpiArchive>(data, size, &archive::HpiArchive::files,
                                      [](const archive::HpiFile& f) { return f.size <= kLargestRead; });
}

std::string checkGafNames(const uint8_t* data, size_t size)
{
    std::vector<GafEntryName> entries;
    GafError error;
    const GafResult result = readGafEntryNames(data, size, entries, &error);
    if (result != error.result) return "the result and the error's disagree";
    if (result != GafResult::ok) return entries.empty() ? "" : "a failure with names";
    const uint32_t count = size >= 8 ? uint32_t{data[4]} | uint32_t{data[5]} << 8 | uint32_t{data[6]} << 16 |
                                           uint32_t{data[7]} << 24
                                     : 0;
    if (entries.size() != count) return "not one name per table entry";
    for (const GafEntryName& entry : entries)
        if (entry.name.size() > 32) return "a name longer than its field";
    return "";
}

} // namespace scourvane::fuzz
