// The names a clean writes besides the model, laid as traps by an adversary or a careless user: the
// backup PATH.bak and a cleaned copy in an output folder. Whatever already has such a name, or stands
// on the way to it, the copy goes into a regular file or not at all: never through a link, into a
// folder or FIFO, or out of the output folder; the model and whatever a link leads to stay as they
// were. And no copy is ever more open than the model it copies.
#include "batch/file_step.h"
#include "support/part_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

// The model src/a.3do beside another file, src/b.txt, and an empty output folder out.
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
    // Cleans the model in place keeping a backup, or into `output` below the output folder.
    FileResult clean(const std::string& output = "") const
    {
        FileStepOptions options;
        options.skipUnchanged = true;
        options.keepBackup = output.empty();
        if (!output.empty())
        {
            options.outputPath = output.c_str();
            options.makeOutputFolder = true;
            options.outputRoot = outputs.c_str();
        }
        return cleanFile(model.c_str(), options);
    }
    void expectSourcesUntouched() const
    {
        EXPECT_EQ(test::readBytes(model), original);
        EXPECT_EQ(test::readBytes(victim), victimBytes);
    }
};

TEST(CopyIntoARegularFileOnly, WhateverElseHasTheBackupsOrTheOutputsNameIsLeftAsItWas)
{
    Layout layout;
    const struct
    {
        const char* what;
        std::string name;
        bool toOutput;
        FileOutcome refused;
    } copies[] = {{"backup", layout.model + ".bak", false, FileOutcome::backupFailed},
                  {"output", layout.outputs + "/a.3do", true, FileOutcome::writeFailed}};
    std::vector<std::pair<const char*, std::function<void(const std::string&)>>> traps{
        {"a folder", [](const std::string& name) { fs::create_directory(name); }}};
#ifndef _WIN32
    traps.insert(traps.end(),
                 {{"a link to another file",
                   [&](const std::string& name) { fs::create_symlink(layout.victim, name); }},
                  {"a link to the model itself",
                   [&](const std::string& name) { fs::create_symlink(layout.model, name); }},
                  {"a dangling link",
                   [&](const std::string& name) { fs::create_symlink(layout.dir.file("planted"), name); }},
                  {"a link to a folder",
                   [&](const std::string& name) { fs::create_directory_symlink(layout.sources, name); }},
                  {"a FIFO", [](const std::string& name) { ASSERT_EQ(::mkfifo(name.c_str(), 0644), 0); }}});
#endif
    for (const auto& copy : copies)
        for (const auto& [what, lay] : traps)
        {
            SCOPED_TRACE(std::string(copy.what) + " named by " + what);
            lay(copy.name);
            const FileResult result = layout.clean(copy.toOutput ? copy.name : "");
            EXPECT_EQ(result.outcome, copy.refused);
            EXPECT_FALSE(result.written || result.backupKept);
            layout.expectSourcesUntouched();
            EXPECT_FALSE(fs::exists(layout.dir.file("planted"))) << "nothing may be written through a link";
            const fs::file_status status = fs::symlink_status(copy.name);
            EXPECT_FALSE(fs::is_regular_file(status)) << "the entry is left as it was";
            if (fs::is_directory(status))
            {
                EXPECT_TRUE(fs::is_empty(copy.name)) << "nothing may be put inside the folder";
                EXPECT_NE(describeFailure(result).find("not a regular file"), std::string::npos)
                    << describeFailure(result);
            }
            fs::remove(copy.name);
        }
    EXPECT_EQ(std::distance(fs::directory_iterator(layout.sources), fs::directory_iterator{}), 2)
        << "no temporary may be left";
    EXPECT_TRUE(fs::is_empty(layout.outputs));

    // A regular file there is an earlier run's: a backup is kept as the original, an output replaced.
    const std::vector<uint8_t> earlier{'f', 'i', 'r', 's', 't'};
    for (const auto& copy : copies)
    {
        SCOPED_TRACE(copy.what);
        test::writeBytes(layout.model, layout.original);
        test::writeBytes(copy.name, earlier);
        const FileResult result = layout.clean(copy.toOutput ? copy.name : "");
        EXPECT_EQ(result.outcome, FileOutcome::cleaned) << describeFailure(result);
        EXPECT_TRUE(result.written);
        const std::vector<uint8_t> now = test::readBytes(copy.name);
        EXPECT_EQ(now == earlier, !copy.toOutput);
    }
}

#ifndef _WIN32
TEST(CopyIntoARegularFileOnly, AFolderOnTheOutputsWayThatLinksBackToTheSourcesIsNeverEntered)
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

#ifndef _WIN32
mode_t modeOf(const std::string& path)
{
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(CopiesNeverMoreOpenThanTheModel, BackupAndOutputTakeAPrivateModelsMode)
{
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0604}})
    {
        SCOPED_TRACE(std::to_string(mode));
        Layout layout;
        ASSERT_EQ(::chmod(layout.model.c_str(), mode), 0);
        const std::string output = layout.outputs + "/a.3do";
        ASSERT_EQ(layout.clean(output).outcome, FileOutcome::cleaned);
        ASSERT_EQ(layout.clean().outcome, FileOutcome::cleaned);
        for (const std::string& path : {layout.model, layout.model + ".bak", output})
            EXPECT_EQ(modeOf(path), mode) << path;
    }
}

// Run as root: a user who may not keep the model's group gets a copy whose group may do nothing.
TEST(CopiesNeverMoreOpenThanTheModel, ACopyWhoseGroupCannotBeKeptGivesItsGroupNothing)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    Layout layout;
    const std::string output = layout.outputs + "/a.3do";
    ASSERT_EQ(::chmod(layout.outputs.c_str(), 0777), 0);
    ASSERT_EQ(::chown(layout.model.c_str(), test::nobody, 0), 0); // a group nobody is not in
    ASSERT_EQ(::chmod(layout.model.c_str(), 0660), 0);
    ASSERT_EQ(test::asNobody([&] { return layout.clean(output).outcome == FileOutcome::cleaned ? 0 : 1; }),
              0);
    struct stat copy;
    ASSERT_EQ(::stat(output.c_str(), &copy), 0);
    EXPECT_NE(copy.st_gid, 0u);
    EXPECT_EQ(copy.st_mode & 0777, 0600u) << "the copy's group is not the model's: it may do nothing";
}
#endif

} // namespace
} // namespace scourvane
