// The per-file step: load, count, clean, count, stream the image into the new file (unless the target
// already holds it), verify what the new file holds, back up, put it in place.
#include "batch/batch_run.h"

#include "clean/part_cleaner.h"
#include "model/model_writer.h"
#include "model/object_part.h"
#include "platform/folder.h"

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

} // namespace

int32_t fileSizeOf(const char* path)
{
    int64_t size = platform::fileSize(path);
    if (size < 0) return -1;
    return lowWordOfSize(static_cast<uint64_t>(size));
}

bool verifyImage(const std::vector<uint8_t>& original, const std::vector<uint8_t>& image, FileResult& result)
{
    if (verifyCleanedImage(original.data(), original.size(), image.data(), image.size(), &result.verifyError))
        return true;
    result.outcome = FileOutcome::notSameDrawing;
    return false;
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

// Where a comparison of the streamed image with bytes in memory has got to.
struct Comparison
{
    const std::vector<uint8_t>* bytes;
    size_t position = 0;
};

// Sinks for the writer's pieces: one compares them with bytes in memory, one copies them out.
bool comparePiece(void* context, const uint8_t* piece, size_t size)
{
    Comparison& comparison = *static_cast<Comparison*>(context);
    const std::vector<uint8_t>& bytes = *comparison.bytes;
    if (size > bytes.size() - comparison.position ||
        std::memcmp(bytes.data() + comparison.position, piece, size) != 0)
        return false;
    comparison.position += size;
    return true;
}

bool appendPiece(void* context, const uint8_t* piece, size_t size)
{
    std::vector<uint8_t>& out = *static_cast<std::vector<uint8_t>*>(context);
    out.insert(out.end(), piece, piece + size);
    return true;
}

// True when the planned image is exactly `bytes`; nothing is built to find out.
bool imageEquals(ModelImageWriter& writer, const std::vector<uint8_t>& bytes)
{
    if (writer.imageSize() != bytes.size()) return false;
    Comparison comparison{&bytes};
    return writer.write(comparePiece, &comparison) && comparison.position == bytes.size();
}

// True when the file at `target` already holds exactly the planned image. Only a file of the
// image's very size is read to compare.
bool targetHoldsImage(const char* target, ModelImageWriter& writer)
{
    if (platform::fileSize(target) != static_cast<int64_t>(writer.imageSize())) return false;
    std::vector<uint8_t> current;
    return platform::readWholeFile(target, current, writer.imageSize()) && imageEquals(writer, current);
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
    if (options.makeOutputFolder && options.outputPath != nullptr)
    {
        // A folder that cannot be made fails the save, with its reason.
        const std::string output = options.outputPath;
        size_t folderEnd = output.size();
        while (folderEnd > 0 && !platform::isPathSeparator(output[folderEnd - 1]))
            --folderEnd;
        if (folderEnd > 1) platform::makeFolders(output.substr(0, folderEnd - 1).c_str());
    }
    // The original's bytes stay to the end: the verifier proves the cleaned file against them, and a
    // backup is made of them.
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
    const char* target = options.outputPath != nullptr ? options.outputPath : path;
    const bool inPlace = target == path;
    auto saveFailed = [&](SaveResult why)
    {
        result.saveError.result = why;
        result.outcome = FileOutcome::writeFailed;
        return result;
    };

    // The dry run's image in memory, or the new file the image streams into.
    std::vector<uint8_t> image;
    platform::FileReplacement save;
    {
        // The tree lives only until its image is out, so that it and the bytes read back for the
        // verifier are never in memory together.
        ObjectPart root;
        if (!root.loadModelBytes(original.data(), original.size(), &result.loadError))
        {
            result.outcome = FileOutcome::readFailed;
            return result;
        }
        result.sizeBefore = lowWordOfSize(original.size());
        const uint32_t vertexesBefore = root.countVertexes();
        const uint32_t facesBefore = root.countFaces();
        cleanPart(root);
        result.vertexChange = wrappingDifference(vertexesBefore, root.countVertexes());
        result.faceChange = wrappingDifference(facesBefore, root.countFaces());

        stage = Stage::saving;
        // The thread's writer, kept from model to model.
        ModelImageWriter& writer = threadImageWriter();
        if (!writer.plan(root, &result.saveError))
        {
            result.outcome = FileOutcome::writeFailed;
            return result;
        }
        result.changed = !imageEquals(writer, original);
        result.sizeAfter = lowWordOfSize(writer.imageSize());

        if (options.dryRun)
        {
            image.reserve(writer.imageSize());
            writer.write(appendPiece, &image);
        }
        else
        {
            // A model that is already clean has nothing to prove and nothing to write.
            if (options.skipUnchanged && (inPlace ? !result.changed : targetHoldsImage(target, writer)))
            {
                result.outcome = FileOutcome::cleaned;
                return result;
            }
            // Begun first: a model that cannot be written (read-only, held, hard-linked) is refused
            // before any backup is made.
            if (!save.begin(target, writer.imageSize(), &result.saveError.ioError) ||
                !writer.writeTo(save, &result.saveError.ioError))
                return saveFailed(SaveResult::ioFailed);
        }
    }
    if (options.dryRun)
    {
        if (verifyImage(original, image, result)) result.outcome = FileOutcome::cleaned;
        return result;
    }

    {
        // What is proved is what the new file holds, read back from it before it takes any name.
        std::vector<uint8_t> written;
        if (!save.readBack(written, &result.saveError.ioError)) return saveFailed(SaveResult::ioFailed);
        if (!verifyImage(original, written, result)) return result;
    }
    if (options.keepBackup && result.changed && !keepBackup(path, original, result))
    {
        result.outcome = FileOutcome::backupFailed;
        return result;
    }
    std::vector<uint8_t>().swap(original);
    // Only the source's own name is checked against what was read; an output is a new file.
    if (!save.commit(inPlace ? &identity : nullptr, &result.saveError.ioError))
        return saveFailed(SaveResult::ioFailed);
    result.written = true;
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
