// Paths dropped on the window or given at start become the selection the open-file dialog would make.
#include "batch/selection_list.h"

#include "platform/folder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace scourvane
{
namespace
{

// The strings of a selection list up to its empty terminator (one string for the single form).
std::vector<std::string> strings(const std::vector<char>& buffer)
{
    std::vector<std::string> out;
    for (size_t at = 0; at < buffer.size() && buffer[at] != '\0';)
    {
        out.emplace_back(buffer.data() + at);
        at += out.back().size() + 1;
    }
    return out;
}

class SelectionFromPathsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (const char* name : {"tank.3do", "Crate.3DO", "notes.txt", "b.3do"})
            test::writeBytes(dir.file(name), {1, 2, 3});
        std::filesystem::create_directory(dir.file("sub"));
        test::writeBytes(dir.file("sub") + "/inner.3do", {1});
        folder = std::filesystem::path(dir.path()).string();
    }

    test::TempDir dir;
    std::string folder;
    std::vector<char> buffer;
    std::string current = "unchanged";
};

TEST_F(SelectionFromPathsTest, FilesOfOneFolderOrTheFolderItselfMakeTheListTheDialogWouldMake)
{
#ifdef _WIN32
    const std::string root = "C:\\";
#else
    const std::string root = "/";
#endif
    const struct
    {
        std::vector<std::string> paths;
        std::vector<std::string> listed;
        std::string current;
    } cases[] = {
        // Any file counts, as under the dialog's "All Files" filter; a name given twice is taken once.
        {{dir.file("tank.3do"), dir.file("notes.txt"), dir.file("tank.3do")},
         {folder, "tank.3do", "notes.txt"},
         folder},
        {{dir.file("b.3do")}, {dir.file("b.3do")}, folder}, // the single form: one full path
        // A folder gives its models in any case, sorted, without its subfolders or other files.
        {{dir.path() + "/", dir.file("b.3do")}, {folder, "Crate.3DO", "b.3do", "tank.3do"}, folder},
        // Files at a root name the root with its separator.
        {{root + "no-such-a.3do", root + "no-such-b.3do"}, {root, "no-such-a.3do", "no-such-b.3do"}, root},
        {{"bare.3do"}, {platform::joinPath(".", "bare.3do")}, "."}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.paths.back());
        ASSERT_EQ(selectionFromPaths(c.paths, buffer, current), PathsSelection::made);
        EXPECT_EQ(buffer.size(), selectionBufferSize) << "a short list fills the dialog's buffer";
        EXPECT_EQ(strings(buffer), c.listed);
        EXPECT_EQ(current, c.current);
        EXPECT_EQ(selectionForm(buffer.data()),
                  c.listed.size() == 1 ? SelectionForm::single : SelectionForm::multiple);
    }
}

TEST_F(SelectionFromPathsTest, RefusedSelectionsLeaveBufferAndFolderAsTheyWere)
{
    buffer.assign(3, 'x');
    // A file of a subfolder with a file of its parent: two folders.
    EXPECT_EQ(selectionFromPaths({dir.file("tank.3do"), dir.file("sub") + "/inner.3do"}, buffer, current),
              PathsSelection::severalFolders);
    EXPECT_EQ(selectionFromPaths({dir.path(), dir.file("sub")}, buffer, current),
              PathsSelection::severalFolders);
    test::TempDir empty;
    test::writeBytes(empty.file("readme.txt"), {1});
    EXPECT_EQ(selectionFromPaths({empty.path()}, buffer, current), PathsSelection::nothingToSelect);
    // Names that fill the most a selection may take exactly but leave no room for the list's empty
    // terminator.
    std::vector<std::string> many;
    size_t used = folder.size() + 1;
    for (int i = 0; used + 1 <= maxPathsSelectionSize; ++i)
    {
        many.push_back(dir.file(std::string(200, 'a') + std::to_string(i)));
        used += 201 + std::to_string(i).size();
    }
    EXPECT_EQ(selectionFromPaths(many, buffer, current), PathsSelection::tooLong);
    EXPECT_EQ(buffer, std::vector<char>(3, 'x'));
    EXPECT_EQ(current, "unchanged");
}

TEST_F(SelectionFromPathsTest, ThousandsOfDroppedFilesOutgrowTheDialogsBufferAndAreAllWalked)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 5000; ++i)
        paths.push_back(dir.file("a model with a long name, number " + std::to_string(i) + ".3do"));
    ASSERT_EQ(selectionFromPaths(paths, buffer, current), PathsSelection::made);
    EXPECT_GT(buffer.size(), selectionBufferSize);
    // Walked to its end the list gives every file (the GUI suite cleans such a drop and finds each name
    // in the log); read only as far as the dialog's buffer, it stops where that buffer ends.
    size_t walked = 0, shortWalked = 0;
    for (SelectionWalk walk(buffer.data(), buffer.size()); walk.next();)
        ++walked;
    for (SelectionWalk walk(buffer.data()); walk.next();)
        ++shortWalked;
    EXPECT_EQ(walked, paths.size());
    EXPECT_LT(shortWalked, paths.size());
}

TEST(SelectionBelowFolderTest, AFolderWithoutModelsOfItsOwnGivesThoseOfItsSubfoldersNamedBelowIt)
{
    test::TempDir mod;
    namespace fs = std::filesystem;
    test::writeBytes(mod.file("readme.txt"), {1});
    fs::create_directories(mod.file("units") + "/deep/deeper");
    fs::create_directories(mod.file("objects3d"));
    for (const char* name :
         {"objects3d/b.3do", "objects3d/A.3DO", "objects3d/notes.txt", "units/deep/deeper/c.3do"})
        test::writeBytes(mod.file(name), {1});
#ifndef _WIN32
    // A link back up the tree is not followed: no model twice, no endless walk.
    fs::create_directory_symlink(mod.path(), mod.file("units") + "/loop");
#endif
    std::vector<char> buffer;
    std::string current = "unchanged";
    EXPECT_EQ(selectionFromPaths({mod.path()}, buffer, current), PathsSelection::nothingToSelect)
        << "a folder's own files only, as before";
    const std::vector<std::string> names = modelsInSubfolders(mod.path());
    const std::vector<std::string> expected{
        platform::joinPath("objects3d", "A.3DO"), platform::joinPath("objects3d", "b.3do"),
        platform::joinPath(platform::joinPath("units", "deep"), "deeper") + platform::pathSeparator +
            "c.3do"};
    EXPECT_EQ(names, expected);

    ASSERT_EQ(selectionBelowFolder(mod.path() + "/", names, buffer, current), PathsSelection::made);
    const std::string folder = platform::trimmedFolder(mod.path());
    EXPECT_EQ(current, folder);
    std::vector<std::string> listed{folder};
    listed.insert(listed.end(), expected.begin(), expected.end());
    EXPECT_EQ(strings(buffer), listed);

    // One model below still makes the multiple form, so that it too is named below the folder.
    ASSERT_EQ(selectionBelowFolder(mod.path(), {expected.back()}, buffer, current), PathsSelection::made);
    EXPECT_EQ(selectionForm(buffer.data()), SelectionForm::multiple);
    EXPECT_EQ(selectionBelowFolder(mod.path(), {}, buffer, current), PathsSelection::nothingToSelect);
    test::TempDir flat;
    test::writeBytes(flat.file("own.3do"), {1});
    EXPECT_TRUE(modelsInSubfolders(flat.path()).empty()) << "the folder's own models are not below it";
}

} // namespace
} // namespace scourvane

namespace scourvane::test
{
// Every caller splits and joins by the one rule, so these are the only spellings to pin.
TEST(PathModule, SplitsAndJoinsByTheSystemsSeparatorsAndDrives)
{
    using namespace platform;
    EXPECT_EQ(pathName("mod/units/a.3do"), "a.3do");
    EXPECT_EQ(pathFolder("mod/units//a.3do"), "mod/units");
    EXPECT_EQ(joinPath("", "a.3do"), "a.3do");
    EXPECT_EQ(joinPath("mod/", "a.3do"), "mod/a.3do");
    EXPECT_EQ(trimmedFolder("mod///"), "mod");
#ifdef _WIN32
    EXPECT_EQ(joinPath("mod", "a.3do"), "mod\\a.3do");
    EXPECT_EQ(pathName("C:a.3do"), "a.3do");
    EXPECT_EQ(pathFolder("C:a.3do"), "C:");
    EXPECT_EQ(pathFolder("mod\\units/a.3do"), "mod\\units");
    EXPECT_EQ(joinPath("C:", "a.3do"), "C:a.3do");
    EXPECT_EQ(pathName("dir\\x:y"), "x:y") << "only a drive's colon ends a name";
#else
    EXPECT_EQ(joinPath("mod", "a.3do"), "mod/a.3do");
    EXPECT_EQ(pathName("mod\\a.3do"), "mod\\a.3do");
    EXPECT_EQ(pathName("C:a.3do"), "C:a.3do");
#endif
}
} // namespace scourvane::test
