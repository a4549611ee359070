// The texture report's reading, end to end: the real game laid out as a game folder, and a mod
// shipped as an archive with TA's GAF textures and a base game beside it.
#include "archive/zip_builder.h"
#include "batch/texture_scan.h"
#include "support/part_helpers.h"
#include "support/test_support.h"
#include "textures/gaf_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace scourvane::test
{
namespace
{
namespace fs = std::filesystem;

// Whether `path`, in the system's spelling, ends with `tail`, written with '/'.
bool endsWith(std::string path, const std::string& tail)
{
    for (char& c : path)
        if (c == '\\') c = '/';
    return path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<uint8_t> modelNaming(const std::vector<std::string>& textures)
{
    auto part = makePart("p");
    setVertexes(*part, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    for (const std::string& texture : textures)
        addFace(*part, makeFace(0, {0, 1, 2}, texture));
    std::vector<uint8_t> image;
    buildModelImage(*part, image);
    return image;
}
} // namespace

TEST(TextureScan, TheRealGameMissesOneTextureAndCarriesFiftyFiveUnusedImages)
{
    const fs::path tatex = fs::path(corpusDir()).parent_path() / "taprime-tatex";
    std::error_code ec;
    if (corpusDir().empty() || !fs::is_directory(tatex, ec))
        GTEST_SKIP() << "the real-model corpus and its taprime-tatex folder are not installed "
                        "(set SCOURVANE_CORPUS_DIR); skipping";
    TempDir dir;
    const fs::path game = fs::path(dir.path()) / "game";
    fs::create_directories(game / "unittextures");
    fs::copy(corpusDir(), game / "objects3d", fs::copy_options::recursive);
    fs::copy(tatex, game / "unittextures" / "tatex", fs::copy_options::recursive);

    TextureReportInput input;
    std::vector<TextureScanProblem> problems;
    scanTextureRoot(game.string(), false, {}, input, problems);
    EXPECT_TRUE(problems.empty());
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(report.texturesNamed, 520u);
    ASSERT_EQ(report.missing.size(), 1u);
    EXPECT_EQ(report.missing[0].name, "glow03");
    ASSERT_EQ(report.missing[0].models.size(), 1u);
    EXPECT_TRUE(endsWith(report.missing[0].models[0].path, "objects3d/bombnuke.3do"));
    EXPECT_EQ(report.viaTeamColour, 2u);
    EXPECT_EQ(report.filesUnused, 55u);
    // The models' empty names name no texture, so 00.bmp serves nothing; the team-colour files serve.
    const auto isUnused = [&](const std::string& name)
    {
        return std::any_of(report.unused.begin(), report.unused.end(),
                           [&](const UnusedSource& unused) { return endsWith(unused.place.path, name); });
    };
    EXPECT_TRUE(isUnused("tatex/00.bmp"));
    EXPECT_FALSE(isUnused("tatex/32xlogos.tga"));
}

TEST(TextureScan, AnArchivedModWithGafTexturesAndABaseGame)
{
    TempDir dir;
    const std::string mod = dir.file("mod.ufo");
    writeBytes(mod, buildZip({{"objects3d/Tank.3DO", modelNaming({"ARM1", "basetex", "gone"})},
                              {"objects3d/broken.3do", {1, 0, 0, 0}},
                              {"textures/arm.gaf", makeGaf({{"arm1"}, {"spare"}})},
                              {"textures/bad.gaf", {1, 2, 3}}},
                             {}));
    const std::string base = dir.file("base");
    fs::create_directories(fs::path(base) / "textures");
    writeBytes(base + "/textures/base.gaf", makeGaf({{"BaseTex"}, {"unusedbase"}}));
    writeBytes(base + "/objects3d.3do", modelNaming({"never-read"}));

    TextureReportInput input;
    std::vector<TextureScanProblem> problems;
    scanTextureRoot(mod, false, {}, input, problems);
    scanTextureRoot(base, true, {}, input, problems);
    ASSERT_EQ(problems.size(), 2u) << "the broken model and the broken GAF";
    EXPECT_EQ(problems[0].place.entry, "objects3d/broken.3do");
    EXPECT_EQ(problems[1].place.entry, "textures/bad.gaf");
    ASSERT_EQ(input.models.size(), 1u) << "the base game's models are not read";

    const TextureReport report = buildTextureReport(input);
    ASSERT_EQ(report.missing.size(), 1u);
    EXPECT_EQ(report.missing[0].name, "gone");
    EXPECT_EQ(report.missing[0].models[0].entry, "objects3d/Tank.3DO");
    ASSERT_EQ(report.unused.size(), 1u) << "the base game's unused entry is never reported";
    EXPECT_EQ(report.unused[0].gafEntry, "spare");

    // An excluded path is not read at all.
    TextureReportInput without;
    problems.clear();
    scanTextureRoot(
        mod, false, [](std::string_view entry) { return entry == "objects3d/broken.3do"; }, without,
        problems);
    EXPECT_EQ(problems.size(), 1u);
}

} // namespace scourvane::test
