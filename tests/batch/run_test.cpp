// The Clean command end to end, message boxes and buttons included, through the recording shell; then
// its pieces at edges a run rarely reaches: figures that wrap and paths at the limit of a text buffer.
// Failing saves are the fault suite's; the real dialog and editor are the GUI suite's.
#include "batch/batch_run.h"
#include "batch/file_jobs.h"
#include "batch/report.h"
#include "batch/selection_list.h"
#include "platform/file_io.h"
#include "platform/folder.h"
#include "platform/shell.h"
#include "platform/shell_recording.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <memory>

namespace scourvane::test
{
namespace
{

namespace fs = std::filesystem;
using shell::recording::Call;
using shell::recording::CallKind;

// A selection buffer of the full size: the strings, each with its NUL, then an empty one.
std::string selectionOf(const std::vector<std::string>& strings)
{
    std::string buffer;
    for (const std::string& text : strings)
        buffer += text + '\0';
    buffer.resize(selectionBufferSize, '\0');
    return buffer;
}

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
        context.mainWindow = &windows[0];
        for (int i = 0; i < 4; ++i)
            context.buttonWindows[i] = &windows[i + 1];
    }
    void TearDown() override
    {
        std::error_code error;
        fs::current_path(previousDirectory_, error);
    }

    // Runs the Clean command on `selection` (null: nothing selected) with the prompt answered by
    // `answer`.
    void run(const std::string* selection, int answer = shell::idNo)
    {
        shell::recording::reset();
        shell::recording::setAnswer(answer);
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

TEST_F(RunTest, EachRunShowsOneBoxAndTheLogOpensOnlyOnYesAndOnlyWhenTheRunMadeIt)
{
    // Nothing selected: the box says so, and the log is left alone.
    writeBytes(dir.file("log.txt"), {'o', 'l', 'd'});
    run(nullptr);
    std::vector<Call> inBetween = callsInBetween();
    ASSERT_EQ(inBetween.size(), 1u);
    expectBox(inBetween[0], "No 3DO files have been selected.\nYou must select one or more 3DO files.",
              "No 3DO Files Selected!", 0x10);
    EXPECT_EQ(log(), "old");

    const struct
    {
        int answer;
        bool logBlocked; // a folder stands where log.txt should go
        bool editorStarted;
    } cases[] = {{shell::idNo, false, false}, {shell::idYes, false, true}, {shell::idYes, true, false}};

    const std::string path = dir.file("m.3do");
    for (const auto& c : cases)
    {
        SCOPED_TRACE("answer " + std::to_string(c.answer) + (c.logBlocked ? ", log blocked" : ""));
        if (c.logBlocked)
        {
            fs::remove(dir.file("log.txt"));
            fs::create_directory(dir.file("log.txt"));
        }
        writeBytes(path, dirtyModel());
        const std::string selection = selectionOf({path});
        run(&selection, c.answer);

        inBetween = callsInBetween();
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
        EXPECT_EQ(fileSizeOf(path.c_str()), 130) << "cleaned whatever the log";
    }
}

TEST_F(RunTest, FolderSelectionCleansEachNameInTurnAndTotalsOnlyTheReadableFiles)
{
    // A folder that ends in a backslash, as a drive's root does: the joined paths hold two in a row.
    // Elsewhere than on Windows these are plain names holding backslashes, made by the same paths.
    const std::string folder = dir.file("models") + "\\";
    fs::create_directory(folder);
    ASSERT_TRUE(platform::isDirectory(folder.c_str()));
    const auto in = [&](const char* name) { return folder + "\\" + name; };
    writeBytes(in("a.3do"), dirtyModel());
    writeBytes(in("b.3do"), {1, 2, 3, 4, 5});
    const std::string selection = selectionOf({folder, "a.3do", "b.3do"});
    run(&selection);

    EXPECT_EQ(log(), "Report:\r\nFile cleaned: \"" + in("a.3do") +
                         "\"\r\n\tOriginal file size: 180 bytes\r\n\t1 vertex removed\r\n\t1 face "
                         "removed\r\n\tCleaned file size: 130 bytes\r\nError reading file: \"" +
                         in("b.3do") +
                         "\"\r\n1 out of 2 files cleaned successfully\r\n\t1 vertex removed\r\n\t1 face "
                         "removed\r\n\t50 bytes removed");
    EXPECT_EQ(readBytes(in("b.3do")), (std::vector<uint8_t>{1, 2, 3, 4, 5}));

    // A single file that vanished after Select is reported rather than skipped.
    const std::string gone = selectionOf({dir.file("gone.3do")});
    run(&gone);
    EXPECT_EQ(log(), "Report:\r\nError reading file: \"" + dir.file("gone.3do") +
                         "\"\r\n0 out of 1 files cleaned successfully\r\n\t0 vertexes removed\r\n\t0 faces "
                         "removed\r\n\t0 bytes removed");
}

FileResult cleaned(int32_t before, int32_t after, int32_t vertexes, int32_t faces)
{
    FileResult result;
    result.outcome = FileOutcome::cleaned;
    result.sizeBefore = before;
    result.sizeAfter = after;
    result.vertexChange = vertexes;
    result.faceChange = faces;
    return result;
}

// Once the stop says so no further file starts, and every file started is finished and handed back:
// a stopped run reports the first files and leaves the others untouched, on any number of workers.
TEST(FileJobs, AStopStartsNoFurtherFileAndDeliversEveryStartedOne)
{
    for (unsigned workers : {1u, 3u})
    {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        TempDir dir;
        std::vector<FileJob> jobs;
        for (int i = 0; i < 12; ++i)
        {
            std::string name = "m"; // appended: GCC 12 for Windows warns falsely on "m" + a returned string
            name += std::to_string(i);
            jobs.push_back({dir.file(name), {}});
            writeBytes(jobs.back().path, dirtyModel());
        }
        std::atomic<int> asked{0};
        std::vector<size_t> order;
        const size_t delivered = runFileJobs(
            jobs, workers, [&] { return ++asked > 4; },
            [&](size_t index, const FileResult& result)
            {
                order.push_back(index);
                EXPECT_EQ(result.outcome, FileOutcome::cleaned);
            });
        EXPECT_EQ(delivered, 4u);
        EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3}));
        for (size_t i = 0; i < jobs.size(); ++i)
            EXPECT_EQ(readBytes(jobs[i].path).size(), i < 4 ? 130u : 180u) << jobs[i].path;
    }
}

// The tool leaving a clean model in place untouched is the command-line suite's (its second clean).
TEST(FileStep, TheWindowProgramSavesEveryFileAndTheToolLeavesAnOutputHoldingTheImageAlone)
{
    TempDir dir;
    const std::string path = dir.file("m.3do");
    writeBytes(path, dirtyModel());
    EXPECT_TRUE(cleanFile(path.c_str()).changed);
    const FileResult window = cleanFile(path.c_str());
    EXPECT_TRUE(window.outcome == FileOutcome::cleaned && !window.changed && window.written);

    const std::string output = dir.file("out.3do");
    FileStepOptions tool;
    tool.skipUnchanged = true;
    tool.outputPath = output.c_str();
    EXPECT_TRUE(cleanFile(path.c_str(), tool).written);
    EXPECT_FALSE(cleanFile(path.c_str(), tool).written);
    EXPECT_EQ(readBytes(output), readBytes(path));
}

// What the save proves is what the disk holds: a disk that keeps other bytes than it was given
// must end in a refused save, never in a committed model.
TEST(FileStep, BytesCorruptedOnTheWayToDiskAreCaughtAndTheModelKept)
{
    TempDir dir;
    const std::string path = dir.file("m.3do");
    const std::vector<uint8_t> original = dirtyModel();
    writeBytes(path, original);
    platform::injectCorruption(1);
    const FileResult result = cleanFile(path.c_str());
    platform::clearFaults();
    EXPECT_EQ(result.outcome, FileOutcome::notSameDrawing);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(readBytes(path), original) << "the model must be byte for byte as it was";
    std::vector<std::string> names;
    ASSERT_TRUE(platform::listFolderFiles(dir.path().c_str(), names));
    EXPECT_EQ(names, std::vector<std::string>{"m.3do"}) << "no temporary may be left";
    EXPECT_EQ(formatFileReport("m.3do", result), "\r\nError writing file: \"m.3do\"");
    EXPECT_EQ(describeFailure(result), "the cleaned model would not draw the same; left as it was");
    CleanTotals totals;
    addToTotals(result, totals);
    EXPECT_EQ(totals.filesCleaned, 0);

    // Without the corruption the same model is cleaned: the refusal came from the bytes alone.
    EXPECT_EQ(cleanFile(path.c_str()).outcome, FileOutcome::cleaned);
    EXPECT_NE(readBytes(path), original);
}

TEST(CleanCore, AnUnchangedModelIsItsOwnImageAndAChangedOneIsProved)
{
    const std::vector<uint8_t> dirty = dirtyModel();
    const CleanedModel first = cleanModelBytes(dirty.data(), dirty.size());
    ASSERT_EQ(first.outcome, CoreOutcome::cleaned);
    EXPECT_TRUE(first.figures.changed);
    EXPECT_EQ(first.figures.sizeAfter, static_cast<int32_t>(first.image.size()));
    VerifyError error;
    EXPECT_TRUE(proveCleanedImage(dirty.data(), dirty.size(), first.image.data(), first.image.size(), error));
    // The dead face is still in the original: as an image of the cleaned model it is refused.
    EXPECT_FALSE(proveCleanedImage(dirty.data(), dirty.size(), dirty.data(), dirty.size(), error));

    const CleanedModel second = cleanModelBytes(first.image.data(), first.image.size());
    ASSERT_EQ(second.outcome, CoreOutcome::cleaned);
    EXPECT_FALSE(second.figures.changed);
    EXPECT_TRUE(second.image.empty());

    const uint8_t junk[12] = {2, 0, 0, 0};
    EXPECT_EQ(cleanModelBytes(junk, sizeof junk).outcome, CoreOutcome::loadFailed);

    // Asked to explain, the parts' figures add up to the model's.
    EXPECT_TRUE(first.parts.empty());
    const CleanedModel explained = cleanModelBytes(dirty.data(), dirty.size(), true);
    ASSERT_FALSE(explained.parts.empty());
    int32_t vertexes = 0, faces = 0;
    for (const PartChanges& part : explained.parts)
    {
        vertexes += part.vertexesRemoved;
        faces += part.facesRemoved;
    }
    EXPECT_EQ(vertexes, explained.figures.vertexChange);
    EXPECT_EQ(faces, explained.figures.faceChange);
    EXPECT_GT(faces, 0);
}

TEST(ReportText, UnknownSizesReadMinusOneAndTotalsWrapIn32BitsWithTheSmallestPrintedAsItsOwnNegation)
{
    EXPECT_EQ(
        formatFileReport("m.3do", cleaned(-1, 1, -12, 0)),
        "\r\nFile cleaned: \"m.3do\"\r\n\tOriginal file size: -1 bytes\r\n\t12 vertexes added\r\n\t0 faces "
        "removed\r\n\tCleaned file size: 1 bytes");
    CleanTotals totals;
    totals.vertexesRemoved = INT32_MAX;
    totals.filesAttempted = 1;
    addToTotals(cleaned(INT32_MAX, -1, 1, -1), totals);
    EXPECT_EQ(formatSummary(totals), "\r\n1 out of 1 files cleaned successfully\r\n\t-2147483648 vertexes "
                                     "added\r\n\t1 face added\r\n\t-2147483648 bytes added");
}

TEST(ReportText, LongestAcceptedPathFitsWholeAndLongerOnesAreRefusedUnopened)
{
    const std::string longest(maxReportPathLength(), 'p');
    for (int32_t change : {INT32_MIN, INT32_MAX})
    {
        const std::string text =
            formatFileReport(longest.c_str(), cleaned(INT32_MIN, INT32_MIN, change, change));
        EXPECT_LE(text.size(), textBufferSize - 1);
        EXPECT_NE(text.find("\"" + longest + "\""), std::string::npos) << "the path is not shortened";
    }
    // Also longer than a text buffer, as a directory and a long name joined can be: its text is shortened.
    for (const std::string& tooLong : {longest + 'p', std::string(9000, 'p')})
    {
        const FileResult result = cleanFile(tooLong.c_str());
        EXPECT_EQ(result.outcome, FileOutcome::pathTooLong);
        EXPECT_EQ(result.loadError.result, LoadResult::ok) << "nothing was opened";
        const std::string text = formatFileReport(tooLong.c_str(), result);
        EXPECT_LE(text.size(), textBufferSize - 1);
        EXPECT_EQ(
            text.rfind("\r\nError reading file: \"" + std::string(tooLong.size() > 8192 ? "..." : "p"), 0),
            0u);
    }
}

} // namespace
} // namespace scourvane::test
