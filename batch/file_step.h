// The per-file step: one model file cleaned in place (or into an output file) through the
// bytes-to-bytes core, with the safe save around it.
#pragma once

#include "batch/clean_core.h"
#include "platform/file_io.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scourvane
{

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
    bool dryRun = false; // load, clean and verify in memory only; sizeAfter is the size a save would give
    // Copy the original to PATH.bak before replacing it, unless a regular file has that name; anything
    // else of that name fails the step with backupFailed.
    bool keepBackup = false;
    // Leave the target alone when it already holds the cleaned bytes: no write, no backup, no flush.
    // The command-line tool sets it; the window program saves every file it cleans.
    bool skipUnchanged = false;
    // Where the cleaned model goes (its folder must exist); null means over the file itself.
    const char* outputPath = nullptr;
    // Make outputPath's folder (and the folders above it) first, when missing.
    bool makeOutputFolder = false;
    // The folder all outputs go below (outputPath's text begins with it), when there is one: the
    // folders from it down to outputPath are made, or proved, as real folders, never followed through
    // a link out of it.
    const char* outputRoot = nullptr;
    // Give the written file the modification and access times the model had before it was read
    // (an output elsewhere its source's), so that tools comparing times do not take it for a new
    // file. Where they cannot be set, nothing is written (writeFailed).
    bool preserveTimes = false;
    // Tell what cleaning takes from each part (FileResult::parts).
    bool explain = false;
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
    // With FileStepOptions::explain and the model loaded: what each part lost, in the image's part
    // order; their removed counts add up to vertexChange and faceChange.
    std::vector<PartChanges> parts;
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
// when the cleaned bytes differ; an existing PATH.bak (or anything of that name) is never replaced,
// and one that is not a regular file (a folder, a link, a FIFO) leaves the model as it was, failed
// with backupFailed. An output elsewhere is never written through anything at its name: an entry
// there that is not a regular file (a link, a folder, a FIFO) fails the step with writeFailed. The
// backup is never more open than the model: its permission bits, and its owner
// and group where the runner may give them.
FileResult cleanFile(const char* path, const FileStepOptions& options = {});

// Makes the folder an output file `target` goes into: below `outputRoot` (when given) one folder at
// a time and never through a link out of it, so false when a part of the way is a link or no folder.
bool makeOutputFolder(const char* target, const char* outputRoot, platform::IoError* error);

// Keeps `original` as PATH.bak, unless something already has that name (then result.backupKept):
// the first backup is the original and must survive every later run. False, with backupFailed and
// the reason in result.backupError, when the copy cannot be made.
bool keepBackup(const char* path, const std::vector<uint8_t>& original, FileResult& result);

// What the core found about a model's bytes, in the per-file step's terms, so that a model from an
// archive or a pipe is reported as a file is.
FileResult fileResultOf(const CleanedModel& model);

// The size of the file at `path` as a signed 32-bit number (the low 32 bits of the size), or -1 when
// it cannot be had.
int32_t fileSizeOf(const char* path);

// A sentence saying why a file was not cleaned, for people and pipelines ("" when it was cleaned).
std::string describeFailure(const FileResult& result);

} // namespace scourvane
