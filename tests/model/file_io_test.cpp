// The file layer's reading side: whole-file reads, sizes, folders, and injected read faults.
#include "model/model_reader.h"
#include "platform/file_io.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace scourvane
{
namespace
{

TEST(FileIo, ReadsWholeFilesAndRefusesOversizedOnesBeforeAllocating)
{
    test::TempDir dir;
    const std::string path = dir.file("data.bin");
    std::vector<uint8_t> bytes(100000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);
    test::writeBytes(path, bytes);
    std::vector<uint8_t> read;
    ASSERT_TRUE(platform::readWholeFile(path.c_str(), read, 1u << 20));
    EXPECT_EQ(read, bytes);
    platform::IoError error;
    EXPECT_FALSE(platform::readWholeFile(path.c_str(), read, 99999, &error));
    EXPECT_EQ(error.step, platform::IoStep::tooLarge);
    EXPECT_TRUE(read.empty());

    EXPECT_EQ(platform::fileSize(path.c_str()), 100000);
    EXPECT_EQ(platform::fileSize(dir.file("none").c_str()), -1);
    EXPECT_EQ(platform::fileSize(dir.path().c_str()), -1);
    EXPECT_TRUE(platform::isDirectory(dir.path().c_str()));
    EXPECT_FALSE(platform::isDirectory(path.c_str()));
    EXPECT_TRUE(platform::pathExists(path.c_str()));
    EXPECT_FALSE(platform::pathExists(dir.file("none").c_str()));
}

TEST(FileIo, InjectedReadFaultsFailTheLoadWithTheirStep)
{
    test::TempDir dir;
    const std::string path = dir.file("m.3do");
    auto root = test::makePart("m");
    ASSERT_TRUE(root->saveModelFile(path.c_str()));
    using platform::IoStep;
    for (IoStep step : {IoStep::open, IoStep::read, IoStep::close})
    {
        platform::injectFault(step, 1);
        ObjectPart loaded;
        LoadError error;
        EXPECT_FALSE(loaded.loadModelFile(path.c_str(), &error)) << platform::ioStepText(step);
        EXPECT_EQ(error.result, LoadResult::openFailed);
        EXPECT_EQ(error.ioError.step, step);
        platform::clearFaults();
    }
    platform::injectFault(IoStep::read, 2); // a later read is not this load's concern
    ObjectPart loaded;
    EXPECT_TRUE(loaded.loadModelFile(path.c_str()));
    platform::clearFaults();
}

#ifndef _WIN32
TEST(FileIo, AFifoNamedLikeAModelIsRefusedWithoutBlocking)
{
    test::TempDir dir;
    const std::string path = dir.file("pipe.3do");
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    std::vector<uint8_t> read;
    platform::IoError error;
    EXPECT_FALSE(platform::readWholeFile(path.c_str(), read, 1u << 20, &error));
    EXPECT_EQ(error.step, platform::IoStep::open);
    auto root = test::makePart("p");
    EXPECT_FALSE(root->saveModelFile(path.c_str()));
}
#endif

} // namespace
} // namespace scourvane
