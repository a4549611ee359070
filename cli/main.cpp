// scourvane-cli entry point.
#include "cli/cli.h"
#include "platform/interrupts.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace
{

// Running out of memory in a model fails that model alone (the per-file step handles it); only
// running out outside any model ends the run, and then plainly rather than with a runtime message.
// No model is half-written: a save replaces a file only once its whole new image is on disk.
[[noreturn]] void outOfMemory()
{
    std::fflush(stdout);
    std::fputs("scourvane-cli: out of memory; no model was left half-written\n", stderr);
    std::_Exit(scourvane::cli::exitSomeFailed);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace scourvane::cli;
    std::set_terminate(outOfMemory);
    scourvane::platform::catchInterrupts();
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error))
    {
        std::fprintf(stderr, "scourvane-cli: %s\nTry 'scourvane-cli --help' for more information.\n",
                     error.c_str());
        return exitUsage;
    }
    if (options.help)
    {
        std::fputs(usageText().c_str(), stdout);
        return exitAllCleaned;
    }
    if (options.version)
    {
        std::printf("scourvane-cli %s\n", versionText());
        return exitAllCleaned;
    }
    return runTool(options, stdout, stderr);
}
