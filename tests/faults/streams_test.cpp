// A tool started with its standard streams closed, or writing into a pipe nobody reads: nothing
// it writes for the user may land in a model, and a reader gone away must not kill it mid-file.
#include "platform/console.h"
#include "platform/file_io.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace scourvane
{
namespace
{

#ifndef _WIN32
using test::inChild;

bool isNullDevice(int fd)
{
    struct stat held;
    struct stat null;
    return ::fstat(fd, &held) == 0 && ::stat("/dev/null", &null) == 0 && S_ISCHR(held.st_mode) &&
           held.st_rdev == null.st_rdev;
}

TEST(StandardStreams, ClosedOnesGoToTheNullDeviceSoWhatIsWrittenThereNeverReachesANewFile)
{
    test::TempDir dir;
    const std::string target = dir.file("m.3do");
    const std::vector<uint8_t> image{'i', 'm', 'a', 'g', 'e'};
    const int status = inChild(
        [&]
        {
            ::close(0);
            ::close(1);
            ::close(2);
            platform::guardStandardStreams();
            for (int fd = 0; fd <= 2; ++fd)
                if (!isNullDevice(fd)) return 10 + fd;
            platform::FileReplacement save;
            if (!save.begin(target.c_str(), image.size()) || !save.write(image.data(), image.size()))
                return 20;
            // What the run says on its streams while a file is open.
            std::fputs("scourvane-cli: an error line\n", stderr);
            std::fflush(stderr);
            std::printf("a report line\n");
            std::fflush(stdout);
            std::vector<uint8_t> back;
            platform::IoError error;
            if (!save.readBack(back, &error)) return error.step == platform::IoStep::strayBytes ? 21 : 22;
            if (back != image || !save.commit(nullptr)) return 23;
            return 0;
        });
    EXPECT_EQ(status, 0) << "10-12: a standard descriptor is not the null device; 21: the new file got "
                            "the stream's text";
    EXPECT_EQ(test::readBytes(target), image);
}

TEST(StandardStreams, AWriteToAPipeNobodyReadsFailsInsteadOfEndingTheProcess)
{
    const int status = inChild(
        [&]
        {
            platform::guardStandardStreams();
            int pipeEnds[2];
            if (::pipe(pipeEnds) != 0) return 1;
            ::close(pipeEnds[0]); // the reader is gone, as `| head -1` leaves it
            const ssize_t written = ::write(pipeEnds[1], "line\n", 5);
            return written == -1 && errno == EPIPE ? 0 : 2;
        });
    EXPECT_EQ(status, 0) << "a status of 141 is death by SIGPIPE";
}
#endif

} // namespace
} // namespace scourvane
