// The report of a run: the running totals, the texts of log.txt and the log file itself, shared by
// the window program and the command-line tool so that both write the very same log.txt.
#pragma once

#include "batch/file_step.h"
#include "platform/file_io.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace scourvane
{

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

// Adds the figures of a cleaned file to `totals` (filesCleaned included); other outcomes add nothing.
// filesAttempted is the caller's.
void addToTotals(const FileResult& result, CleanTotals& totals);

// The per-file step of the run: cleanFile, then the figures of a cleaned file added to the totals
// given, and the file's report text returned (at most textBufferSize - 1 bytes).
std::string cleanOneFile(const char* path, int32_t& bytesRemoved, int32_t& vertexesRemoved,
                         int32_t& facesRemoved, int32_t& filesCleaned);

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
