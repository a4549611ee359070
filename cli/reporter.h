// What the tool prints while a run goes: the report on standard output (the plain text, the JSON
// object or the --check listing), problems and progress on standard error, and the same log.txt as
// the window program's.
#pragma once

#include "batch/archive_step.h"
#include "batch/report.h"
#include "cli/cli.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace scourvane::cli
{

// Writes a piece of text to a stream, in any language the console can show.
void put(std::FILE* stream, std::string_view text);

// `name` with each control byte (0x01-0x1F, 0x7F) shown as \xHH, so that a name holding a line end
// takes one line of a listing and can forge none.
std::string oneLine(std::string_view name);

class Reporter
{
  public:
    // `fileCount` is how many files the run takes, for the progress line.
    Reporter(const Options& options, std::FILE* out, std::FILE* err, size_t fileCount);
    ~Reporter();
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    // Starts the log (unless the run writes none) and prints the report's title.
    void begin();

    // Reports file number `index` (0-based), which is `path` (going to `output`, or "" in place).
    void file(size_t index, const std::string& path, const std::string& output, const FileResult& result);

    // Reports file number `index`, the archive at `path`: each of its models as ARCHIVE:entry, as a
    // loose model is reported, and the archive itself in the JSON's archives. An archive that does not
    // read whole counts as one file that could not be read.
    void archive(size_t index, const std::string& path, const std::string& output, const ArchiveRun& run);

    // Says how many files were not tried when an interrupt stopped the run.
    void interrupted(size_t notTried, size_t total);

    // Notes what the walk could not read (a folder that cannot be listed), for standard error and
    // the JSON; such a run can vouch for nothing and fails.
    void problem(const std::string& path, const std::string& reason);

    // True once standard output or standard error refused a write (a closed pipe, a full disk): the
    // run stops between files, as for an interrupt.
    bool streamsFailed() const { return std::ferror(out_) != 0 || std::ferror(err_) != 0; }

    // Writes the summary, puts the log in place and prints the end of the report. False when the log
    // could not be written, or standard output or error refused any part of the report.
    bool end(bool interrupted);

    const CleanTotals& totals() const { return totals_; }
    size_t changed() const { return changed_; }

  private:
    // One model's result: `entry` is its path inside an archive, "" for a loose model.
    void model(const std::string& path, std::string_view entry, const std::string& output,
               const FileResult& result);
    void showProgress(size_t number, const std::string& path);
    void clearProgress();

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    size_t fileCount_;
    ReportStyle style_;
    bool writeLog_;
    bool listReports_;
    ReportLog log_;
    platform::IoError logError_;
    bool logFailed_ = false;
    CleanTotals totals_;
    size_t changed_ = 0;       // cleaned files whose cleaned bytes differ from their own
    size_t unreadable_ = 0;    // files that could not be read (or were refused before opening)
    uint64_t bytesBefore_ = 0; // the cleaned files' sizes, exact
    int64_t bytesRemoved_ = 0; // their sizes before minus after, exact
    std::string jsonFiles_;
    std::string jsonArchives_;
    std::string jsonProblems_;
    bool showProgress_;
    bool sharedStream_; // the report goes to standard error too (a pipe's run)
    size_t progressWidth_ = 0;
};

} // namespace scourvane::cli
