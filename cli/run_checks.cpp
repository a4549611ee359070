// Checks the command-line tool makes before a run touches anything: where the log may go and why
// nothing was found to clean.
#include "cli/cli.h"

#include "platform/file_io.h"

#include <filesystem>
#include <system_error>

namespace scourvane::cli
{

namespace
{
// The same name, however spelt: compared as absolute paths without "." and "..". A symbolic link
// is not followed: a log named by a link replaces the link.
bool sameName(const std::string& a, const std::string& b)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path first = fs::absolute(fs::path(a), error).lexically_normal();
    if (error) return a == b;
    const fs::path second = fs::absolute(fs::path(b), error).lexically_normal();
    return error ? a == b : first == second;
}

// True when `logPath` is, by name or as a file, the file at `path`.
bool isTheLog(const std::string& logPath, platform::NameKind kind, const platform::FileIdentity& log,
              const std::string& path)
{
    if (sameName(logPath, path)) return true;
    if (kind != platform::NameKind::regular) return false;
    const platform::FileIdentity file = platform::identifyFile(path.c_str());
    return file.known && file.device == log.device && file.index == log.index;
}
} // namespace

std::string checkLogPath(const std::string& logPath, const std::vector<std::string>& files, bool backups)
{
    // The log takes its name by a rename, which would replace whatever has it: only a regular
    // file, a symbolic link (replaced, never written through) or a free name may be replaced.
    platform::FileIdentity log;
    const platform::NameKind kind = platform::identifyName(logPath.c_str(), &log);
    if (kind == platform::NameKind::other)
        return "the log file " + logPath + " is not a regular file (a folder, a device or a pipe)";
    for (const std::string& file : files)
    {
        if (isTheLog(logPath, kind, log, file))
            return "the log file " + logPath + " is one of the models to clean (" + file + ")";
        if (backups && isTheLog(logPath, kind, log, file + ".bak"))
            return "the log file " + logPath + " is the backup of " + file;
    }
    return std::string();
}

bool subfoldersHoldModels(const std::vector<std::string>& paths)
{
    namespace fs = std::filesystem;
    for (const std::string& path : paths)
    {
        std::error_code error;
        if (!fs::is_directory(fs::path(path), error)) continue;
        fs::recursive_directory_iterator it(fs::path(path), fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
        {
            std::error_code typeError;
            if (it.depth() > 0 && it->is_regular_file(typeError) &&
                hasModelExtension(it->path().filename().string()))
                return true;
        }
    }
    return false;
}

} // namespace scourvane::cli
