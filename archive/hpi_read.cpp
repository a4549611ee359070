// Reading TA's container: the header, the directory walked with an explicit stack, and every file's
// chunks checked before anything is decoded.
#include "archive/byte_io.h"
#include "archive/deflate.h"
#include "archive/hpi_archive.h"
#include "archive/hpi_format.h"
#include "archive/lz77.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace scourvane::archive
{

using namespace detail;

void HpiArchive::decipher(size_t position, size_t length, uint8_t* out) const
{
    if (ciphered_)
        hpiCipherBytes(cipher_, position, data_ + position, length, out);
    else
        std::copy(data_ + position, data_ + position + length, out);
}

uint32_t HpiArchive::load32At(size_t position) const
{
    uint8_t bytes[4];
    decipher(position, 4, bytes);
    return load32(bytes);
}

// The directory as it is walked: its bounds, what has been entered, and the folders open.
struct HpiArchive::DirectoryWalk
{
    struct Frame
    {
        size_t node;
        size_t next;
        std::string prefix;
    };

    uint32_t start = 0; // of the root node, which begins the directory
    uint32_t end = 0;
    uint64_t entryBudget = 0; // entries the directory could still hold
    std::unordered_set<uint32_t> seenNodes;
    std::unordered_set<uint32_t> seenEntryTables;
    std::vector<Frame> stack;

    bool inside(uint64_t offset, uint64_t length) const
    {
        return offset >= start && fits(offset, length, end);
    }
};

ArchiveError HpiArchive::open(const uint8_t* data, size_t size)
{
    *this = HpiArchive{};
    data_ = data;
    size_ = size;
    DirectoryWalk walk;
    ArchiveError error{readHeader(walk), {}};
    if (error.ok()) error = walkDirectory(walk);
    if (error.ok()) error = checkOverlaps(walk);
    if (error.ok()) return {};
    files_.clear();
    nodes_.clear();
    items_.clear();
    return error;
}

ArchiveResult HpiArchive::readHeader(DirectoryWalk& walk)
{
    if (size_ < 4 || load32(data_) != kHapiMarker) return ArchiveResult::notAnArchive;
    if (size_ < kHpiHeaderSize) return ArchiveResult::truncated;
    const uint32_t version = load32(data_ + 4);
    if (version == kBankMarker) return ArchiveResult::savedGame;
    if (version == kKingdomsVersion) return ArchiveResult::kingdomsArchive;
    if (version != kHpiVersion) return ArchiveResult::unknownVersion;
    const uint32_t directoryEnd = load32(data_ + 8);
    key_ = load32(data_ + 12);
    const uint32_t start = load32(data_ + 16);
    ciphered_ = hpiCipher(key_, cipher_);
    trailer_ = size_ >= kHpiHeaderSize + kHpiTrailerSize && isHpiTrailer(data_ + size_ - kHpiTrailerSize);
    dataEnd_ = trailer_ ? size_ - kHpiTrailerSize : size_;
    if (start < kHpiHeaderSize || directoryEnd > dataEnd_ || start > directoryEnd || directoryEnd - start < 8)
        return ArchiveResult::badDirectory;
    walk.start = start;
    walk.end = directoryEnd;
    walk.entryBudget = (directoryEnd - start) / kEntrySize;
    return ArchiveResult::ok;
}

ArchiveError HpiArchive::walkDirectory(DirectoryWalk& walk)
{
    ArchiveResult result = enterNode(walk, walk.start, "");
    if (result != ArchiveResult::ok) return {result, {}};
    while (!walk.stack.empty())
    {
        DirectoryWalk::Frame& frame = walk.stack.back();
        const Node node = nodes_[frame.node];
        if (frame.next == node.itemCount)
        {
            walk.stack.pop_back();
            continue;
        }
        const size_t itemIndex = node.firstItem + frame.next++;
        const std::string path = frame.prefix + items_[itemIndex].name;
        const uint32_t targetAt = static_cast<uint32_t>(items_[itemIndex].target);
        if (items_[itemIndex].flag & 1)
        {
            items_[itemIndex].target = nodes_.size();
            result = enterNode(walk, targetAt, path + "/");
            if (result != ArchiveResult::ok) return {result, path};
            continue;
        }
        if (!walk.inside(targetAt, kRecordSize)) return {ArchiveResult::badDirectory, path};
        uint8_t record[kRecordSize];
        decipher(targetAt, kRecordSize, record);
        HpiFile file;
        file.path = path;
        file.dataOffset = load32(record);
        file.size = load32(record + 4);
        file.method = record[8];
        const ArchiveError checked = checkFileStorage(file);
        if (!checked.ok()) return {checked.result, path};
        items_[itemIndex].target = files_.size();
        files_.push_back(std::move(file));
    }
    return {};
}

ArchiveResult HpiArchive::enterNode(DirectoryWalk& walk, uint32_t nodeAt, const std::string& path)
{
    if (!walk.inside(nodeAt, 8)) return ArchiveResult::badDirectory;
    if (!walk.seenNodes.insert(nodeAt).second) return ArchiveResult::directoryCycle;
    if (walk.stack.size() >= kHpiMaxDepth) return ArchiveResult::directoryTooDeep;
    const uint32_t count = load32At(nodeAt);
    const uint32_t tableAt = load32At(nodeAt + 4);
    if (count > walk.entryBudget || !walk.inside(tableAt, uint64_t(count) * kEntrySize))
        return ArchiveResult::badDirectory;
    if (count > 0 && !walk.seenEntryTables.insert(tableAt).second) return ArchiveResult::directoryCycle;
    walk.entryBudget -= count;
    Node node{items_.size(), count};
    for (uint32_t i = 0; i < count; ++i)
    {
        uint8_t raw[kEntrySize];
        decipher(tableAt + i * kEntrySize, kEntrySize, raw);
        Item item;
        item.flag = raw[8];
        const ArchiveResult named = readName(walk, load32(raw), item.name);
        if (named != ArchiveResult::ok) return named;
        item.target = load32(raw + 4); // an offset for now: resolved as the walk reaches it
        items_.push_back(std::move(item));
    }
    nodes_.push_back(node);
    walk.stack.push_back(DirectoryWalk::Frame{nodes_.size() - 1, 0, path});
    return ArchiveResult::ok;
}

ArchiveResult HpiArchive::readName(const DirectoryWalk& walk, uint32_t nameAt, std::string& name) const
{
    // NUL-ended inside the directory, no separators, not empty.
    if (!walk.inside(nameAt, 1)) return ArchiveResult::badDirectory;
    for (size_t at = nameAt;; ++at)
    {
        if (at >= walk.end || name.size() > kMaxNameLength) return ArchiveResult::badDirectory;
        uint8_t c;
        decipher(at, 1, &c);
        if (c == 0) break;
        if (c == '/' || c == '\\') return ArchiveResult::badDirectory;
        name.push_back(static_cast<char>(c));
    }
    if (name.empty() || name == "." || name == "..") return ArchiveResult::badDirectory;
    return ArchiveResult::ok;
}

ArchiveError HpiArchive::checkOverlaps(const DirectoryWalk& walk) const
{
    // A file read twice could make a small archive unpack into a huge one.
    std::vector<std::pair<uint32_t, size_t>> extents;
    extents.reserve(files_.size() + 1);
    for (size_t i = 0; i < files_.size(); ++i)
        if (files_[i].storedEnd > files_[i].dataOffset) extents.emplace_back(files_[i].dataOffset, i);
    std::sort(extents.begin(), extents.end());
    uint32_t reached = 0;
    for (const auto& [offset, index] : extents)
    {
        const HpiFile& file = files_[index];
        if (offset < reached || (offset < walk.end && file.storedEnd > walk.start))
            return {ArchiveResult::overlappingEntries, file.path};
        reached = file.storedEnd;
    }
    return {};
}

ArchiveError HpiArchive::checkFileStorage(HpiFile& file) const
{
    const auto error = [&](ArchiveResult result) { return ArchiveError{result, file.path}; };
    if (file.dataOffset < kHpiHeaderSize) return error(ArchiveResult::badDirectory);
    if (file.method == 0)
    {
        if (!fits(file.dataOffset, file.size, dataEnd_)) return error(ArchiveResult::truncated);
        file.storedEnd = file.dataOffset + file.size;
        return {};
    }
    if (file.method != 1 && file.method != 2) return error(ArchiveResult::unsupportedMethod);
    const uint64_t chunks = (uint64_t(file.size) + kHpiChunkSize - 1) / kHpiChunkSize;
    if (!fits(file.dataOffset, chunks * 4, dataEnd_)) return error(ArchiveResult::truncated);
    uint64_t at = file.dataOffset + chunks * 4;
    uint64_t left = file.size;
    std::vector<uint8_t> payload;
    for (uint64_t c = 0; c < chunks; ++c)
    {
        const uint32_t stored = load32At(static_cast<size_t>(file.dataOffset + c * 4));
        if (stored < kHpiChunkHeaderSize) return error(ArchiveResult::badChunk);
        if (!fits(at, stored, dataEnd_)) return error(ArchiveResult::truncated);
        uint8_t header[kHpiChunkHeaderSize];
        decipher(static_cast<size_t>(at), kHpiChunkHeaderSize, header);
        const uint8_t method = header[5];
        const uint32_t packed = load32(header + 7);
        const uint32_t unpacked = load32(header + 11);
        const uint64_t expected = std::min<uint64_t>(left, kHpiChunkSize);
        if (load32(header) != kSqshMarker || header[4] != kSqshVersion || method > 2 ||
            uint64_t(packed) + kHpiChunkHeaderSize != stored || unpacked != expected ||
            (method == 0 && packed != unpacked))
            return error(ArchiveResult::badChunk);
        if (c == 0) file.encodedFlag = header[6];
        payload.resize(packed);
        decipher(static_cast<size_t>(at + kHpiChunkHeaderSize), packed, payload.data());
        uint32_t sum = 0;
        for (const uint8_t byte : payload)
            sum += byte;
        if (sum != load32(header + 15)) return error(ArchiveResult::checksumMismatch);
        at += stored;
        left -= expected;
    }
    file.storedEnd = static_cast<uint32_t>(at);
    return {};
}

ArchiveError HpiArchive::read(size_t index, std::vector<uint8_t>& out) const
{
    return readStart(index, std::numeric_limits<size_t>::max(), out);
}

ArchiveError HpiArchive::readStart(size_t index, size_t count, std::vector<uint8_t>& out) const
{
    out.clear();
    if (index >= files_.size()) return {ArchiveResult::badReplacement, {}};
    const HpiFile& file = files_[index];
    const auto fail = [&](ArchiveResult result)
    {
        out.clear();
        return ArchiveError{result, file.path};
    };
    if (file.size > kMaxEntrySize) return fail(ArchiveResult::entryTooLarge);
    const size_t wanted = std::min<size_t>(file.size, count);
    if (file.method == 0)
    {
        out.resize(wanted);
        decipher(file.dataOffset, wanted, out.data());
        return {};
    }
    // The chunk headers were checked on opening; here the payloads of the chunks that hold the
    // wanted bytes are decoded. Every chunk but the last unpacks to a whole chunk's size.
    const size_t chunks = (size_t(file.size) + kHpiChunkSize - 1) / kHpiChunkSize;
    const size_t needed = (wanted + kHpiChunkSize - 1) / kHpiChunkSize;
    out.resize(std::min<size_t>(file.size, needed * kHpiChunkSize));
    size_t at = file.dataOffset + chunks * 4;
    size_t written = 0;
    std::vector<uint8_t> chunk;
    std::vector<uint8_t> inflated;
    for (size_t c = 0; c < needed; ++c)
    {
        const uint32_t stored = load32At(file.dataOffset + c * 4);
        chunk.resize(stored);
        decipher(at, stored, chunk.data());
        const uint8_t method = chunk[5];
        const bool encoded = chunk[6] != 0;
        const size_t unpacked = load32(chunk.data() + 11);
        uint8_t* payload = chunk.data() + kHpiChunkHeaderSize;
        const size_t packed = stored - kHpiChunkHeaderSize;
        if (encoded)
            for (size_t x = 0; x < packed; ++x)
                payload[x] = unscramble(payload[x], x);
        ArchiveResult result = ArchiveResult::ok;
        if (method == 0)
            std::copy(payload, payload + packed, out.data() + written);
        else if (method == 1)
            result = lz77Decode(payload, packed, unpacked, out.data() + written);
        else
        {
            result = inflateBounded(payload, packed, unpacked, Wrapper::zlib, inflated);
            if (result == ArchiveResult::ok)
                std::copy(inflated.begin(), inflated.end(), out.data() + written);
        }
        if (result != ArchiveResult::ok) return fail(result);
        written += unpacked;
        at += stored;
    }
    out.resize(wanted);
    return {};
}

void HpiArchive::storedBytes(size_t index, std::vector<uint8_t>& out) const
{
    const HpiFile& file = files_[index];
    out.resize(file.storedEnd - file.dataOffset);
    decipher(file.dataOffset, out.size(), out.data());
}

void HpiArchive::storedRange(size_t index, size_t from, size_t size, uint8_t* out) const
{
    decipher(files_[index].dataOffset + from, size, out);
}

} // namespace scourvane::archive
