// libFuzzer target: any bytes through load, count, clean, write, reload and a second clean.
#include "fuzz/pipeline_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string problem = scourvane::fuzz::checkPipeline(data, size);
    if (!problem.empty())
    {
        std::fprintf(stderr, "pipeline property broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
