// The per-file step: load, count, clean, count, save, measure.
#include "batch/batch_run.h"

#include "clean/part_cleaner.h"
#include "model/model_writer.h"
#include "model/object_part.h"

#include <cstring>
#include <new>
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

namespace
{
// The original as PATH.bak, unless something already has that name: the first backup is the
// original and must survive every later run. Never written through a link.
bool keepBackup(const char* path, const std::vector<uint8_t>& original, FileResult& result)
{
    const std::string backupPath = std::string(path) + ".bak";
    if (platform::identifyName(backupPath.c_str()) != platform::NameKind::missing)
    {
        result.backupKept = true;
        return true;
    }
    platform::FileReplacement backup;
    if (backup.begin(backupPath.c_str(), original.size(), &result.backupError, true) &&
        backup.write(original.data(), original.size(), &result.backupError) &&
        backup.commitNew(&result.backupError))
        return true;
    if (result.backupError.step != platform::IoStep::exists) return false;
    result.backupError = platform::IoError{}; // one appeared meanwhile: that one is kept
    result.backupKept = true;
    return true;
}

// Where a step stands, so that running out of memory fails the step it happened in.
enum class Stage : uint8_t
{
    loading,
    saving,
};

FileResult cleanFileSteps(const char* path, const FileStepOptions& options, Stage& stage)
{
    FileResult result;
    stage = Stage::loading;
    std::vector<uint8_t> original;
    platform::FileIdentity identity;
    platform::IoError readError;
    if (!platform::readWholeFile(path, original, maxModelFileSize, &readError, &identity))
    {
        result.loadError.result =
            readError.step == platform::IoStep::tooLarge ? LoadResult::fileTooLarge : LoadResult::openFailed;
        result.loadError.ioError = readError;
        int64_t size = platform::fileSize(path);
        result.loadError.fileSize = size < 0 ? 0 : static_cast<uint64_t>(size);
        result.outcome = FileOutcome::readFailed;
        return result;
    }
    ObjectPart root;
    if (!root.loadModelBytes(original.data(), original.size(), &result.loadError))
    {
        result.outcome = FileOutcome::readFailed;
        return result;
    }
    result.sizeBefore = lowWordOfSize(original.size());
    // The bytes are needed again only to compare for a backup: without one, their room goes to
    // the cleaning.
    if (!options.keepBackup || options.dryRun) original = std::vector<uint8_t>();
    uint32_t vertexesBefore = root.countVertexes();
    uint32_t facesBefore = root.countFaces();
    cleanPart(root);
    result.vertexChange = wrappingDifference(vertexesBefore, root.countVertexes());
    result.faceChange = wrappingDifference(facesBefore, root.countFaces());

    stage = Stage::saving;
    // What a save would write: the writer's plan (the thread's writer, kept from model to model).
    ModelImageWriter& writer = threadImageWriter();
    if (!writer.plan(root, &result.saveError))
    {
        result.outcome = FileOutcome::writeFailed;
        return result;
    }
    const uint64_t imageSize = writer.imageSize();
    if (options.dryRun)
    {
        result.sizeAfter = lowWordOfSize(imageSize);
        result.outcome = FileOutcome::cleaned;
        return result;
    }

    // Opened first: a model that cannot be written (read-only, held, hard-linked) is refused before
    // any backup is made.
    platform::FileReplacement save;
    auto saveFailed = [&](SaveResult why)
    {
        result.saveError.result = why;
        result.outcome = FileOutcome::writeFailed;
        return result;
    };
    if (!save.begin(path, imageSize, &result.saveError.ioError)) return saveFailed(SaveResult::ioFailed);
    // The image streams into the new file; the original is kept only to compare for a backup,
    // which is made before the new file takes the model's place.
    bool differs = true;
    if (!writer.writeTo(save, original, differs, &result.saveError.ioError))
        return saveFailed(SaveResult::ioFailed);
    if (options.keepBackup && differs && !keepBackup(path, original, result))
    {
        result.outcome = FileOutcome::backupFailed;
        return result;
    }
    original = std::vector<uint8_t>();
    if (!save.commit(&identity, &result.saveError.ioError)) return saveFailed(SaveResult::ioFailed);
    result.sizeAfter = lowWordOfSize(imageSize);
    result.outcome = FileOutcome::cleaned;
    return result;
}
} // namespace

FileResult cleanFile(const char* path, const FileStepOptions& options)
{
    if (std::strlen(path) > maxReportPathLength())
    {
        FileResult result;
        result.outcome = FileOutcome::pathTooLong;
        return result;
    }
    Stage stage = Stage::loading;
    // A model may need more memory than there is. Running out fails that model alone: everything
    // it allocated is released on the way out, its save (if begun) is abandoned with its temporary
    // file, and the run goes on with the next model.
    try
    {
        return cleanFileSteps(path, options, stage);
    }
    catch (const std::bad_alloc&)
    {
        FileResult result;
        result.outcome = stage == Stage::loading ? FileOutcome::readFailed : FileOutcome::writeFailed;
        result.outOfMemory = true;
        return result;
    }
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
    if (result.outOfMemory)
        return result.outcome == FileOutcome::readFailed
                   ? "not enough memory to load it; the file was left as it was"
                   : "not enough memory to save it; the file was left as it was";
    if (result.outcome == FileOutcome::writeFailed && result.saveError.result == SaveResult::ioFailed &&
        result.saveError.ioError.step == platform::IoStep::changed)
        return "the file changed while it was being cleaned; the cleaned copy was discarded and the "
               "other program's change kept";
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
