// What the model layer keeps per thread from model to model, so a run of many small models goes to
// the heap only while it warms up: freed parts (through ObjectPart's operator new and delete), freed
// blocks of part arrays, one emptied texture pool and the thread's image writer. Everything is held through
// plain pointers, never thread-local objects, and freed by releaseModelBuffers.
//
// Contract: memory taken here is given back here, by the thread that took it or another; a thread
// keeps what is given back to it. Blocks of up to 256 bytes are made in steps of 16 bytes and kept
// by their exact size; larger blocks of up to 64 KiB are made as asked and kept in classes of sizes
// [2^k, 2^(k+1)). Each class keeps at most 256 KiB and at most 4096 parts wait, so sizes no part
// asks for again cannot crowd out those that are. A larger block goes straight back to the heap, so
// a large model takes exactly what it needs. Under AddressSanitizer nothing is kept, so a use after
// free is still caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace scourvane
{

class ByteKeyTable;

// A block of at least `bytes` (more than 0) for a part's arrays; `actual` receives its real size,
// which is what giveArrayBlock must be told.
uint8_t* takeArrayBlock(size_t bytes, size_t& actual);

// Takes back a block from takeArrayBlock, of real size `bytes`, or of size 0 to send it straight
// back to the heap.
void giveArrayBlock(uint8_t* block, size_t bytes);

// The calling thread's emptied texture pool, or null when it keeps none.
std::unique_ptr<ByteKeyTable> takeSparePool();

// Empties `pool` and keeps it for the calling thread's next model, when the thread keeps no pool
// yet; otherwise leaves it to its owner.
void keepSparePool(std::unique_ptr<ByteKeyTable>& pool);

// Frees everything the model layer keeps for the calling thread: its spare parts and blocks, its
// spare texture pool and its image writer. A worker thread calls it before it ends.
void releaseModelBuffers();

} // namespace scourvane
