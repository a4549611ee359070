// Backups and copies as an adversary or a careless user leaves the ground for them: whatever already
// has the name PATH.bak, the model is either backed up into a regular file or left as it was, and no
// copy (a backup, an output elsewhere) is ever more open than the model it copies.
#include "batch/file_step.h"
#include "support/part_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

FileStepOptions withBackup()
{
    FileStepOptions options;
    options.keepBackup = true;
    options.skipUnchanged = true;
    return options;
}

TEST(BackupIntoARegularFileOnly, AFolderAtTheBackupsNameLeavesTheModelAsItWas)
{
    test::TempDir dir;
    const std::string model = dir.file("m.3do");
    const std::vector<uint8_t> original = test::dirtyModel();
    test::writeBytes(model, original);
    fs::create_directory(model + ".bak");

    const FileResult result = cleanFile(model.c_str(), withBackup());
    EXPECT_EQ(result.outcome, FileOutcome::backupFailed);
    EXPECT_FALSE(result.backupKept);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(test::readBytes(model), original);
    EXPECT_TRUE(fs::is_empty(model + ".bak")) << "nothing may be put inside the folder";
    EXPECT_NE(describeFailure(result).find("not a regular file"), std::string::npos)
        << describeFailure(result);
    EXPECT_NE(describeFailure(result).find("left as it was"), std::string::npos);
}

TEST(BackupIntoARegularFileOnly, AnExistingRegularBackupIsKeptAndTheModelCleaned)
{
    test::TempDir dir;
    const std::string model = dir.file("m.3do");
    test::writeBytes(model, test::dirtyModel());
    const std::vector<uint8_t> firstBackup{'f', 'i', 'r', 's', 't'};
    test::writeBytes(model + ".bak", firstBackup);

    const FileResult result = cleanFile(model.c_str(), withBackup());
    EXPECT_EQ(result.outcome, FileOutcome::cleaned);
    EXPECT_TRUE(result.backupKept && result.written);
    EXPECT_EQ(test::readBytes(model + ".bak"), firstBackup);
}

#ifndef _WIN32
TEST(BackupIntoARegularFileOnly, ALinkLiveOrDanglingOrAFifoAtTheBackupsNameLeavesEverythingAlone)
{
    test::TempDir dir;
    const std::string model = dir.file("m.3do");
    const std::string victim = dir.file("victim.txt");
    const std::vector<uint8_t> original = test::dirtyModel();
    const std::vector<uint8_t> victimBytes{'m', 'i', 'n', 'e'};
    struct Ground
    {
        const char* what;
        std::function<void(const std::string&)> lay;
    };
    const std::vector<Ground> grounds{
        {"a link to another file", [&](const std::string& bak) { fs::create_symlink(victim, bak); }},
        {"a dangling link", [&](const std::string& bak) { fs::create_symlink(dir.file("nowhere"), bak); }},
        {"a link to a folder",
         [&](const std::string& bak) { fs::create_directory_symlink(dir.path(), bak); }},
        {"a FIFO", [&](const std::string& bak) { ASSERT_EQ(::mkfifo(bak.c_str(), 0644), 0); }},
    };
    for (const Ground& ground : grounds)
    {
        SCOPED_TRACE(ground.what);
        test::writeBytes(model, original);
        test::writeBytes(victim, victimBytes);
        ground.lay(model + ".bak");
        const FileResult result = cleanFile(model.c_str(), withBackup());
        EXPECT_EQ(result.outcome, FileOutcome::backupFailed);
        EXPECT_FALSE(result.backupKept);
        EXPECT_EQ(test::readBytes(model), original);
        EXPECT_EQ(test::readBytes(victim), victimBytes);
        EXPECT_FALSE(fs::exists(dir.file("nowhere"))) << "nothing may be written through the link";
        fs::remove(model + ".bak");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 2)
        << "no temporary may be left";
}

mode_t modeOf(const std::string& path)
{
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(CopiesNeverMoreOpenThanTheModel, BackupAndOutputTakeAPrivateModelsMode)
{
    test::TempDir dir;
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0604}})
    {
        SCOPED_TRACE(std::to_string(mode));
        const std::string model = dir.file("m.3do");
        const std::string output = dir.file("out.3do");
        test::writeBytes(model, test::dirtyModel());
        ASSERT_EQ(::chmod(model.c_str(), mode), 0);
        ASSERT_EQ(cleanFile(model.c_str(), withBackup()).outcome, FileOutcome::cleaned);
        EXPECT_EQ(modeOf(model), mode);
        EXPECT_EQ(modeOf(model + ".bak"), mode);

        // A model made read-write for all copies no wider than the model itself.
        FileStepOptions elsewhere;
        elsewhere.outputPath = output.c_str();
        test::writeBytes(model, test::dirtyModel());
        ASSERT_EQ(::chmod(model.c_str(), mode), 0);
        ASSERT_EQ(cleanFile(model.c_str(), elsewhere).outcome, FileOutcome::cleaned);
        EXPECT_EQ(modeOf(output), mode);
        fs::remove(model + ".bak");
        fs::remove(output);
    }
}

// Run as root: a user who may not keep the model's group gets a copy whose group may do nothing.
TEST(CopiesNeverMoreOpenThanTheModel, ACopyWhoseGroupCannotBeKeptGivesItsGroupNothing)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    test::TempDir dir;
    const std::string model = dir.file("m.3do");
    const std::string output = dir.file("out.3do");
    test::writeBytes(model, test::dirtyModel());
    const uid_t nobody = 65534;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(::chown(model.c_str(), nobody, 0), 0); // a group nobody is not in
    ASSERT_EQ(::chmod(model.c_str(), 0660), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        if (::setgroups(0, nullptr) != 0 || ::setegid(nobody) != 0 || ::seteuid(nobody) != 0) ::_exit(2);
        FileStepOptions elsewhere;
        elsewhere.outputPath = output.c_str();
        ::_exit(cleanFile(model.c_str(), elsewhere).outcome == FileOutcome::cleaned ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    struct stat copy;
    ASSERT_EQ(::stat(output.c_str(), &copy), 0);
    EXPECT_NE(copy.st_gid, 0u);
    EXPECT_EQ(copy.st_mode & 0777, 0600u) << "the copy's group is not the model's: it may do nothing";
}
#endif

} // namespace
} // namespace scourvane
