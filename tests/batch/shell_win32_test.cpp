// The Windows shell layer against the real API (Windows builds only; run under Wine in CI).
#include "platform/shell.h"

#include <gtest/gtest.h>

namespace scourvane::test
{
namespace
{

TEST(ShellWin32, StartsAProgramWithoutWaitingAndSaysWhenItCouldNot)
{
    EXPECT_TRUE(shell::startProgram("cmd.exe /c exit 0"));
    EXPECT_FALSE(shell::startProgram("scourvane-no-such-program-here.exe"));
}

} // namespace
} // namespace scourvane::test
