// POSIX interrupts: the handlers only record which signal came.
#include "platform/interrupts.h"

#include <csignal>
#include <initializer_list>
#include <signal.h>

namespace scourvane::platform
{

namespace
{
volatile std::sig_atomic_t received = 0;

void onSignal(int signal)
{
    if (received == 0) received = signal;
}
} // namespace

void catchInterrupts()
{
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a signal must not turn a read or write of the file in hand into a failure.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int interruptStatus()
{
    const int signal = received;
    return signal == 0 ? 0 : 128 + signal;
}

} // namespace scourvane::platform
