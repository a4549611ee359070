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
using cli::Options;

bool parse(std::vector<const char*> arguments, Options& options, std::string& error)
{
    arguments.insert(arguments.begin(), "scourvane-cli");
    return cli::parseOptions(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

// --- Options -------------------------------------------------------------------------------------

TEST(CliOptions, DefaultsCleanInPlaceAndLogToLogTxt)
{
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"a.3do", "models"}, options, error));
    EXPECT_EQ(options.paths, (std::vector<std::string>{"a.3do", "models"}));
    EXPECT_TRUE(options.writeLog);
    EXPECT_EQ(options.logPath, "log.txt");
    EXPECT_FALSE(options.dryRun || options.backup || options.json || options.recursive);
}

TEST(CliOptions, EveryOptionIsRecognised)
{
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"-r", "--dry-run", "--backup", "--json", "--log", "out.txt", "x"}, options, error));
    EXPECT_TRUE(options.recursive && options.dryRun && options.backup && options.json);
    EXPECT_EQ(options.logPath, "out.txt");
    Options other;
    ASSERT_TRUE(parse({"--no-log", "--log=r.txt", "x"}, other, error));
    EXPECT_EQ(other.logPath, "r.txt");
    Options none;
    ASSERT_TRUE(parse({"--log=r.txt", "--no-log", "x"}, none, error));
    EXPECT_FALSE(none.writeLog);
}

TEST(CliOptions, UnknownOptionIsAUsageError)
{
    Options options;
    std::string error;
    EXPECT_FALSE(parse({"--frobnicate", "x"}, options, error));
    EXPECT_NE(error.find("--frobnicate"), std::string::npos);
}

TEST(CliOptions, MissingPathOrLogNameIsAUsageError)
{
    Options options;
    std::string error;
    EXPECT_FALSE(parse({"-r"}, options, error));
    Options other;
    EXPECT_FALSE(parse({"x", "--log"}, other, error));
}

TEST(CliOptions, HelpAndVersionNeedNoPath)
{
    Options options;
    std::string error;
    EXPECT_TRUE(parse({"--help"}, options, error));
    EXPECT_TRUE(options.help);
    Options other;
    EXPECT_TRUE(parse({"-V"}, other, error));
    EXPECT_TRUE(other.version);
}

TEST(CliOptions, DoubleDashEndsOptions)
{
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"--", "-odd.3do"}, options, error));
    EXPECT_EQ(options.paths, std::vector<std::string>{"-odd.3do"});
}

// --- Listing -------------------------------------------------------------------------------------

TEST(CliListing, ModelExtensionInAnyCase)
{
    EXPECT_TRUE(cli::hasModelExtension("a.3do"));
    EXPECT_TRUE(cli::hasModelExtension("A.3DO"));
    EXPECT_TRUE(cli::hasModelExtension(".3dO"));
    EXPECT_FALSE(cli::hasModelExtension("3do"));
    EXPECT_FALSE(cli::hasModelExtension("a.3ds"));
    EXPECT_FALSE(cli::hasModelExtension("a.3do.bak"));
}

class CliListingTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (const char* name : {"b.3do", "A.3DO", "notes.txt", "sub/d.3do", "sub/deeper/e.3Do"})
        {
            fs::create_directories(fs::path(dir.file(name)).parent_path());
            writeBytes(dir.file(name), {0});
        }
        fs::create_directory(dir.file("folder.3do"));
    }
    std::string in(const std::string& relative) const
    {
        return (fs::path(dir.path()) / relative).make_preferred().string();
    }

    TempDir dir;
    std::vector<std::string> problems;
};

TEST_F(CliListingTest, DirectoryGivesItsModelFilesSorted)
{
    EXPECT_EQ(cli::collectFiles({dir.path()}, false, problems),
              (std::vector<std::string>{in("A.3DO"), in("b.3do")}));
    EXPECT_TRUE(problems.empty());
}

TEST_F(CliListingTest, RecursiveWalkTakesSubdirectoriesButNoDirectoryNamedLikeAModel)
{
    std::vector<std::string> files = cli::collectFiles({dir.path()}, true, problems);
    std::vector<std::string> expected{in("A.3DO"), in("b.3do"), in("sub/d.3do"), in("sub/deeper/e.3Do")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
}

TEST_F(CliListingTest, FilesAndMissingPathsPassAsGiven)
{
    const std::string missing = dir.file("missing.3do");
    const std::string text = dir.file("notes.txt");
    EXPECT_EQ(cli::collectFiles({missing, text}, false, problems), (std::vector<std::string>{missing, text}));
}

// --- JSON and line ends --------------------------------------------------------------------------

TEST(CliJson, EscapesQuotesBackslashesAndControlCharacters)
{
    EXPECT_EQ(cli::jsonString("C:\\a \"b\"\r\n\t\x01\x7f"), "\"C:\\\\a \\\"b\\\"\\r\\n\\t\\u0001\\u007f\"");
}

TEST(CliJson, ValidUtf8PassesAndOtherBytesBecomeLatin1Escapes)
{
    EXPECT_EQ(cli::jsonString("caf\xc3\xa9 \xe2\x82\xac"), "\"caf\xc3\xa9 \xe2\x82\xac\"");
    EXPECT_EQ(cli::jsonString("caf\xe9"), "\"caf\\u00e9\"");
    EXPECT_EQ(cli::jsonString("\xc0\x80"), "\"\\u00c0\\u0080\"") << "overlong form";
    EXPECT_EQ(cli::jsonString("\xe2\x82"), "\"\\u00e2\\u0082\"") << "cut short";
    EXPECT_EQ(cli::jsonString("\xed\xa0\x80"), "\"\\u00ed\\u00a0\\u0080\"") << "surrogate";
}

TEST(CliText, CrLfBecomesLfAndLoneCrStays)
{
    EXPECT_EQ(cli::plainLineEnds("a\r\nb\rc\n\r\n"), "a\nb\rc\n\n");
}

} // namespace
} // namespace scourvane::test
