#include "cli_process.h"

#include "support/test_support.h"

#include <fstream>
#include <iterator>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace scourvane::test
{

namespace
{
std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifdef _WIN32
// Build paths are Unix paths when the tests run under Wine; Wine shows the Unix root as drive Z:.
std::string windowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string quoted(const std::string& argument)
{
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : argument)
    {
        if (c == '\\')
        {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text.push_back(c);
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

int spawn(const std::string& program, const std::string& directory, const std::vector<std::string>& arguments,
          const std::string& outPath, const std::string& errPath)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out =
        CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err =
        CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string line = quoted(windowsPath(program));
    for (const std::string& argument : arguments)
    {
        line += ' ';
        line += quoted(argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    int status = -1;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(), &startup,
                       &process))
    {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    return status;
}
#else
int spawn(const std::string& program, const std::string& directory, const std::vector<std::string>& arguments,
          const std::string& outPath, const std::string& errPath)
{
    std::vector<char*> argv;
    std::string name = program;
    argv.push_back(name.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0)
    {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::chdir(directory.c_str()) != 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            _exit(127);
        ::execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
#endif
} // namespace

CliRun runProgram(const std::string& program, const std::string& directory,
                  const std::vector<std::string>& arguments)
{
    TempDir capture;
    CliRun run;
    run.status = spawn(program, directory, arguments, capture.file("out"), capture.file("err"));
    run.out = slurp(capture.file("out"));
    run.err = slurp(capture.file("err"));
    return run;
}

CliRun runCli(const std::string& directory, const std::vector<std::string>& arguments)
{
    return runProgram(SCOURVANE_CLI_PATH, directory, arguments);
}

} // namespace scourvane::test
