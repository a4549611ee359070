// An ordered table of byte strings: slots keep the order in which their keys were first interned,
// a slot's number never changes, and there is no removal. Keys are copied in.
// Lookups go through an index on a keyed hash (model/keyed_hash.h), so they do not slow down as the
// table grows, nor when a file chooses keys that an unkeyed hash would put in one bucket.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane
{

inline constexpr uint32_t noSlot = 0xFFFFFFFFu;

class ByteKeyTable
{
  public:
    uint32_t count = 0;
    std::vector<std::string> keys;    // never empty
    std::vector<uint32_t> keyLengths; // never 0

    // Number of the slot holding `key`, adding a slot at the end when the key is new; noSlot for a
    // null or empty key.
    uint32_t intern(const void* key, uint32_t keyLength);

    // The most buckets any present key's lookup inspects (1 when every key sits in its own bucket,
    // 0 for an empty table). The keyed hash keeps it short whatever keys a file chooses.
    uint32_t longestProbe() const;

    // Number of the slot holding `key`, or noSlot when absent or when the key is null or empty.
    uint32_t find(const void* key, uint32_t keyLength) const;

    // True when slot `slot` exists and holds exactly `key`.
    bool keyMatchesAt(uint32_t slot, const void* key, uint32_t keyLength) const;

    // Makes room for `slots` slots without growing the arrays again.
    void reserve(uint32_t slots);

    // Releases every key; the table is empty afterwards.
    void release();

    // Empties the table like release, but keeps its storage (the arrays, the index and the keys'
    // bytes) for the keys set next, so a table reused from model to model stops allocating.
    void clear();

  private:
    // Adds one slot at the end, its key still to be written.
    void grow();

    std::vector<uint32_t> index_;        // open addressing: slot + 1, 0 = empty; size a power of two
    std::vector<std::string> spareKeys_; // emptied keys whose bytes the next new keys reuse
    // `hash` is hashBytes of the slot's key, computed once by the caller.
    void indexSlot(uint32_t slot, uint64_t hash);
    uint32_t findHashed(const void* key, uint32_t keyLength, uint64_t hash) const;
    void rebuildIndex(size_t buckets);
};

} // namespace scourvane
