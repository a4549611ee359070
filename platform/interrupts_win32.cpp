// Windows interrupts: a console control handler that records the event. Windows ends the process
// once the handler of a close event returns, so that handler waits (up to the few seconds the
// system allows) for the main thread to finish the file in hand, write the report and exit.
#include "platform/interrupts.h"

#include <windows.h>

#include <atomic>

namespace scourvane::platform
{

namespace
{
std::atomic<int> status{0};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    int wanted = 0;
    switch (event)
    {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        wanted = 130;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        wanted = 129;
        break;
    default:
        return FALSE;
    }
    int none = 0;
    status.compare_exchange_strong(none, wanted);
    if (wanted == 129) Sleep(4500); // the main thread's exit ends the process before this returns
    return TRUE;
}
} // namespace

void catchInterrupts()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int interruptStatus()
{
    return status.load();
}

} // namespace scourvane::platform
