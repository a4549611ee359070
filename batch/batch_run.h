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
    bool keepBackup = false; // copy the original to PATH.bak before replacing it
    // Leave the target alone when it already holds the cleaned bytes: no write, no backup, no flush.
    // The command-line tool sets it; the window program saves every file it cleans.
    bool skipUnchanged = false;
    // Where the cleaned model goes (its folder must exist); null means over the file itself.
    const char* outputPath = nullptr;
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
};

// The longest path the per-file step accepts: any longer one would make a report text overflow its
// buffer (which also keeps every joined path within the path buffer).
size_t maxReportPathLength();

// Loads, cleans, verifies and saves the file at `path` over itself (or to options.outputPath).
// Never fails as a whole: a failure is an outcome. The file is replaced only through the engine's
// safe replace, so it is either the cleaned model or exactly the old bytes; a cleaned image that the
// verifier refuses is never written.
FileResult cleanFile(const char* path, const FileStepOptions& options = {});

// The steps of cleanFile, each recording its failure in `result`, in the order it calls them.
// Reads the file's bytes into `original` and loads them into `root`; false with readFailed.
bool loadOriginal(const char* path, std::vector<uint8_t>& original, ObjectPart& root, FileResult& result);
// Cleans the loaded tree, records the figures and builds the image a save would write; false with
// writeFailed (tooLarge) when it could not be written.
bool cleanToImage(ObjectPart& root, std::vector<uint8_t>& image, FileResult& result);
// The verifier's answer on the image (to be the bytes read back from the written file once a save
// can read them back); false with notSameDrawing.
bool verifyImage(const std::vector<uint8_t>& original, const std::vector<uint8_t>& image, FileResult& result);
// True when the file at `target` already holds exactly `image` (`original` is the source's bytes,
// used as they are when the target is the source).
bool targetHoldsImage(const char* path, const char* target, const std::vector<uint8_t>& original,
                      const std::vector<uint8_t>& image);
// Copies the original bytes to PATH.bak through the safe replace; false with backupFailed.
bool writeBackup(const char* path, const std::vector<uint8_t>& original, FileResult& result);
// Replaces `target` with the image through the safe replace and takes the size after; false with
// writeFailed.
bool writeImage(const char* target, const std::vector<uint8_t>& image, FileResult& result);

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

// The log file of one run: created anew, written piece by piece exactly as given (no line-end
// translation), closed at the end. Write failures lose that piece only.
class ReportLog
{
  public:
    ReportLog() = default;
    ~ReportLog();
    ReportLog(const ReportLog&) = delete;
    ReportLog& operator=(const ReportLog&) = delete;

    // Creates (or empties) the file at `path`. False when it cannot be created; the log then stays
    // closed and writes do nothing.
    bool create(const char* path);
    bool isOpen() const { return file_ != nullptr; }
    void write(std::string_view piece);
    void close();

  private:
    std::FILE* file_ = nullptr;
};

} // namespace scourvane
