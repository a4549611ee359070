// scourvane-cli as a script would start it, on small made models, and its JSON strings. Every kind of
// bad model is scripts/hostile_test.sh's; failing saves, backups and where the log may go are
// scripts/fault_test.sh's.
#include "batch/report.h"
#include "cli/cli.h"
#include "cli/glob.h"
#include "cli/json.h"
#include "platform/file_io.h"
#include "platform/file_times.h"

#include "archive/zip_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

struct CliRun
{
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool through the system's shell in the current directory, capturing its output (with plain
// LF line ends, as Windows' text mode writes CR LF); no argument holds a quote. Arguments are quoted,
// except `unquoted` ones, which go as typed (wildcards). Standard input comes from the file `input`
// when one is named; the exact bytes of standard output go to the file `rawOutput` when one is named.
CliRun runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& unquoted = {},
                  const std::string& input = "", const std::string& rawOutput = "")
{
    TempDir capture;
    std::string program = SCOURVANE_CLI_PATH;
#ifdef _WIN32
    // Under Wine the build's Unix paths are on drive Z:.
    if (program.front() == '/') program = "Z:" + program;
    program = fs::path(program).make_preferred().string();
    const std::string q = "\"";
#else
    const std::string q = "'";
#endif
    std::string line = q + program + q;
    for (const std::string& argument : arguments)
        line += " " + q + argument + q;
    for (const std::string& argument : unquoted)
        line += " " + argument;
    if (!input.empty()) line += " <" + q + input + q;
    line += " >" + q + (rawOutput.empty() ? capture.file("out") : rawOutput) + q + " 2>" + q +
            capture.file("err") + q;
#ifdef _WIN32
    const int status = std::system(("\"" + line + "\"").c_str()); // cmd.exe strips the outer quotes
#else
    const int wait = std::system(line.c_str());
    const int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
#endif
    return {status, rawOutput.empty() ? cli::plainLineEnds(readText(capture.file("out"))) : std::string(),
            cli::plainLineEnds(readText(capture.file("err")))};
}

// A scratch folder, current while the tool runs, with two dirty models in "models".
class CliTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::error_code error;
        previousDirectory_ = fs::current_path(error);
        fs::current_path(dir.path(), error);
        ASSERT_FALSE(error) << "cannot enter " << dir.path();
        fs::create_directory("models");
        for (const char* name : {"a.3do", "b.3do"})
            writeBytes(model(name), dirtyModel());
    }
    void TearDown() override
    {
        std::error_code error;
        fs::current_path(previousDirectory_, error);
    }

    static std::string model(const std::string& name) { return (fs::path("models") / name).string(); }

    TempDir dir;

  private:
    fs::path previousDirectory_;
};

TEST(CliUsage, BadCommandLinesExitWithTwoAndHelpAndVersionWithZero)
{
    const struct
    {
        std::vector<std::string> arguments;
        int status;
        std::string out, err;
    } cases[] = {
        {{"--frobnicate", "x"}, cli::exitUsage, "", "unknown option --frobnicate\n"},
        {{"--dryrun", "x"}, cli::exitUsage, "", "unknown option --dryrun (did you mean --dry-run?)"},
        {{"-rx", "x"}, cli::exitUsage, "", "unknown option -x in -rx"},
        {{"-qv", "x"}, cli::exitUsage, "", "-q and -v cannot be used together"},
        {{"--check", "-o", "out", "x"}, cli::exitUsage, "", "--check writes nothing"},
        {{"-bo", "out", "x"}, cli::exitUsage, "", "takes no --backup"},
        {{"-p", "-"}, cli::exitUsage, "", "takes no --preserve"},
        {{"-b", "-"}, cli::exitUsage, "", "takes no --backup"},
        {{"-o", "out", "-"}, cli::exitUsage, "", "takes no --output"},
        {{"-", "x"}, cli::exitUsage, "", "cannot be cleaned with other paths"},
        {{"--files-from", "list", "-"}, cli::exitUsage, "", "cannot be cleaned with other paths"},
        {{}, cli::exitUsage, "", "no PATH given"},
        {{"x", "--log"}, cli::exitUsage, "", "--log needs a file name"},
        {{"-rj0", "x"}, cli::exitUsage, "", "--jobs needs a number of files to clean at once, from 1"},
        {{"--jobs", "2x", "x"}, cli::exitUsage, "", "--jobs needs a number"},
        {{"-0", "x"}, cli::exitUsage, "", "-0 (--null) says how a --files-from list is separated"},
        {{"--files-from", "-", "--files-from=-"}, cli::exitUsage, "", "only one --files-from list"},
        {{"--exclude=", "x"}, cli::exitUsage, "", "--exclude needs a pattern"},
        {{"--files-from", "no-such-list"}, cli::exitUsage, "", "cannot read the file list no-such-list: "},
        {{"--help"}, cli::exitAllCleaned, "Usage: scourvane-cli [options] PATH...", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.arguments.empty() ? "no arguments" : c.arguments[0]);
        const CliRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

TEST_F(CliTest, CleansTheModelsOfAFolderTreeInSortedOrderAndPrintsTheLogWithoutAProgressLine)
{
    for (const char* folder : {"sub", "folder.3do"})
        fs::create_directory(model(folder));
    writeBytes(model("sub/C.3DO"), dirtyModel());
    writeBytes(model("notes.txt"), {0});
    const CliRun cleaned = runProgram({"-r", "models"});
    EXPECT_EQ(cleaned.status, cli::exitAllCleaned);
    EXPECT_EQ(cleaned.err, "") << "no progress line when standard error is not a terminal";
    const std::string log = readText("log.txt");
    const auto report = [](const std::string& path) { return "\r\nFile cleaned: \"" + path + "\""; };
    const size_t a = log.find(report(model("a.3do"))), b = log.find(report(model("b.3do"))),
                 c = log.find(report(model((fs::path("sub") / "C.3DO").string())));
    EXPECT_TRUE(log.starts_with("Report:") && a == 7 && a < b && b < c && c != std::string::npos) << log;
    EXPECT_NE(log.find("\r\n3 out of 3 files cleaned successfully\r\n\t"), std::string::npos) << log;
    EXPECT_EQ(cleaned.out, cli::plainLineEnds(log) +
                               "\n3 written, 0 already clean, 0 failed; 150 of 540 bytes removed (27.8%)\n")
        << "the log keeps the window's format; the tool's report adds one line";
}

TEST_F(CliTest, FailuresExitWithOneAndGiveTheEnginesReasonOnStandardErrorAndInTheJson)
{
    const std::string broken = "broken.3do";
    const std::vector<uint8_t> brokenBytes{2, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(model(broken), brokenBytes);
    // Marked read-only on purpose; a run as root, which could write it anyway, leaves it too.
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(model("b.3do").c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(::chmod(model("b.3do").c_str(), 0444), 0);
#endif
    const CliRun failed = runProgram({"--json", "models", "missing.3do"});
    EXPECT_EQ(readBytes(model("b.3do")), dirtyModel());
    EXPECT_EQ(std::distance(fs::directory_iterator("models"), fs::directory_iterator()), 3) << "no temporary";

    EXPECT_EQ(failed.status, cli::exitSomeFailed);
    ObjectPart probe;
    LoadError error;
    ASSERT_FALSE(probe.loadModelBytes(brokenBytes.data(), brokenBytes.size(), &error));
    const std::string reason = "not a 3DO model: " + describeLoadError(error);
    EXPECT_NE(failed.err.find(broken + ": " + reason), std::string::npos) << failed.err;
    const std::string readOnly = "read-only; left as it was (make it writable to clean it)";
    EXPECT_NE(failed.err.find(model("b.3do") + ": " + readOnly + "\n"), std::string::npos) << failed.err;
    const std::string head =
        std::string("{\"version\":") + cli::jsonString(cli::versionText()) +
        ",\"dryRun\":false,\"check\":false,\"files\":[{\"path\":" + cli::jsonString(model("a.3do")) +
        ",\"outcome\":\"cleaned\",\"sizeBefore\":180,\"sizeAfter\":130,\"bytesRemoved\":50,"
        "\"vertexesRemoved\":1,\"facesRemoved\":1,\"changed\":true},{\"path\":" +
        cli::jsonString(model("b.3do")) +
        ",\"outcome\":\"writeFailed\",\"error\":" + cli::jsonString(readOnly) +
        "},{\"path\":" + cli::jsonString(model(broken)) +
        ",\"outcome\":\"readFailed\",\"error\":" + cli::jsonString(reason) +
        "},{\"path\":\"missing.3do\",\"outcome\":\"readFailed\",\"error\":" +
        cli::jsonString("cannot open the file: " + platform::systemMessage(2) + " (error 2)") + "}";
    EXPECT_EQ(failed.out.rfind(head, 0), 0u) << failed.out;
    EXPECT_NE(failed.out.find("}],\"totals\":{\"filesAttempted\":4,\"filesCleaned\":1,\"filesChanged\":1,"
                              "\"filesUnchanged\":0,\"filesFailed\":3,\"vertexesRemoved\":1,"
                              "\"facesRemoved\":1,\"bytesRemoved\":50}}\n"),
              std::string::npos)
        << failed.out;
}

TEST_F(CliTest, CheckAndDryRunWriteNothingAndTellDirtyCleanAndDamagedModelsApart)
{
    writeBytes(model("broken.3do"), {2, 0, 0, 0, 0, 0, 0, 0});
    const CliRun damaged = runProgram({"--check", "models"});
    EXPECT_EQ(damaged.status, cli::exitCannotTell) << "a damaged model wins over the dirty ones";
    EXPECT_EQ(damaged.out, model("a.3do") + "\n" + model("b.3do") + "\n");
    EXPECT_TRUE(damaged.err.ends_with("\n2 of 3 models would change; 1 cannot be read\n")) << damaged.err;
    EXPECT_NE(damaged.err.find("broken.3do: "), std::string::npos) << damaged.err;
    EXPECT_EQ(readBytes(model("a.3do")), dirtyModel());
    EXPECT_FALSE(fs::exists("log.txt"));

    ASSERT_EQ(runProgram({"-q", "--no-log", model("b.3do")}).status, cli::exitAllCleaned);
    const CliRun dry = runProgram({"-n", "models"});
    EXPECT_EQ(dry.status, cli::exitSomeFailed);
    EXPECT_EQ(readBytes(model("a.3do")), dirtyModel());
    EXPECT_FALSE(fs::exists("log.txt"));
    EXPECT_TRUE(dry.out.starts_with("Report (dry run, no file changed):\nWould clean: ")) << dry.out;
    EXPECT_NE(dry.out.find("\n\tCleaned file size: 130 bytes\n"), std::string::npos) << dry.out;
    EXPECT_TRUE(dry.out.ends_with(
        "\n1 would be written, 1 already clean, 1 failed; 50 of 310 bytes would be removed (16.1%)\n"))
        << dry.out;

    const CliRun quiet = runProgram({"-q", "models"});
    EXPECT_TRUE(quiet.out.ends_with("\t50 bytes removed\n1 written, 1 already clean, 1 failed; 50 of 310 "
                                    "bytes removed (16.1%)\n"))
        << quiet.out;
    EXPECT_TRUE(readText("log.txt").ends_with("\t50 bytes removed")) << "the log keeps the window's format";

    // Clean files keep their time, and the report still counts them as cleaned.
    fs::remove(model("broken.3do"));
    const auto old = fs::last_write_time(model("a.3do")) - std::chrono::hours(24);
    fs::last_write_time(model("a.3do"), old);
    const CliRun again = runProgram({"--json", "models"});
    EXPECT_EQ(again.status, cli::exitAllCleaned);
    EXPECT_EQ(fs::last_write_time(model("a.3do")), old);
    EXPECT_NE(
        again.out.find("\"bytesRemoved\":0,\"vertexesRemoved\":0,\"facesRemoved\":0,\"changed\":false}"),
        std::string::npos)
        << again.out;
    const CliRun clean = runProgram({"--check", "-rv", "models"});
    EXPECT_EQ(clean.status, cli::exitAllCleaned);
    EXPECT_EQ(clean.out, "0 out of 2 files would change\n");
    EXPECT_EQ(clean.err, "0 of 2 models would change\n");
}

TEST_F(CliTest, FileListsJoinTheCommandLinesPathsInOneRunWithOneReportAndOneLog)
{
    fs::create_directories("mod/sub");
    for (const char* path : {"mod/sub/c.3do", "mod/d.3do", "e.3do"})
        writeBytes(path, dirtyModel());
    // Windows line ends, a blank line and a folder among the names; no line end after the last.
    const std::string listed = "mod/d.3do\r\n\r\nmodels\r\nmod/sub/c.3do";
    writeBytes("list.txt", std::vector<uint8_t>(listed.begin(), listed.end()));
    const CliRun run = runProgram({"--files-from", "list.txt", "e.3do"});
    EXPECT_EQ(run.status, cli::exitAllCleaned) << run.err;
    const std::string log = readText("log.txt");
    EXPECT_NE(log.find("5 out of 5 files cleaned successfully"), std::string::npos) << log;
    const size_t e = log.find("\"e.3do\""), d = log.find("\"mod/d.3do\""), a = log.find(model("a.3do")),
                 c = log.find("\"mod/sub/c.3do\"");
    EXPECT_TRUE(e < d && d < a && a < c && c != std::string::npos)
        << "command line first, then the list: " << log;

    // NUL-separated names from standard input, as find -print0 writes them; on POSIX a name may hold
    // a line end.
#ifdef _WIN32
    const std::string odd = "odd name.3do";
#else
    const std::string odd = "odd\nname.3do";
#endif
    writeBytes(odd, dirtyModel());
    writeBytes("e.3do", dirtyModel());
    const std::string nulListed = odd + '\0' + "e.3do" + '\0';
    writeBytes("list0", std::vector<uint8_t>(nulListed.begin(), nulListed.end()));
    const CliRun fromInput = runProgram({"-0", "--files-from", "-", "--json", "--no-log"}, {}, "list0");
    EXPECT_EQ(fromInput.status, cli::exitAllCleaned) << fromInput.err;
    EXPECT_NE(fromInput.out.find("{\"path\":" + cli::jsonString(odd) +
                                 ",\"outcome\":\"cleaned\",\"sizeBefore\":180"),
              std::string::npos)
        << fromInput.out;
    EXPECT_NE(fromInput.out.find("\"filesAttempted\":2,"), std::string::npos) << fromInput.out;
}

TEST_F(CliTest, OutputMirrorsEachArgumentsTreeLeavesTheSourcesAloneAndRefusesClashes)
{
    fs::create_directory(model("sub"));
    writeBytes(model("sub/C.3DO"), dirtyModel());
    writeBytes("loose.3do", dirtyModel());
    EXPECT_EQ(runProgram({"-rn", "-o", "staging/out", "models"}).status, cli::exitAllCleaned);
    EXPECT_FALSE(fs::exists("staging")) << "a dry run makes no folder";
    const CliRun staged = runProgram({"-r", "--output=staging/out", "models", "loose.3do"});
    EXPECT_EQ(staged.status, cli::exitAllCleaned) << staged.err;
    const std::vector<uint8_t> cleaned = readBytes("staging/out/a.3do");
    EXPECT_EQ(cleaned.size(), 130u);
    for (const char* path : {"staging/out/b.3do", "staging/out/sub/C.3DO", "staging/out/loose.3do"})
        EXPECT_EQ(readBytes(path), cleaned) << path;
    for (const std::string& source : {model("a.3do"), model("sub/C.3DO"), std::string("loose.3do")})
        EXPECT_EQ(readBytes(source), dirtyModel()) << source;

    fs::create_directory("other");
    writeBytes("other/a.3do", dirtyModel());
    const struct
    {
        std::vector<std::string> arguments;
        std::string err;
    } refused[] = {
        {{"-o", "models/staged", "models"}, "may not be models, a folder being cleaned, or inside it"},
        {{"-o", "fresh", model("a.3do"), "other/a.3do"}, "would both be written to"},
        {{"-o", "models", model("a.3do")}, "would be written over itself"},
    };
    for (const auto& c : refused)
    {
        SCOPED_TRACE(c.arguments[1]);
        const CliRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, cli::exitUsage);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists("fresh"));
    EXPECT_FALSE(fs::exists("models/staged"));
    EXPECT_EQ(readBytes(model("a.3do")), dirtyModel());
}

// Sets a file's times with the system's own calls, apart from the code under test.
void setTimes(const std::string& path, const platform::FileTimes& times)
{
#ifdef _WIN32
    auto fileTime = [](const platform::FileTime& time)
    {
        const uint64_t steps =
            static_cast<uint64_t>(time.seconds + 11644473600) * 10000000u + time.nanoseconds / 100;
        return FILETIME{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
    };
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    const FILETIME accessed = fileTime(times.accessed);
    const FILETIME modified = fileTime(times.modified);
    EXPECT_TRUE(SetFileTime(file, nullptr, &accessed, &modified)) << path;
    CloseHandle(file);
#else
    const struct timespec both[2] = {
        {static_cast<time_t>(times.accessed.seconds), times.accessed.nanoseconds},
        {static_cast<time_t>(times.modified.seconds), times.modified.nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), both, 0), 0) << path;
#endif
}

TEST_F(CliTest, PreserveKeepsEachWrittenModelsTimesToTheNanosecondAndGivesACopyItsSources)
{
    // Nanoseconds in whole 100 ns steps, which is what Windows keeps; an access time older than the
    // modification, which reading the file would move on Linux.
    platform::FileTimes old;
    old.modified = {981201845, 123456700};
    old.accessed = {949411845, 987654300};
    old.known = true;
    writeBytes("loose.3do", dirtyModel());
    writeBytes("plain.3do", dirtyModel());
    for (const std::string& path :
         {model("a.3do"), model("b.3do"), std::string("loose.3do"), std::string("plain.3do")})
        setTimes(path, old);
    const auto oldModified = fs::last_write_time("loose.3do");

    const CliRun run = runProgram({"-pj2", "models"});
    EXPECT_EQ(run.status, cli::exitAllCleaned) << run.err;
    for (const std::string& path : {model("a.3do"), model("b.3do")})
    {
        SCOPED_TRACE(path);
        // The times first: reading the file would move its access time.
        const platform::FileTimes kept = platform::fileTimesOf(path.c_str());
        EXPECT_EQ(kept.modified, old.modified);
        EXPECT_EQ(kept.accessed, old.accessed);
        EXPECT_EQ(fs::last_write_time(path), oldModified);
        EXPECT_EQ(readBytes(path).size(), 130u) << "rewritten";
    }

    const CliRun copied = runProgram({"--preserve", "-o", "staging", "loose.3do"});
    EXPECT_EQ(copied.status, cli::exitAllCleaned) << copied.err;
    const platform::FileTimes copy = platform::fileTimesOf("staging/loose.3do");
    EXPECT_EQ(copy.modified, old.modified);
#ifdef _WIN32
    // Under Wine the look at a file argument's first bytes moves its access time before the step
    // reads it: the copy still gets its source's.
    EXPECT_EQ(copy.accessed, platform::fileTimesOf("loose.3do").accessed);
#else
    EXPECT_EQ(copy.accessed, old.accessed);
#endif
    EXPECT_EQ(readBytes("staging/loose.3do").size(), 130u);
    EXPECT_EQ(readBytes("loose.3do"), dirtyModel());

    // Without -p a rewritten model is a new file, with the time it was written.
    EXPECT_EQ(runProgram({"plain.3do"}).status, cli::exitAllCleaned);
    EXPECT_EQ(readBytes("plain.3do").size(), 130u);
    EXPECT_GT(fs::last_write_time("plain.3do"), oldModified);
}

#ifdef _WIN32
TEST_F(CliTest, WildcardsInArgumentsAreExpandedAsWindowsToolsDo)
{
    const CliRun run = runProgram({"-n"}, {"models\\*.3do"});
    EXPECT_EQ(run.status, cli::exitAllCleaned) << run.err;
    EXPECT_NE(run.out.find("\n2 out of 2 files would be cleaned successfully"), std::string::npos) << run.out;
}
#endif

TEST_F(CliTest, AModelOnStandardInputGoesCleanedToStandardOutputWithTheReportOnStandardError)
{
    ASSERT_EQ(runProgram({"-q", "--no-log", model("b.3do")}).status, cli::exitAllCleaned);
    const std::vector<uint8_t> cleaned = readBytes(model("b.3do"));
    ASSERT_EQ(cleaned.size(), 130u);
    writeBytes("broken.3do", {2, 0, 0, 0, 0, 0, 0, 0});

    const CliRun dirty = runProgram({"-"}, {}, model("a.3do"), "piped.3do");
    EXPECT_EQ(dirty.status, cli::exitAllCleaned) << dirty.err;
    EXPECT_EQ(readBytes("piped.3do"), cleaned) << "cleaned and verified, byte for byte as a file's clean";
    EXPECT_NE(dirty.err.find("File cleaned: \"-\""), std::string::npos) << dirty.err;
    EXPECT_NE(dirty.err.find("1 written, 0 already clean, 0 failed; 50 of 180 bytes removed"),
              std::string::npos)
        << dirty.err;
    EXPECT_FALSE(fs::exists("log.txt")) << "a pipe leaves no log";

    const CliRun clean = runProgram({"-v", "-"}, {}, model("b.3do"), "piped.3do");
    EXPECT_EQ(clean.status, cli::exitAllCleaned) << clean.err;
    EXPECT_EQ(readBytes("piped.3do"), cleaned) << "an already clean model passes as it is";

    const CliRun broken = runProgram({"--json", "-"}, {}, "broken.3do", "piped.3do");
    EXPECT_EQ(broken.status, cli::exitSomeFailed);
    EXPECT_TRUE(readBytes("piped.3do").empty()) << "nothing on standard output";
    // Standard error holds the one JSON object and nothing else; the reason is in it.
    EXPECT_TRUE(broken.err.starts_with("{\"version\":") && broken.err.ends_with("}\n")) << broken.err;
    EXPECT_NE(broken.err.find("{\"path\":\"-\",\"outcome\":\"readFailed\",\"error\":\"not a 3DO model: "),
              std::string::npos)
        << broken.err;
    const CliRun listed = runProgram({"-"}, {}, "broken.3do", "piped.3do");
    EXPECT_NE(listed.err.find("Report:\nError reading file: \"-\"\nscourvane-cli: -: not a 3DO model: "),
              std::string::npos)
        << "the reason on a line of its own: " << listed.err;

    const CliRun dry = runProgram({"-n", "-"}, {}, model("a.3do"), "piped.3do");
    EXPECT_EQ(dry.status, cli::exitAllCleaned);
    EXPECT_TRUE(readBytes("piped.3do").empty()) << "a dry run writes nothing";
    const CliRun check = runProgram({"--check", "-"}, {}, model("a.3do"), "piped.3do");
    EXPECT_EQ(check.status, cli::exitSomeFailed);
    EXPECT_EQ(check.err, "-\n1 of 1 model would change\n");
    EXPECT_TRUE(readBytes("piped.3do").empty()) << "a check writes nothing either";
    EXPECT_EQ(runProgram({"--check", "-"}, {}, "broken.3do", "piped.3do").status, cli::exitCannotTell);
    EXPECT_NE(
        runProgram({"--check", "--json", "-"}, {}, model("a.3do"), "piped.3do").err.find("\"dryRun\":true"),
        std::string::npos);
}

TEST(CliGlob, MatchesAsGitignoreDoesByNameAtAnyDepthOrByPathFromTheTop)
{
    const struct
    {
        const char* pattern;
        const char* path;
        bool isFolder;
        bool matches;
    } cases[] = {
        {"*.bak", "a/b/c.bak", false, true},  // a name at any depth
        {"*.3do", "a/b.3do/c", false, false}, // ... its own, not a folder's above it
        {"original", "mod/original", true, true},
        {"original/", "mod/original", false, false}, // folders only
        {"sub/*.3do", "sub/a.3do", false, true},     // a slash anchors the pattern at the top
        {"sub/*.3do", "x/sub/a.3do", false, false},
        {"/a.3do", "a.3do", false, true},
        {"/a.3do", "x/a.3do", false, false},
        {"*", "a/b", false, true}, // a name alone
        {"a*", "b/ab", false, true},
        {"a/*", "a/b/c", false, false}, // * never crosses a slash
        {"a?c", "abc", false, true},
        {"x/a?c", "x/a/c", false, false}, // ? never matches a slash
        {"**/x.3do", "x.3do", false, true},
        {"**/x.3do", "a/b/x.3do", false, true},
        {"a/**/b", "a/b", false, true},
        {"a/**/b", "a/x/y/b", false, true},
        {"a/**/b", "ab", false, false},
        {"a/**", "a/x/y", false, true},
        {"a/**", "a", true, false},
        {"a**b", "a/x/b", false, false}, // ** inside a name is a plain *
        {"[abc].3do", "b.3do", false, true},
        {"[!abc].3do", "b.3do", false, false},
        {"[^abc].3do", "d.3do", false, true},
        {"[a-c]x", "cx", false, true},
        {"[a-c]x", "dx", false, false},
        {"[]]", "]", false, true},
        {"[ab", "[ab", false, true}, // no closing bracket: plain characters
        {"", "a", false, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.pattern) + " on " + c.path);
        EXPECT_EQ(cli::Glob(c.pattern).matches(c.path, c.isFolder), c.matches);
    }
#ifndef _WIN32
    EXPECT_TRUE(cli::Glob("a\\*b").matches("a*b", false)) << "a backslash takes the next character as it is";
    EXPECT_FALSE(cli::Glob("a\\*b").matches("axb", false));
#endif
    EXPECT_TRUE(cli::Glob("*.3DO", true).matches("X.3do", false));
    EXPECT_TRUE(cli::Glob("[A-C].3do", true).matches("b.3DO", false));
    EXPECT_FALSE(cli::Glob("*.3DO").matches("X.3do", false));
}

// Patterns that send a backtracking matcher into exponential time; each must finish at once. Only a
// hang would show, so there is no clock here: ctest's timeout is the hang-catcher.
TEST(CliGlob, HostilePatternsOnLongNamesTakeTimeInProportionToTheirLengths)
{
    const std::string longName(20000, 'a');
    EXPECT_FALSE(cli::Glob("*a*a*a*a*a*a*a*a*a*a*a*a*b").matches(longName, false));
    EXPECT_TRUE(cli::Glob("*a*a*a*a*a*a*a*a*a*a*a*a*a").matches(longName, false));
    std::string deep;
    for (int i = 0; i < 2000; ++i)
        deep += "a/";
    deep += "x";
    EXPECT_FALSE(cli::Glob("**/a/**/a/**/a/**/a/**/a/**/a/**/b").matches(deep, false));
    EXPECT_TRUE(cli::Glob("**/a/**/a/**/a/**/a/**/a/**/a/**/x").matches(deep, false));
    EXPECT_FALSE(cli::Glob(std::string(5000, '*') + "b").matches(longName, false));
    std::string sets;
    for (int i = 0; i < 200; ++i)
        sets += "[a-z]*";
    EXPECT_FALSE(cli::Glob(sets + "0").matches(longName, false));
}

TEST_F(CliTest, ExcludeSkipsMatchingFilesAndWholeFoldersBelowEachFolderArgument)
{
    fs::create_directories("models/original/deep");
    fs::create_directories("models/third/party");
    writeBytes(model("original/a.3do"), dirtyModel());
    writeBytes(model("original/deep/a.3do"), dirtyModel());
    writeBytes(model("third/party/t.3do"), dirtyModel());
    writeBytes(model("third/t.3do"), dirtyModel());
    writeBytes(model("b_old.3do"), dirtyModel());
    writeBytes("loose_old.3do", dirtyModel());

    // Joined to its option: on Windows the C runtime would expand a wildcard argument standing alone.
    const CliRun run =
        runProgram({"-r", "--json", "--no-log", "--exclude", "original/", "--exclude=third/party",
                    "--exclude=*_old.3do", "models", "loose_old.3do"});
    EXPECT_EQ(run.status, cli::exitAllCleaned) << run.err;
    for (const std::string& taken :
         {model("a.3do"), model("b.3do"), model((fs::path("third") / "t.3do").string())})
        EXPECT_NE(run.out.find(cli::jsonString(taken)), std::string::npos) << taken << run.out;
    EXPECT_NE(run.out.find("\"filesAttempted\":3,"), std::string::npos) << run.out;
    for (const char* skipped :
         {"models/original/a.3do", "models/third/party/t.3do", "models/b_old.3do", "loose_old.3do"})
        EXPECT_EQ(readBytes(skipped), dirtyModel()) << skipped;

    // Anchored at the folder argument, not at the current folder: "models/third" matches nothing there.
    const CliRun anchored = runProgram({"-rn", "--exclude", "models/third", "models"});
    EXPECT_NE(anchored.out.find("7 out of 7 files would be cleaned"), std::string::npos) << anchored.out;
}

// The options --help lists, as typed: "-r", "--recursive", "--files-from", ... An option's row starts
// with its names: a short one and its comma, then the long one.
std::vector<std::string> helpOptions()
{
    std::string help = "\n"; // appended: GCC 12 for Windows warns falsely on a literal plus a returned string
    help += cli::usageText();
    static const std::regex row(R"(\n {2,6}(?:(-[0-9A-Za-z]), )?(--[a-z-]+))");
    std::vector<std::string> options;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), row); it != std::sregex_iterator(); ++it)
        for (const int name : {1, 2})
            if ((*it)[name].matched) options.push_back((*it)[name].str());
    return options;
}

// The manual page as it reads: roff's escaped hyphens plain, font changes and hyphenation marks gone.
std::string manualPageText()
{
    std::string path = SCOURVANE_MANUAL_PAGE;
#ifdef _WIN32
    if (path.front() == '/') path = "Z:" + path; // the build's Unix paths are on drive Z: under Wine
#endif
    const std::string roff = readText(path);
    std::string text;
    for (size_t i = 0; i < roff.size(); ++i)
    {
        if (roff[i] == '\\' && i + 1 < roff.size())
        {
            const char next = roff[i + 1];
            if (next == '-') text += '-';
            if (next == 'f' && i + 2 < roff.size()) ++i; // \fB, \fR, \fI
            ++i;
            continue;
        }
        text += roff[i];
    }
    return text;
}

// Options hold only letters, digits and hyphens, which stand for themselves in a pattern.
bool namesWord(const std::string& text, const std::string& word)
{
    return std::regex_search(text, std::regex("(^|[^A-Za-z0-9-])" + word + "($|[^A-Za-z0-9-])"));
}

TEST(CliManualPage, NamesEveryOptionOfTheHelpAndEveryExitStatus)
{
    const std::string page = manualPageText();
    ASSERT_NE(page.find(".SH OPTIONS"), std::string::npos)
        << "the manual page was not found at " << SCOURVANE_MANUAL_PAGE;
    const std::vector<std::string> options = helpOptions();
    ASSERT_GE(options.size(), 20u) << "the help's option rows were not found";
    EXPECT_NE(std::find(options.begin(), options.end(), "--files-from"), options.end());
    for (const std::string& option : options)
        EXPECT_TRUE(namesWord(page, option)) << "the manual page does not name " << option;

    // And back: every option the manual page describes is one --help lists.
    const size_t optionsAt = page.find(".SH OPTIONS");
    const std::string section = page.substr(optionsAt, page.find("\n.SH ", optionsAt + 1) - optionsAt);
    static const std::regex described(R"(\n\.TP\n\.[^\n]*)"), longName("--[a-z-]+");
    for (auto row = std::sregex_iterator(section.begin(), section.end(), described);
         row != std::sregex_iterator(); ++row)
    {
        const std::string line = row->str();
        for (auto name = std::sregex_iterator(line.begin(), line.end(), longName);
             name != std::sregex_iterator(); ++name)
            EXPECT_NE(std::find(options.begin(), options.end(), name->str()), options.end())
                << "--help does not list " << name->str() << ", which the manual page describes";
    }

    const size_t statusAt = page.find(".SH EXIT STATUS");
    ASSERT_NE(statusAt, std::string::npos);
    const std::string statuses = page.substr(statusAt, page.find("\n.SH ", statusAt + 1) - statusAt);
    const std::string help = cli::usageText();
    for (const int status :
         {cli::exitAllCleaned, cli::exitSomeFailed, cli::exitUsage, cli::exitCannotTell, 129, 130, 143})
    {
        EXPECT_NE(statuses.find("\n.B " + std::to_string(status) + "\n"), std::string::npos)
            << "EXIT STATUS does not name " << status;
        EXPECT_TRUE(namesWord(help, std::to_string(status))) << "--help does not name exit status " << status;
    }
}

TEST(CliJson, EscapesControlsQuotesAndBackslashesAndKeepsOnlyValidUtf8)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\a \"b\"\r\n\t\x01\x7f", "\"C:\\\\a \\\"b\\\"\\r\\n\\t\\u0001\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
        {"caf\xe9", "\"caf\\ufffd\""},                 // Latin-1
        {"\xc0\x80", "\"\\ufffd\\ufffd\""},            // overlong form
        {"\xe2\x82", "\"\\ufffd\\ufffd\""},            // cut short
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""}, // surrogate
    };
    for (const auto& [bytes, json] : cases)
    {
        EXPECT_EQ(cli::jsonString(bytes), json);
        // Only the well-formed cases need no exact bytes beside them.
        EXPECT_EQ(cli::isValidUtf8(bytes), std::string_view(json).find("ufffd") == std::string_view::npos);
    }
}

// The tool over whole mods: archives named or met with -a, reported entry by entry, and the texture
// report's exit statuses, with the zip builder of the archive tests.
TEST_F(CliTest, ArchivesNamedOrMetWithDashAAreCleanedInsideAndReportedEntryByEntry)
{
    fs::create_directory("mod");
    const std::vector<uint8_t> zip =
        buildZip({{"objects3d/a.3do", dirtyModel()}, {"readme.txt", {'h', 'i'}, 0}}, {});
    writeBytes("mod/release.SDZ", zip);

    // A walk never opens an archive it meets unless told to.
    EXPECT_EQ(runProgram({"-r", "--check", "mod"}).status, cli::exitCannotTell) << "no model found";
    const CliRun check = runProgram({"-ra", "--check", "mod"});
    EXPECT_EQ(check.status, cli::exitSomeFailed);
    const std::string shown = (fs::path("mod") / "release.SDZ").string() + ":objects3d/a.3do";
    EXPECT_EQ(check.out, shown + "\n");

    const CliRun json = runProgram({"--json", "mod/release.SDZ"});
    EXPECT_EQ(json.status, cli::exitAllCleaned) << json.err;
    EXPECT_NE(
        json.out.find("\"path\":\"mod/release.SDZ\",\"entry\":\"objects3d/a.3do\",\"outcome\":\"cleaned\""),
        std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"archives\":[{\"path\":\"mod/release.SDZ\",\"outcome\":\"cleaned\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(readText("log.txt").find("File cleaned: \"mod/release.SDZ:objects3d/a.3do\""),
              std::string::npos);

    // An archive without models vouches for nothing; an output name held by a link is never
    // written through or replaced, and the models of an archive not saved count as failed.
    writeBytes("mod/empty.zip", buildZip({{"readme.txt", {'h', 'i'}, 0}}, {}));
    EXPECT_EQ(runProgram({"--check", "mod/empty.zip"}).status, cli::exitCannotTell);
#ifndef _WIN32 // Wine makes no symbolic links
    writeBytes("mod/dirty.zip", zip);
    fs::create_directory("out");
    fs::create_symlink("../mod/empty.zip", "out/dirty.zip");
    const CliRun linked = runProgram({"--json", "--no-log", "-o", "out", "mod/dirty.zip"});
    EXPECT_EQ(linked.status, cli::exitSomeFailed);
    EXPECT_NE(linked.out.find("\"filesFailed\":1"), std::string::npos) << linked.out;
    EXPECT_TRUE(fs::is_symlink("out/dirty.zip"));
    EXPECT_EQ(readBytes("mod/dirty.zip"), zip);
#endif
}

TEST_F(CliTest, TheTextureReportExitsOneForAMissingTextureAndThreeForWhatItCannotRead)
{
    fs::create_directories("game/unittextures/tatex");
    fs::create_directories("game/objects3d");
    fs::copy_file(model("a.3do"), "game/objects3d/a.3do"); // names the texture "T"
    writeBytes("game/unittextures/tatex/spare.bmp", {1, 2, 3, 4});
    const CliRun missing = runProgram({"--textures", "--json", "game"});
    EXPECT_EQ(missing.status, cli::exitSomeFailed);
    EXPECT_NE(missing.out.find("\"missing\":[{\"name\":\"T\""), std::string::npos) << missing.out;
    // The base game provides it, and its own spare files are never reported.
    fs::create_directories("base/unittextures/tatex");
    writeBytes("base/unittextures/tatex/t.tga", {1});
    writeBytes("base/unittextures/tatex/unused.tga", {1});
    const CliRun based = runProgram({"--textures", "--base", "base", "game"});
    EXPECT_EQ(based.status, cli::exitAllCleaned) << based.err;
    EXPECT_EQ(based.out, "unused: " + (fs::path("game") / "unittextures" / "tatex" / "spare.bmp").string() +
                             " (4 bytes)\n1 texture named, 0 missing; 1 file unused, 4 bytes\n");

    writeBytes("game/objects3d/broken.3do", {1, 0, 0, 0});
    const CliRun unreadable = runProgram({"--textures", "--base", "base", "game"});
    EXPECT_EQ(unreadable.status, cli::exitCannotTell);
    EXPECT_NE(unreadable.err.find("broken.3do: not a 3DO model"), std::string::npos) << unreadable.err;
    EXPECT_EQ(runProgram({"--textures", "--backup", "game"}).status, cli::exitUsage);
}
// Places a log may never take, and lists that could name one file to the patterns and another to
// the system.
TEST_F(CliTest, ALogNeverReplacesASystemLinkAndAListLineWithANulIsRefused)
{
#ifndef _WIN32
    for (const char* log : {"/dev/stdout", "/proc/self/fd/1"})
    {
        const CliRun run = runProgram({"--log", log, model("a.3do")});
        EXPECT_EQ(run.status, cli::exitUsage) << log;
        EXPECT_TRUE(fs::is_symlink(log)) << log;
    }
    fs::create_directory("dir");
    fs::create_symlink("dir", "dirlink");
    EXPECT_EQ(runProgram({"--log", "dirlink", model("a.3do")}).status, cli::exitUsage);
#endif
    writeBytes("list.txt", {'x', '\0', 'y', '\n'});
    const CliRun listed = runProgram({"--files-from", "list.txt"});
    EXPECT_EQ(listed.status, cli::exitUsage);
    EXPECT_NE(listed.err.find("NUL byte inside a line"), std::string::npos) << listed.err;
    EXPECT_EQ(readBytes(model("a.3do")), dirtyModel());
}

TEST_F(CliTest, ExplainTellsPartByPartWhatCleaningTakesForLooseModelsAndArchiveEntries)
{
    // The dirty model's part "p": its vertex 3 repeats vertex 0 but only the dead face 1 uses it.
    const std::string told = "\tPart p: 1 unused vertex dropped, 1 face dropped (1)\n";
    const CliRun text = runProgram({"-n", "--explain", model("a.3do")});
    EXPECT_EQ(text.status, cli::exitAllCleaned) << text.err;
    EXPECT_NE(text.out.find(told), std::string::npos) << text.out;
    EXPECT_EQ(runProgram({"-n", model("a.3do")}).out.find("\tPart "), std::string::npos);

    const CliRun json = runProgram({"-n", "--json", "--explain", model("a.3do")});
    EXPECT_NE(json.out.find("\"vertexesRemoved\":1,\"facesRemoved\":1,\"changed\":true,\"parts\":[{\"name\":"
                            "\"p\",\"vertexesRemoved\":1,\"facesRemoved\":1,\"vertexesMerged\":0,"
                            "\"unusedVertexesDropped\":1,\"droppedFaces\":[1],\"pointAdded\":false}]}"),
              std::string::npos)
        << json.out;

    writeBytes("release.sdz", buildZip({{"objects3d/a.3do", dirtyModel()}}, {}));
    const CliRun check = runProgram({"--check", "--explain", "release.sdz"});
    EXPECT_EQ(check.status, cli::exitSomeFailed);
    EXPECT_EQ(check.out, "release.sdz:objects3d/a.3do\n" + told);
    const CliRun pipe = runProgram({"--explain", "-"}, {}, model("b.3do"), dir.file("cleaned"));
    EXPECT_EQ(pipe.status, cli::exitAllCleaned);
    EXPECT_NE(pipe.err.find(told), std::string::npos) << pipe.err;
}

} // namespace
} // namespace scourvane::test
