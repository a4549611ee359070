// The command line, the file listing and the JSON text of scourvane-cli.
#include "cli/cli.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace scourvane::test
{
namespace
{

namespace fs = std::filesystem;

// The options that `arguments` give, in words, or "usage error".
std::string parsed(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "scourvane-cli");
    cli::Options o;
    std::string error;
    if (!cli::parseOptions(static_cast<int>(arguments.size()), arguments.data(), o, error))
        return "usage error";
    std::string text = o.writeLog ? "log=" + o.logPath : "no-log";
    for (const auto& [set, word] : {std::pair{o.recursive, " -r"},
                                    {o.dryRun, " dry-run"},
                                    {o.backup, " backup"},
                                    {o.json, " json"},
                                    {o.help, " help"},
                                    {o.version, " version"}})
        if (set) text += word;
    for (const std::string& path : o.paths)
        text += " [" + path + "]";
    return text;
}

TEST(CliOptions, EachCommandLineGivesItsOptionsOrAUsageError)
{
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"a.3do", "models"}, "log=log.txt [a.3do] [models]"},
        {{"-r", "--dry-run", "--backup", "--json", "--log", "out.txt", "x"},
         "log=out.txt -r dry-run backup json [x]"},
        {{"--no-log", "--log=r.txt", "x"}, "log=r.txt [x]"}, // the last of the two wins
        {{"--log=r.txt", "--no-log", "x"}, "no-log [x]"},
        {{"--", "-odd.3do"}, "log=log.txt [-odd.3do]"},
        {{"--help"}, "log=log.txt help"}, // help and version need no path
        {{"-V"}, "log=log.txt version"},
        {{"-r"}, "usage error"},
        {{"x", "--log"}, "usage error"},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(parsed(arguments), expected) << arguments.front();
}

TEST(CliListing, DirectoriesGiveTheirModelFilesSortedAndOtherPathsPassAsGiven)
{
    TempDir dir;
    for (const char* name :
         {"b.3do", "A.3DO", "notes.txt", "c.3do.bak", "3do", "sub/d.3do", "sub/deeper/e.3Do"})
    {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        writeBytes(dir.file(name), {0});
    }
    fs::create_directory(dir.file("folder.3do"));
    const auto in = [&](const char* relative)
    { return (fs::path(dir.path()) / relative).make_preferred().string(); };

    std::vector<std::string> problems;
    EXPECT_EQ(cli::collectFiles({dir.path()}, false, problems),
              (std::vector<std::string>{in("A.3DO"), in("b.3do")}));
    std::vector<std::string> deep{in("A.3DO"), in("b.3do"), in("sub/d.3do"), in("sub/deeper/e.3Do")};
    std::sort(deep.begin(), deep.end());
    EXPECT_EQ(cli::collectFiles({dir.path()}, true, problems), deep) << "no directory named like a model";
    const std::vector<std::string> given{dir.file("missing.3do"), dir.file("notes.txt")};
    EXPECT_EQ(cli::collectFiles(given, false, problems), given);
    EXPECT_TRUE(problems.empty());
}

TEST(CliJson, EscapesControlsQuotesAndBackslashesAndKeepsOnlyValidUtf8)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\a \"b\"\r\n\t\x01\x7f", "\"C:\\\\a \\\"b\\\"\\r\\n\\t\\u0001\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
        {"caf\xe9", "\"caf\\u00e9\""},                 // Latin-1
        {"\xc0\x80", "\"\\u00c0\\u0080\""},            // overlong form
        {"\xe2\x82", "\"\\u00e2\\u0082\""},            // cut short
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""}, // surrogate
    };
    for (const auto& [bytes, json] : cases)
        EXPECT_EQ(cli::jsonString(bytes), json);
}

TEST(CliText, CrLfBecomesLfAndLoneCrStays)
{
    EXPECT_EQ(cli::plainLineEnds("a\r\nb\rc\n\r\n"), "a\nb\rc\n\n");
}

} // namespace
} // namespace scourvane::test
