// The system's random source on Windows: rand_s, which draws on the system's generator
// (RtlGenRandom) and needs no extra library.
#define _CRT_RAND_S
#include "platform/random.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace scourvane::platform
{

bool fillRandom(void* out, size_t size)
{
    auto* bytes = static_cast<uint8_t*>(out);
    while (size > 0)
    {
        unsigned int word = 0;
        if (rand_s(&word) != 0) return false;
        const size_t take = size < sizeof word ? size : sizeof word;
        std::memcpy(bytes, &word, take);
        bytes += take;
        size -= take;
    }
    return true;
}

} // namespace scourvane::platform
