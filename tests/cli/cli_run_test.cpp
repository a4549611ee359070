// scourvane-cli end to end, started as a separate process the way a script would, on copies of real
// models. Read-only models, full disks and held files are scripts/fault_test.sh's.
#include "batch/batch_run.h"
#include "batch/selection_list.h"
#include "cli/cli.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

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

namespace fs = std::filesystem;

std::string readText(const std::string& path)
{
    std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
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

int spawn(const std::string& program, const std::string& directory, const std::vector<std::string>& arguments,
          const std::string& outPath, const std::string& errPath)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out =
        CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err =
        CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    // No argument here holds a quote or ends in a backslash, so plain quotes keep each one whole.
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on chains of string additions.
    std::string line = "\"";
    line.append(windowsPath(program)).append("\"");
    for (const std::string& argument : arguments)
        line.append(" \"").append(argument).append("\"");
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

struct CliRun
{
    int status = -1; // the exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in `directory`, the way a script would, capturing its output.
CliRun runProgram(const std::string& program, const std::string& directory,
                  const std::vector<std::string>& arguments)
{
    TempDir capture;
    CliRun run;
    run.status = spawn(program, directory, arguments, capture.file("out"), capture.file("err"));
    run.out = readText(capture.file("out"));
    run.err = readText(capture.file("err"));
    return run;
}

CliRun runCli(const std::string& directory, const std::vector<std::string>& arguments)
{
    return runProgram(SCOURVANE_CLI_PATH, directory, arguments);
}

std::string inModels(const TempDir& dir, const std::string& name)
{
    return (fs::path(dir.file("models")) / name).string();
}

// Copies up to `limit` corpus models into the folder "models" (writable, as a user's own files would
// be) and returns their names, sorted.
std::vector<std::string> copyCorpus(const TempDir& dir, size_t limit = SIZE_MAX)
{
    std::vector<std::string> names;
    fs::create_directories(dir.file("models"));
    for (const std::string& source : corpusFiles())
    {
        if (names.size() == limit) break;
        std::string name = fs::path(source).filename().string();
        const std::string target = inModels(dir, name);
        fs::copy_file(source, target);
        fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
        names.push_back(name);
    }
    return names;
}

#define SKIP_WITHOUT_CORPUS()                                                                                \
    if (corpusFiles().empty())                                                                               \
    GTEST_SKIP() << "no corpus of real models at " << SCOURVANE_CORPUS_DIR << "; set SCOURVANE_CORPUS_DIR"

struct Snapshot
{
    std::map<std::string, std::vector<uint8_t>> bytes;
    std::map<std::string, fs::file_time_type> times;

    explicit Snapshot(const std::string& folder)
    {
        for (const auto& entry : fs::directory_iterator(folder))
        {
            bytes[entry.path().string()] = readBytes(entry.path().string());
            times[entry.path().string()] = fs::last_write_time(entry.path());
        }
    }
};

std::string modelsPath(const std::string& name)
{
    return (fs::path("models") / name).string();
}

// --- Usage ---------------------------------------------------------------------------------------

TEST(CliUsage, BadCommandLinesExitWithTwoAndHelpAndVersionWithZero)
{
    TempDir dir;
    const struct
    {
        std::vector<std::string> arguments;
        int status;
        const char *out, *err;
    } cases[] = {
        {{"--frobnicate", "x"}, cli::exitUsage, "", "unknown option --frobnicate"},
        {{}, cli::exitUsage, "", ""},
        {{"--help"}, 0, "Usage: scourvane-cli [options] PATH...", ""},
        {{"--version"}, 0, "scourvane-cli 1.0.0\n", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.arguments.empty() ? "no arguments" : c.arguments[0]);
        const CliRun run = runCli(dir.path(), c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(cli::plainLineEnds(run.out).find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir.file("log.txt")));
}

// --- Real models ---------------------------------------------------------------------------------

TEST(CliCorpus, CleansEveryModelWritesTheLogAndPrintsTheSameReport)
{
    SKIP_WITHOUT_CORPUS();
    TempDir dir;
    std::vector<std::string> names = copyCorpus(dir);
    CliRun first = runCli(dir.path(), {"models"});

    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "") << "no progress line when standard error is not a terminal";
    const std::string log = readText(dir.file("log.txt"));
    ASSERT_EQ(log.rfind("Report:\r\nFile cleaned: \"" + modelsPath(names.front()) + "\"", 0), 0u)
        << log.substr(0, 200);
    const std::string count = std::to_string(names.size());
    EXPECT_NE(log.find("\r\n" + count + " out of " + count + " files cleaned successfully\r\n\t"),
              std::string::npos);
    EXPECT_EQ(cli::plainLineEnds(first.out), cli::plainLineEnds(log) + "\n");
}

TEST(CliCorpus, DryRunTouchesNothingAndPredictsTheRealRun)
{
    SKIP_WITHOUT_CORPUS();
    TempDir dir;
    copyCorpus(dir, 40);
    const Snapshot before(dir.file("models"));
    CliRun dry = runCli(dir.path(), {"--dry-run", "models"});

    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out.rfind("Report (dry run, no file changed):", 0), 0u) << dry.out.substr(0, 100);
    const Snapshot after(dir.file("models"));
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.times, before.times);

    CliRun real = runCli(dir.path(), {"--no-log", "models"});
    EXPECT_EQ(real.status, 0);
    EXPECT_FALSE(fs::exists(dir.file("log.txt"))) << "neither a dry run nor --no-log writes a log";
    std::string predicted = cli::plainLineEnds(dry.out);
    for (const auto& [from, to] : {std::pair{"Report (dry run, no file changed):", "Report:"},
                                   {"\nWould clean: ", "\nFile cleaned: "},
                                   {"files would be cleaned successfully", "files cleaned successfully"}})
        for (size_t at = predicted.find(from); at != std::string::npos;
             at = predicted.find(from, at + std::strlen(to)))
            predicted.replace(at, std::strlen(from), to);
    EXPECT_EQ(predicted, cli::plainLineEnds(real.out));
}

TEST(CliCorpus, FailuresGoToTheLogToStandardErrorWithTheirReasonAndToWellFormedJson)
{
    SKIP_WITHOUT_CORPUS();
    TempDir dir;
    copyCorpus(dir, 5);
#ifdef _WIN32
    const std::string broken = "broken odd.3do"; // Windows allows no quotes in names
#else
    const std::string broken = "broken \"odd\".3do";
#endif
    const std::vector<uint8_t> brokenBytes{2, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(inModels(dir, broken), brokenBytes);
    CliRun run = runCli(dir.path(), {"--json", "models", "missing.3do"});

    EXPECT_EQ(run.status, cli::exitSomeFailed);
    EXPECT_EQ(readBytes(inModels(dir, broken)), brokenBytes);
    const std::string log = readText(dir.file("log.txt"));
    EXPECT_NE(log.find("\r\nError reading file: \"" + modelsPath(broken) + "\""), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nError reading file: \"missing.3do\"\r\n5 out of 7 files cleaned successfully"),
              std::string::npos);
    ObjectPart probe;
    LoadError error;
    ASSERT_FALSE(probe.loadModelBytes(brokenBytes.data(), brokenBytes.size(), &error));
    const std::string reason = describeLoadError(error);
    EXPECT_NE(run.err.find(broken + ": " + reason), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("missing.3do: "), std::string::npos);

    EXPECT_EQ(run.out.rfind("{\"version\":\"1.0.0\",\"dryRun\":false,\"files\":[{\"path\":", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find(cli::jsonString(modelsPath(broken)) +
                           ",\"outcome\":\"readFailed\",\"error\":" + cli::jsonString(reason)),
              std::string::npos);
    EXPECT_NE(run.out.find("{\"path\":\"missing.3do\",\"outcome\":\"readFailed\",\"error\":"),
              std::string::npos);
    EXPECT_NE(run.out.find("\"totals\":{\"filesAttempted\":7,\"filesCleaned\":5,"), std::string::npos)
        << run.out;
#ifndef _WIN32
    if (std::system("python3 -c '' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed; JSON checked by string finds only";
    writeBytes(dir.file("out.json"), std::vector<uint8_t>(run.out.begin(), run.out.end()));
    CliRun check = runProgram("/bin/sh", dir.path(), {"-c", "python3 -m json.tool out.json"});
    EXPECT_EQ(check.status, 0) << check.err;
#endif
}

TEST(CliCorpus, BackupAndLogGoWhereAskedAndALogThatCannotBeCreatedStopsNothing)
{
    SKIP_WITHOUT_CORPUS();
    TempDir dir;
    copyCorpus(dir, 10);
    const Snapshot before(dir.file("models"));
    CliRun named = runCli(dir.path(), {"--backup", "--log", "other.txt", "models"});
    EXPECT_EQ(named.status, 0) << named.err;
    for (const auto& [path, bytes] : before.bytes)
        EXPECT_EQ(readBytes(path + ".bak"), bytes) << path;
    EXPECT_EQ(readText(dir.file("other.txt")).rfind("Report:\r\n", 0), 0u);
    EXPECT_FALSE(fs::exists(dir.file("log.txt")));

    fs::create_directory(dir.file("log.txt"));
    CliRun blocked = runCli(dir.path(), {"models"});
    EXPECT_EQ(blocked.status, 0);
    EXPECT_NE(blocked.err.find("cannot create the log file"), std::string::npos);
}

TEST(CliCorpus, WritesTheSameLogAsTheCleanCommand)
{
    SKIP_WITHOUT_CORPUS();
    TempDir dir;
    std::vector<std::string> names = copyCorpus(dir, 1);
    const std::string model = inModels(dir, names[0]);
    const std::vector<uint8_t> original = readBytes(model);
    CliRun run = runCli(dir.path(), {model});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string fromTool = readText(dir.file("log.txt"));

    writeBytes(model, original);
    std::error_code error;
    const fs::path previous = fs::current_path(error);
    fs::current_path(dir.path(), error);
    std::string selection = model;
    selection.resize(selectionBufferSize, '\0');
    RunContext context;
    context.selectionBuffer = selection.data();
    runCleaning(context);
    fs::current_path(previous, error);

    EXPECT_EQ(readText(dir.file("log.txt")), fromTool);
}

} // namespace
} // namespace scourvane::test
