// The pieces of the run: report texts, totals, the size query, the per-file step's options and the
// selection walk.
#include "batch_fixture.h"

#include "platform/file_io.h"

#include <climits>
#include <cstring>
#include <filesystem>

namespace scourvane::test
{
namespace
{

namespace fs = std::filesystem;

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

TEST(ReportText, NegativeChangesPrintTheirMagnitudeAsAdded)
{
    EXPECT_EQ(
        formatFileReport("m.3do", cleaned(10, 22, -12, -1)),
        "\r\nFile cleaned: \"m.3do\"\r\n\tOriginal file size: 10 bytes\r\n\t12 vertexes added\r\n\t1 face "
        "added\r\n\tCleaned file size: 22 bytes");
}

TEST(ReportText, SizesAlwaysReadBytesAndFilesAlwaysReadFiles)
{
    EXPECT_NE(formatFileReport("m.3do", cleaned(1, 1, 0, 0)).find("size: 1 bytes"), std::string::npos);
    CleanTotals totals;
    totals.filesAttempted = 1;
    totals.filesCleaned = 1;
    EXPECT_EQ(
        formatSummary(totals),
        "\r\n1 out of 1 files cleaned successfully\r\n\t0 vertexes removed\r\n\t0 faces removed\r\n\t0 bytes "
        "removed");
}

TEST(ReportText, UnknownSizeIsPrintedAsMinusOne)
{
    EXPECT_NE(formatFileReport("m.3do", cleaned(-1, 5, 0, 0)).find("Original file size: -1 bytes"),
              std::string::npos);
}

TEST(ReportText, SmallestFigureIsPrintedAsItsOwnNegation)
{
    CleanTotals totals;
    totals.bytesRemoved = INT32_MIN;
    EXPECT_NE(formatSummary(totals).find("\t-2147483648 bytes added"), std::string::npos);
}

TEST(ReportText, FailuresNameThePathOnly)
{
    FileResult result;
    result.outcome = FileOutcome::readFailed;
    EXPECT_EQ(formatFileReport("a b.3do", result), "\r\nError reading file: \"a b.3do\"");
    result.outcome = FileOutcome::writeFailed;
    EXPECT_EQ(formatFileReport("a b.3do", result), "\r\nError writing file: \"a b.3do\"");
    result.outcome = FileOutcome::backupFailed;
    EXPECT_EQ(formatFileReport("a b.3do", result), "\r\nError writing file: \"a b.3do\"");
}

TEST(ReportText, LongestAcceptedPathFitsWithTheWidestFigures)
{
    const std::string path(maxReportPathLength(), 'p');
    for (int32_t change : {INT32_MIN, INT32_MAX})
    {
        std::string text = formatFileReport(path.c_str(), cleaned(INT32_MIN, INT32_MIN, change, change));
        EXPECT_LE(text.size(), textBufferSize - 1);
        EXPECT_NE(text.find("\"" + path + "\""), std::string::npos) << "the path is not shortened";
    }
}

TEST(ReportText, DryRunWordsTheTextsAsAPreview)
{
    EXPECT_EQ(reportTitle(ReportStyle::dryRun), "Report (dry run, no file changed):");
    EXPECT_EQ(formatFileReport("m.3do", cleaned(3, 2, 0, 0), ReportStyle::dryRun)
                  .rfind("\r\nWould clean: \"m.3do\"", 0),
              0u);
    EXPECT_NE(formatSummary(CleanTotals{}, ReportStyle::dryRun)
                  .find("0 out of 0 files would be cleaned successfully"),
              std::string::npos);
}

// --- Totals --------------------------------------------------------------------------------------

TEST(CleanTotalsTest, OnlyCleanedFilesAddTheirFigures)
{
    CleanTotals totals;
    addToTotals(cleaned(100, 60, 3, 2), totals);
    FileResult failed = cleaned(100, 60, 3, 2);
    failed.outcome = FileOutcome::writeFailed;
    addToTotals(failed, totals);
    EXPECT_EQ(totals.bytesRemoved, 40);
    EXPECT_EQ(totals.vertexesRemoved, 3);
    EXPECT_EQ(totals.facesRemoved, 2);
    EXPECT_EQ(totals.filesCleaned, 1);
    EXPECT_EQ(totals.filesAttempted, 0) << "the caller counts attempts";
}

TEST(CleanTotalsTest, SumsWrapAroundIn32Bits)
{
    CleanTotals totals;
    totals.vertexesRemoved = INT32_MAX;
    addToTotals(cleaned(INT32_MAX, -1, 1, 0), totals);
    EXPECT_EQ(totals.vertexesRemoved, INT32_MIN);
    EXPECT_EQ(totals.bytesRemoved, INT32_MIN);
}

TEST(CleanTotalsTest, PerFileStepAddsToTheTotalsItIsGiven)
{
    TempDir dir;
    const std::string path = dir.file("single.3do");
    writeModel(path, *singleModel());
    int32_t bytes = 5, vertexes = 5, faces = 5, files = 5;
    std::string text = cleanOneFile(path.c_str(), bytes, vertexes, faces, files);
    EXPECT_EQ(bytes, 55);
    EXPECT_EQ(vertexes, 6);
    EXPECT_EQ(faces, 6);
    EXPECT_EQ(files, 6);
    EXPECT_EQ(text.rfind("\r\nFile cleaned: \"", 0), 0u);
}

// --- The size query ------------------------------------------------------------------------------

TEST(FileSizeOf, GivesTheSizeOrMinusOne)
{
    TempDir dir;
    writeBytes(dir.file("five"), {1, 2, 3, 4, 5});
    EXPECT_EQ(fileSizeOf(dir.file("five").c_str()), 5);
    EXPECT_EQ(fileSizeOf(dir.file("missing").c_str()), -1);
    EXPECT_EQ(fileSizeOf(dir.path().c_str()), -1);
}

// --- Options of the per-file step ----------------------------------------------------------------

TEST(FileStep, DryRunPredictsTheCleanedSizeAndWritesNothing)
{
    TempDir dir;
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::vector<uint8_t> before = readBytes(path);
    FileStepOptions options;
    options.dryRun = true;
    FileResult result = cleanFile(path.c_str(), options);

    EXPECT_EQ(result.outcome, FileOutcome::cleaned);
    EXPECT_EQ(result.sizeBefore, manySize);
    EXPECT_EQ(result.sizeAfter, 168);
    EXPECT_EQ(result.vertexChange, 3);
    EXPECT_EQ(result.faceChange, 2);
    EXPECT_EQ(readBytes(path), before);
}

TEST(FileStep, BackupKeepsTheOriginalBytesBesideTheFile)
{
    TempDir dir;
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::vector<uint8_t> before = readBytes(path);
    FileStepOptions options;
    options.keepBackup = true;
    FileResult result = cleanFile(path.c_str(), options);

    EXPECT_EQ(result.outcome, FileOutcome::cleaned);
    EXPECT_EQ(readBytes(path + ".bak"), before);
    EXPECT_EQ(fileSizeOf(path.c_str()), 168);
}

TEST(FileStep, BackupThatCannotBeMadeLeavesTheFileAlone)
{
    TempDir dir;
    const std::string path = dir.file("many.3do");
    writeModel(path, *manyModel());
    const std::vector<uint8_t> before = readBytes(path);
    fs::create_directory(path + ".bak");
    FileStepOptions options;
    options.keepBackup = true;
    FileResult result = cleanFile(path.c_str(), options);

    EXPECT_EQ(result.outcome, FileOutcome::backupFailed);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_NE(describeFailure(result).find("backup"), std::string::npos);
}

TEST(FileStep, LoadFailureCarriesTheReaderReason)
{
    TempDir dir;
    const std::string path = dir.file("short.3do");
    writeBytes(path, {1, 0, 0, 0});
    FileResult result = cleanFile(path.c_str());
    EXPECT_EQ(result.outcome, FileOutcome::readFailed);
    EXPECT_EQ(result.loadError.result, LoadResult::headerPastEnd);
    EXPECT_EQ(describeFailure(result), describeLoadError(result.loadError));
}

TEST(FileStep, PathOneByteTooLongIsRefusedBeforeOpening)
{
    const std::string path(maxReportPathLength() + 1, 'q');
    FileResult result = cleanFile(path.c_str());
    EXPECT_EQ(result.outcome, FileOutcome::pathTooLong);
    EXPECT_EQ(result.loadError.result, LoadResult::ok) << "nothing was opened";
    std::string text = formatFileReport(path.c_str(), result);
    EXPECT_EQ(text.size(), path.size() + std::strlen("\r\nError reading file: \"\""));
}

// --- The selection walk --------------------------------------------------------------------------

std::vector<std::string> walk(const std::string& selection)
{
    std::vector<std::string> paths;
    SelectionWalk walker(selection.data());
    while (walker.next())
        paths.push_back(walker.path());
    return paths;
}

TEST(SelectionWalkTest, FileGivesItsOnePath)
{
    TempDir dir;
    writeBytes(dir.file("a.3do"), {0});
    const std::string selection = selectionOf({dir.file("a.3do")});
    EXPECT_EQ(selectionForm(selection.data()), SelectionForm::single);
    EXPECT_EQ(walk(selection), std::vector<std::string>{dir.file("a.3do")});
}

TEST(SelectionWalkTest, MissingFirstStringCountsAsTheSingleForm)
{
    TempDir dir;
    const std::string selection = selectionOf({dir.file("gone"), "a.3do"});
    EXPECT_EQ(selectionForm(selection.data()), SelectionForm::single);
    EXPECT_EQ(walk(selection), std::vector<std::string>{dir.file("gone")});
}

TEST(SelectionWalkTest, DirectoryJoinsEachNameInListOrder)
{
    TempDir dir;
    const std::string selection = selectionOf({dir.path(), "b.3do", "a.3do", "c d.3do"});
    EXPECT_EQ(selectionForm(selection.data()), SelectionForm::multiple);
    EXPECT_EQ(walk(selection), (std::vector<std::string>{dir.path() + "\\b.3do", dir.path() + "\\a.3do",
                                                         dir.path() + "\\c d.3do"}));
}

TEST(SelectionWalkTest, NameRunningToTheEndOfTheBufferIsNotTaken)
{
    TempDir dir;
    std::string selection = selectionOf({dir.path(), "a.3do"});
    const size_t tail = dir.path().size() + 1 + 6;
    std::fill(selection.begin() + static_cast<std::ptrdiff_t>(tail), selection.end(), 'z');
    EXPECT_EQ(walk(selection), std::vector<std::string>{dir.path() + "\\a.3do"});
}

} // namespace
} // namespace scourvane::test
