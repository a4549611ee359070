// scourvane-cli entry point.
#include "cli/cli.h"

#include <string>

int main(int argc, char** argv)
{
    using namespace scourvane::cli;
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
