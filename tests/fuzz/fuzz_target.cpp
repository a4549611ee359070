// libFuzzer target over one check of pipeline_check.h or archive_check.h, chosen at build time by
// SCOURVANE_FUZZ_CHECK: checkPipeline (any bytes through load, write, reload, clean and a second
// clean), checkByteKeyTable (ByteKeyTable operations against a plain list of slots), checkZipArchive
// or checkHpiArchive (any bytes through an archive reader, and a rewrite of what opens), or
// checkGafNames (any bytes through the GAF reader).
#include "fuzz/archive_check.h"
#include "fuzz/pipeline_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string problem = scourvane::fuzz::SCOURVANE_FUZZ_CHECK(data, size);
    if (!problem.empty())
    {
        std::fprintf(stderr, "property broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
