// libFuzzer target: ByteKeyTable operations against a plain list of slots.
#include "fuzz/pipeline_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string problem = scourvane::fuzz::checkByteKeyTable(data, size);
    if (!problem.empty())
    {
        std::fprintf(stderr, "ByteKeyTable differs from its reference: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
