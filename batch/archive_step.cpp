// The per-archive step: read the archive whole, clean its models on the workers through the core,
// rewrite it in memory, prove the new image, then save it as a model is saved.
#include "batch/archive_step.h"

#include "batch/file_jobs.h"
#include "batch/selection_list.h"
#include "platform/file_times.h"
#include "platform/folder.h"

#include <new>

namespace scourvane
{

namespace
{
// No archive a mod ships comes near; a larger one would need its image three times in memory.
constexpr uint64_t maxArchiveFileSize = uint64_t{1} << 32;

bool endsWithFolded(std::string_view name, std::string_view tail)
{
    if (name.size() < tail.size()) return false;
    name = name.substr(name.size() - tail.size());
    for (size_t i = 0; i < tail.size(); ++i)
    {
        const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (c != tail[i]) return false;
    }
    return true;
}
} // namespace

bool hasArchiveExtension(std::string_view name)
{
    for (std::string_view tail : {".sdz", ".zip", ".sd7", ".hpi", ".ufo", ".ccx", ".gp3"})
        if (endsWithFolded(name, tail)) return true;
    return false;
}

archive::ArchiveKind archiveKindOfFile(const char* path)
{
    std::vector<uint8_t> bytes;
    if (!platform::readFileStart(path, 8, bytes)) return archive::ArchiveKind::unknown;
    archive::ArchiveKind kind = archive::detectArchiveKind(bytes.data(), bytes.size());
    // Only a zip with bytes ahead of it needs its end to be told; only a name that says it is an
    // archive is worth reading whole for that.
    if (kind == archive::ArchiveKind::unknown && hasArchiveExtension(platform::pathName(path)) &&
        platform::readWholeFile(path, bytes, maxArchiveFileSize))
        kind = archive::detectArchiveKind(bytes.data(), bytes.size());
    return kind;
}

namespace
{
// One model entry while the workers clean it.
struct ModelSlot
{
    size_t entry = 0;
    archive::ArchiveError readError; // the entry's bytes do not decode: the archive does not read whole
    CleanedModel cleaned;
};

// No real model packs to a tenth of its size; one that would unpack to over 64 times what the archive
// holds of it (a megabyte spared) is a bomb, not a model.
constexpr uint64_t maxModelPacking = 64;

// An entry named like a model is looked at before it is decoded whole. One that would unpack past
// the room's limit or more densely than any model packs is left as it is without a byte decoded, and
// a large one whose first header is no model after its first bytes, as a loose file is: a bomb that
// calls itself a model costs nothing. A small one is decoded whole, so that a size or checksum that
// lies fails the archive. False, with the slot's outcome set, when the entry is not to be read whole.
bool worthReadingWhole(const archive::Archive& opened, const archive::ArchiveEntry& entry, ModelSlot& slot)
{
    constexpr uint64_t large = uint64_t{1} << 20;
    const auto refuse = [&]
    {
        slot.cleaned.outcome = CoreOutcome::loadFailed;
        slot.cleaned.figures.sizeBefore = static_cast<int32_t>(static_cast<uint32_t>(entry.size));
        return false;
    };
    if (entry.size > archive::kMaxEntrySize || entry.size > maxModelPacking * entry.storedSize + large)
    {
        slot.cleaned.loadError.result = LoadResult::fileTooLarge;
        slot.cleaned.loadError.fileSize = entry.size;
        return refuse();
    }
    if (entry.size <= large) return true;
    std::vector<uint8_t> head;
    slot.readError = opened.readStart(slot.entry, modelStartSize, head);
    if (!slot.readError.ok()) return false;
    return checkModelStart(head.data(), head.size(), entry.size, &slot.cleaned.loadError) || refuse();
}

// Cleans the archive's models on the workers; the slots come back in entry order. False, with the
// entry and reason in run.archiveError, when an entry's bytes do not decode.
bool cleanModels(const archive::Archive& opened, const ArchiveStepOptions& options, ArchiveRun& run,
                 std::vector<ModelSlot>& slots)
{
    const std::vector<archive::ArchiveEntry>& entries = opened.entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].folder && hasModelExtension(entries[i].path) &&
            !(options.excluded && options.excluded(entries[i].path)))
            slots.push_back({i, {}, {}});
    runJobs(
        slots.size(), options.workers, {},
        [&](size_t k)
        {
            std::vector<uint8_t> bytes;
            try
            {
                if (!worthReadingWhole(opened, entries[slots[k].entry], slots[k])) return;
                slots[k].readError = opened.read(slots[k].entry, bytes);
            }
            catch (const std::bad_alloc&)
            {
                slots[k].cleaned.outcome = CoreOutcome::outOfMemory;
                return;
            }
            if (slots[k].readError.ok())
                slots[k].cleaned = cleanModelBytes(bytes.data(), bytes.size(), options.file.explain);
        },
        [](size_t) {});
    for (const ModelSlot& slot : slots)
        if (!slot.readError.ok())
        {
            run.archiveError = slot.readError;
            return false;
        }
    for (const ModelSlot& slot : slots)
    {
        run.models.push_back({entries[slot.entry].path, fileResultOf(slot.cleaned)});
        if (slot.cleaned.outcome == CoreOutcome::cleaned && slot.cleaned.figures.changed) run.changed = true;
    }
    return true;
}

bool proveImage(const std::vector<uint8_t>& original, const std::vector<uint8_t>& image,
                std::span<const archive::Replacement> replacements, ArchiveRun& run)
{
    run.archiveError =
        archive::verifyRewrite(original.data(), original.size(), image.data(), image.size(), replacements);
    return run.archiveError.ok();
}

ArchiveRun failed(ArchiveRun& run, ArchiveOutcome outcome)
{
    run.outcome = outcome;
    return run;
}

// Writes the proved image to a temporary beside the target, reads it back and proves it again
// entry by entry; false (and nothing left) on any failure.
bool writeAndProve(const char* target, const char* source, const FileStepOptions& options,
                   const std::vector<uint8_t>& original, const std::vector<uint8_t>& image,
                   std::span<const archive::Replacement> replacements, platform::FileReplacement& save,
                   ArchiveRun& run)
{
    // An output copy takes the source's access and is never written through a link at its name.
    const char* copyOf = target == source ? nullptr : source;
    if ((options.makeOutputFolder && !makeOutputFolder(target, options.outputRoot, &run.ioError)) ||
        !save.begin(target, image.size(), &run.ioError, false, copyOf) ||
        !save.write(image.data(), image.size(), &run.ioError))
    {
        run.outcome = ArchiveOutcome::writeFailed;
        return false;
    }
    std::vector<uint8_t> written;
    if (!save.readBack(written, &run.ioError))
    {
        save.abandon();
        run.outcome = ArchiveOutcome::writeFailed;
        return false;
    }
    run.archiveError = archive::verifyRewrite(original.data(), original.size(), written.data(),
                                              written.size(), replacements);
    if (run.archiveError.ok()) return true;
    save.abandon();
    run.outcome = ArchiveOutcome::notSameImage;
    return false;
}

ArchiveRun cleanArchiveSteps(const char* path, const ArchiveStepOptions& options)
{
    ArchiveRun run;
    std::vector<uint8_t> original;
    platform::FileIdentity identity;
    // Taken before the read, which may move the access time, as for a model.
    const bool keepTimes = options.file.preserveTimes && !options.file.dryRun;
    const platform::FileTimes times = keepTimes ? platform::fileTimesOf(path) : platform::FileTimes{};
    if (!platform::readWholeFile(path, original, maxArchiveFileSize, &run.ioError, &identity))
        return failed(run, ArchiveOutcome::readFailed);
    run.sizeBefore = static_cast<int64_t>(original.size());
    archive::Archive opened;
    run.archiveError = opened.open(original.data(), original.size());
    if (run.archiveError.result == archive::ArchiveResult::sevenZipNotSupported)
        return failed(run, ArchiveOutcome::cannotRewrite);
    if (!run.archiveError.ok()) return failed(run, ArchiveOutcome::readFailed);
    std::vector<ModelSlot> slots;
    if (!cleanModels(opened, options, run, slots)) return failed(run, ArchiveOutcome::readFailed);
    run.sizeAfter = run.sizeBefore;
    run.outcome = ArchiveOutcome::cleaned;
    const char* target = options.file.outputPath != nullptr ? options.file.outputPath : path;
    const bool inPlace = target == path;
    // An output is a new regular file or replaces one: whatever else has its name (a link, a folder,
    // a FIFO) is left alone and nothing is written.
    if (!inPlace && !options.file.dryRun)
    {
        const platform::NameKind kind = platform::identifyName(target);
        if (kind == platform::NameKind::link || kind == platform::NameKind::other)
        {
            run.ioError = platform::IoError{platform::IoStep::notRegular, 0};
            return failed(run, ArchiveOutcome::writeFailed);
        }
    }
    // An archive whose models are all clean is not rewritten; an -o copy of it is the same bytes.
    std::vector<archive::Replacement> replacements;
    for (const ModelSlot& slot : slots)
        if (slot.cleaned.outcome == CoreOutcome::cleaned && slot.cleaned.figures.changed)
            replacements.push_back({slot.entry, slot.cleaned.image});
    std::vector<uint8_t> image;
    if (!replacements.empty())
    {
        run.archiveError = opened.rewrite(replacements, image);
        // A dry run proves the image in memory; a save proves the very bytes the disk gives back,
        // with the same check, before anything is renamed, so a proof here would only repeat it.
        if (run.archiveError.ok() && options.file.dryRun) proveImage(original, image, replacements, run);
        if (!run.archiveError.ok()) return failed(run, ArchiveOutcome::notSameImage);
        run.sizeAfter = static_cast<int64_t>(image.size());
    }
    if (options.file.dryRun || (inPlace && replacements.empty())) return run;
    const std::vector<uint8_t>& newBytes = replacements.empty() ? original : image;
    if (!inPlace && options.file.skipUnchanged &&
        platform::fileSize(target) == static_cast<int64_t>(newBytes.size()))
    {
        // A copy that already holds the image is left alone, once the image is proved.
        std::vector<uint8_t> current;
        if (platform::readWholeFile(target, current, newBytes.size()) && current == newBytes)
            return replacements.empty() || proveImage(original, image, replacements, run)
                       ? run
                       : failed(run, ArchiveOutcome::notSameImage);
    }
    platform::FileReplacement save;
    if (!writeAndProve(target, path, options.file, original, newBytes, replacements, save, run)) return run;
    if (options.file.keepBackup && inPlace)
    {
        FileResult backup;
        if (!keepBackup(path, original, backup))
        {
            run.ioError = backup.backupError;
            return failed(run, ArchiveOutcome::backupFailed);
        }
        run.backupKept = backup.backupKept;
    }
    if (keepTimes && !save.keepTimes(times, &run.ioError)) return failed(run, ArchiveOutcome::writeFailed);
    if (!save.commit(inPlace ? &identity : nullptr, &run.ioError))
        return failed(run, ArchiveOutcome::writeFailed);
    run.written = true;
    return run;
}

// A model cleaned inside an archive that could not be saved was not saved either: each changed one
// carries the archive's failure, so the report counts it failed as a loose model would be.
void carryFailure(ArchiveRun& run)
{
    for (ArchiveModel& model : run.models)
    {
        FileResult& result = model.result;
        if (result.outcome != FileOutcome::cleaned || !result.changed) continue;
        switch (run.outcome)
        {
        case ArchiveOutcome::writeFailed:
            result.outcome = FileOutcome::writeFailed;
            result.saveError.result = SaveResult::ioFailed;
            result.saveError.ioError = run.ioError;
            break;
        case ArchiveOutcome::backupFailed:
            result.outcome = FileOutcome::backupFailed;
            result.backupError = run.ioError;
            break;
        case ArchiveOutcome::notSameImage:
            result.outcome = FileOutcome::notSameDrawing;
            break;
        default:
            break;
        }
    }
}
} // namespace

ArchiveRun cleanArchive(const char* path, const ArchiveStepOptions& options)
{
    // An archive too large for the memory there is fails alone, as a model does.
    try
    {
        ArchiveRun run = cleanArchiveSteps(path, options);
        carryFailure(run);
        return run;
    }
    catch (const std::bad_alloc&)
    {
        ArchiveRun run;
        run.outcome = ArchiveOutcome::readFailed;
        run.ioError.step = platform::IoStep::tooLarge;
        return run;
    }
}

std::string describeArchiveFailure(const ArchiveRun& run)
{
    switch (run.outcome)
    {
    case ArchiveOutcome::cleaned:
        return std::string();
    case ArchiveOutcome::readFailed:
        if (!run.archiveError.ok())
            return "the archive does not read whole: " + archive::describeArchiveError(run.archiveError) +
                   "; left as it was";
        return platform::describeIoError(run.ioError) + "; left as it was";
    case ArchiveOutcome::writeFailed:
        if (run.ioError.step == platform::IoStep::changed)
            return "the archive changed while it was being cleaned; the cleaned copy was discarded";
        return platform::describeIoError(run.ioError) + "; the archive was left as it was";
    case ArchiveOutcome::backupFailed:
        return "cannot make the backup copy: " + platform::describeIoError(run.ioError) +
               "; the archive was left as it was";
    case ArchiveOutcome::cannotRewrite:
        return archive::describeArchiveError(run.archiveError);
    case ArchiveOutcome::notSameImage:
        return "the rewritten archive would not hold what it should (" +
               archive::describeArchiveError(run.archiveError) + "); left as it was";
    }
    return "unknown failure";
}

} // namespace scourvane
