// The per-file step, as named steps: read the original, clean it through the core, stop when it is
// already clean, write the temporary, read it back and prove what the disk holds, back up, commit.
#include "batch/file_step.h"

#include "platform/file_io.h"
#include "platform/file_times.h"
#include "platform/folder.h"

#include <cstring>
#include <new>
#include <vector>

namespace scourvane
{

namespace
{
int32_t lowWordOfSize(uint64_t size)
{
    return static_cast<int32_t>(static_cast<uint32_t>(size));
}

// Where a step stands, so that running out of memory fails the step it happened in.
enum class Stage : uint8_t
{
    loading,
    saving,
};

// The model's bytes as read, and what the file was when they were read.
struct Original
{
    std::vector<uint8_t> bytes;
    platform::FileIdentity identity;
    platform::FileTimes times; // with preserveTimes only
};

// The file's first part header, checked before the file is read whole: a file that plainly is no
// model (a huge one most of all) is refused after one small read, with the error its full load gives.
bool acceptModelStart(const uint8_t* head, size_t headSize, uint64_t fileSize, void* context)
{
    return checkModelStart(head, headSize, fileSize, static_cast<LoadError*>(context));
}

bool readOriginal(const char* path, Original& original, FileResult& result)
{
    platform::IoError readError;
    LoadError startError;
    if (platform::readWholeFileChecked(path, original.bytes, maxModelFileSize, modelStartSize,
                                       acceptModelStart, &startError, &readError, &original.identity))
        return true;
    result.outcome = FileOutcome::readFailed;
    if (readError.step == platform::IoStep::refused)
    {
        result.loadError = startError;
        return false;
    }
    result.loadError.result =
        readError.step == platform::IoStep::tooLarge ? LoadResult::fileTooLarge : LoadResult::openFailed;
    result.loadError.ioError = readError;
    const int64_t size = platform::fileSize(path);
    result.loadError.fileSize = size < 0 ? 0 : static_cast<uint64_t>(size);
    return false;
}

void takeFigures(const CleanFigures& figures, FileResult& result)
{
    result.sizeBefore = figures.sizeBefore;
    result.sizeAfter = figures.sizeAfter;
    result.vertexChange = figures.vertexChange;
    result.faceChange = figures.faceChange;
    result.changed = figures.changed;
}

bool cleanThroughCore(const Original& original, bool explain, ModelCleaning& cleaning, FileResult& result)
{
    const bool cleaned = cleaning.clean(original.bytes.data(), original.bytes.size(), result.loadError,
                                        result.saveError, explain ? &result.parts : nullptr);
    takeFigures(cleaning.figures(), result);
    if (cleaned) return true;
    result.outcome =
        result.loadError.result != LoadResult::ok ? FileOutcome::readFailed : FileOutcome::writeFailed;
    return false;
}

// A dry run proves the image in memory and writes nothing.
FileResult proveInMemory(const Original& original, bool explain)
{
    return fileResultOf(cleanModelBytes(original.bytes.data(), original.bytes.size(), explain));
}

// True when the file at `target` already holds exactly the cleaned image. Only a file of the
// image's very size is read to compare.
bool targetHoldsImage(const char* target, ModelCleaning& cleaning)
{
    if (platform::fileSize(target) != static_cast<int64_t>(cleaning.imageSize())) return false;
    std::vector<uint8_t> current;
    return platform::readWholeFile(target, current, cleaning.imageSize()) &&
           cleaning.imageEquals(current.data(), current.size());
}

// The new file as the writer's sink.
struct FileSink
{
    platform::FileReplacement* file;
    platform::IoError* error;
};

bool writePiece(void* context, const uint8_t* piece, size_t size)
{
    const FileSink& sink = *static_cast<const FileSink*>(context);
    return sink.file->write(piece, size, sink.error);
}

FileResult saveFailed(FileResult& result)
{
    result.saveError.result = SaveResult::ioFailed;
    result.outcome = FileOutcome::writeFailed;
    return result;
}

// Begun first: a model that cannot be written (read-only, held, hard-linked) is refused before any
// backup is made. The tree goes as soon as its image is out, so that it and the bytes read back
// are never in memory together. An output elsewhere (`copyOf` its source) is a copy of the model:
// never more open than it, and never written through a link at its name.
bool writeTemporary(const char* target, const char* copyOf, bool makeFolder, const char* outputRoot,
                    ModelCleaning& cleaning, platform::FileReplacement& save, FileResult& result)
{
    if (makeFolder && !makeOutputFolder(target, outputRoot, &result.saveError.ioError))
    {
        saveFailed(result);
        return false;
    }
    FileSink sink{&save, &result.saveError.ioError};
    const bool written = save.begin(target, cleaning.imageSize(), sink.error, false, copyOf) &&
                         cleaning.writeImage(writePiece, &sink);
    cleaning.releaseTree();
    if (!written) saveFailed(result);
    return written;
}

// What is proved is what the new file holds, read back from it before it takes any name.
bool proveWhatDiskHolds(const Original& original, platform::FileReplacement& save, FileResult& result)
{
    std::vector<uint8_t> written;
    if (!save.readBack(written, &result.saveError.ioError))
    {
        saveFailed(result);
        return false;
    }
    if (proveCleanedImage(original.bytes.data(), original.bytes.size(), written.data(), written.size(),
                          result.verifyError))
        return true;
    result.outcome = FileOutcome::notSameDrawing;
    return false;
}

// The original as PATH.bak, unless a regular file already has that name: the first backup is the
// original and must survive every later run. Anything else of that name (a folder, a link, a FIFO, a
// device) is no backup, and is never written through or replaced: the model is then left alone. The
// backup is never more open than the model.
bool backupRefused(FileResult& result, platform::IoError error)
{
    result.backupError = error;
    result.outcome = FileOutcome::backupFailed;
    return false;
}

} // namespace

bool makeOutputFolder(const char* target, const char* outputRoot, platform::IoError* error)
{
    // A folder that cannot be made fails the save that follows, with its reason.
    if (outputRoot == nullptr)
    {
        platform::makeFolders(platform::pathFolder(target).c_str());
        return true;
    }
    return platform::makeFoldersWithin(outputRoot, platform::pathFolder(target).c_str(), error);
}

bool keepBackup(const char* path, const std::vector<uint8_t>& original, FileResult& result)
{
    const std::string backupPath = std::string(path) + ".bak";
    const platform::IoError notRegular{platform::IoStep::notRegular, 0};
    switch (platform::identifyName(backupPath.c_str()))
    {
    case platform::NameKind::regular:
        result.backupKept = true;
        return true;
    case platform::NameKind::missing:
        break;
    case platform::NameKind::link:
    case platform::NameKind::other:
        return backupRefused(result, notRegular);
    }
    platform::FileReplacement backup;
    if (backup.begin(backupPath.c_str(), original.size(), &result.backupError, true, path) &&
        backup.write(original.data(), original.size(), &result.backupError) &&
        backup.commitNew(&result.backupError))
        return true;
    if (result.backupError.step != platform::IoStep::exists) return backupRefused(result, result.backupError);
    // One appeared meanwhile: that one is kept, if it is a backup at all.
    if (platform::identifyName(backupPath.c_str()) != platform::NameKind::regular)
        return backupRefused(result, notRegular);
    result.backupError = platform::IoError{};
    result.backupKept = true;
    return true;
}

namespace
{

// Only the source's own name is checked against what was read; an output is a new file.
FileResult commit(platform::FileReplacement& save, const platform::FileIdentity* expected, FileResult& result)
{
    if (!save.commit(expected, &result.saveError.ioError)) return saveFailed(result);
    result.written = true;
    result.outcome = FileOutcome::cleaned;
    return result;
}

FileResult cleanFileSteps(const char* path, const FileStepOptions& options, Stage& stage)
{
    FileResult result;
    stage = Stage::loading;
    // The original's bytes stay to the end: the saved file is proved against them, and a backup is
    // made of them.
    Original original;
    // The times are taken before the read, which may move the access time; a file rewritten meanwhile
    // keeps the times it has after the read, which belong to the bytes read.
    if (options.preserveTimes && !options.dryRun) original.times = platform::fileTimesOf(path);
    if (!readOriginal(path, original, result)) return result;
    if (options.preserveTimes && !options.dryRun)
    {
        const platform::FileTimes after = platform::fileTimesOf(path);
        if (after.modified != original.times.modified) original.times = after;
    }
    if (options.dryRun) return proveInMemory(original, options.explain);
    ModelCleaning cleaning;
    if (!cleanThroughCore(original, options.explain, cleaning, result)) return result;
    stage = Stage::saving;
    const char* target = options.outputPath != nullptr ? options.outputPath : path;
    const bool inPlace = target == path;
    // An output is a new regular file or replaces one: whatever else has its name (a link that leads
    // back to a source, a folder, a FIFO) is left alone and the model is not written.
    if (!inPlace)
    {
        const platform::NameKind kind = platform::identifyName(target);
        if (kind == platform::NameKind::link || kind == platform::NameKind::other)
        {
            result.saveError.ioError = platform::IoError{platform::IoStep::notRegular, 0};
            return saveFailed(result);
        }
    }
    // A model that is already clean has nothing to prove and nothing to write.
    if (options.skipUnchanged && (inPlace ? !result.changed : targetHoldsImage(target, cleaning)))
    {
        result.outcome = FileOutcome::cleaned;
        return result;
    }
    platform::FileReplacement save;
    if (!writeTemporary(target, inPlace ? nullptr : path, options.makeOutputFolder, options.outputRoot,
                        cleaning, save, result))
        return result;
    if (!proveWhatDiskHolds(original, save, result)) return result;
    if (options.keepBackup && result.changed && !keepBackup(path, original.bytes, result)) return result;
    std::vector<uint8_t>().swap(original.bytes);
    // Last before the commit: writing or reading the new file would move its times again.
    if (options.preserveTimes && !save.keepTimes(original.times, &result.saveError.ioError))
        return saveFailed(result);
    return commit(save, inPlace ? &original.identity : nullptr, result);
}
} // namespace

FileResult fileResultOf(const CleanedModel& model)
{
    FileResult result;
    takeFigures(model.figures, result);
    result.loadError = model.loadError;
    result.saveError = model.saveError;
    result.verifyError = model.verifyError;
    result.outOfMemory = model.outcome == CoreOutcome::outOfMemory;
    result.parts = model.parts;
    switch (model.outcome)
    {
    case CoreOutcome::cleaned:
        result.outcome = FileOutcome::cleaned;
        break;
    case CoreOutcome::notSameDrawing:
        result.outcome = FileOutcome::notSameDrawing;
        break;
    case CoreOutcome::loadFailed:
        result.outcome = FileOutcome::readFailed;
        break;
    case CoreOutcome::imageFailed:
    case CoreOutcome::outOfMemory:
        result.outcome = model.failedWhileSaving ? FileOutcome::writeFailed : FileOutcome::readFailed;
        break;
    }
    return result;
}

int32_t fileSizeOf(const char* path)
{
    const int64_t size = platform::fileSize(path);
    if (size < 0) return -1;
    return lowWordOfSize(static_cast<uint64_t>(size));
}

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

std::string describeFailure(const FileResult& result)
{
    if (result.outOfMemory)
        return result.outcome == FileOutcome::readFailed
                   ? "not enough memory to load it; the file was left as it was"
                   : "not enough memory to save it; the file was left as it was";
    const bool ioFailed =
        result.outcome == FileOutcome::writeFailed && result.saveError.result == SaveResult::ioFailed;
    if (ioFailed && result.saveError.ioError.step == platform::IoStep::changed)
        return "the file changed while it was being cleaned; the cleaned copy was discarded and the "
               "other program's change kept";
    // Left alone on purpose, so the words say how to have it cleaned rather than what failed.
    if (ioFailed && result.saveError.ioError.step == platform::IoStep::readOnly)
        return "read-only; left as it was (make it writable to clean it)";
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
