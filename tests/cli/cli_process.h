// Runs the built scourvane-cli as a separate process, the way a script would.
#pragma once

#include <string>
#include <vector>

namespace scourvane::test
{

struct CliRun
{
    int status = -1; // the exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in `directory`, capturing standard output and standard error.
CliRun runProgram(const std::string& program, const std::string& directory,
                  const std::vector<std::string>& arguments);

// The same for scourvane-cli.
CliRun runCli(const std::string& directory, const std::vector<std::string>& arguments);

} // namespace scourvane::test
