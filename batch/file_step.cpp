// The per-file step: load, count, clean, count, build the image, verify it, save it (unless the target
// already holds it), measure.
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

} // namespace

int32_t fileSizeOf(const char* path)
{
    int64_t size = platform::fileSize(path);
    if (size < 0) return -1;
    return lowWordOfSize(static_cast<uint64_t>(size));
}

bool loadOriginal(const char* path, std::vector<uint8_t>& original, ObjectPart& root, FileResult& result)
{
    result.outcome = FileOutcome::readFailed;
    platform::IoError ioError;
    if (!platform::readWholeFile(path, original, maxModelFileSize, &ioError))
    {
        result.loadError.result =
            ioError.step == platform::IoStep::tooLarge ? LoadResult::fileTooLarge : LoadResult::openFailed;
        result.loadError.ioError = ioError;
        return false;
    }
    if (!root.loadModelBytes(original.data(), original.size(), &result.loadError)) return false;
    result.sizeBefore = lowWordOfSize(original.size());
    return true;
}

bool cleanToImage(ObjectPart& root, std::vector<uint8_t>& image, FileResult& result)
{
    const uint32_t vertexesBefore = root.countVertexes();
    const uint32_t facesBefore = root.countFaces();
    cleanPart(root);
    result.vertexChange = wrappingDifference(vertexesBefore, root.countVertexes());
    result.faceChange = wrappingDifference(facesBefore, root.countFaces());
    if (!root.buildModelImage(image))
    {
        result.saveError.result = SaveResult::tooLarge;
        result.outcome = FileOutcome::writeFailed;
        return false;
    }
    return true;
}

bool verifyImage(const std::vector<uint8_t>& original, const std::vector<uint8_t>& image, FileResult& result)
{
    if (verifyCleanedImage(original.data(), original.size(), image.data(), image.size(), &result.verifyError))
        return true;
    result.outcome = FileOutcome::notSameDrawing;
    return false;
}

bool targetHoldsImage(const char* path, const char* target, const std::vector<uint8_t>& original,
                      const std::vector<uint8_t>& image)
{
    if (target == path || std::strcmp(target, path) == 0) return original == image;
    // Only a file of the image's very size is read to compare.
    if (platform::fileSize(target) != static_cast<int64_t>(image.size())) return false;
    std::vector<uint8_t> current;
    return platform::readWholeFile(target, current, image.size()) && current == image;
}

bool writeBackup(const char* path, const std::vector<uint8_t>& original, FileResult& result)
{
    const std::string backupPath = std::string(path) + ".bak";
    if (platform::replaceFileContents(backupPath.c_str(), original.data(), original.size(),
                                      &result.backupError))
        return true;
    result.outcome = FileOutcome::backupFailed;
    return false;
}

bool writeImage(const char* target, const std::vector<uint8_t>& image, FileResult& result)
{
    if (!platform::replaceFileContents(target, image.data(), image.size(), &result.saveError.ioError))
    {
        result.saveError.result = SaveResult::ioFailed;
        result.outcome = FileOutcome::writeFailed;
        return false;
    }
    result.written = true;
    result.sizeAfter = fileSizeOf(target);
    return true;
}

FileResult cleanFile(const char* path, const FileStepOptions& options)
{
    FileResult result;
    if (std::strlen(path) > maxReportPathLength())
    {
        result.outcome = FileOutcome::pathTooLong;
        return result;
    }
    const char* target = options.outputPath != nullptr ? options.outputPath : path;

    std::vector<uint8_t> original;
    std::vector<uint8_t> image;
    {
        // The tree is only needed until its image is built.
        ObjectPart root;
        if (!loadOriginal(path, original, root, result) || !cleanToImage(root, image, result)) return result;
    }
    if (!verifyImage(original, image, result)) return result;
    result.changed = original != image;
    result.sizeAfter = lowWordOfSize(image.size());
    const bool skip =
        options.dryRun || (options.skipUnchanged && targetHoldsImage(path, target, original, image));
    if (!skip)
    {
        if (options.keepBackup && !writeBackup(path, original, result)) return result;
        if (!writeImage(target, image, result)) return result;
    }
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
        if (result.saveError.result == SaveResult::ioFailed)
            return platform::describeIoError(result.saveError.ioError) + "; the file was left as it was";
        return std::string(describeSaveError(result.saveError)) + "; the file was left as it was";
    }
    case FileOutcome::backupFailed:
        return "cannot make the backup copy: " + platform::describeIoError(result.backupError) +
               "; the file was left as it was";
    case FileOutcome::notSameDrawing:
        return "the cleaned model would not draw the same; left as it was";
    case FileOutcome::pathTooLong:
        return "the path is longer than " + std::to_string(maxReportPathLength()) + " bytes";
    }
    return "unknown failure";
}

} // namespace scourvane
