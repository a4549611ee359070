// The Windows shell layer against the real API (Windows builds only; run under Wine in CI).
#include "platform/shell.h"

#include <gtest/gtest.h>

namespace scourvane::test
{
namespace
{

TEST(ShellWin32, StartsAProgramWithoutWaitingForIt)
{
    EXPECT_TRUE(shell::startProgram("cmd.exe /c exit 0"));
}

TEST(ShellWin32, ProgramThatDoesNotExistIsReportedAsNotStarted)
{
    EXPECT_FALSE(shell::startProgram("scourvane-no-such-program-here.exe"));
}

TEST(ShellWin32, NullWindowsAreIgnored)
{
    shell::enableWindow(nullptr, false);
    shell::setFocus(nullptr);
    SUCCEED();
}

} // namespace
} // namespace scourvane::test
