// Who may use a model is the same before and after a clean: its owner and group, its mode, its
// extended attributes and access control list survive, or the model is left as it was with the
// reason. Attacked as another user and with attributes and lists the program never sets itself.
#include "batch/file_step.h"
#include "support/part_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#ifdef __linux__
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace scourvane
{
namespace
{

#ifdef __linux__
using test::asNobody;
using test::nobody;

// An access control list as the kernel stores it: a version, then (tag, permissions, id) entries
// in tag order.
std::vector<uint8_t> accessList(std::initializer_list<std::array<uint32_t, 3>> entries)
{
    std::vector<uint8_t> bytes{2, 0, 0, 0};
    for (const auto& [tag, perm, id] : entries)
        for (const uint32_t value : {tag | perm << 16, id})
            for (int shift = 0; shift < 32; shift += 8)
                bytes.push_back(static_cast<uint8_t>(value >> shift));
    return bytes;
}
constexpr uint32_t userObj = 0x01, namedUser = 0x02, groupObj = 0x04, mask = 0x10, other = 0x20;
constexpr uint32_t anyone = 0xFFFFFFFFu;

// user:nobody:rw, the owning group r, the mask rw: as `setfacl -m u:nobody:rw,g::r` leaves it.
const std::vector<uint8_t> nobodyMayWrite = accessList({{userObj, 6, anyone},
                                                        {namedUser, 6, nobody},
                                                        {groupObj, 4, anyone},
                                                        {mask, 6, anyone},
                                                        {other, 0, anyone}});

std::vector<uint8_t> attribute(const std::string& path, const char* name)
{
    std::vector<uint8_t> value(4096);
    const ssize_t size = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (size < 0) return {};
    value.resize(static_cast<size_t>(size));
    return value;
}

bool setAttribute(const std::string& path, const char* name, const std::vector<uint8_t>& value)
{
    return ::setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

struct stat statusOf(const std::string& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(MetadataKept, AnAccessListAndUserAttributesSurviveACleanInPlaceAndReachTheBackup)
{
    test::TempDir dir;
    const std::string model = dir.file("m.3do");
    const std::vector<uint8_t> original = test::dirtyModel();
    test::writeBytes(model, original);
    const std::vector<uint8_t> origin{'k', 'e', 'p', 't'};
    if (!setAttribute(model, "user.origin", origin) ||
        !setAttribute(model, "system.posix_acl_access", nobodyMayWrite))
        GTEST_SKIP() << "the file system of the scratch folder takes no attributes or access lists";
    const mode_t mode = statusOf(model).st_mode & 07777;

    FileStepOptions options;
    options.keepBackup = true;
    const FileResult result = cleanFile(model.c_str(), options);
    ASSERT_EQ(result.outcome, FileOutcome::cleaned) << describeFailure(result);
    ASSERT_NE(test::readBytes(model), original);
    for (const std::string& path : {model, model + ".bak"})
    {
        SCOPED_TRACE(path);
        EXPECT_EQ(attribute(path, "user.origin"), origin);
        EXPECT_EQ(attribute(path, "system.posix_acl_access"), nobodyMayWrite);
        EXPECT_EQ(statusOf(path).st_mode & 07777, mode) << "the owning group may not gain write";
    }
}

TEST(MetadataKept, AFolderWithADefaultAccessListGivesTheCleanedModelNoAccessTheModelLacked)
{
    test::TempDir dir;
    const std::string model = dir.file("m.3do");
    test::writeBytes(model, test::dirtyModel()); // before the default list: the model has none
    if (!setAttribute(dir.path(), "system.posix_acl_default", nobodyMayWrite))
        GTEST_SKIP() << "the file system of the scratch folder takes no access lists";
    ASSERT_TRUE(attribute(model, "system.posix_acl_access").empty());
    const mode_t mode = statusOf(model).st_mode & 07777;

    const FileResult result = cleanFile(model.c_str());
    ASSERT_EQ(result.outcome, FileOutcome::cleaned) << describeFailure(result);
    EXPECT_TRUE(attribute(model, "system.posix_acl_access").empty()) << "nobody may not gain write";
    EXPECT_EQ(statusOf(model).st_mode & 07777, mode);
}

TEST(MetadataKept, AModelWhoseOwnerOrGroupTheUserCannotKeepIsLeftAsItWasWithTheReason)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string model = dir.file("m.3do");
    const std::vector<uint8_t> original = test::dirtyModel();
    struct Case
    {
        const char* what;
        uid_t owner;
        gid_t group;
    };
    // Root's model open to all in a folder open to all; nobody's own model in a group nobody is not in.
    for (const Case& c : {Case{"someone else's model", 0, 0}, Case{"a group the user is not in", nobody, 0}})
    {
        SCOPED_TRACE(c.what);
        test::writeBytes(model, original);
        ASSERT_EQ(::chown(model.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod(model.c_str(), 0666), 0);
        const int status = asNobody(
            [&]
            {
                const FileResult result = cleanFile(model.c_str());
                if (result.outcome != FileOutcome::writeFailed) return 1;
                const std::string reason = describeFailure(result);
                return reason.starts_with("cannot keep the file's owner") &&
                               reason.find("left as it was") != std::string::npos
                           ? 0
                           : 2;
            });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(test::readBytes(model), original);
        EXPECT_EQ(statusOf(model).st_uid, c.owner);
        EXPECT_EQ(statusOf(model).st_gid, c.group);
    }
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator{}),
        1)
        << "no temporary left";

    // Their own model in their own group is theirs to clean.
    ASSERT_EQ(::chown(model.c_str(), nobody, nobody), 0);
    EXPECT_EQ(asNobody([&] { return cleanFile(model.c_str()).outcome == FileOutcome::cleaned ? 0 : 1; }), 0);
    EXPECT_NE(test::readBytes(model), original);
}
#endif

} // namespace
} // namespace scourvane
