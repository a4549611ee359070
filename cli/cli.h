// scourvane-cli: cleans 3DO files named on the command line with the same per-file step and the
// same log.txt as the Clean command, for scripts and pipelines.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane::cli
{

// Exit statuses.
inline constexpr int exitAllCleaned = 0;
inline constexpr int exitSomeFailed = 1; // also: no model found, or the log could not be written
inline constexpr int exitUsage = 2;

struct Options
{
    bool recursive = false;
    bool dryRun = false;
    bool backup = false;
    bool json = false;
    bool writeLog = true;
    bool help = false;
    bool version = false;
    std::string logPath = "log.txt";
    unsigned jobs = 0; // workers; 0: one per core
    std::vector<std::string> paths;
};

// Reads the command line (argv[0] is the program). False on a usage error, with `error` saying
// what is wrong; --help and --version need no PATH.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// The text of --help.
std::string usageText();

// The version of the tool, from the project version.
const char* versionText();

// True when a file name ends in ".3do", in any case.
bool hasModelExtension(std::string_view name);

// The files to clean, in order: each PATH that is not a directory as it is given (a missing one is
// reported by the run), and for each directory the regular files in it whose names end in .3do
// (with `recursive`, also in all its subdirectories), sorted by path. Directories that cannot be
// read are skipped with a line in `problems`.
std::vector<std::string> collectFiles(const std::vector<std::string>& paths, bool recursive,
                                      std::vector<std::string>& problems);

// Why `logPath` cannot take the run's log, or "" when it can: it must be a regular file, a symbolic
// link (which is replaced) or a name not yet taken, and none of the models in `files`.
std::string checkLogPath(const std::string& logPath, const std::vector<std::string>& files);

// True when a folder among `paths` holds *.3do files in its subfolders (which only -r reaches).
bool subfoldersHoldModels(const std::vector<std::string>& paths);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// `bytes` as a JSON string with its quotes. Control characters, quotes and backslashes are escaped;
// valid UTF-8 passes as it is, and any other byte becomes U+FFFD, so the result is always valid JSON
// (and never another real name); see jsonHex for the exact bytes.
std::string jsonString(std::string_view bytes);

// `bytes` in lowercase hexadecimal, two digits a byte, as a JSON string with its quotes: the exact
// form of a name that is not valid UTF-8.
std::string jsonHex(std::string_view bytes);

// The text with every CR LF turned into a plain LF.
std::string plainLineEnds(std::string_view text);

// Runs the tool with parsed options (not --help or --version): cleans the files, writes the log,
// prints the report (or the JSON) on `out` and problems on `err`. Returns the exit status.
int runTool(const Options& options, std::FILE* out, std::FILE* err);

} // namespace scourvane::cli
