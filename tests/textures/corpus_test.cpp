// The report over the real game: its models as objects3d/ and its unittextures/tatex/ folder, as
// read from the corpus at run time. Skipped where the corpus is not installed.
#include "model/model_reader.h"
#include "support/test_support.h"
#include "textures/texture_report.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;

TEST(TextureCorpus, RealGameHasOneMissingTextureAndFiftyFiveUnusedImages)
{
    const std::vector<std::string> models = test::corpusFiles();
    const fs::path tatex = fs::path(test::corpusDir()).parent_path() / "taprime-tatex";
    std::error_code ec;
    if (models.empty() || !fs::is_directory(tatex, ec))
        GTEST_SKIP() << "the real-model corpus and its taprime-tatex folder are not installed "
                        "(set SCOURVANE_CORPUS_DIR); skipping";

    TextureReportInput input;
    for (const std::string& path : models)
    {
        ObjectPart root;
        LoadError error;
        ASSERT_TRUE(root.loadModelFile(path.c_str(), &error)) << path << ": " << describeLoadError(error);
        ReportModel model{{"objects3d/" + fs::path(path).filename().string(), {}}, {}};
        if (root.textureNames)
            for (uint32_t slot = 0; slot < root.textureNames->count; ++slot)
                model.textureNames.push_back(root.textureNames->keys[slot]);
        input.models.push_back(std::move(model));
    }
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(tatex, ec))
    {
        ++files;
        const std::string relative = "unittextures/tatex/" + entry.path().filename().string();
        switch (classifyTexturePath(relative))
        {
        case TexturePathKind::tatexImage:
            input.mods.images.push_back({{relative, {}}, entry.file_size()});
            break;
        case TexturePathKind::teamTextureList:
        {
            const std::vector<uint8_t> bytes = test::readBytes(entry.path().string());
            input.mods.teamTextureLists.emplace_back(bytes.begin(), bytes.end());
            break;
        }
        default:
            break;
        }
    }
    ASSERT_EQ(files, 576u);
    ASSERT_EQ(input.mods.teamTextureLists.size(), 1u);

    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(report.texturesNamed, 520u);
    ASSERT_EQ(report.missing.size(), 1u);
    EXPECT_EQ(report.missing[0].name, "glow03");
    ASSERT_EQ(report.missing[0].models.size(), 1u);
    EXPECT_EQ(report.missing[0].models[0].path, "objects3d/bombnuke.3do");
    EXPECT_EQ(report.viaTeamColour, 2u);
    EXPECT_EQ(report.filesUnused, 55u);
    EXPECT_EQ(report.unused.size(), 55u);
    EXPECT_EQ(report.entriesUnused, 0u);
    // The models' empty names name no texture, so 00.bmp serves nothing; the team-colour files serve.
    const auto isUnused = [&](const std::string& name)
    {
        return std::any_of(report.unused.begin(), report.unused.end(),
                           [&](const UnusedSource& unused)
                           { return unused.place.path == "unittextures/tatex/" + name; });
    };
    EXPECT_TRUE(isUnused("00.bmp"));
    EXPECT_FALSE(isUnused("32xlogos.tga"));
    const std::vector<std::string> lines = textureReportLines(report);
    ASSERT_EQ(lines.size(), 56u);
    EXPECT_EQ(lines[0], "missing: glow03 (used by 1 model: objects3d/bombnuke.3do)\n");
    const std::string summary = textureReportSummary(report);
    EXPECT_TRUE(summary.starts_with("520 textures named, 1 missing; 55 files unused, ")) << summary;
    std::printf("texture corpus: %s", summary.c_str());
}

} // namespace
} // namespace scourvane
