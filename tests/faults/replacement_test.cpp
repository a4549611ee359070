// The safe replace and the report file, in process: what must hold whatever another program does to
// the target meanwhile. Real faults and interrupts are scripts/fault_test.sh's.
#include "batch/report.h"
#include "platform/file_io.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;
using platform::FileReplacement;
using platform::IoError;
using platform::IoStep;

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

const std::vector<uint8_t> oldBytes{'o', 'l', 'd'};
const std::vector<uint8_t> newBytes{'n', 'e', 'w', ' ', 'o', 'n', 'e'};

TEST(FileReplacement, ReadsBackWhatItWroteAndDroppedUncommittedLeavesTheTargetAndNoTemporary)
{
    test::TempDir dir;
    const std::string target = dir.file("m.3do");
    test::writeBytes(target, oldBytes);
    {
        FileReplacement replacement;
        ASSERT_TRUE(replacement.begin(target.c_str(), newBytes.size()));
        ASSERT_TRUE(replacement.write(newBytes.data(), 3));
        ASSERT_TRUE(replacement.write(newBytes.data() + 3, newBytes.size() - 3));
        std::vector<uint8_t> back;
        ASSERT_TRUE(replacement.readBack(back));
        EXPECT_EQ(back, newBytes);
        EXPECT_EQ(test::readBytes(target), oldBytes);
    } // dropped without a commit
    EXPECT_EQ(test::readBytes(target), oldBytes);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"m.3do"});
}

TEST(FileReplacement, KeepsAnotherProgramsChangeMadeAfterTheRead)
{
    test::TempDir dir;
    const std::string target = dir.file("m.3do");
    test::writeBytes(target, oldBytes);
    std::vector<uint8_t> read;
    platform::FileIdentity identity;
    ASSERT_TRUE(platform::readWholeFile(target.c_str(), read, 100, nullptr, &identity));

    FileReplacement replacement;
    ASSERT_TRUE(replacement.begin(target.c_str(), 0));
    ASSERT_TRUE(replacement.write(newBytes.data(), newBytes.size()));
    const std::vector<uint8_t> theirs{'t', 'h', 'e', 'i', 'r', 's'};
    test::writeBytes(target, theirs); // another program, between the read and the rename
    IoError error;
    EXPECT_FALSE(replacement.commit(&identity, &error));
    EXPECT_EQ(error.step, IoStep::changed);
    EXPECT_EQ(test::readBytes(target), theirs);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"m.3do"});
}

TEST(FileReplacement, CommitNewNeverReplacesAnExistingName)
{
    test::TempDir dir;
    const std::string taken = dir.file("m.3do.bak");
    test::writeBytes(taken, oldBytes);
    for (const std::string& path : {taken, dir.file("free.bak")})
    {
        FileReplacement replacement;
        IoError error;
        ASSERT_TRUE(replacement.begin(path.c_str(), 0, &error, true));
        ASSERT_TRUE(replacement.write(newBytes.data(), newBytes.size()));
        EXPECT_EQ(replacement.commitNew(&error), path != taken);
        EXPECT_EQ(test::readBytes(path), path == taken ? oldBytes : newBytes);
        EXPECT_TRUE(path != taken || error.step == IoStep::exists);
    }
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"m.3do.bak", "free.bak"}));
}

TEST(ReportLog, ThePreviousLogStaysWholeUntilTheNewOneIsCommitted)
{
    test::TempDir dir;
    const std::string path = dir.file("log.txt");
    test::writeBytes(path, oldBytes);
    {
        ReportLog log;
        ASSERT_TRUE(log.create(path.c_str()));
        log.write("Report:");
        EXPECT_EQ(test::readBytes(path), oldBytes);
    } // a run that never got to its summary
    EXPECT_EQ(test::readBytes(path), oldBytes);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"log.txt"});

    ReportLog log;
    ASSERT_TRUE(log.create(path.c_str()));
    log.write("Report:");
    log.write("\r\nsummary");
    EXPECT_TRUE(log.commit());
    EXPECT_EQ(test::readBytes(path), (std::vector<uint8_t>{'R', 'e', 'p', 'o', 'r', 't', ':', '\r', '\n', 's',
                                                           'u', 'm', 'm', 'a', 'r', 'y'}));
}

} // namespace
} // namespace scourvane
