// Replays every input the fuzz targets ever broke on (tests/fuzz/regressions/<target>/), so a fixed
// fault stays fixed in the ordinary test run too, natively, under the sanitizers and under Wine.
#include "fuzz/archive_check.h"
#include "fuzz/pipeline_check.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputKeepsTheCheckedProperties)
{
    if (!fs::is_directory(SCOURVANE_FUZZ_REGRESSIONS))
        GTEST_SKIP() << "regression inputs not reachable at " << SCOURVANE_FUZZ_REGRESSIONS;
    using Check = std::string (*)(const uint8_t*, size_t);
    const std::pair<const char*, Check> targets[] = {{"pipeline", fuzz::checkPipeline},
                                                     {"byte_key_table", fuzz::checkByteKeyTable},
                                                     {"zip_archive", fuzz::checkZipArchive},
                                                     {"hpi_archive", fuzz::checkHpiArchive},
                                                     {"gaf_names", fuzz::checkGafNames}};
    for (const auto& [target, check] : targets)
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fs::path(SCOURVANE_FUZZ_REGRESSIONS) / target, ec))
        {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            const std::vector<uint8_t> bytes = test::readBytes(entry.path().string());
            EXPECT_EQ(check(bytes.data(), bytes.size()), "") << entry.path();
        }
    }
}

// The ordinary run's pass over the table's operations: sets, lookups, grows and the odd release
// from a fixed pseudo-random stream.
TEST(FuzzRegressions, ALongMixedRunOfTableOperationsMatchesTheReference)
{
    std::vector<uint8_t> ops(20000);
    uint32_t state = 12345;
    for (uint8_t& op : ops)
    {
        state = state * 1103515245u + 12345u;
        op = static_cast<uint8_t>(state >> 16);
    }
    EXPECT_EQ(fuzz::checkByteKeyTable(ops.data(), ops.size()), "");
}

} // namespace
} // namespace scourvane
