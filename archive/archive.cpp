#include "archive/archive.h"

#include "archive/byte_io.h"
#include "archive/zip_format.h"

#include <algorithm>
#include <cstring>

namespace scourvane::archive
{

using namespace detail;

ArchiveKind detectArchiveKind(const uint8_t* data, size_t size)
{
    static const uint8_t kSevenZip[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    if (size >= 6 && std::memcmp(data, kSevenZip, 6) == 0) return ArchiveKind::sevenZip;
    if (size >= 4 && load32(data) == 0x49504148) return ArchiveKind::hpi;
    if (size >= 4 && (load32(data) == kLocalSignature || load32(data) == kEndSignature))
        return ArchiveKind::zip;
    // A zip with bytes ahead of it (a self-extracting stub): an end record near the end.
    const size_t lowest = size > 0xFFFF + 2 * kEndFixed ? size - 0xFFFF - 2 * kEndFixed : 0;
    for (size_t at = size >= kEndFixed ? size - kEndFixed + 1 : 0; at-- > lowest;)
        if (load32(data + at) == kEndSignature) return ArchiveKind::zip;
    return ArchiveKind::unknown;
}

ArchiveError Archive::open(const uint8_t* data, size_t size)
{
    *this = Archive{};
    kind_ = detectArchiveKind(data, size);
    ArchiveError error;
    switch (kind_)
    {
    case ArchiveKind::unknown:
        return {ArchiveResult::notAnArchive, {}};
    case ArchiveKind::sevenZip:
        return {ArchiveResult::sevenZipNotSupported, {}};
    case ArchiveKind::zip:
        error = zip_.open(data, size);
        if (error.ok())
            for (const ZipEntry& entry : zip_.entries())
                entries_.push_back({entry.path, entry.uncompressedSize, entry.folder, entry.compressedSize});
        break;
    case ArchiveKind::hpi:
        error = hpi_.open(data, size);
        if (error.ok())
            for (const HpiFile& file : hpi_.files())
                entries_.push_back({file.path, file.size, false, uint64_t{file.storedEnd} - file.dataOffset});
        break;
    }
    if (!error.ok()) entries_.clear();
    return error;
}

ArchiveError Archive::read(size_t index, std::vector<uint8_t>& out) const
{
    if (kind_ == ArchiveKind::zip) return zip_.read(index, out);
    if (kind_ == ArchiveKind::hpi) return hpi_.read(index, out);
    out.clear();
    return {ArchiveResult::notAnArchive, {}};
}

ArchiveError Archive::readStart(size_t index, size_t count, std::vector<uint8_t>& out) const
{
    if (kind_ == ArchiveKind::zip) return zip_.readStart(index, count, out);
    if (kind_ == ArchiveKind::hpi) return hpi_.readStart(index, count, out);
    out.clear();
    return {ArchiveResult::notAnArchive, {}};
}

ArchiveError Archive::rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const
{
    if (kind_ == ArchiveKind::zip) return zip_.rewrite(replacements, out);
    if (kind_ == ArchiveKind::hpi) return hpi_.rewrite(replacements, out);
    out.clear();
    return {ArchiveResult::notAnArchive, {}};
}

ArchiveError verifyRewrite(const uint8_t* original, size_t originalSize, const uint8_t* rewritten,
                           size_t rewrittenSize, std::span<const Replacement> replacements)
{
    Archive before;
    Archive after;
    ArchiveError error = before.open(original, originalSize);
    if (!error.ok()) return error;
    error = after.open(rewritten, rewrittenSize);
    if (!error.ok()) return error;
    const auto mismatch = [](const std::string& entry) {
        return ArchiveError{ArchiveResult::rewriteMismatch, entry};
    };
    if (before.kind() != after.kind() || before.entries().size() != after.entries().size())
        return mismatch({});
    const size_t count = before.entries().size();
    std::vector<const Replacement*> replacementOf(count, nullptr);
    for (const Replacement& replacement : replacements)
    {
        if (replacement.entry >= count || replacementOf[replacement.entry] != nullptr)
            return {ArchiveResult::badReplacement, {}};
        replacementOf[replacement.entry] = &replacement;
    }

    std::vector<uint8_t> left;
    std::vector<uint8_t> right;
    for (size_t i = 0; i < count; ++i)
    {
        const std::string& path = after.entries()[i].path;
        if (before.entries()[i].path != path) return mismatch(path);
        if (const Replacement* replacement = replacementOf[i])
        {
            error = after.read(i, right);
            if (!error.ok()) return error;
            if (!std::equal(right.begin(), right.end(), replacement->bytes.begin(), replacement->bytes.end()))
                return mismatch(path);
            continue;
        }
        if (before.kind() == ArchiveKind::zip)
        {
            const std::span<const uint8_t> a = before.zip().rawEntry(i);
            const std::span<const uint8_t> b = after.zip().rawEntry(i);
            if (!std::equal(a.begin(), a.end(), b.begin(), b.end()) ||
                before.zip().centralRecordWithoutOffset(i) != after.zip().centralRecordWithoutOffset(i))
                return mismatch(path);
        }
        else
        {
            // Compared a piece at a time, so that no file is ever deciphered whole twice over.
            const HpiFile& a = before.hpi().files()[i];
            const HpiFile& b = after.hpi().files()[i];
            const size_t stored = a.storedEnd - a.dataOffset;
            if (stored != b.storedEnd - b.dataOffset || a.size != b.size || a.method != b.method)
                return mismatch(path);
            constexpr size_t piece = size_t{1} << 16;
            left.resize(piece);
            right.resize(piece);
            for (size_t from = 0; from < stored; from += piece)
            {
                const size_t length = std::min(piece, stored - from);
                before.hpi().storedRange(i, from, length, left.data());
                after.hpi().storedRange(i, from, length, right.data());
                if (std::memcmp(left.data(), right.data(), length) != 0) return mismatch(path);
            }
        }
    }
    return {};
}

} // namespace scourvane::archive
