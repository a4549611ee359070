// The Clean command end to end, message boxes and buttons included, through the recording shell.
// Files that vanish, are read-only or fail half-way through a save are the fault suite's.
#include "batch/batch_run.h"
#include "batch/selection_list.h"
#include "platform/file_io.h"
#include "platform/shell.h"
#include "platform/shell_recording.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace scourvane::test
{
namespace
{

namespace fs = std::filesystem;
using shell::recording::Call;
using shell::recording::CallKind;

// One textured triangle, 130 bytes written; cleaning removes nothing.
std::unique_ptr<ObjectPart> plainModel()
{
    auto part = makePart("p");
    setVertexes(*part, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    addFace(*part, makeFace(0, {0, 1, 2}, "T"));
    return part;
}

// plainModel plus a copy of vertex 0 and a dead face using it: 180 bytes, 1 vertex and 1 face to remove.
std::unique_ptr<ObjectPart> singleModel()
{
    auto part = plainModel();
    setVertexes(*part, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    addFace(*part, makeFace(0, {0, 1, 3}));
    return part;
}

// 280 bytes with 3 vertexes and 2 faces to remove; 168 bytes once cleaned.
std::unique_ptr<ObjectPart> manyModel()
{
    auto part = plainModel();
    setVertexes(*part, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}});
    addFace(*part, makeFace(0, {3, 4, 2}, "T"));
    addFace(*part, makeFace(0, {0, 1, 5}));
    addFace(*part, makeFace(0, {2, 5, 0}));
    return part;
}

std::vector<uint8_t> imageOf(const ObjectPart& root)
{
    std::vector<uint8_t> image;
    EXPECT_TRUE(root.buildModelImage(image));
    return image;
}

void writeModel(const std::string& path, const ObjectPart& root)
{
    writeBytes(path, imageOf(root));
}

// A selection buffer of the full size: the strings, each with its NUL, then an empty one.
std::string selectionOf(const std::vector<std::string>& strings)
{
    std::string buffer;
    for (const std::string& text : strings)
        buffer += text + '\0';
    buffer.resize(selectionBufferSize, '\0');
    return buffer;
}

// Where the run looks for `name` in the multiple form. On Windows that is the file in the directory;
// elsewhere a file whose name holds the backslash, which the tests create by that same path.
std::string joinedPath(const std::string& directory, const std::string& name)
{
    return directory + "\\" + name;
}

std::string cleanedText(const std::string& path, int before, const std::string& vertexes,
                        const std::string& faces, int after)
{
    return "\r\nFile cleaned: \"" + path + "\"\r\n\tOriginal file size: " + std::to_string(before) +
           " bytes\r\n\t" + vertexes + "\r\n\t" + faces +
           "\r\n\tCleaned file size: " + std::to_string(after) + " bytes";
}

std::string summaryText(const std::string& files, const std::string& vertexes, const std::string& faces,
                        const std::string& bytes)
{
    return "\r\n" + files + " files cleaned successfully\r\n\t" + vertexes + "\r\n\t" + faces + "\r\n\t" +
           bytes;
}

const std::string nothingRemoved = "\t0 vertexes removed\r\n\t0 faces removed\r\n\t0 bytes removed";

// A scratch folder that is also the current directory (the run writes log.txt there) and a recording
// shell.
class RunTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::error_code error;
        previousDirectory_ = fs::current_path(error);
        fs::current_path(dir.path(), error);
        ASSERT_FALSE(error) << "cannot enter " << dir.path();
        shell::recording::reset();
        context.mainWindow = &windows[0];
        for (int i = 0; i < 4; ++i)
            context.buttonWindows[i] = &windows[i + 1];
    }
    void TearDown() override
    {
        std::error_code error;
        fs::current_path(previousDirectory_, error);
    }

    // Runs the Clean command on `selection` (null: nothing selected).
    void run(const std::string* selection)
    {
        context.selectionBuffer = selection ? selection->data() : nullptr;
        runCleaning(context);
    }
    std::string log() const
    {
        const std::vector<uint8_t> bytes = readBytes(dir.file("log.txt"));
        return std::string(bytes.begin(), bytes.end());
    }

    // Checks what every run does around its work (the four buttons disabled first, enabled again and
    // the focus on Clean last) and returns the calls in between.
    std::vector<Call> callsInBetween()
    {
        const std::vector<Call>& all = shell::recording::calls();
        EXPECT_GE(all.size(), 9u);
        if (all.size() < 9) return {};
        for (size_t i = 0; i < 4; ++i)
        {
            SCOPED_TRACE("button " + std::to_string(i));
            const Call& off = all[i];
            const Call& on = all[all.size() - 5 + i];
            EXPECT_TRUE(off.kind == CallKind::enableWindow && off.window == &windows[i + 1] && !off.enable);
            EXPECT_TRUE(on.kind == CallKind::enableWindow && on.window == &windows[i + 1] && on.enable);
        }
        EXPECT_EQ(all.back().kind, CallKind::setFocus);
        EXPECT_EQ(all.back().window, &windows[2]) << "the Clean button";
        return {all.begin() + 4, all.end() - 5};
    }

    void expectBox(const Call& call, const std::string& text, const std::string& caption, uint32_t style)
    {
        EXPECT_EQ(call.kind, CallKind::messageBox);
        EXPECT_EQ(call.window, &windows[0]);
        EXPECT_EQ(call.text, text);
        EXPECT_EQ(call.caption, caption);
        EXPECT_EQ(call.style, style);
    }

    TempDir dir;
    int windows[5] = {};
    RunContext context;

  private:
    fs::path previousDirectory_;
};

// --- The message boxes and buttons ---------------------------------------------------------------

TEST_F(RunTest, NothingSelectedShowsOnlyTheNoSelectionBoxAndNeitherCreatesNorChangesTheLog)
{
    run(nullptr);
    EXPECT_FALSE(fs::exists(dir.file("log.txt")));

    writeBytes(dir.file("log.txt"), {'o', 'l', 'd'});
    shell::recording::reset();
    run(nullptr);
    const std::vector<Call> inBetween = callsInBetween();
    ASSERT_EQ(inBetween.size(), 1u);
    expectBox(inBetween[0], "No 3DO files have been selected.\nYou must select one or more 3DO files.",
              "No 3DO Files Selected!", 0x10);
    EXPECT_EQ(log(), "old");
}

TEST_F(RunTest, CompletionPromptOpensTheLogOnlyOnYesAndOnlyWhenTheLogWasCreated)
{
    const struct
    {
        int answer;
        bool logBlocked; // a folder stands where log.txt should go
        bool editorStarted;
    } cases[] = {{shell::idNo, false, false}, {shell::idYes, false, true}, {shell::idYes, true, false}};

    const std::string path = dir.file("many.3do");
    for (const auto& c : cases)
    {
        SCOPED_TRACE("answer " + std::to_string(c.answer) + (c.logBlocked ? ", log blocked" : ""));
        if (c.logBlocked)
        {
            fs::remove(dir.file("log.txt"));
            fs::create_directory(dir.file("log.txt"));
        }
        writeModel(path, *manyModel());
        const std::string selection = selectionOf({path});
        shell::recording::reset();
        shell::recording::setAnswer(c.answer);
        run(&selection);

        const std::vector<Call> inBetween = callsInBetween();
        ASSERT_EQ(inBetween.size(), c.editorStarted ? 2u : 1u);
        expectBox(inBetween[0],
                  "File cleaning complete.\nWould you like to see the log file for more details?",
                  "Cleaning Completed!", 0x44);
        if (c.editorStarted)
        {
            EXPECT_EQ(inBetween[1].kind, CallKind::startProgram);
            EXPECT_EQ(inBetween[1].text, "notepad log.txt");
            std::error_code error;
            EXPECT_TRUE(fs::equivalent(inBetween[1].directory, dir.path(), error));
        }
        EXPECT_EQ(fileSizeOf(path.c_str()), 168) << "cleaned whatever the log";
    }
}

// --- Figures and their words ---------------------------------------------------------------------

TEST_F(RunTest, EachFileReportsItsFiguresWithSingularAndAddedWordsWhereDue)
{
    std::vector<uint8_t> padded = imageOf(*plainModel());
    padded.push_back(0xEE); // a byte no offset reaches: the rewrite drops it
    const struct
    {
        const char* name;
        std::vector<uint8_t> image;
        int before, after;
        const char *vertexes, *faces, *bytes;
    } cases[] = {
        {"plain", imageOf(*plainModel()), 130, 130, "0 vertexes removed", "0 faces removed",
         "0 bytes removed"},
        {"single", imageOf(*singleModel()), 180, 130, "1 vertex removed", "1 face removed",
         "50 bytes removed"},
        {"padded", padded, 131, 130, "0 vertexes removed", "0 faces removed", "1 byte removed"},
        {"many", imageOf(*manyModel()), 280, 168, "3 vertexes removed", "2 faces removed",
         "112 bytes removed"},
        // A part without faces gains a point.
        {"faceless", imageOf(*makePart("p")), 54, 100, "1 vertex added", "1 face added", "46 bytes added"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".3do");
        writeBytes(path, c.image);
        const std::string selection = selectionOf({path});
        run(&selection);
        EXPECT_EQ(log(), "Report:" + cleanedText(path, c.before, c.vertexes, c.faces, c.after) +
                             summaryText("1 out of 1", c.vertexes, c.faces, c.bytes));
    }
}

// --- The selection -------------------------------------------------------------------------------

TEST_F(RunTest, UnreadableSecondOfThreeFilesCountsOnlyTheOthers)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    writeModel(joinedPath(folder, "a.3do"), *singleModel());
    writeBytes(joinedPath(folder, "b.3do"), {1, 2, 3, 4, 5});
    writeModel(joinedPath(folder, "c.3do"), *singleModel());
    const std::string selection = selectionOf({folder, "a.3do", "b.3do", "c.3do"});
    run(&selection);

    const auto single = [&](const char* name)
    { return cleanedText(joinedPath(folder, name), 180, "1 vertex removed", "1 face removed", 130); };
    EXPECT_EQ(log(),
              "Report:" + single("a.3do") + "\r\nError reading file: \"" + joinedPath(folder, "b.3do") +
                  "\"" + single("c.3do") +
                  summaryText("2 out of 3", "2 vertexes removed", "2 faces removed", "100 bytes removed"));
    EXPECT_EQ(readBytes(joinedPath(folder, "b.3do")), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(RunTest, DirectoryEndingInBackslashIsJoinedWithTwoBackslashes)
{
    // On Windows "root\" is the folder root; elsewhere it is a folder whose name ends in a
    // backslash. Either way the run must open the path with the doubled backslash.
    const std::string folder = dir.file("root") + "\\";
    fs::create_directory(folder);
    ASSERT_TRUE(platform::isDirectory(folder.c_str()));
    const std::string joined = joinedPath(folder, "a.3do");
    writeModel(joined, *singleModel());
    const std::string selection = selectionOf({folder, "a.3do"});
    run(&selection);

    EXPECT_NE(log().find("\r\nFile cleaned: \"" + joined + "\"\r\n\tOriginal file size: 180 bytes"),
              std::string::npos)
        << log();
    EXPECT_EQ(fileSizeOf(joined.c_str()), 130);
}

TEST_F(RunTest, SelectionWithoutACleanableFileStillGivesTheTitleAndSummary)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    const std::string gone = dir.file("gone.3do");
    // A single file that vanished after Select is reported rather than skipped.
    const struct
    {
        std::vector<std::string> selection;
        std::string expected;
    } cases[] = {
        {{gone},
         "Report:\r\nError reading file: \"" + gone + "\"\r\n0 out of 1 files cleaned successfully\r\n"},
        {{folder}, "Report:\r\n0 out of 0 files cleaned successfully\r\n"},
    };
    for (const auto& c : cases)
    {
        const std::string selection = selectionOf(c.selection);
        run(&selection);
        EXPECT_EQ(log(), c.expected + nothingRemoved);
    }
}

TEST_F(RunTest, SameSelectionCleanedTwiceRemovesNothingTheSecondTimeReplacesTheLogAndStaysAsItWas)
{
    const std::string folder = dir.file("models");
    fs::create_directory(folder);
    const std::string path = joinedPath(folder, "many.3do");
    writeModel(path, *manyModel());
    const std::string selection = selectionOf({folder, "many.3do", "missing.3do"});
    const std::string copy = selection;
    run(&selection);
    run(&selection);

    EXPECT_EQ(log(), "Report:" + cleanedText(path, 168, "0 vertexes removed", "0 faces removed", 168) +
                         "\r\nError reading file: \"" + joinedPath(folder, "missing.3do") +
                         "\"\r\n1 out of 2 "
                         "files cleaned successfully\r\n" +
                         nothingRemoved);
    EXPECT_EQ(selection, copy);
}

} // namespace
} // namespace scourvane::test
