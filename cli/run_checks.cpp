// Checks the command-line tool makes before a run touches anything: where the log may go and why
// nothing was found to clean.
#include "cli/cli.h"

#include "platform/file_io.h"

#include <filesystem>
#include <system_error>

namespace scourvane::cli
{

std::string checkLogPath(const std::string& logPath, const std::vector<std::string>& files)
{
    // The log takes its name by a rename, which would replace whatever has it: only a regular
    // file, a symbolic link (replaced, never written through) or a free name may be replaced.
    platform::FileIdentity log;
    const platform::NameKind kind = platform::identifyName(logPath.c_str(), &log);
    if (kind == platform::NameKind::other)
        return "the log file " + logPath + " is not a regular file (a folder, a device or a pipe)";
    for (const std::string& file : files)
    {
        if (file == logPath) return "the log file " + logPath + " is one of the models to clean";
        if (kind != platform::NameKind::regular) continue;
        const platform::FileIdentity model = platform::identifyFile(file.c_str());
        if (model.known && model.device == log.device && model.index == log.index)
            return "the log file " + logPath + " is one of the models to clean (" + file + ")";
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
