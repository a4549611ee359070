// scourvane-cli as a script would start it, on small made models, and its JSON strings. Every kind of
// bad model is scripts/hostile_test.sh's; failing saves, backups and where the log may go are
// scripts/fault_test.sh's.
#include "batch/batch_run.h"
#include "cli/cli.h"
#include "platform/file_io.h"
#include "platform/folder.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
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
// except `unquoted` ones, which go as typed (wildcards).
CliRun runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& unquoted = {})
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
    line += " >" + q + capture.file("out") + q + " 2>" + q + capture.file("err") + q;
#ifdef _WIN32
    const int status = std::system(("\"" + line + "\"").c_str()); // cmd.exe strips the outer quotes
#else
    const int wait = std::system(line.c_str());
    const int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
#endif
    return {status, cli::plainLineEnds(readText(capture.file("out"))),
            cli::plainLineEnds(readText(capture.file("err")))};
}

// A triangle plus a copy of one vertex and a dead face using it: 180 bytes, 130 once cleaned.
std::vector<uint8_t> dirtyModel()
{
    auto part = makePart("p");
    setVertexes(*part, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    addFace(*part, makeFace(0, {0, 1, 2}, "T"));
    addFace(*part, makeFace(0, {0, 1, 3}));
    std::vector<uint8_t> image;
    EXPECT_TRUE(buildModelImage(*part, image));
    return image;
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
        {{"--recursiv", "x"}, cli::exitUsage, "", "(did you mean --recursive?)"},
        {{"-rx", "x"}, cli::exitUsage, "", "unknown option -x in -rx"},
        {{"-qv", "x"}, cli::exitUsage, "", "-q and -v cannot be used together"},
        {{"--check", "-o", "out", "x"}, cli::exitUsage, "", "--check writes nothing"},
        {{"-bo", "out", "x"}, cli::exitUsage, "", "takes no --backup"},
        {{}, cli::exitUsage, "", "no PATH given"},
        {{"x", "--log"}, cli::exitUsage, "", "--log needs a file name"},
        {{"x", "-o"}, cli::exitUsage, "", "--output needs a folder"},
        {{"-rj0", "x"}, cli::exitUsage, "", "--jobs needs a number of files to clean at once, from 1"},
        {{"--jobs", "2x", "x"}, cli::exitUsage, "", "--jobs needs a number"},
        {{"--help"}, cli::exitAllCleaned, "Usage: scourvane-cli [options] PATH...", ""},
        {{"--version"}, cli::exitAllCleaned, std::string("scourvane-cli ") + cli::versionText(), ""},
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
    EXPECT_EQ(cleaned.out, cli::plainLineEnds(log) + "\n");
}

TEST_F(CliTest, DryRunWritesNothingButPredictsTheCleanedSizes)
{
    const CliRun dry = runProgram({"--dry-run", "models"});
    EXPECT_EQ(dry.status, cli::exitAllCleaned);
    EXPECT_EQ(readBytes(model("a.3do")), dirtyModel());
    EXPECT_FALSE(fs::exists("log.txt"));
    EXPECT_TRUE(dry.out.starts_with("Report (dry run, no file changed):\nWould clean: ")) << dry.out;
    EXPECT_NE(dry.out.find("\n\tCleaned file size: 130 bytes\n"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("\n2 out of 2 files would be cleaned successfully\n\t2 vertexes removed"),
              std::string::npos);
}

TEST_F(CliTest, FailuresExitWithOneAndGiveTheEnginesReasonOnStandardErrorAndInTheJson)
{
    const std::string broken = "broken.3do";
    const std::vector<uint8_t> brokenBytes{2, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(model(broken), brokenBytes);
    fs::remove(model("b.3do"));
    const CliRun failed = runProgram({"--json", "models", "missing.3do"});

    EXPECT_EQ(failed.status, cli::exitSomeFailed);
    ObjectPart probe;
    LoadError error;
    ASSERT_FALSE(probe.loadModelBytes(brokenBytes.data(), brokenBytes.size(), &error));
    const std::string reason = describeLoadError(error);
    EXPECT_NE(failed.err.find(broken + ": " + reason), std::string::npos) << failed.err;
#ifndef _WIN32
    EXPECT_NE(failed.err.find("missing.3do: cannot open the file: No such file or directory (error 2)\n"),
              std::string::npos)
        << failed.err;
#endif
    const std::string head =
        std::string("{\"version\":") + cli::jsonString(cli::versionText()) +
        ",\"dryRun\":false,\"check\":false,\"files\":[{\"path\":" + cli::jsonString(model("a.3do")) +
        ",\"outcome\":\"cleaned\",\"sizeBefore\":180,\"sizeAfter\":130,\"bytesRemoved\":50,"
        "\"vertexesRemoved\":1,\"facesRemoved\":1,\"changed\":true},{\"path\":" +
        cli::jsonString(model(broken)) + ",\"outcome\":\"readFailed\",\"error\":" + cli::jsonString(reason) +
        "},{\"path\":\"missing.3do\",\"outcome\":\"readFailed\",\"error\":" +
        cli::jsonString("cannot open the file: " + platform::systemMessage(2) + " (error 2)") + "}";
    EXPECT_EQ(failed.out.rfind(head, 0), 0u) << failed.out;
    EXPECT_NE(failed.out.find("}],\"totals\":{\"filesAttempted\":3,\"filesCleaned\":1,\"vertexesRemoved\":1,"
                              "\"facesRemoved\":1,\"bytesRemoved\":50}}\n"),
              std::string::npos)
        << failed.out;
}

TEST_F(CliTest, CheckListsTheFilesThatWouldChangeAndASecondCleanRewritesNothing)
{
    const CliRun dirty = runProgram({"--check", "models"});
    EXPECT_EQ(dirty.status, cli::exitSomeFailed);
    EXPECT_EQ(dirty.out, model("a.3do") + "\n" + model("b.3do") + "\n");
    EXPECT_EQ(readBytes(model("a.3do")), dirtyModel());
    EXPECT_FALSE(fs::exists("log.txt"));

    const CliRun quiet = runProgram({"-q", "models"});
    EXPECT_EQ(quiet.status, cli::exitAllCleaned);
    EXPECT_TRUE(quiet.out.starts_with("2 out of 2 files cleaned successfully\n\t")) << quiet.out;

    // Clean files keep their time, and the report still counts them as cleaned.
    const auto old = fs::last_write_time(model("a.3do")) - std::chrono::hours(24);
    fs::last_write_time(model("a.3do"), old);
    const CliRun again = runProgram({"--json", "models"});
    EXPECT_EQ(again.status, cli::exitAllCleaned);
    EXPECT_EQ(fs::last_write_time(model("a.3do")), old);
    EXPECT_NE(
        again.out.find("\"bytesRemoved\":0,\"vertexesRemoved\":0,\"facesRemoved\":0,\"changed\":false}"),
        std::string::npos)
        << again.out;
    EXPECT_NE(readText("log.txt").find("2 out of 2 files cleaned successfully"), std::string::npos);

    const CliRun clean = runProgram({"--check", "-rv", "models"});
    EXPECT_EQ(clean.status, cli::exitAllCleaned);
    EXPECT_EQ(clean.out, "0 out of 2 files would change\n");
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
        {{"-o", "models", "models"}, "may not be models"},
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

TEST_F(CliTest, FoldersNamedInCyrillicAndChineseAreWalkedAndMirroredIntoAFolderNamedSo)
{
    // Through the platform's calls, which take UTF-8 as the tool does (on Windows under the manifest
    // this test carries too), not through std::filesystem, which takes the local 8-bit code page there.
#ifdef _WIN32
    const std::string separator = "\\";
#else
    const std::string separator = "/";
#endif
    const auto join = [&](const std::string& a, const std::string& b) { return a + separator + b; };
    const std::string cyrillic = "\xd0\xbc\xd0\xbe\xd0\xb4\xd0\xb5\xd0\xbb\xd0\xb8"; // "models"
    const std::string chinese = "\xe6\xa8\xa1\xe5\x9e\x8b";                          // "model"
    const std::string tank = "\xd1\x82\xd0\xb0\xd0\xbd\xd0\xba.3do";
    const std::string plane = "\xe9\xa3\x9e\xe6\x9c\xba.3DO";
    const std::string sources[] = {join(cyrillic, tank), join(join(cyrillic, chinese), plane),
                                   join(chinese, tank)};
    ASSERT_TRUE(platform::makeFolders(join(cyrillic, chinese).c_str()));
    ASSERT_TRUE(platform::makeFolders(chinese.c_str()));
    const std::vector<uint8_t> dirty = dirtyModel();
    for (const std::string& source : sources)
        ASSERT_TRUE(platform::replaceFileContents(source.c_str(), dirty.data(), dirty.size())) << source;
    const auto bytesOf = [](const std::string& path)
    {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(platform::readWholeFile(path.c_str(), bytes, 1 << 20)) << path;
        return bytes;
    };

    const std::string output = join(chinese, cyrillic); // made by the tool
    const CliRun staged = runProgram({"-r", "--no-log", "-o", output, cyrillic});
    EXPECT_EQ(staged.status, cli::exitAllCleaned) << staged.err;
    EXPECT_EQ(bytesOf(join(output, tank)).size(), 130u);
    EXPECT_EQ(bytesOf(join(join(output, chinese), plane)).size(), 130u);
    EXPECT_EQ(bytesOf(sources[0]), dirty) << "the source is left alone";

    const CliRun cleaned = runProgram({"-r", cyrillic, chinese});
    EXPECT_EQ(cleaned.status, cli::exitAllCleaned) << cleaned.err;
    for (const std::string& source : sources)
    {
        EXPECT_EQ(bytesOf(source).size(), 130u) << source;
        EXPECT_NE(cleaned.out.find("File cleaned: \"" + source + "\""), std::string::npos) << cleaned.out;
    }
    EXPECT_NE(cleaned.out.find("5 out of 5 files"), std::string::npos) << "the output's copies too";
}

#ifdef _WIN32
TEST_F(CliTest, WildcardsInArgumentsAreExpandedAsWindowsToolsDo)
{
    const CliRun run = runProgram({"-n"}, {"models\\*.3do"});
    EXPECT_EQ(run.status, cli::exitAllCleaned) << run.err;
    EXPECT_NE(run.out.find("\n2 out of 2 files would be cleaned successfully"), std::string::npos) << run.out;
}
#endif

// The corpus with an unreadable model in the middle, cleaned by one worker and by three: the same
// JSON, log, error lines and files; then the same report of the clean files.
TEST_F(CliTest, ManyWorkersPrintWriteAndCleanExactlyWhatOneWorkerDoes)
{
    const std::vector<std::string> corpus = corpusFiles();
    if (corpus.empty())
        GTEST_SKIP() << "the real-model corpus is not installed (set SCOURVANE_CORPUS_DIR); skipping";
    const fs::path home = fs::current_path();
    std::vector<CliRun> runs;
    for (const char* jobs : {"-j1", "-j3"})
    {
        const fs::path folder = home / (jobs + 1);
        fs::create_directories(folder / "models");
        for (const std::string& path : corpus)
            writeBytes((folder / "models" / fs::path(path).filename()).string(), readBytes(path));
        const std::string middle = fs::path(corpus[corpus.size() / 2]).stem().string();
        writeBytes((folder / "models" / (middle + "_broken.3do")).string(), {1, 2, 3, 4, 5});
        fs::current_path(folder);
        runs.push_back(runProgram({jobs, "--json", "models"}));
        runs.back().out += readText("log.txt");
        runs.push_back(runProgram({jobs, "-v", "--no-log", "models"}));
        fs::current_path(home);
    }
    EXPECT_EQ(runs[0].status, cli::exitSomeFailed);
    EXPECT_NE(runs[0].err.find("_broken.3do: "), std::string::npos) << runs[0].err;
    for (size_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(runs[i + 2].status, runs[i].status);
        EXPECT_EQ(runs[i + 2].out, runs[i].out);
        EXPECT_EQ(runs[i + 2].err, runs[i].err);
    }
    for (const std::string& path : corpus)
    {
        const fs::path name = fs::path("models") / fs::path(path).filename();
        EXPECT_EQ(readBytes((home / "j3" / name).string()), readBytes((home / "j1" / name).string())) << name;
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
    EXPECT_EQ(cli::jsonHex("caf\xe9"), "\"636166e9\"");
}

} // namespace
} // namespace scourvane::test
