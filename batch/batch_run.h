// The Clean command: walks the selection, cleans each file in place and writes log.txt.
// Also the pieces it is built from (the per-file step, the report texts, the log), which the
// command-line tool reuses so that both write the very same log.txt.
#pragma once

#include "model/model_reader.h"
#include "model/model_writer.h"
#include "platform/file_io.h"
#include "verify/model_verifier.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane
{

// What the run needs of the shell: the owner of its message boxes, the four command buttons'
// windows (0 Select, 1 Clean, 2 About, 3 Quit) and the selection list (null when nothing is selected).
// Window handles are opaque here (HWND on Windows).
struct RunContext
{
    void* mainWindow = nullptr;
    void* buttonWindows[4] = {nullptr, nullptr, nullptr, nullptr};
    const char* selectionBuffer = nullptr;
    unsigned workers = 0; // how many files are cleaned at once; 0: one per core
};

// Runs one Clean command synchronously: disables the buttons, cleans every selected file, writes
// log.txt in the current directory, shows the completion prompt, opens the log on request, enables
// the buttons again and focuses the Clean button.
void runCleaning(const RunContext& context);

// The fixed text buffers of a run (joined path, each file's report, the summary) hold this many
// bytes with their NUL; no text of the run is ever longer than textBufferSize - 1.
inline constexpr size_t textBufferSize = 8192;

// The running figures of one run. All arithmetic on them wraps modulo 2^32.
struct CleanTotals
{
    int32_t bytesRemoved = 0;
    int32_t vertexesRemoved = 0;
    int32_t facesRemoved = 0;
    int32_t filesAttempted = 0;
    int32_t filesCleaned = 0;
};

enum class FileOutcome : uint8_t
{
    cleaned,        // loaded, cleaned and saved (or, in a dry run, loaded and cleaned)
    readFailed,     // the file could not be loaded; it was not touched
    writeFailed,    // the cleaned tree could not be saved; the file is as it was
    backupFailed,   // the backup copy could not be made; the file was not touched
    pathTooLong,    // refused before opening: its report would not fit in a text buffer
    notSameDrawing, // the cleaned image failed verification; nothing was written (a failed save)
};

struct FileStepOptions
{
    bool dryRun = false;     // load, clean and verify in memory only; sizeAfter is the size a save would give
    bool keepBackup = false; // copy the original to PATH.bak before replacing it, unless one exists
    // Leave the target alone when it already holds the cleaned bytes: no write, no backup, no flush.
    // The command-line tool sets it; the window program saves every file it cleans.
    bool skipUnchanged = false;
    // Where the cleaned model goes (its folder must exist); null means over the file itself.
    const char* outputPath = nullptr;
    // Make outputPath's folder (and the folders above it) first, when missing.
    bool makeOutputFolder = false;
};

// Everything one per-file step found out. The figures are set only when the outcome is `cleaned`
// (sizeBefore also after a failed save or backup).
struct FileResult
{
    FileOutcome outcome = FileOutcome::readFailed;
    int32_t sizeBefore = -1;
    int32_t sizeAfter = -1;
    int32_t vertexChange = 0; // vertexes before cleaning minus after
    int32_t faceChange = 0;   // faces before cleaning minus after
    bool changed = false;     // the cleaned bytes differ from the file's own (set with `cleaned`)
    bool written = false;     // the cleaned model was written (false in a dry run or when skipped)
    LoadError loadError;
    SaveError saveError;
    platform::IoError backupError;
    VerifyError verifyError;
    bool outOfMemory = false; // the step the outcome names ran out of memory
    bool backupKept = false;  // PATH.bak already existed and was kept as it was, not replaced
};

// The longest path the per-file step accepts: any longer one would make a report text overflow its
// buffer (which also keeps every joined path within the path buffer).
size_t maxReportPathLength();

// Loads, cleans, verifies and saves the file at `path` over itself (or to options.outputPath).
// Never fails as a whole: a failure is an outcome, running out of memory included. The file is
// replaced only through the engine's safe replace, so it is either the cleaned model or exactly the
// old bytes; a cleaned image that the verifier refuses is never written, and a file with more than
// one hard link, or one that another program changed since it was read, is left alone. With
// keepBackup, PATH.bak receives the original only once the model is known to be writable and only
// when the cleaned bytes differ; an existing PATH.bak (or anything of that name) is never replaced.
FileResult cleanFile(const char* path, const FileStepOptions& options = {});

// The verifier's answer on a cleaned image: true when it draws what `original` drew; false, with
// notSameDrawing and the verifier's reason in `result`, otherwise.
bool verifyImage(const std::vector<uint8_t>& original, const std::vector<uint8_t>& image, FileResult& result);

// The per-file step of the run: cleanFile, then the figures of a cleaned file added to the totals
// given, and the file's report text returned (at most textBufferSize - 1 bytes).
std::string cleanOneFile(const char* path, int32_t& bytesRemoved, int32_t& vertexesRemoved,
                         int32_t& facesRemoved, int32_t& filesCleaned);

// The size of the file at `path` as a signed 32-bit number (the low 32 bits of the size), or -1 when
// it cannot be had.
int32_t fileSizeOf(const char* path);

// Adds the figures of a cleaned file to `totals` (filesCleaned included); other outcomes add nothing.
// filesAttempted is the caller's.
void addToTotals(const FileResult& result, CleanTotals& totals);

// A sentence saying why a file was not cleaned, for people and pipelines ("" when it was cleaned).
std::string describeFailure(const FileResult& result);

// How the report texts are worded: as after a real run, or as a preview of one.
enum class ReportStyle : uint8_t
{
    run,
    dryRun,
};

// The first piece of the log.
std::string_view reportTitle(ReportStyle style = ReportStyle::run);

// The report text of one file, beginning with CR LF. Paths too long for the buffer are shortened
// (their head replaced by "...") so the text always fits.
std::string formatFileReport(const char* path, const FileResult& result,
                             ReportStyle style = ReportStyle::run);

// The summary text of a run, beginning with CR LF.
std::string formatSummary(const CleanTotals& totals, ReportStyle style = ReportStyle::run);

// The log file of one run, written whole or not at all: the pieces go, exactly as given (no line-end
// translation), to a temporary file that commit() renames over the log's name. Until then a
// previous file of that name stays whole; a run that never commits leaves it and no temporary. A
// symbolic link of that name is itself replaced, never written through.
class ReportLog
{
  public:
    ReportLog() = default;
    ReportLog(const ReportLog&) = delete;
    ReportLog& operator=(const ReportLog&) = delete;

    // Starts the log that will take the name `path`. False when its temporary file cannot be made
    // (or `path` names something that is not a regular file); writes then do nothing.
    bool create(const char* path, platform::IoError* error = nullptr);
    bool isOpen() const { return file_.isOpen(); }

    // Appends a piece. The first failure is kept for commit(); later pieces are dropped.
    void write(std::string_view piece);

    // Puts the log in place under its name. False, with the first failure, when the log was never
    // created or any piece could not be written or the rename failed; the previous file then stays.
    bool commit(platform::IoError* error = nullptr);

  private:
    platform::FileReplacement file_;
    platform::IoError failure_;
};

} // namespace scourvane
