// The pieces of the run at edges the Clean command rarely reaches: report texts at their limits, totals
// that wrap and a selection that fills its whole buffer.
#include "batch/batch_run.h"
#include "batch/selection_list.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>

namespace scourvane::test
{
namespace
{

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

// --- Report texts --------------------------------------------------------------------------------

TEST(ReportText, SizesAlwaysReadBytesUnknownOnesMinusOneAndNegativeChangesTheirMagnitudeAdded)
{
    EXPECT_EQ(
        formatFileReport("m.3do", cleaned(-1, 1, -12, -1)),
        "\r\nFile cleaned: \"m.3do\"\r\n\tOriginal file size: -1 bytes\r\n\t12 vertexes added\r\n\t1 face "
        "added\r\n\tCleaned file size: 1 bytes");
}

TEST(ReportText, SummaryAlwaysReadsFilesAndPrintsTheSmallestFigureAsItsOwnNegation)
{
    const CleanTotals totals{INT32_MIN, -1, 1, 1, 1};
    EXPECT_EQ(formatSummary(totals),
              "\r\n1 out of 1 files cleaned successfully\r\n\t1 vertex added\r\n\t1 face "
              "removed\r\n\t-2147483648 bytes added");
}

TEST(ReportText, FailuresNameThePathOnly)
{
    const std::pair<FileOutcome, const char*> cases[] = {
        {FileOutcome::readFailed, "\r\nError reading file: \"a b.3do\""},
        {FileOutcome::pathTooLong, "\r\nError reading file: \"a b.3do\""},
        {FileOutcome::writeFailed, "\r\nError writing file: \"a b.3do\""},
        {FileOutcome::backupFailed, "\r\nError writing file: \"a b.3do\""},
    };
    for (const auto& [outcome, text] : cases)
    {
        FileResult result;
        result.outcome = outcome;
        EXPECT_EQ(formatFileReport("a b.3do", result), text);
    }
}

TEST(ReportText, LongestAcceptedPathFitsWithTheWidestFiguresAndLongerOnesAreRefusedBeforeOpening)
{
    const std::string longest(maxReportPathLength(), 'p');
    for (int32_t change : {INT32_MIN, INT32_MAX})
    {
        const std::string text =
            formatFileReport(longest.c_str(), cleaned(INT32_MIN, INT32_MIN, change, change));
        EXPECT_LE(text.size(), textBufferSize - 1);
        EXPECT_NE(text.find("\"" + longest + "\""), std::string::npos) << "the path is not shortened";
    }

    // Also longer than a text buffer, as a directory and a long name joined can be.
    for (const std::string& tooLong : {longest + 'p', std::string(9000, 'p')})
    {
        const FileResult result = cleanFile(tooLong.c_str());
        EXPECT_EQ(result.outcome, FileOutcome::pathTooLong);
        EXPECT_EQ(result.loadError.result, LoadResult::ok) << "nothing was opened";
        EXPECT_LE(formatFileReport(tooLong.c_str(), result).size(), textBufferSize - 1);
    }
}

// --- Totals --------------------------------------------------------------------------------------

TEST(CleanTotalsTest, SumsWrapAroundIn32Bits)
{
    CleanTotals totals;
    totals.vertexesRemoved = INT32_MAX;
    addToTotals(cleaned(INT32_MAX, -1, 1, 0), totals);
    EXPECT_EQ(totals.vertexesRemoved, INT32_MIN);
    EXPECT_EQ(totals.bytesRemoved, INT32_MIN);
}

// --- The selection walk --------------------------------------------------------------------------

TEST(SelectionWalkTest, NameRunningToTheEndOfTheBufferIsNotTaken)
{
    TempDir dir;
    std::string selection = dir.path() + '\0' + "a.3do" + '\0';
    selection.resize(selectionBufferSize, 'z');
    std::vector<std::string> paths;
    for (SelectionWalk walk(selection.data()); walk.next();)
        paths.push_back(walk.path());
    EXPECT_EQ(paths, std::vector<std::string>{dir.path() + "\\a.3do"});
}

} // namespace
} // namespace scourvane::test
