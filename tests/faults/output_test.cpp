// An output folder laid as a trap: whatever already has an output's name, or stands on the way to
// it, the cleaned copy is never written through a link, into a folder or FIFO, or out of the output
// folder; the source and whatever a link leads to stay as they were.
#include "batch/file_step.h"
#include "support/part_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

struct Layout
{
    test::TempDir dir;
    std::string sources = dir.file("src");
    std::string outputs = dir.file("out");
    std::string model = sources + "/a.3do";
    std::string victim = sources + "/b.txt";
    std::vector<uint8_t> original = test::dirtyModel();
    std::vector<uint8_t> victimBytes{'k', 'e', 'e', 'p'};

    Layout()
    {
        fs::create_directories(sources);
        fs::create_directories(outputs);
        test::writeBytes(model, original);
        test::writeBytes(victim, victimBytes);
    }
    FileResult clean(const std::string& output) const
    {
        FileStepOptions options;
        options.skipUnchanged = true;
        options.outputPath = output.c_str();
        options.makeOutputFolder = true;
        options.outputRoot = outputs.c_str();
        return cleanFile(model.c_str(), options);
    }
    void expectSourcesUntouched() const
    {
        EXPECT_EQ(test::readBytes(model), original);
        EXPECT_EQ(test::readBytes(victim), victimBytes);
    }
};

TEST(OutputNeverThroughALink, AFolderAtTheOutputsNameIsRefusedAndLeftEmpty)
{
    Layout layout;
    const std::string output = layout.outputs + "/a.3do";
    fs::create_directory(output);
    const FileResult result = layout.clean(output);
    EXPECT_EQ(result.outcome, FileOutcome::writeFailed);
    EXPECT_TRUE(fs::is_directory(output) && fs::is_empty(output));
    EXPECT_NE(describeFailure(result).find("not a regular file"), std::string::npos)
        << describeFailure(result);
    layout.expectSourcesUntouched();

    // A plain file there is an earlier output: replaced.
    fs::remove(output);
    test::writeBytes(output, {'o', 'l', 'd'});
    EXPECT_EQ(layout.clean(output).outcome, FileOutcome::cleaned);
    EXPECT_NE(test::readBytes(output), layout.original);
}

#ifndef _WIN32
TEST(OutputNeverThroughALink, ALinkOrFifoAtTheOutputsNameIsRefusedAndWhatItLeadsToKept)
{
    Layout layout;
    const std::string output = layout.outputs + "/a.3do";
    const std::vector<std::pair<const char*, std::function<void()>>> traps{
        {"a link to another source file", [&] { fs::create_symlink("../src/b.txt", output); }},
        {"a link to the source itself", [&] { fs::create_symlink(layout.model, output); }},
        {"a dangling link", [&] { fs::create_symlink(layout.dir.file("planted"), output); }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(output.c_str(), 0644), 0); }},
    };
    for (const auto& [what, lay] : traps)
    {
        SCOPED_TRACE(what);
        lay();
        const FileResult result = layout.clean(output);
        EXPECT_EQ(result.outcome, FileOutcome::writeFailed);
        EXPECT_FALSE(result.written);
        layout.expectSourcesUntouched();
        EXPECT_FALSE(fs::exists(layout.dir.file("planted")));
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(output))) << "the entry is left as it was";
        fs::remove(output);
    }
}

TEST(OutputNeverThroughALink, AFolderOnTheWayThatLinksBackToTheSourcesIsNeverEntered)
{
    Layout layout;
    fs::create_directory_symlink(layout.sources, layout.outputs + "/sub");
    fs::create_directory_symlink(layout.dir.file("elsewhere"), layout.outputs + "/dangling");
    for (const std::string& output : {layout.outputs + "/sub/a.3do", layout.outputs + "/sub/deeper/a.3do",
                                      layout.outputs + "/dangling/a.3do"})
    {
        SCOPED_TRACE(output);
        const FileResult result = layout.clean(output);
        EXPECT_EQ(result.outcome, FileOutcome::writeFailed);
        EXPECT_NE(describeFailure(result).find("link or not a folder"), std::string::npos)
            << describeFailure(result);
        layout.expectSourcesUntouched();
    }
    EXPECT_FALSE(fs::exists(layout.sources + "/deeper"));
    EXPECT_FALSE(fs::exists(layout.dir.file("elsewhere")));
}
#endif

TEST(OutputNeverThroughALink, MissingFoldersBelowTheOutputFolderAreMadeAsRealFolders)
{
    Layout layout;
    fs::remove(layout.outputs); // the output folder itself is made too
    const std::string output = layout.outputs + "/units/deeper/a.3do";
    const FileResult result = layout.clean(output);
    ASSERT_EQ(result.outcome, FileOutcome::cleaned) << describeFailure(result);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(layout.outputs + "/units/deeper")));
    layout.expectSourcesUntouched();
    EXPECT_NE(test::readBytes(output), layout.original);
}

} // namespace
} // namespace scourvane
