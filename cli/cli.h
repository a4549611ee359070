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
inline constexpr int exitSomeFailed = 1;
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

// `bytes` as a JSON string with its quotes. Control characters, quotes and backslashes are escaped;
// valid UTF-8 passes as it is, and any other byte is taken as Latin-1 and written as \u00XX, so the
// result is always valid JSON.
std::string jsonString(std::string_view bytes);

// The text with every CR LF turned into a plain LF.
std::string plainLineEnds(std::string_view text);

// Runs the tool with parsed options (not --help or --version): cleans the files, writes the log,
// prints the report (or the JSON) on `out` and problems on `err`. Returns the exit status.
int runTool(const Options& options, std::FILE* out, std::FILE* err);

} // namespace scourvane::cli
