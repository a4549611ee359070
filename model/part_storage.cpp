// The model layer's per-thread storage: free lists of parts and of array blocks by size class, the
// spare texture pool and the thread's image writer.
#include "model/part_storage.h"

#include "model/byte_key_table.h"
#include "model/model_writer.h"
#include "model/object_part.h"

#include <bit>
#include <new>
#include <utility>

namespace scourvane
{

namespace
{

#if defined(__SANITIZE_ADDRESS__)
constexpr bool keepSpares = false;
#else
constexpr bool keepSpares = true;
#endif

struct FreeBlock
{
    FreeBlock* next;
    size_t bytes;
};

constexpr size_t step = 16;            // room for a FreeBlock
constexpr size_t largestStepped = 256; // classes 0 to 15: 16, 32, ... 256 bytes exactly
constexpr unsigned steppedClasses = 16;
constexpr unsigned classCount = 24; // then 16 to 23: up to 512, 1 KiB, ... 64 KiB
constexpr size_t largestKeptRequest = size_t{64} << 10;
constexpr size_t keptBytesPerClass = size_t{256} << 10;
constexpr size_t keptParts = 4096;

struct SpareStorage
{
    FreeBlock* blocks[classCount] = {};
    size_t blockBytes[classCount] = {};
    FreeBlock* parts = nullptr;
    size_t partCount = 0;
};

thread_local SpareStorage* spareStorage = nullptr;
// One emptied texture pool per thread waits for the next model, so a run does not build a pool
// from nothing for each model.
thread_local ByteKeyTable* sparePool = nullptr;
thread_local ModelImageWriter* threadWriter = nullptr;

SpareStorage& spares()
{
    if (spareStorage == nullptr) spareStorage = new SpareStorage;
    return *spareStorage;
}

// The class whose every block holds `bytes` (1 to largestKeptRequest).
unsigned classHolding(size_t bytes)
{
    if (bytes <= largestStepped) return static_cast<unsigned>((bytes + step - 1) / step - 1);
    return steppedClasses + static_cast<unsigned>(std::bit_width(bytes - 1)) - 9; // 257..512 is 16
}

// The class a freed block of `bytes` serves, or classCount when it is not kept.
unsigned classServedBy(size_t bytes)
{
    if (bytes < step) return classCount;
    if (bytes <= largestStepped) return static_cast<unsigned>(bytes / step - 1);
    const auto bits = static_cast<unsigned>(std::bit_width(bytes)) - 1; // [2^bits, 2^(bits+1))
    if (bits < 9) return steppedClasses - 1;                            // at least 256 bytes
    return bits - 9 + steppedClasses < classCount ? bits - 9 + steppedClasses : classCount;
}

void freeList(FreeBlock* list)
{
    while (list != nullptr)
    {
        FreeBlock* next = list->next;
        ::operator delete(list);
        list = next;
    }
}

} // namespace

uint8_t* takeArrayBlock(size_t bytes, size_t& actual)
{
    if (keepSpares && bytes <= largestKeptRequest && spareStorage != nullptr)
    {
        const unsigned sizeClass = classHolding(bytes);
        if (FreeBlock* block = spareStorage->blocks[sizeClass])
        {
            spareStorage->blocks[sizeClass] = block->next;
            actual = block->bytes;
            spareStorage->blockBytes[sizeClass] -= actual;
            return reinterpret_cast<uint8_t*>(block);
        }
    }
    actual = keepSpares && bytes <= largestStepped ? (bytes + step - 1) / step * step : bytes;
    return static_cast<uint8_t*>(::operator new(actual));
}

void giveArrayBlock(uint8_t* block, size_t bytes)
{
    const unsigned sizeClass = keepSpares ? classServedBy(bytes) : classCount;
    if (sizeClass < classCount)
    {
        SpareStorage& storage = spares();
        if (storage.blockBytes[sizeClass] + bytes <= keptBytesPerClass)
        {
            storage.blocks[sizeClass] = ::new (block) FreeBlock{storage.blocks[sizeClass], bytes};
            storage.blockBytes[sizeClass] += bytes;
            return;
        }
    }
    ::operator delete(block);
}

void* ObjectPart::operator new(size_t size)
{
    if (keepSpares && size == sizeof(ObjectPart) && spareStorage != nullptr && spareStorage->parts != nullptr)
    {
        FreeBlock* part = spareStorage->parts;
        spareStorage->parts = part->next;
        --spareStorage->partCount;
        return part;
    }
    return ::operator new(size);
}

void ObjectPart::operator delete(void* part, size_t size)
{
    if (part == nullptr) return;
    if (keepSpares && size == sizeof(ObjectPart))
    {
        SpareStorage& storage = spares();
        if (storage.partCount < keptParts)
        {
            storage.parts = ::new (part) FreeBlock{storage.parts, size};
            ++storage.partCount;
            return;
        }
    }
    ::operator delete(part);
}

std::unique_ptr<ByteKeyTable> takeSparePool()
{
    return std::unique_ptr<ByteKeyTable>(std::exchange(sparePool, nullptr));
}

void keepSparePool(std::unique_ptr<ByteKeyTable>& pool)
{
    if (!pool || sparePool != nullptr) return;
    pool->clear();
    sparePool = pool.release();
}

ModelImageWriter& threadImageWriter()
{
    if (threadWriter == nullptr) threadWriter = new ModelImageWriter;
    return *threadWriter;
}

void releaseModelBuffers()
{
    delete threadWriter;
    threadWriter = nullptr;
    delete sparePool;
    sparePool = nullptr;
    if (spareStorage == nullptr) return;
    for (FreeBlock* list : spareStorage->blocks)
        freeList(list);
    freeList(spareStorage->parts);
    delete spareStorage;
    spareStorage = nullptr;
}

} // namespace scourvane
