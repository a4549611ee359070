// Writing a new zip image: untouched entries copied raw, replaced ones compressed with their own
// method, the central directory copied record by record with offsets (and a replaced entry's CRC and
// sizes) patched, ZIP64 end records where the numbers need them.
#include "archive/archive.h"
#include "archive/byte_io.h"
#include "archive/deflate.h"
#include "archive/zip_archive.h"
#include "archive/zip_format.h"

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

// A replaced entry's new data, compressed, and its CRC and size.
struct NewData
{
    std::vector<uint8_t> packed;
    uint32_t crc = 0;
    uint64_t size = 0;
};

// An offset as the archive stores it: bytes ahead that its offsets do not count left out.
uint64_t storedOffset(size_t position, int64_t base)
{
    return static_cast<uint64_t>(position) - uint64_t(base);
}

// Which replacement each entry takes (-1: none). A replacement must name a file entry, once, that
// this program can write: not encrypted, stored or deflate.
ArchiveError mapReplacements(const std::vector<ZipEntry>& entries, std::span<const Replacement> replacements,
                             std::vector<int64_t>& replacementOf)
{
    replacementOf.assign(entries.size(), -1);
    for (size_t r = 0; r < replacements.size(); ++r)
    {
        const size_t index = replacements[r].entry;
        if (index >= entries.size() || entries[index].folder || replacementOf[index] >= 0)
            return {ArchiveResult::badReplacement,
                    index < entries.size() ? entries[index].path : std::string()};
        const ZipEntry& entry = entries[index];
        if (entry.encrypted()) return {ArchiveResult::encryptedEntry, entry.path};
        if (entry.method != 0 && entry.method != 8) return {ArchiveResult::unsupportedMethod, entry.path};
        replacementOf[index] = static_cast<int64_t>(r);
    }
    return {};
}

// The data descriptor of a replaced entry in the form the old one had: with or without its
// signature, with 4- or 8-byte sizes. False when the sizes no longer fit the form.
bool appendDescriptor(uint8_t descriptorLength, const NewData& made, std::vector<uint8_t>& out)
{
    const bool signature = descriptorLength == 16 || descriptorLength == 24;
    const bool wide = descriptorLength >= 20;
    if (!wide && (made.size >= kMarker32 || made.packed.size() >= kMarker32)) return false;
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
    return true;
}

// Appends a replaced entry (its old local header at `oldHeader`): `bytes` compressed by the entry's
// own method, behind the old header with the new CRC and sizes, and before a data descriptor when
// the entry had one. `made` keeps the numbers for the central record.
ArchiveResult appendReplaced(const ZipEntry& entry, const uint8_t* oldHeader, std::span<const uint8_t> bytes,
                             NewData& made, std::vector<uint8_t>& out)
{
    made.size = bytes.size();
    made.crc = crc32Of(bytes.data(), bytes.size());
    if (entry.method == 8)
    {
        if (deflateAll(bytes.data(), bytes.size(), Wrapper::raw, made.packed) != ArchiveResult::ok)
            return ArchiveResult::badCompressedData;
    }
    else
        made.packed.assign(bytes.begin(), bytes.end());

    // A streamed entry's header keeps its zeros; its data descriptor carries the numbers.
    std::vector<uint8_t> header(oldHeader, oldHeader + (entry.dataOffset - entry.localOffset));
    const bool streamed = entry.hasDataDescriptor() && load32(header.data() + 14) == 0 &&
                          load32(header.data() + 18) == 0 && load32(header.data() + 22) == 0;
    if (!streamed)
    {
        store32(header.data() + 14, made.crc);
        WideValues values;
        values.set[0] = values.set[1] = true;
        values.value[0] = made.size;
        values.value[1] = made.packed.size();
        if (!patchWideFields(header, kLocalLayout, values)) return ArchiveResult::entryTooLarge;
    }
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), made.packed.begin(), made.packed.end());
    if (entry.descriptorLength != 0 && !appendDescriptor(entry.descriptorLength, made, out))
        return ArchiveResult::entryTooLarge;
    return ArchiveResult::ok;
}

} // namespace

// What the new image holds, entry by entry.
struct ZipArchive::Layout
{
    std::vector<int64_t> replacementOf; // index into the replacements, or -1
    std::vector<uint64_t> newOffset;    // of the local header, as the archive stores it
    std::vector<NewData> fresh;         // a replaced entry's new data
};

ArchiveError ZipArchive::rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const
{
    out.clear();
    Layout layout;
    ArchiveError error = mapReplacements(entries_, replacements, layout.replacementOf);
    if (!error.ok()) return error;

    size_t extra = 0;
    for (const Replacement& replacement : replacements)
        extra += replacement.bytes.size() + 64;
    out.reserve(size_ + extra);
    out.assign(data_, data_ + prefixEnd_);
    error = appendEntries(replacements, layout, out);
    if (!error.ok()) return error;
    const size_t centralStart = out.size();
    error = appendCentralDirectory(layout, out);
    if (!error.ok()) return error;
    appendEndRecords(centralStart, out);

    // A zip is found from its end, and bytes moved by the rewrite can come to look like records
    // there that were not (a ZIP64 locator's signature just ahead of the end record, offsets counted
    // from bytes ahead of the zip told anew): every rewrite is proved here, so one that would read
    // otherwise is refused rather than handed back.
    const ArchiveError proved = verifyRewrite(data_, size_, out.data(), out.size(), replacements);
    if (!proved.ok())
    {
        out.clear();
        return {ArchiveResult::unsupportedLayout, proved.entry};
    }
    return {};
}

ArchiveError ZipArchive::appendEntries(std::span<const Replacement> replacements, Layout& layout,
                                       std::vector<uint8_t>& out) const
{
    // In the order they stood: untouched entries copied raw, replaced ones made anew.
    layout.newOffset.resize(entries_.size());
    layout.fresh.resize(entries_.size());
    for (const size_t index : inImageOrder())
    {
        const ZipEntry& entry = entries_[index];
        layout.newOffset[index] = storedOffset(out.size(), base_);
        const int64_t replacement = layout.replacementOf[index];
        if (replacement < 0)
        {
            const std::span<const uint8_t> raw = rawEntry(index);
            out.insert(out.end(), raw.begin(), raw.end());
            continue;
        }
        const std::span<const uint8_t> bytes = replacements[static_cast<size_t>(replacement)].bytes;
        const ArchiveResult result =
            appendReplaced(entry, data_ + entry.localOffset, bytes, layout.fresh[index], out);
        if (result != ArchiveResult::ok) return {result, entry.path};
    }
    return {};
}

ArchiveError ZipArchive::appendCentralDirectory(const Layout& layout, std::vector<uint8_t>& out) const
{
    // In its own order, each record as it was but for the new offset (and a replaced entry's CRC
    // and sizes).
    for (size_t index = 0; index < entries_.size(); ++index)
    {
        const ZipEntry& entry = entries_[index];
        std::vector<uint8_t> record(data_ + entry.centralOffset,
                                    data_ + entry.centralOffset + entry.centralLength);
        WideValues values;
        values.set[2] = true;
        values.value[2] = layout.newOffset[index];
        if (layout.replacementOf[index] >= 0)
        {
            const NewData& made = layout.fresh[index];
            store32(record.data() + 16, made.crc);
            values.set[0] = values.set[1] = true;
            values.value[0] = made.size;
            values.value[1] = made.packed.size();
        }
        if (!patchWideFields(record, kCentralLayout, values))
            return {ArchiveResult::entryTooLarge, entry.path};
        out.insert(out.end(), record.begin(), record.end());
    }
    return {};
}

void ZipArchive::appendEndRecords(size_t centralStart, std::vector<uint8_t>& out) const
{
    const uint64_t centralSize = out.size() - centralStart;
    const uint64_t centralOffset = storedOffset(centralStart, base_);
    const uint64_t count = entries_.size();
    // ZIP64 end record and locator when the archive had them or the numbers no longer fit.
    const bool zip64 = zip64RecordOffset_ != 0 || count >= kMarker16 || centralSize >= kMarker32 ||
                       centralOffset >= kMarker32;
    if (zip64) appendZip64End(count, centralSize, centralOffset, out);

    // The old end record and everything after it, with the new numbers; a field that held the
    // marker keeps it while a ZIP64 end record carries the number.
    const size_t endAt = out.size();
    out.insert(out.end(), data_ + endRecordOffset_, data_ + size_);
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
}

void ZipArchive::appendZip64End(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                                std::vector<uint8_t>& out) const
{
    // An old record's versions and extensible data are kept; a new one says version 4.5.
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
    append64(out, storedOffset(recordAt, base_));
    append32(out, 1);
}

} // namespace scourvane::archive
