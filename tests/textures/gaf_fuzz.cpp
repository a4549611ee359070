// libFuzzer target: any bytes through the GAF reader. Besides the sanitizers' checks, a success must
// give one name per table entry, none longer than its 32-byte field, and a failure no names.
#include "textures/gaf_names.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<scourvane::GafEntryName> entries;
    scourvane::GafError error;
    const scourvane::GafResult result = scourvane::readGafEntryNames(data, size, entries, &error);
    bool broken = result != error.result;
    if (result == scourvane::GafResult::ok)
    {
        const uint32_t count = size >= 8 ? uint32_t{data[4]} | uint32_t{data[5]} << 8 |
                                               uint32_t{data[6]} << 16 | uint32_t{data[7]} << 24
                                         : 0;
        broken = broken || entries.size() != count;
        for (const scourvane::GafEntryName& entry : entries)
            broken = broken || entry.name.size() > 32;
    }
    else
        broken = broken || !entries.empty();
    if (broken)
    {
        std::fprintf(stderr, "GAF reader broke its contract: %s\n",
                     scourvane::describeGafError(error).c_str());
        std::abort();
    }
    return 0;
}
