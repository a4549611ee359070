// Paths past 260 characters: the limit of the old Windows calls. A model deep in a mod's tree must be
// listed, read, cleaned in place and copied out like any other: every file service of the platform
// is asked at that depth here; scripts/fault_test.sh cleans such a tree end to end under Wine.
#include "platform/file_io.h"
#include "platform/folder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace scourvane
{
namespace
{

// `base` with folders of 60 characters below it until the path is past `length` characters.
std::string deepBelow(const std::string& base, size_t length)
{
    std::string path = base;
    for (char letter = 'a'; path.size() <= length; ++letter)
        path = platform::joinPath(path, std::string(60, letter));
    return path;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST(LongPaths, EveryFileServiceWorksPast260Characters)
{
    test::TempDir dir;
    const std::string deep = deepBelow(dir.path(), 300);
    ASSERT_GT(deep.size(), 300u);
    ASSERT_TRUE(platform::makeFolders(deep.c_str()));
    EXPECT_TRUE(platform::isDirectory(deep.c_str())) << "a folder past 260 is a folder, not a file";
    const std::string model = platform::joinPath(deep, "m.3do");
    const std::vector<uint8_t> original = test::dirtyModel();
    ASSERT_TRUE(platform::replaceFileContents(model.c_str(), original.data(), original.size()));

    EXPECT_FALSE(platform::isDirectory(model.c_str()));
    EXPECT_EQ(platform::fileSize(model.c_str()), static_cast<int64_t>(original.size()));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::readWholeFile(model.c_str(), bytes, 1 << 20));
    EXPECT_EQ(bytes, original);
    ASSERT_TRUE(platform::readFileStart(model.c_str(), 4, bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>(original.begin(), original.begin() + 4));

    platform::FileIdentity named;
    EXPECT_EQ(platform::identifyName(model.c_str(), &named), platform::NameKind::regular);
    EXPECT_TRUE(platform::identifyFile(model.c_str()).sameFileAs(named));
    EXPECT_EQ(platform::identifyName(deep.c_str()), platform::NameKind::other);
    EXPECT_TRUE(platform::isSameOrInside(model.c_str(), dir.path().c_str()));
    EXPECT_EQ(platform::fullPath((deep + "/../" + platform::pathName(deep).data()).c_str()),
              platform::fullPath(deep.c_str()));

    const std::string sub = platform::joinPath(deep, "sub");
    ASSERT_TRUE(platform::makeFoldersWithin(dir.path().c_str(), sub.c_str()));
    std::vector<std::string> names;
    std::vector<std::string> subfolders;
    ASSERT_TRUE(platform::listFolderFiles(deep.c_str(), names, &subfolders));
    EXPECT_EQ(names, std::vector<std::string>{"m.3do"});
    EXPECT_EQ(sorted(subfolders), std::vector<std::string>{"sub"});
}

} // namespace
} // namespace scourvane
