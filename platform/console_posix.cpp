// Text for the user on POSIX, whose terminals take UTF-8 bytes as they are.
#include "platform/console.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace scourvane::platform
{

Utf8Console::Utf8Console() = default;

Utf8Console::~Utf8Console() = default;

void guardStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd)
    {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken: this one, as every lower one is open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd)
        {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit then fails the write that meets it (EFBIG), which the save reports, instead
    // of ending the process between a model and its report.
    std::signal(SIGXFSZ, SIG_IGN);
}

void writeText(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace scourvane::platform
