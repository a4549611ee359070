// Writing a new zip image: untouched entries copied raw, replaced ones compressed with their own
// method, the central directory copied record by record with offsets (and a replaced entry's CRC and
// sizes) patched, ZIP64 end records where the numbers need them.
#include "archive/archive.h"
#include "archive/byte_io.h"
#include "archive/deflate.h"
#include "archive/zip_archive.h"
#include "archive/zip_format.h"

#include <algorithm>
#include <numeric>

namespace scourvane::archive
{

using namespace detail;

namespace
{

// New values for a record's wide fields; the ones left unset keep what they hold.
struct WideValues
{
    bool set[3] = {false, false, false}; // uncompressed size, compressed size, offset
    uint64_t value[3] = {0, 0, 0};
};

// Writes `values` into `record` (a local header or central record, with name, extra and comment):
// into the ZIP64 extra field where the value already lives there, into the 32-bit field where it
// fits, and otherwise into a ZIP64 field added to (or grown in) the extra data, other fields kept.
bool patchWideFields(std::vector<uint8_t>& record, const RecordLayout& layout, const WideValues& values)
{
    Zip64Fields zip64;
    if (!findZip64Fields(record.data(), record.size(), layout, zip64)) return false;
    const size_t fieldAt[3] = {layout.uncompressedSize, layout.compressedSize, layout.offset};
    bool grow = false;
    for (int i = 0; i < 3; ++i)
    {
        if (!values.set[i]) continue;
        if (zip64.at[i] != 0)
            store64(record.data() + zip64.at[i], values.value[i]);
        else if (values.value[i] < kMarker32)
            store32(record.data() + fieldAt[i], static_cast<uint32_t>(values.value[i]));
        else
            grow = true;
    }
    if (!grow) return true;

    // A fresh ZIP64 field with every value it held and every one that now needs it. A local header's
    // field holds both sizes whenever it holds one.
    const bool local = layout.offset == 0;
    bool include[4];
    uint64_t wide[4];
    for (int i = 0; i < 4; ++i)
    {
        include[i] = zip64.at[i] != 0 || (i < 3 && values.set[i] && values.value[i] >= kMarker32);
        wide[i] = zip64.at[i] != 0
                      ? (i == 3 ? load32(record.data() + zip64.at[i]) : load64(record.data() + zip64.at[i]))
                      : 0;
        if (i < 3 && values.set[i]) wide[i] = values.value[i];
    }
    if (local && (include[0] || include[1]))
    {
        for (int i = 0; i < 2; ++i)
            if (!include[i])
            {
                include[i] = true;
                if (!values.set[i]) wide[i] = load32(record.data() + fieldAt[i]);
            }
    }
    std::vector<uint8_t> field;
    append16(field, kZip64ExtraId);
    append16(field, 0);
    for (int i = 0; i < 4; ++i)
    {
        if (!include[i]) continue;
        if (i == 3)
        {
            append32(field, static_cast<uint32_t>(wide[i]));
            store16(record.data() + layout.disk, kMarker16);
        }
        else
        {
            append64(field, wide[i]);
            store32(record.data() + fieldAt[i], kMarker32);
        }
    }
    store16(field.data() + 2, static_cast<uint16_t>(field.size() - 4));
    const size_t extraStart = layout.fixed + load16(record.data() + layout.nameLength);
    const size_t oldExtraLength = load16(record.data() + layout.extraLength);
    const size_t replaceAt = zip64.fieldStart != 0 ? zip64.fieldStart : extraStart + oldExtraLength;
    const size_t replaceLength = zip64.fieldStart != 0 ? 4 + zip64.fieldLength : 0;
    const size_t newExtraLength = oldExtraLength - replaceLength + field.size();
    if (newExtraLength > 0xFFFF) return false;
    record.erase(record.begin() + static_cast<std::ptrdiff_t>(replaceAt),
                 record.begin() + static_cast<std::ptrdiff_t>(replaceAt + replaceLength));
    record.insert(record.begin() + static_cast<std::ptrdiff_t>(replaceAt), field.begin(), field.end());
    store16(record.data() + layout.extraLength, static_cast<uint16_t>(newExtraLength));
    return true;
}

struct NewData
{
    std::vector<uint8_t> packed;
    uint32_t crc = 0;
    uint64_t size = 0;
};

} // namespace

ArchiveError ZipArchive::rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const
{
    out.clear();
    std::vector<int64_t> replacementOf(entries_.size(), -1);
    for (size_t r = 0; r < replacements.size(); ++r)
    {
        const size_t index = replacements[r].entry;
        if (index >= entries_.size() || entries_[index].folder || replacementOf[index] >= 0)
            return {ArchiveResult::badReplacement,
                    index < entries_.size() ? entries_[index].path : std::string()};
        const ZipEntry& entry = entries_[index];
        if (entry.encrypted()) return {ArchiveResult::encryptedEntry, entry.path};
        if (entry.method != 0 && entry.method != 8) return {ArchiveResult::unsupportedMethod, entry.path};
        replacementOf[index] = static_cast<int64_t>(r);
    }

    size_t extra = 0;
    for (const Replacement& replacement : replacements)
        extra += replacement.bytes.size() + 64;
    out.reserve(size_ + extra);
    out.assign(data_, data_ + prefixEnd_);

    std::vector<size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [this](size_t a, size_t b) { return entries_[a].localOffset < entries_[b].localOffset; });
    std::vector<uint64_t> newOffset(entries_.size());
    std::vector<NewData> fresh(entries_.size());
    const auto storedOffset = [this](size_t position)
    { return static_cast<uint64_t>(position) - uint64_t(base_); };

    for (const size_t index : order)
    {
        const ZipEntry& entry = entries_[index];
        newOffset[index] = storedOffset(out.size());
        if (replacementOf[index] < 0)
        {
            const std::span<const uint8_t> raw = rawEntry(index);
            out.insert(out.end(), raw.begin(), raw.end());
            continue;
        }
        const std::span<const uint8_t> bytes = replacements[static_cast<size_t>(replacementOf[index])].bytes;
        NewData& made = fresh[index];
        made.size = bytes.size();
        made.crc = crc32Of(bytes.data(), bytes.size());
        if (entry.method == 8)
        {
            if (deflateAll(bytes.data(), bytes.size(), Wrapper::raw, made.packed) != ArchiveResult::ok)
                return {ArchiveResult::badCompressedData, entry.path};
        }
        else
            made.packed.assign(bytes.begin(), bytes.end());

        // The local header as it was, with the new CRC and sizes where it kept them (a streamed
        // entry's header keeps its zeros; its data descriptor carries the numbers).
        std::vector<uint8_t> header(data_ + entry.localOffset, data_ + entry.dataOffset);
        const bool streamed = entry.hasDataDescriptor() && load32(header.data() + 14) == 0 &&
                              load32(header.data() + 18) == 0 && load32(header.data() + 22) == 0;
        if (!streamed)
        {
            store32(header.data() + 14, made.crc);
            WideValues values;
            values.set[0] = values.set[1] = true;
            values.value[0] = made.size;
            values.value[1] = made.packed.size();
            if (!patchWideFields(header, kLocalLayout, values))
                return {ArchiveResult::entryTooLarge, entry.path};
        }
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), made.packed.begin(), made.packed.end());
        if (entry.descriptorLength != 0)
        {
            const bool signature = entry.descriptorLength == 16 || entry.descriptorLength == 24;
            const bool wide = entry.descriptorLength >= 20;
            if (!wide && (made.size >= kMarker32 || made.packed.size() >= kMarker32))
                return {ArchiveResult::entryTooLarge, entry.path};
            if (signature) append32(out, kDescriptorSignature);
            append32(out, made.crc);
            if (wide)
            {
                append64(out, made.packed.size());
                append64(out, made.size);
            }
            else
            {
                append32(out, static_cast<uint32_t>(made.packed.size()));
                append32(out, static_cast<uint32_t>(made.size));
            }
        }
    }

    // The central directory in its own order.
    const size_t centralStart = out.size();
    for (size_t index = 0; index < entries_.size(); ++index)
    {
        const ZipEntry& entry = entries_[index];
        std::vector<uint8_t> record(data_ + entry.centralOffset,
                                    data_ + entry.centralOffset + entry.centralLength);
        WideValues values;
        values.set[2] = true;
        values.value[2] = newOffset[index];
        if (replacementOf[index] >= 0)
        {
            store32(record.data() + 16, fresh[index].crc);
            values.set[0] = values.set[1] = true;
            values.value[0] = fresh[index].size;
            values.value[1] = fresh[index].packed.size();
        }
        if (!patchWideFields(record, kCentralLayout, values))
            return {ArchiveResult::entryTooLarge, entry.path};
        out.insert(out.end(), record.begin(), record.end());
    }
    const uint64_t centralSize = out.size() - centralStart;
    const uint64_t centralOffset = storedOffset(centralStart);
    const uint64_t count = entries_.size();

    // ZIP64 end record and locator when the archive had them or the numbers no longer fit.
    const uint8_t* oldEnd = data_ + endRecordOffset_;
    const bool zip64 = zip64RecordOffset_ != 0 || count >= kMarker16 || centralSize >= kMarker32 ||
                       centralOffset >= kMarker32;
    if (zip64)
    {
        const size_t recordAt = out.size();
        const size_t extensible = zip64RecordOffset_ != 0 ? zip64RecordLength_ - kZip64EndFixed : 0;
        append32(out, kZip64EndSignature);
        append64(out, kZip64EndFixed - 12 + extensible);
        if (zip64RecordOffset_ != 0)
            out.insert(out.end(), data_ + zip64RecordOffset_ + 12, data_ + zip64RecordOffset_ + 16);
        else
        {
            append16(out, 45);
            append16(out, 45);
        }
        append32(out, 0);
        append32(out, 0);
        append64(out, count);
        append64(out, count);
        append64(out, centralSize);
        append64(out, centralOffset);
        if (extensible != 0)
            out.insert(out.end(), data_ + zip64RecordOffset_ + kZip64EndFixed,
                       data_ + zip64RecordOffset_ + zip64RecordLength_);
        append32(out, kZip64LocatorSignature);
        append32(out, 0);
        append64(out, storedOffset(recordAt));
        append32(out, 1);
    }
    const size_t endAt = out.size();
    out.insert(out.end(), oldEnd, data_ + size_);
    uint8_t* end = out.data() + endAt;
    const auto keepMarker16 = [&](size_t at, uint64_t value)
    {
        const bool marker = value >= kMarker16 || (zip64 && load16(end + at) == kMarker16);
        store16(end + at, marker ? kMarker16 : static_cast<uint16_t>(value));
    };
    const auto keepMarker32 = [&](size_t at, uint64_t value)
    {
        const bool marker = value >= kMarker32 || (zip64 && load32(end + at) == kMarker32);
        store32(end + at, marker ? kMarker32 : static_cast<uint32_t>(value));
    };
    keepMarker16(8, count);
    keepMarker16(10, count);
    keepMarker32(12, centralSize);
    keepMarker32(16, centralOffset);
    // Offsets counted from somewhere else than the file's start (bytes ahead of the zip that its
    // offsets do not count) are told again from the new end record, which some layouts make other
    // than before: such a rewrite is proved here, so one that would read otherwise is refused.
    if (base_ != 0)
    {
        const ArchiveError proved = verifyRewrite(data_, size_, out.data(), out.size(), replacements);
        if (!proved.ok())
        {
            out.clear();
            return {ArchiveResult::unsupportedLayout, proved.entry};
        }
    }
    return {};
}

} // namespace scourvane::archive
