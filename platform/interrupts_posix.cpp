// POSIX interrupts: the handlers only record which signal came.
#include "platform/interrupts.h"

#include <atomic>
#include <csignal>
#include <initializer_list>
#include <signal.h>

namespace scourvane::platform
{

namespace
{
// Lock-free, so the handler may set it and the run's workers read it on any thread.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

void onSignal(int signal)
{
    int none = 0;
    received.compare_exchange_strong(none, signal);
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
    const int signal = received.load();
    return signal == 0 ? 0 : 128 + signal;
}

} // namespace scourvane::platform
