// A file named like a model that plainly is not one, however large, is refused from its first part
// header after one small read, in bounded memory; and that early look never refuses a model the
// full load accepts, nor words a refusal differently from it.
#include "batch/file_step.h"
#include "model/model_reader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

#ifndef _WIN32
#if defined(__SANITIZE_ADDRESS__)
constexpr bool limitMemory = false; // the sanitizer's own reservations do not fit under a limit
#else
constexpr bool limitMemory = true;
#endif

// A file of the largest size a model may have, all holes but its first bytes: text, not a model.
TEST(EarlyRefusal, AHugeFileThatIsNoModelIsRefusedFromItsHeaderInBoundedMemory)
{
    test::TempDir dir;
    const std::string path = dir.file("x.3do");
    test::writeBytes(path, std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd', 'e', 'l'});
    std::error_code error;
    fs::resize_file(path, maxModelFileSize, error);
    if (error) GTEST_SKIP() << "the scratch folder cannot hold a sparse file of 2 GiB";

    LoadError expected;
    expected.result = LoadResult::badVersion;
    expected.what = LoadWhat::partHeader;
    expected.value = 0x20746F6E; // "not " as a little-endian word
    expected.fileSize = maxModelFileSize;
    for (const bool dryRun : {false, true})
    {
        SCOPED_TRACE(dryRun ? "dry run" : "clean");
        const int status = test::inChild(
            [&]
            {
                // Far less than the file: reading it whole would fail for want of memory.
                const rlimit limit{uint64_t{512} << 20, uint64_t{512} << 20};
                if (limitMemory && ::setrlimit(RLIMIT_AS, &limit) != 0) return 9;
                FileStepOptions options;
                options.dryRun = dryRun;
                const FileResult result = cleanFile(path.c_str(), options);
                if (result.outOfMemory) return 1;
                if (result.outcome != FileOutcome::readFailed) return 2;
                return describeFailure(result) == describeLoadError(expected) ? 0 : 3;
            });
        EXPECT_EQ(status, 0) << "1: the file was read whole; 3: other words than the full load's";
    }
}
#endif

// Every real model's first header, and every word of it set to edge values and the file cut short
// at every length around the header: where the early look refuses, the full load refuses in the same
// words; where the full load accepts, the early look accepts.
TEST(EarlyRefusal, NeverRefusesWhatTheFullLoadAcceptsAndRefusesInItsWords)
{
    const std::vector<std::string> corpus = test::corpusFiles();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    size_t refused = 0;
    size_t tried = 0;
    auto judge = [&](const std::vector<uint8_t>& bytes)
    {
        ++tried;
        LoadError early;
        const bool startAccepted =
            checkModelStart(bytes.data(), std::min(bytes.size(), modelStartSize), bytes.size(), &early);
        ObjectPart part;
        LoadError full;
        const bool loaded = part.loadModelBytes(bytes.data(), bytes.size(), &full);
        EXPECT_TRUE(!loaded || startAccepted) << describeLoadError(early);
        if (!startAccepted)
        {
            ++refused;
            EXPECT_FALSE(loaded);
            EXPECT_EQ(describeLoadError(early), describeLoadError(full));
        }
    };
    for (size_t i = 0; i < corpus.size(); i += std::max<size_t>(1, corpus.size() / 40))
    {
        SCOPED_TRACE(corpus[i]);
        const std::vector<uint8_t> model = test::readBytes(corpus[i]);
        judge(model);
        const auto size = static_cast<uint32_t>(model.size());
        for (uint32_t word = 0; word < 13; ++word)
            for (const uint32_t value : {0u, 1u, 2u, 12u, size - 52, size - 12, size - 1, size, size + 1,
                                         size / 12, size / 32 + 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
            {
                std::vector<uint8_t> changed = model;
                for (int b = 0; b < 4; ++b)
                    changed[word * 4 + static_cast<uint32_t>(b)] = static_cast<uint8_t>(value >> (8 * b));
                judge(changed);
            }
        for (size_t length = 0; length <= 64 && length < model.size(); ++length)
            judge(std::vector<uint8_t>(model.begin(), model.begin() + static_cast<ptrdiff_t>(length)));
    }
    EXPECT_GT(refused, tried / 10) << "the edge values should be refused often";
}

} // namespace
} // namespace scourvane
