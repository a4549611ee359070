// ByteKeyTable: the slot arrays in first-set order, plus an open-addressing index of slot numbers
// so that find does not scan.
#include "model/byte_key_table.h"

#include "model/keyed_hash.h"

#include <algorithm>
#include <cstring>

namespace scourvane
{

bool ByteKeyTable::keyMatchesAt(uint32_t slot, const void* key, uint32_t keyLength) const
{
    if (slot >= count || key == nullptr || keyLengths[slot] != keyLength) return false;
    return std::memcmp(keys[slot].data(), key, keyLength) == 0;
}

uint32_t ByteKeyTable::find(const void* key, uint32_t keyLength) const
{
    if (key == nullptr || keyLength == 0 || index_.empty()) return noSlot;
    return findHashed(key, keyLength, hashBytes(key, keyLength));
}

uint32_t ByteKeyTable::findHashed(const void* key, uint32_t keyLength, uint64_t hash) const
{
    if (index_.empty()) return noSlot;
    const size_t mask = index_.size() - 1;
    for (size_t bucket = static_cast<size_t>(hash) & mask;; bucket = (bucket + 1) & mask)
    {
        const uint32_t entry = index_[bucket];
        if (entry == 0) return noSlot;
        if (keyMatchesAt(entry - 1, key, keyLength)) return entry - 1;
    }
}

void ByteKeyTable::reserve(uint32_t slots)
{
    keys.reserve(slots);
    keyLengths.reserve(slots);
    index_.reserve(size_t{2} * slots);
}

void ByteKeyTable::grow()
{
    if (spareKeys_.empty())
        keys.emplace_back();
    else
    {
        keys.push_back(std::move(spareKeys_.back()));
        spareKeys_.pop_back();
        keys.back().clear();
    }
    keyLengths.push_back(0);
    ++count;
}

uint32_t ByteKeyTable::intern(const void* key, uint32_t keyLength)
{
    if (key == nullptr || keyLength == 0) return noSlot;
    const uint64_t hash = hashBytes(key, keyLength);
    const uint32_t slot = findHashed(key, keyLength, hash);
    if (slot != noSlot) return slot;
    grow();
    keys[count - 1].assign(static_cast<const char*>(key), keyLength);
    keyLengths[count - 1] = keyLength;
    indexSlot(count - 1, hash);
    return count - 1;
}

uint32_t ByteKeyTable::longestProbe() const
{
    const size_t mask = index_.size() - 1;
    uint32_t longest = 0;
    for (size_t bucket = 0; bucket < index_.size(); ++bucket)
    {
        const uint32_t entry = index_[bucket];
        if (entry == 0) continue;
        const size_t home =
            static_cast<size_t>(hashBytes(keys[entry - 1].data(), keyLengths[entry - 1])) & mask;
        const auto distance = static_cast<uint32_t>((bucket - home) & mask) + 1;
        if (distance > longest) longest = distance;
    }
    return longest;
}

void ByteKeyTable::release()
{
    count = 0;
    keys = {};
    keyLengths = {};
    index_ = {};
    spareKeys_ = {};
}

void ByteKeyTable::clear()
{
    // The storage of a model's usual few dozen names is worth keeping; a table that grew far beyond
    // that (a file of a hundred thousand names) lets go of it, so the models after it neither keep
    // its memory nor pay to empty its index.
    constexpr uint32_t keptKeys = 1024;
    if (count > keptKeys)
    {
        release();
        return;
    }
    for (std::string& key : keys)
        spareKeys_.push_back(std::move(key));
    count = 0;
    keys.clear();
    keyLengths.clear();
    std::fill(index_.begin(), index_.end(), 0);
}

void ByteKeyTable::indexSlot(uint32_t slot, uint64_t hash)
{
    // Keep the index at most half full.
    if (index_.size() < 2 * size_t{count})
    {
        rebuildIndex(index_.empty() ? 16 : index_.size() * 2);
        return; // the rebuild indexed every slot, this one included
    }
    const size_t mask = index_.size() - 1;
    size_t bucket = static_cast<size_t>(hash) & mask;
    while (index_[bucket] != 0)
        bucket = (bucket + 1) & mask;
    index_[bucket] = slot + 1;
}

void ByteKeyTable::rebuildIndex(size_t buckets)
{
    index_.assign(buckets, 0);
    const size_t mask = buckets - 1;
    for (uint32_t slot = 0; slot < count; ++slot)
    {
        if (keyLengths[slot] == 0) continue;
        size_t bucket = static_cast<size_t>(hashBytes(keys[slot].data(), keyLengths[slot])) & mask;
        while (index_[bucket] != 0)
            bucket = (bucket + 1) & mask;
        index_[bucket] = slot + 1;
    }
}

} // namespace scourvane
