// Command-line parsing, the help text and the file listing.
#include "cli/cli.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#ifndef SCOURVANE_VERSION
#define SCOURVANE_VERSION "unknown"
#endif

namespace scourvane::cli
{

namespace fs = std::filesystem;

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-")
        {
            options.paths.emplace_back(argument);
            continue;
        }
        if (argument == "--")
            optionsEnded = true;
        else if (argument == "-r" || argument == "--recursive")
            options.recursive = true;
        else if (argument == "-n" || argument == "--dry-run")
            options.dryRun = true;
        else if (argument == "-b" || argument == "--backup")
            options.backup = true;
        else if (argument == "--json")
            options.json = true;
        else if (argument == "--no-log")
            options.writeLog = false;
        else if (argument == "-h" || argument == "--help")
            options.help = true;
        else if (argument == "-V" || argument == "--version")
            options.version = true;
        else if (argument == "-j" || argument == "--jobs" || argument.starts_with("--jobs=") ||
                 (argument.starts_with("-j") && argument.size() > 2))
        {
            std::string_view number = argument.starts_with("--jobs=") ? argument.substr(7)
                                      : argument.starts_with("-j") && argument.size() > 2
                                          ? argument.substr(2)
                                          : std::string_view();
            if (argument == "-j" || argument == "--jobs")
            {
                if (i + 1 >= argc)
                {
                    error = "-j needs a number of workers";
                    return false;
                }
                number = argv[++i];
            }
            unsigned jobs = 0;
            for (char c : number)
            {
                if (c < '0' || c > '9' || jobs > 999)
                {
                    jobs = 0;
                    break;
                }
                jobs = jobs * 10 + static_cast<unsigned>(c - '0');
            }
            if (number.empty() || jobs == 0 || jobs > 1024)
            {
                error = "-j needs a number of workers from 1 to 1024";
                return false;
            }
            options.jobs = jobs;
        }
        else if (argument == "--log" || argument.starts_with("--log="))
        {
            if (argument == "--log")
            {
                if (i + 1 >= argc)
                {
                    error = "--log needs a file name";
                    return false;
                }
                options.logPath = argv[++i];
            }
            else
                options.logPath = std::string(argument.substr(6));
            if (options.logPath.empty())
            {
                error = "--log needs a file name";
                return false;
            }
            options.writeLog = true;
        }
        else
        {
            error = "unknown option " + std::string(argument);
            return false;
        }
    }
    if (options.help || options.version) return true;
    if (options.paths.empty())
    {
        error = "no PATH given";
        return false;
    }
    return true;
}

std::string usageText()
{
    return "Usage: scourvane-cli [options] PATH...\n"
           "Cleans 3DO model files in place: merges duplicate vertexes, drops untextured faces of\n"
           "colour 0 (lines and the protected face excepted) and unused vertexes, gives empty parts a\n"
           "single point, and stores each texture name once.\n"
           "\n"
           "Each PATH is a 3DO file or a directory (its *.3do files, any case).\n"
           "\n"
           "Options:\n"
           "  -r, --recursive   also clean the *.3do files of all subdirectories\n"
           "  -n, --dry-run     only report what cleaning would remove; write nothing, not even a log\n"
           "  -b, --backup      keep each original as NAME.bak before replacing it\n"
           "  -j, --jobs N      clean on N workers (default: one per core); the report is the same\n"
           "      --json        print one JSON object for the run instead of the report\n"
           "      --log FILE    write the report to FILE instead of log.txt\n"
           "      --no-log      write no report file\n"
           "  -h, --help        show this help\n"
           "  -V, --version     show the version\n"
           "\n"
           "Exit status: 0 when every file was cleaned, 1 when any failed, 2 for a usage error.\n";
}

const char* versionText()
{
    return SCOURVANE_VERSION;
}

bool hasModelExtension(std::string_view name)
{
    if (name.size() < 4) return false;
    std::string_view tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == '3' && lower(tail[2]) == 'd' && lower(tail[3]) == 'o';
}

namespace
{
// The path as the 8-bit string the engine opens. False when it has no such form: on Windows a
// name with characters outside the ANSI code page (converting it would throw, or open another file).
bool narrowPath(const fs::path& path, std::string& narrow)
{
#ifdef _WIN32
    const std::wstring& wide = path.native();
    if (wide.empty())
    {
        narrow.clear();
        return true;
    }
    BOOL usedDefault = FALSE;
    const int length = static_cast<int>(wide.size());
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr,
                                   &usedDefault);
    if (size <= 0 || usedDefault) return false;
    narrow.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, narrow.data(), size, nullptr,
                        nullptr);
    return true;
#else
    narrow = path.native();
    return true;
#endif
}

template <typename Iterator>
void listDirectory(const std::string& directory, std::vector<std::string>& found,
                   std::vector<std::string>& problems)
{
    std::error_code error;
    Iterator it(fs::path(directory), fs::directory_options::skip_permission_denied, error);
    if (error)
    {
        problems.push_back(directory + ": cannot list the directory (" + error.message() + ")");
        return;
    }
    while (it != Iterator())
    {
        std::error_code typeError;
        if (it->is_regular_file(typeError))
        {
            std::string path;
            if (!narrowPath(it->path(), path))
                problems.push_back(directory +
                                   ": skipped a file whose name has no 8-bit form in this code page");
            else if (hasModelExtension(path))
                found.push_back(path);
        }
        it.increment(error);
        if (error)
        {
            problems.push_back(directory + ": listing stopped early (" + error.message() + ")");
            break;
        }
    }
}
} // namespace

std::vector<std::string> collectFiles(const std::vector<std::string>& paths, bool recursive,
                                      std::vector<std::string>& problems)
{
    std::vector<std::string> files;
    for (const std::string& path : paths)
    {
        std::error_code error;
        if (!fs::is_directory(fs::path(path), error))
        {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        if (recursive)
            listDirectory<fs::recursive_directory_iterator>(path, found, problems);
        else
            listDirectory<fs::directory_iterator>(path, found, problems);
        // Directory order is whatever the file system gives; sorting makes runs repeatable.
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

} // namespace scourvane::cli
