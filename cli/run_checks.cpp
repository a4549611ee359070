// Checks the command-line tool makes before a run touches anything: where the log may go.
#include "cli/cli.h"

#include "platform/file_io.h"
#include "platform/folder.h"

namespace scourvane::cli
{

namespace
{
// The name's folder in its full form, joined with its last segment as it is: a symbolic link is
// not followed, since a log named by a link replaces the link.
std::string fullName(const std::string& path)
{
    return platform::joinPath(platform::fullPath(platform::pathFolder(path).c_str()),
                              platform::pathName(path));
}

// The same name, however spelt: compared as full paths without "." and "..".
bool sameName(const std::string& a, const std::string& b)
{
    return a == b || fullName(a) == fullName(b);
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
    // A link is replaced by the log, never written through: only one that leads to a regular file
    // or nowhere may be, so that no link of the system's (/dev/stdout, say) is ever taken away.
    if (kind == platform::NameKind::link && platform::identifyFile(logPath.c_str()).known &&
        platform::fileSize(logPath.c_str()) < 0)
        return "the log file " + logPath +
               " is a link to something that is not a regular file (a folder, a device "
               "or a pipe)";
#ifndef _WIN32
    // The system's folders of devices and processes hold its own links (/dev/stdout leads to whatever
    // standard output is, a regular file included): none is ever replaced by a log.
    const std::string folder = platform::fullPath(platform::pathFolder(logPath).c_str());
    for (const char* system : {"/dev", "/proc", "/sys"})
        if (folder == system || folder.starts_with(std::string(system) + "/"))
            return "the log file " + logPath + " is in " + system + ", the system's own folder";
#endif
    for (const std::string& file : files)
    {
        if (isTheLog(logPath, kind, log, file))
            return "the log file " + logPath + " is one of the models to clean (" + file + ")";
        if (backups && isTheLog(logPath, kind, log, file + ".bak"))
            return "the log file " + logPath + " is the backup of " + file;
    }
    return std::string();
}

} // namespace scourvane::cli
