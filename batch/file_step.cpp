// The per-file step: load, count, clean, count, save, measure.
#include "batch/batch_run.h"

#include "clean/part_cleaner.h"
#include "model/object_part.h"

#include <cstring>
#include <vector>

namespace scourvane
{

namespace
{
// Adds in 32 bits with wrap-around, as the run's figures are defined to.
int32_t wrappingAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t wrappingDifference(uint32_t before, uint32_t after)
{
    return static_cast<int32_t>(before - after);
}

int32_t lowWordOfSize(uint64_t size)
{
    return static_cast<int32_t>(static_cast<uint32_t>(size));
}

std::string ioReason(const platform::IoError& error)
{
    std::string text = platform::ioStepText(error.step);
    if (error.systemError != 0) text += " (system error " + std::to_string(error.systemError) + ")";
    return text;
}
} // namespace

int32_t fileSizeOf(const char* path)
{
    int64_t size = platform::fileSize(path);
    if (size < 0) return -1;
    return lowWordOfSize(static_cast<uint64_t>(size));
}

FileResult cleanFile(const char* path, const FileStepOptions& options)
{
    FileResult result;
    if (std::strlen(path) > maxReportPathLength())
    {
        result.outcome = FileOutcome::pathTooLong;
        return result;
    }

    ObjectPart root;
    if (!root.loadModelFile(path, &result.loadError))
    {
        result.outcome = FileOutcome::readFailed;
        return result;
    }
    result.sizeBefore = fileSizeOf(path);
    uint32_t vertexesBefore = root.countVertexes();
    uint32_t facesBefore = root.countFaces();
    cleanPart(root);
    result.vertexChange = wrappingDifference(vertexesBefore, root.countVertexes());
    result.faceChange = wrappingDifference(facesBefore, root.countFaces());

    if (options.dryRun)
    {
        // What a save would write, without writing it: the same checks the writer makes.
        uint64_t imageSize = modelImageSize(root);
        if (imageSize >= maxModelFileSize)
        {
            result.saveError.result = SaveResult::tooLarge;
            result.outcome = FileOutcome::writeFailed;
            return result;
        }
        result.sizeAfter = lowWordOfSize(imageSize);
        result.outcome = FileOutcome::cleaned;
        return result;
    }

    if (options.keepBackup)
    {
        // The backup holds the original bytes before anything replaces them; without it, no change.
        std::vector<uint8_t> original;
        std::string backupPath = std::string(path) + ".bak";
        if (!platform::readWholeFile(path, original, maxModelFileSize, &result.backupError) ||
            !platform::replaceFileContents(backupPath.c_str(), original.data(), original.size(),
                                           &result.backupError))
        {
            result.outcome = FileOutcome::backupFailed;
            return result;
        }
    }

    if (!root.saveModelFile(path, &result.saveError))
    {
        result.outcome = FileOutcome::writeFailed;
        return result;
    }
    result.sizeAfter = fileSizeOf(path);
    result.outcome = FileOutcome::cleaned;
    return result;
}

void addToTotals(const FileResult& result, CleanTotals& totals)
{
    if (result.outcome != FileOutcome::cleaned) return;
    int32_t byteChange = static_cast<int32_t>(static_cast<uint32_t>(result.sizeBefore) -
                                              static_cast<uint32_t>(result.sizeAfter));
    totals.bytesRemoved = wrappingAdd(totals.bytesRemoved, byteChange);
    totals.vertexesRemoved = wrappingAdd(totals.vertexesRemoved, result.vertexChange);
    totals.facesRemoved = wrappingAdd(totals.facesRemoved, result.faceChange);
    totals.filesCleaned = wrappingAdd(totals.filesCleaned, 1);
}

std::string cleanOneFile(const char* path, int32_t& bytesRemoved, int32_t& vertexesRemoved,
                         int32_t& facesRemoved, int32_t& filesCleaned)
{
    FileResult result = cleanFile(path);
    CleanTotals totals{bytesRemoved, vertexesRemoved, facesRemoved, 0, filesCleaned};
    addToTotals(result, totals);
    bytesRemoved = totals.bytesRemoved;
    vertexesRemoved = totals.vertexesRemoved;
    facesRemoved = totals.facesRemoved;
    filesCleaned = totals.filesCleaned;
    return formatFileReport(path, result);
}

std::string describeFailure(const FileResult& result)
{
    switch (result.outcome)
    {
    case FileOutcome::cleaned:
        return std::string();
    case FileOutcome::readFailed:
        return describeLoadError(result.loadError);
    case FileOutcome::writeFailed:
    {
        std::string text = describeSaveError(result.saveError);
        if (result.saveError.result == SaveResult::ioFailed && result.saveError.ioError.systemError != 0)
            text += " (system error " + std::to_string(result.saveError.ioError.systemError) + ")";
        return text + "; the file was left as it was";
    }
    case FileOutcome::backupFailed:
        return "cannot make the backup copy: " + ioReason(result.backupError) +
               "; the file was left as it was";
    case FileOutcome::pathTooLong:
        return "the path is longer than " + std::to_string(maxReportPathLength()) + " bytes";
    }
    return "unknown failure";
}

} // namespace scourvane
