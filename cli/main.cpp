// scourvane-cli entry point.
#include "cli/cli.h"
#include "platform/console.h"
#include "platform/interrupts.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#ifdef _WIN32
// Windows shells hand wildcards over as they are typed; MinGW's C runtime expands them into the
// matching names before main, as other command-line tools there do, when this is set.
extern "C"
{
    int _dowildcard = -1;
}
#endif

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
    // Before anything is opened: a closed standard stream must not lend its number to a model.
    scourvane::platform::guardStandardStreams();
    std::set_terminate(outOfMemory);
    scourvane::platform::catchInterrupts();
    const scourvane::platform::Utf8Console console;
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error))
    {
        // The error may quote what was typed, in any language.
        scourvane::platform::writeText(stderr, "scourvane-cli: " + error +
                                                   "\nTry 'scourvane-cli --help' for more information.\n");
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
