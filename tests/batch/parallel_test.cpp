// Several workers against one: the same results in the same order, the same files, and a run stopped
// part-way tries a beginning of the list and nothing after it.
#include "batch/parallel_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

namespace scourvane::test
{
namespace
{

namespace fs = std::filesystem;

struct Outcome
{
    std::vector<std::string> reports;
    std::vector<std::vector<uint8_t>> files;
};

bool always()
{
    return true;
}

// Copies `sources` into a fresh folder, cleans the copies on `workers` workers and keeps the
// reports in the order they were handed back and the cleaned bytes.
Outcome cleanCopies(const std::vector<std::string>& sources, unsigned workers)
{
    TempDir dir;
    std::vector<std::string> paths;
    for (size_t i = 0; i < sources.size(); ++i)
    {
        paths.push_back(dir.file(std::to_string(i) + ".3do"));
        fs::copy_file(sources[i], paths.back());
        fs::permissions(paths.back(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
    Outcome outcome;
    size_t expected = 0;
    cleanFilesInOrder(paths, {}, workers, always,
                      [&](size_t index, const FileResult& result)
                      {
                          EXPECT_EQ(index, expected++);
                          // Named without the folder, which differs from run to run.
                          const std::string name = std::to_string(index) + ".3do";
                          outcome.reports.push_back(formatFileReport(name.c_str(), result));
                      });
    for (const std::string& path : paths)
        outcome.files.push_back(readBytes(path));
    return outcome;
}

TEST(ParallelFiles, ManyWorkersGiveTheReportsAndFilesOfOneOverTheCorpus)
{
    std::vector<std::string> sources = corpusFiles();
    if (sources.empty()) GTEST_SKIP() << "no corpus at " << corpusDir();
    // A file that fails to load in the middle: its report must stay in its place.
    TempDir scratch;
    const std::string broken = scratch.file("broken.3do");
    writeBytes(broken, {1, 2, 3});
    sources.insert(sources.begin() + static_cast<std::ptrdiff_t>(sources.size() / 2), broken);
    const Outcome one = cleanCopies(sources, 1);
    const Outcome four = cleanCopies(sources, 4);
    ASSERT_EQ(one.reports.size(), sources.size());
    EXPECT_NE(one.reports.front().find("File cleaned"), std::string::npos);
    EXPECT_EQ(four.reports, one.reports);
    EXPECT_TRUE(four.files == one.files);
}

std::atomic<int> begunAllowed{0};
bool whileAllowed()
{
    return begunAllowed.fetch_sub(1) > 0;
}

TEST(ParallelFiles, AStoppedRunTriesABeginningOfTheListOnly)
{
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i)
    {
        paths.push_back(dir.file(std::to_string(i) + ".3do"));
        writeBytes(paths.back(), {1, 2, 3}); // fails quickly, touches nothing
    }
    for (unsigned workers : {1u, 3u})
    {
        begunAllowed = 17;
        std::vector<size_t> handed;
        const size_t tried =
            cleanFilesInOrder(paths, {}, workers, whileAllowed,
                              [&](size_t index, const FileResult&) { handed.push_back(index); });
        EXPECT_EQ(tried, 17u) << workers << " workers";
        ASSERT_EQ(handed.size(), 17u);
        for (size_t i = 0; i < handed.size(); ++i)
            EXPECT_EQ(handed[i], i);
    }
}

} // namespace
} // namespace scourvane::test
