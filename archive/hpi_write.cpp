// Writing TA's container anew: the directory laid out at offset 20 in its own order, then the
// files, then the whole image past the header enciphered for its new positions.
#include "archive/byte_io.h"
#include "archive/deflate.h"
#include "archive/hpi_archive.h"
#include "archive/hpi_format.h"
#include "archive/lz77.h"

#include <algorithm>
#include <limits>

namespace scourvane::archive
{

using namespace detail;

namespace
{

// Appends `bytes` as a file of `method`: plain, or a chunk table and 64 KiB chunks.
ArchiveResult appendFile(std::span<const uint8_t> bytes, uint8_t method, uint8_t encodedFlag,
                         std::vector<uint8_t>& out, Lz77Tables& tables)
{
    if (method == 0)
    {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return ArchiveResult::ok;
    }
    const size_t chunks = (bytes.size() + kHpiChunkSize - 1) / kHpiChunkSize;
    const size_t tableAt = out.size();
    out.resize(out.size() + chunks * 4);
    std::vector<uint8_t> packed;
    for (size_t c = 0; c < chunks; ++c)
    {
        const size_t from = c * kHpiChunkSize;
        const size_t length = std::min(kHpiChunkSize, bytes.size() - from);
        packed.clear();
        if (method == 1)
            lz77Encode(bytes.data() + from, length, packed, tables);
        else if (deflateAll(bytes.data() + from, length, Wrapper::zlib, packed) != ArchiveResult::ok)
            return ArchiveResult::badCompressedData;
        uint32_t sum = 0;
        if (encodedFlag != 0)
            for (size_t x = 0; x < packed.size(); ++x)
                packed[x] = scramble(packed[x], x);
        for (const uint8_t byte : packed)
            sum += byte;
        const size_t stored = kHpiChunkHeaderSize + packed.size();
        store32(out.data() + tableAt + c * 4, static_cast<uint32_t>(stored));
        append32(out, kSqshMarker);
        out.push_back(kSqshVersion);
        out.push_back(method);
        out.push_back(encodedFlag);
        append32(out, static_cast<uint32_t>(packed.size()));
        append32(out, static_cast<uint32_t>(length));
        append32(out, sum);
        out.insert(out.end(), packed.begin(), packed.end());
    }
    return ArchiveResult::ok;
}

} // namespace

ArchiveError HpiArchive::rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const
{
    out.clear();
    std::vector<const Replacement*> replacementOf;
    ArchiveError error = mapReplacements(replacements, replacementOf);
    if (!error.ok()) return error;
    out.reserve(size_);
    out.assign(data_, data_ + kHpiHeaderSize);
    std::vector<size_t> recordAt;
    layDirectory(out, recordAt);
    store32(out.data() + 8, static_cast<uint32_t>(out.size()));
    store32(out.data() + 16, static_cast<uint32_t>(kHpiHeaderSize));
    error = appendFiles(replacementOf, recordAt, out);
    if (!error.ok()) return error;
    if (ciphered_)
        hpiCipherBytes(cipher_, kHpiHeaderSize, out.data() + kHpiHeaderSize, out.size() - kHpiHeaderSize,
                       out.data() + kHpiHeaderSize);
    if (trailer_) out.insert(out.end(), data_ + dataEnd_, data_ + size_);
    return {};
}

ArchiveError HpiArchive::mapReplacements(std::span<const Replacement> replacements,
                                         std::vector<const Replacement*>& replacementOf) const
{
    // Bytes past everything the directory refers to, and no copyright line the game knows, would be
    // lost in the rewrite: such an archive is left as it is.
    size_t referencedEnd = load32(data_ + 8); // the directory's end, in the clear header
    for (const HpiFile& file : files_)
        referencedEnd = std::max<size_t>(referencedEnd, file.storedEnd);
    if (referencedEnd < dataEnd_) return {ArchiveResult::unreferencedBytes, std::string()};
    replacementOf.assign(files_.size(), nullptr);
    for (const Replacement& replacement : replacements)
    {
        if (replacement.entry >= files_.size() || replacementOf[replacement.entry] != nullptr)
            return {ArchiveResult::badReplacement,
                    replacement.entry < files_.size() ? files_[replacement.entry].path : std::string()};
        if (replacement.bytes.size() > std::numeric_limits<uint32_t>::max())
            return {ArchiveResult::entryTooLarge, files_[replacement.entry].path};
        replacementOf[replacement.entry] = &replacement;
    }
    return {};
}

void HpiArchive::layDirectory(std::vector<uint8_t>& out, std::vector<size_t>& recordAt) const
{
    // Depth first: a node, its entry table, then per entry its name and either the folder's own
    // layout or the file's record (its data offset filled in as the files are written).
    recordAt.assign(files_.size(), 0);
    struct Frame
    {
        size_t node;
        size_t table;
        size_t next;
    };
    std::vector<Frame> stack;
    const auto layNode = [&](size_t nodeIndex)
    {
        const Node& node = nodes_[nodeIndex];
        const size_t at = out.size();
        append32(out, static_cast<uint32_t>(node.itemCount));
        append32(out, static_cast<uint32_t>(at + 8));
        out.resize(out.size() + node.itemCount * kEntrySize);
        stack.push_back(Frame{nodeIndex, at + 8, 0});
        return at;
    };
    layNode(0);
    while (!stack.empty())
    {
        Frame& frame = stack.back();
        const Node& node = nodes_[frame.node];
        if (frame.next == node.itemCount)
        {
            stack.pop_back();
            continue;
        }
        const Item& item = items_[node.firstItem + frame.next];
        const size_t entryAt = frame.table + frame.next * kEntrySize;
        ++frame.next;
        store32(out.data() + entryAt, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), item.name.begin(), item.name.end());
        out.push_back(0);
        out[entryAt + 8] = item.flag;
        if (item.flag & 1)
        {
            const size_t nodeAt = layNode(item.target); // invalidates `frame`
            store32(out.data() + entryAt + 4, static_cast<uint32_t>(nodeAt));
            continue;
        }
        store32(out.data() + entryAt + 4, static_cast<uint32_t>(out.size()));
        recordAt[item.target] = out.size();
        out.resize(out.size() + kRecordSize);
    }
}

ArchiveError HpiArchive::appendFiles(const std::vector<const Replacement*>& replacementOf,
                                     const std::vector<size_t>& recordAt, std::vector<uint8_t>& out) const
{
    // In order: untouched files as stored, replaced ones encoded anew; each record then says where.
    Lz77Tables tables;
    for (size_t i = 0; i < files_.size(); ++i)
    {
        const HpiFile& file = files_[i];
        const size_t dataAt = out.size();
        if (replacementOf[i] == nullptr)
        {
            out.resize(dataAt + (file.storedEnd - file.dataOffset));
            decipher(file.dataOffset, file.storedEnd - file.dataOffset, out.data() + dataAt);
        }
        else if (appendFile(replacementOf[i]->bytes, file.method, file.encodedFlag, out, tables) !=
                 ArchiveResult::ok)
            return {ArchiveResult::badCompressedData, file.path};
        if (out.size() > std::numeric_limits<uint32_t>::max())
            return {ArchiveResult::entryTooLarge, file.path};
        uint8_t* record = out.data() + recordAt[i];
        store32(record, static_cast<uint32_t>(dataAt));
        store32(record + 4,
                replacementOf[i] ? static_cast<uint32_t>(replacementOf[i]->bytes.size()) : file.size);
        record[8] = file.method;
    }
    return {};
}

} // namespace scourvane::archive
