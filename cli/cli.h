// scourvane-cli: cleans 3DO files named on the command line with the same per-file step and the
// same log.txt as the Clean command, for scripts and pipelines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane::cli
{

// Exit statuses. With --check, 0 means every model is clean, 1 that every model could be read and
// some would change, and exitCannotTell that some model could not be read or cleaned (or none was
// found), so a gate can tell "run the cleaner" from "a model is damaged".
inline constexpr int exitAllCleaned = 0;
inline constexpr int exitSomeFailed = 1; // also: no model found, or the log could not be written
inline constexpr int exitUsage = 2;
inline constexpr int exitCannotTell = 3; // --check and --textures only

struct Options
{
    bool recursive = false;
    bool dryRun = false;
    bool check = false; // list the files cleaning would change; write nothing
    bool backup = false;
    bool preserveTimes = false; // -p: a written model keeps its (an output its source's) times
    bool json = false;
    bool writeLog = true;
    bool quiet = false;   // only errors and the summary
    bool verbose = false; // say for each file whether it was written
    bool explain = false; // say what each part of each model loses
    bool help = false;
    bool version = false;
    std::string logPath = "log.txt";
    std::string outputDir; // empty: clean in place
    unsigned jobs = 0;     // files cleaned at once (-j); 0: one per core
    std::vector<std::string> paths;
    std::vector<std::string> filesFrom; // --files-from lists, "-" for standard input
    bool nulSeparated = false;          // -0: the lists' names end with NUL, not a line end
    std::vector<std::string> excludes;  // --exclude patterns
    bool archives = false;              // -a: a folder walk also takes the archives it meets
    bool textures = false;              // --textures: report textures, clean nothing
    std::vector<std::string> bases;     // --base: the base game's content for --textures
};

// Reads the command line (argv[0] is the program): short options may be bundled (-rn, -roDIR),
// long ones take their value after = or as the next argument. False on a usage error, with `error`
// saying what is wrong (with a "did you mean" for a near miss of a long option); --help and
// --version need no PATH.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// The long option nearest to `typed` (such as "--dry-run" for "--dryrun"), or "" when none is near.
std::string nearestOption(std::string_view typed);

// The text of --help.
std::string usageText();

// The version of the tool, from the project version.
const char* versionText();

// A file to clean and its path relative to the argument that named it (its name alone for a file
// argument), which is where it goes below an output folder.
struct FoundFile
{
    std::string path;
    std::string relative;
    bool archive = false; // an archive whose models are cleaned inside it
};

// The files to clean, in order: each PATH that is not a directory as it is given (a missing one is
// reported by the run), and for each directory the regular files in it whose names end in .3do
// (with `recursive`, also in all its subdirectories), sorted by path. Directories that cannot be
// read are skipped with a line in `problems`. A file or folder that an `excludes` pattern matches
// (see Glob) is left out, a folder with all it holds: below a directory by its path there, a PATH
// that is a file by its name. A PATH that is an archive by its contents is taken as one; with
// `archives`, so are the files of a folder's walk named like an archive that are one by content.
std::vector<FoundFile> collectFiles(const std::vector<std::string>& paths, bool recursive,
                                    std::vector<std::string>& problems,
                                    const std::vector<std::string>& excludes = {}, bool archives = false);

// Whether an --exclude pattern matches a path inside an archive or below a texture root ('/'
// separated); empty when there are no patterns.
std::function<bool(std::string_view)> excludedEntries(const std::vector<std::string>& excludes);

// Runs the texture report over options.paths (the mods' roots) and options.bases; writes nothing.
// Returns 0 when no texture is missing, exitSomeFailed when one is, exitCannotTell when a model or
// texture source could not be read.
int runTextureReport(const Options& options, std::FILE* out, std::FILE* err);

// The output path of each file below `outputDir`, in the order of `files`. False, with `error`
// saying why, when the output folder is a folder being cleaned or lies inside one, when a file
// would be written over a source, or when two files would be written to the same path.
bool planOutputs(const std::vector<std::string>& arguments, const std::vector<FoundFile>& files,
                 const std::string& outputDir, std::vector<std::string>& outputs, std::string& error);

// Why `logPath` cannot take the run's log, or "" when it can: it must be a regular file, a symbolic
// link (which is replaced) or a name not yet taken, and none of the models in `files` (by name or
// as a file) nor, with `backups`, any of their backups.
std::string checkLogPath(const std::string& logPath, const std::vector<std::string>& files, bool backups);

// True when a folder among `paths` holds *.3do files in its subfolders (which only -r reaches).
bool subfoldersHoldModels(const std::vector<std::string>& paths);

// Puts `stream` in binary mode on Windows (no CR LF translation, no end at Ctrl+Z); nothing elsewhere.
void setBinaryMode(std::FILE* stream);

enum class InputRead : uint8_t
{
    ok,
    tooLarge, // more than the most asked for; what was read is dropped
    failed,
};

// Everything left on `stream` (in binary mode) added to `bytes`, refusing more than `maxSize` bytes
// in all.
InputRead readAllInput(std::FILE* stream, uint64_t maxSize, std::vector<uint8_t>& bytes);

// Appends the paths of the list `source` (a file, or "-" for standard input) to `paths`: one a line,
// without a CR before the line end, or with `nulSeparated` one before each NUL; empty entries are
// skipped. False, with `error` saying why, when the list cannot be read.
bool readPathList(const std::string& source, bool nulSeparated, std::vector<std::string>& paths,
                  std::string& error);

// The text with every CR LF turned into a plain LF.
std::string plainLineEnds(std::string_view text);

// True when the options clean a pipe: the only PATH is "-".
bool cleansPipe(const Options& options);

// Runs the tool with parsed options (not --help or --version): cleans the files, writes the log,
// prints the report (or the JSON) on `out` and problems on `err`. Returns the exit status. When the
// options clean a pipe, runs runPipe with standard input instead.
int runTool(const Options& options, std::FILE* out, std::FILE* err);

// Cleans the one model on `in` (at most maxModelFileSize bytes) and writes the cleaned, verified
// model to `out` (in binary mode; the original's bytes when it is already clean; nothing at all
// when it cannot be cleaned, in a dry run or a check); the report, in any of its forms, and the
// problems go to `err`, and no log is written. Returns the exit status as runTool does.
int runPipe(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err);

} // namespace scourvane::cli
