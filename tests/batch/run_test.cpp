// The Clean command end to end, message boxes and buttons included, through the recording shell.
#include "batch_fixture.h"

#include "platform/file_io.h"
#include "platform/shell.h"

#include <filesystem>

namespace scourvane::test
{
namespace
{

namespace fs = std::filesystem;
using shell::recording::CallKind;

const char* const summaryOfNothing = "\r\n\t0 vertexes removed\r\n\t0 faces removed\r\n\t0 bytes removed";

std::string plainReport(const std::string& path)
{
    return "\r\nFile cleaned: \"" + path +
           "\"\r\n\tOriginal file size: 130 bytes\r\n\t0 vertexes removed\r\n\t0 faces removed\r\n\tCleaned "
           "file "
           "size: 130 bytes";
}

// --- Nothing selected ---------------------------------------------------------------------------

TEST_F(BatchTest, NothingSelectedShowsOnlyTheNoSelectionBoxAndLeavesTheLogAlone)
{
    writeBytes(dir.file("log.txt"), {'o', 'l', 'd'});
    run(nullptr);

    ASSERT_EQ(calls().size(), 10u);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(calls()[i].kind, CallKind::enableWindow);
        EXPECT_EQ(calls()[i].window, &windows[i + 1]);
        EXPECT_FALSE(calls()[i].enable);
    }
    const auto& box = calls()[4];
    EXPECT_EQ(box.kind, CallKind::messageBox);
    EXPECT_EQ(box.window, &windows[0]);
    EXPECT_EQ(box.text, "No 3DO files have been selected.\nYou must select one or more 3DO files.");
    EXPECT_EQ(box.caption, "No 3DO Files Selected!");
    EXPECT_EQ(box.style, 0x10u);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(calls()[5 + i].kind, CallKind::enableWindow);
        EXPECT_EQ(calls()[5 + i].window, &windows[i + 1]);
        EXPECT_TRUE(calls()[5 + i].enable);
    }
    EXPECT_EQ(calls()[9].kind, CallKind::setFocus);
    EXPECT_EQ(calls()[9].window, &windows[2]);
    EXPECT_EQ(log(), "old");
}

TEST_F(BatchTest, NothingSelectedCreatesNoLog)
{
    run(nullptr);
    EXPECT_FALSE(logExists());
}

// --- Figures and their words ---------------------------------------------------------------------

TEST_F(BatchTest, FileWithNothingToRemoveReportsZeroRemoved)
{
    const std::string path = dir.file("plain.3do");
    writeModel(path, *plainModel());
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(log(),
              "Report:\r\nFile cleaned: \"" + path +
                  "\"\r\n\tOriginal file size: 130 bytes\r\n\t0 vertexes removed\r\n\t0 faces "
                  "removed\r\n\tCleaned file size: 130 bytes\r\n1 out of 1 files cleaned successfully\r\n\t0 "
                  "vertexes removed\r\n\t0 faces removed\r\n\t0 bytes removed");
}

TEST_F(BatchTest, ButtonsStayDisabledUntilThePromptIsAnsweredThenCleanHasTheFocus)
{
    const std::string path = dir.file("plain.3do");
    writeModel(path, *plainModel());
    const std::string selection = selectionOf({path});
    run(&selection);

    ASSERT_EQ(calls().size(), 10u);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(calls()[i].enable);
    const auto& prompt = calls()[4];
    EXPECT_EQ(prompt.kind, CallKind::messageBox);
    EXPECT_EQ(prompt.window, &windows[0]);
    EXPECT_EQ(prompt.text, "File cleaning complete.\nWould you like to see the log file for more details?");
    EXPECT_EQ(prompt.caption, "Cleaning Completed!");
    EXPECT_EQ(prompt.style, 0x44u);
    for (int i = 5; i < 9; ++i)
        EXPECT_TRUE(calls()[i].enable);
    EXPECT_EQ(calls()[9].kind, CallKind::setFocus);
    EXPECT_EQ(calls()[9].window, &windows[2]);
}

TEST_F(BatchTest, ChangesOfOneAreSingular)
{
    const std::string path = dir.file("single.3do");
    writeModel(path, *singleModel());
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(
        log(),
        "Report:\r\nFile cleaned: \"" + path +
            "\"\r\n\tOriginal file size: 180 bytes\r\n\t1 vertex removed\r\n\t1 face removed\r\n\tCleaned "
            "file size: 130 bytes\r\n1 out of 1 files cleaned successfully\r\n\t1 vertex removed\r\n\t1 "
            "face removed\r\n\t50 bytes removed");
}

TEST_F(BatchTest, OneByteRemovedIsSingular)
{
    const std::string path = dir.file("padded.3do");
    std::vector<uint8_t> image;
    ASSERT_TRUE(plainModel()->buildModelImage(image));
    image.push_back(0xEE); // a byte no offset reaches: the rewrite drops it
    writeBytes(path, image);
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(log(),
              "Report:\r\nFile cleaned: \"" + path +
                  "\"\r\n\tOriginal file size: 131 bytes\r\n\t0 vertexes removed\r\n\t0 faces "
                  "removed\r\n\tCleaned file size: 130 bytes\r\n1 out of 1 files cleaned successfully\r\n\t0 "
                  "vertexes removed\r\n\t0 faces removed\r\n\t1 byte removed");
}

TEST_F(BatchTest, LargerChangesArePlural)
{
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(log(),
              "Report:\r\nFile cleaned: \"" + path +
                  "\"\r\n\tOriginal file size: 280 bytes\r\n\t3 vertexes removed\r\n\t2 faces "
                  "removed\r\n\tCleaned file size: 168 bytes\r\n1 out of 1 files cleaned successfully\r\n\t3 "
                  "vertexes removed\r\n\t2 faces removed\r\n\t112 bytes removed");
}

TEST_F(BatchTest, PartWithoutFacesGainsAPointReportedAsAdded)
{
    const std::string path = dir.file("faceless.3do");
    writeModel(path, *facelessModel());
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(
        log(),
        "Report:\r\nFile cleaned: \"" + path +
            "\"\r\n\tOriginal file size: 54 bytes\r\n\t1 vertex added\r\n\t1 face added\r\n\tCleaned file "
            "size: 100 bytes\r\n1 out of 1 files cleaned successfully\r\n\t1 vertex added\r\n\t1 face "
            "added\r\n\t46 bytes added");
}

// --- The multiple form ---------------------------------------------------------------------------

TEST_F(BatchTest, UnreadableSecondOfThreeFilesCountsOnlyTheOthers)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    writeModel(joinedPath(folder, "a.3do"), *plainModel());
    writeBytes(joinedPath(folder, "b.3do"), {1, 2, 3, 4, 5});
    writeModel(joinedPath(folder, "c.3do"), *singleModel());
    const std::string selection = selectionOf({folder, "a.3do", "b.3do", "c.3do"});
    run(&selection);

    EXPECT_EQ(
        log(),
        "Report:" + plainReport(joinedPath(folder, "a.3do")) + "\r\nError reading file: \"" +
            joinedPath(folder, "b.3do") + "\"\r\nFile cleaned: \"" + joinedPath(folder, "c.3do") +
            "\"\r\n\tOriginal file size: 180 bytes\r\n\t1 vertex removed\r\n\t1 face removed\r\n\tCleaned "
            "file size: 130 bytes\r\n2 out of 3 files cleaned successfully\r\n\t1 vertex removed\r\n\t1 "
            "face removed\r\n\t50 bytes removed");
    EXPECT_EQ(readBytes(joinedPath(folder, "b.3do")), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(BatchTest, DirectoryEndingInBackslashIsJoinedWithTwoBackslashes)
{
    // On Windows "root\" is the folder root; elsewhere it is a folder whose name ends in a
    // backslash. Either way the run must open the path with the doubled backslash.
    const std::string folder = dir.file("root") + "\\";
    fs::create_directory(folder);
    ASSERT_TRUE(platform::isDirectory(folder.c_str()));
    const std::string joined = joinedPath(folder, "a.3do");
    ASSERT_NE(joined.find("\\\\a.3do"), std::string::npos);
    writeModel(joined, *singleModel());
    const std::string selection = selectionOf({folder, "a.3do"});
    run(&selection);

    EXPECT_NE(log().find("\r\nFile cleaned: \"" + joined + "\"\r\n\tOriginal file size: 180 bytes"),
              std::string::npos)
        << log();
    EXPECT_EQ(fileSizeOf(joined.c_str()), plainSize);
}

TEST_F(BatchTest, EmptyNameListAttemptsNothing)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    const std::string selection = selectionOf({folder});
    run(&selection);

    EXPECT_EQ(log(), std::string("Report:\r\n0 out of 0 files cleaned successfully") + summaryOfNothing);
}

TEST_F(BatchTest, SameSelectionCleanedTwiceRemovesNothingTheSecondTimeAndReplacesTheLog)
{
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::string selection = selectionOf({path});
    run(&selection);
    run(&selection);

    EXPECT_EQ(log(),
              "Report:\r\nFile cleaned: \"" + path +
                  "\"\r\n\tOriginal file size: 168 bytes\r\n\t0 vertexes removed\r\n\t0 faces "
                  "removed\r\n\tCleaned file size: 168 bytes\r\n1 out of 1 files cleaned successfully\r\n\t0 "
                  "vertexes removed\r\n\t0 faces removed\r\n\t0 bytes removed");
}

TEST_F(BatchTest, RunLeavesTheSelectionAsItWas)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    writeModel(joinedPath(folder, "a.3do"), *plainModel());
    const std::string selection = selectionOf({folder, "a.3do", "missing.3do"});
    const std::string copy = selection;
    run(&selection);
    EXPECT_EQ(selection, copy);
}

// --- The completion prompt -----------------------------------------------------------------------

TEST_F(BatchTest, PromptAnsweredNoStartsNothing)
{
    const std::string path = dir.file("plain.3do");
    writeModel(path, *plainModel());
    const std::string selection = selectionOf({path});
    shell::recording::setAnswer(shell::idNo);
    run(&selection);

    for (const auto& call : calls())
        EXPECT_NE(call.kind, CallKind::startProgram);
}

TEST_F(BatchTest, PromptAnsweredYesOpensTheLogInTheCurrentDirectory)
{
    const std::string path = dir.file("plain.3do");
    writeModel(path, *plainModel());
    const std::string selection = selectionOf({path});
    shell::recording::setAnswer(shell::idYes);
    run(&selection);

    ASSERT_EQ(calls().size(), 11u);
    EXPECT_EQ(calls()[4].kind, CallKind::messageBox);
    const auto& start = calls()[5];
    ASSERT_EQ(start.kind, CallKind::startProgram);
    EXPECT_EQ(start.text, "notepad log.txt");
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(start.directory, dir.path(), error));
    EXPECT_EQ(calls()[10].kind, CallKind::setFocus);
}

TEST_F(BatchTest, PromptAnsweredYesAfterTheLogCouldNotBeCreatedStartsNothingButCleans)
{
    fs::create_directory(dir.file("log.txt")); // a folder where the log should go
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::string selection = selectionOf({path});
    shell::recording::setAnswer(shell::idYes);
    run(&selection);

    bool prompted = false;
    for (const auto& call : calls())
    {
        EXPECT_NE(call.kind, CallKind::startProgram);
        prompted = prompted || (call.kind == CallKind::messageBox && call.caption == "Cleaning Completed!");
    }
    EXPECT_TRUE(prompted);
    EXPECT_EQ(fileSizeOf(path.c_str()), 168);
}

// --- Failures that lose nothing ------------------------------------------------------------------

TEST_F(BatchTest, VanishedSingleFileIsReportedRatherThanSkipped)
{
    const std::string path = dir.file("gone.3do");
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(log(), "Report:\r\nError reading file: \"" + path +
                         "\"\r\n0 out of 1 files cleaned successfully" + summaryOfNothing);
}

TEST_F(BatchTest, FileRemovedAfterSelectIsReportedAndTheRunGoesOn)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    writeModel(joinedPath(folder, "a.3do"), *plainModel());
    writeModel(joinedPath(folder, "b.3do"), *plainModel());
    const std::string selection = selectionOf({folder, "b.3do", "a.3do"});
    fs::remove(joinedPath(folder, "b.3do"));
    run(&selection);

    EXPECT_EQ(log(), "Report:\r\nError reading file: \"" + joinedPath(folder, "b.3do") + "\"" +
                         plainReport(joinedPath(folder, "a.3do")) +
                         "\r\n1 out of 2 files cleaned successfully" + summaryOfNothing);
}

TEST_F(BatchTest, DirectoryNamedLikeAFileIsReportedAndLeftAlone)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    fs::create_directory(joinedPath(folder, "sub.3do"));
    const std::string selection = selectionOf({folder, "sub.3do"});
    run(&selection);

    EXPECT_EQ(log(), "Report:\r\nError reading file: \"" + joinedPath(folder, "sub.3do") +
                         "\"\r\n0 out of 1 files cleaned successfully" + summaryOfNothing);
    EXPECT_TRUE(platform::isDirectory(joinedPath(folder, "sub.3do").c_str()));
}

TEST_F(BatchTest, ReadOnlyFileIsReportedAndKeepsItsBytes)
{
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::vector<uint8_t> before = readBytes(path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::replace);
    const std::string selection = selectionOf({path});
    run(&selection);

    EXPECT_EQ(log(), "Report:\r\nError writing file: \"" + path +
                         "\"\r\n0 out of 1 files cleaned successfully" + summaryOfNothing);
    EXPECT_EQ(readBytes(path), before);
}

TEST_F(BatchTest, SaveFailingHalfwayKeepsTheOriginalAndLeavesNoStrayFiles)
{
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::vector<uint8_t> before = readBytes(path);
    const std::string selection = selectionOf({path});
    platform::injectFault(platform::IoStep::rename, 1);
    run(&selection);

    EXPECT_NE(log().find("\r\nError writing file: \"" + path + "\"\r\n0 out of 1"), std::string::npos)
        << log();
    EXPECT_EQ(readBytes(path), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2u) << "only the model and log.txt";
}

// --- The 8192-byte limits ------------------------------------------------------------------------

TEST_F(BatchTest, OverlongJoinedPathIsRefusedShortenedAndTheRunGoesOn)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    writeModel(joinedPath(folder, "a.3do"), *plainModel());
    const std::string longName = std::string(9000, 'x') + ".3do";
    const std::string selection = selectionOf({folder, longName, "a.3do"});
    run(&selection);

    const std::string text = log();
    const std::string refusalStart = "Report:\r\nError reading file: \"...";
    ASSERT_EQ(text.compare(0, refusalStart.size(), refusalStart), 0) << text.substr(0, 100);
    const size_t refusalEnd = text.find("xxxx.3do\"\r\nFile cleaned");
    ASSERT_NE(refusalEnd, std::string::npos);
    EXPECT_LE(refusalEnd + 9 - 7, textBufferSize - 1) << "the refusal text fits its buffer";
    EXPECT_NE(
        text.find(plainReport(joinedPath(folder, "a.3do")) + "\r\n1 out of 2 files cleaned successfully"),
        std::string::npos);
}

TEST_F(BatchTest, OverlongSinglePathIsRefusedShortened)
{
    const std::string path = dir.file(std::string(200, 'd')) + std::string(9000, 'y');
    const std::string selection = selectionOf({path});
    run(&selection);

    const std::string text = log();
    const std::string start = "Report:\r\nError reading file: \"...";
    ASSERT_EQ(text.compare(0, start.size(), start), 0);
    const size_t end = text.find("\"\r\n0 out of 1 files cleaned successfully");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(end + 1 - 7, textBufferSize - 1) << "shortened to fill the buffer exactly";
}

} // namespace
} // namespace scourvane::test
