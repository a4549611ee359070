// The per-archive step: every model inside a zip or TA archive through the same bytes-to-bytes core
// as a loose model, and the archive saved as a model is: rewritten in memory, proved entry by entry,
// written to a temporary, read back and proved again, backed up, committed.
#pragma once

#include "archive/archive.h"
#include "batch/file_step.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane
{

// The kind of archive the file at `path` holds, by its contents: its first bytes and, for a name
// that ends like an archive's (.sdz .zip .sd7 .hpi .ufo .ccx .gp3, any case), the whole file, so
// that a zip with bytes ahead of it is found too. `unknown` for anything else, a model included.
archive::ArchiveKind archiveKindOfFile(const char* path);

// True when the name ends like an archive's (see above).
bool hasArchiveExtension(std::string_view name);

// One model inside an archive, with the figures and outcome a loose model would have.
struct ArchiveModel
{
    std::string entry; // its path inside the archive, with '/'
    FileResult result;
};

enum class ArchiveOutcome : uint8_t
{
    cleaned,       // read whole; rewritten when a model changed (or, in a dry run, would be)
    readFailed,    // the archive does not read whole (archiveError); left exactly as it was
    writeFailed,   // the new archive could not be saved (ioError); the old one is as it was
    backupFailed,  // the backup could not be made; the archive is as it was
    cannotRewrite, // a 7z archive: its models cannot be cleaned here
    notSameImage,  // the rewritten archive did not prove (archiveError); nothing was written
};

struct ArchiveStepOptions
{
    FileStepOptions file; // dry run, backup, skip unchanged, output path, output folder, times
    unsigned workers = 1; // models cleaned at once
    // Entries to leave alone (a path inside the archive, with '/'); may be empty.
    std::function<bool(std::string_view entry)> excluded;
};

struct ArchiveRun
{
    ArchiveOutcome outcome = ArchiveOutcome::readFailed;
    int64_t sizeBefore = -1;
    int64_t sizeAfter = -1;
    bool changed = false;    // at least one model changed, so the archive is (or would be) rewritten
    bool written = false;    // the new archive was saved
    bool backupKept = false; // ARCHIVE.bak already existed and was kept as it was
    archive::ArchiveError archiveError;
    platform::IoError ioError;
    std::vector<ArchiveModel> models; // the archive's models in entry order (none when it failed to read)
};

// Cleans every *.3do entry (any case) of the archive at `path`, in place or to
// options.file.outputPath. A model that cannot be loaded stays as it is and is reported; the archive
// is rewritten only when some model changed, and replaces the old one only once the new file, read
// back from the disk, proves to hold every other entry byte for byte and each cleaned model exactly.
ArchiveRun cleanArchive(const char* path, const ArchiveStepOptions& options);

// Why an archive was not cleaned ("" when it was).
std::string describeArchiveFailure(const ArchiveRun& run);

} // namespace scourvane
