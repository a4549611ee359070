// The texture report's rules on small hand-made mods, and its plain and JSON forms.
#include "textures/gaf_builder.h"
#include "textures/gaf_names.h"
#include "textures/texture_report.h"

#include <gtest/gtest.h>

namespace scourvane
{
namespace
{

ReportModel model(const std::string& path, std::vector<std::string> names)
{
    return {{path, {}}, std::move(names)};
}

ImageSource image(const std::string& name, uint64_t bytes = 100)
{
    return {{"unittextures/tatex/" + name, {}}, bytes};
}

std::vector<std::string> missingNames(const TextureReport& report)
{
    std::vector<std::string> names;
    for (const MissingTexture& missing : report.missing)
        names.push_back(missing.name);
    return names;
}

std::vector<std::string> unusedShown(const TextureReport& report)
{
    std::vector<std::string> shown;
    for (const UnusedSource& unused : report.unused)
        shown.push_back(unused.place.path + (unused.isGafEntry ? ":" + unused.gafEntry : ""));
    return shown;
}

using Names = std::vector<std::string>;

TEST(TextureRules, NameIsProvidedByItsOwnFileOrItsFirstFrame)
{
    TextureReportInput input;
    input.models = {model("objects3d/a.3do", {"plain", "framed", "nowhere"})};
    input.mods.images = {image("plain.bmp"), image("framed00.tga"), image("nowhere01.png")};
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(report.texturesNamed, 3u);
    EXPECT_EQ(missingNames(report), Names{"nowhere"});
    EXPECT_EQ(report.viaTeamColour, 0u);
    // nowhere01 is a further frame of a used name: used, though nowhere itself is missing.
    EXPECT_TRUE(report.unused.empty());
}

TEST(TextureRules, FurtherFramesOfAUsedNameAreUsedAndOthersAreNot)
{
    TextureReportInput input;
    input.models = {model("objects3d/a.3do", {"x"})};
    // x00 provides x; x01 and x99 are its further frames; x0001 would be a frame of x00, which no
    // model names; x1 and xa0 are not x plus two digits.
    input.mods.images = {image("x00.bmp"),   image("x01.bmp"), image("x99.bmp"),
                         image("x0001.bmp"), image("x1.bmp"),  image("xa0.bmp")};
    const TextureReport report = buildTextureReport(input);
    EXPECT_TRUE(report.missing.empty());
    EXPECT_EQ(unusedShown(report), (Names{"unittextures/tatex/x0001.bmp", "unittextures/tatex/x1.bmp",
                                          "unittextures/tatex/xa0.bmp"}));
    EXPECT_EQ(report.filesUnused, 3u);
    EXPECT_EQ(report.bytesUnused, 300u);
}

TEST(TextureRules, NameEndingInDigitsIsNotTakenForAFrameOfAShorterFile)
{
    // glow03 is not provided by glow00 or glow: glow is no team texture.
    TextureReportInput input;
    input.models = {model("objects3d/bombnuke.3do", {"glow03"})};
    input.mods.images = {image("glow.bmp"), image("glow00.bmp")};
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(missingNames(report), Names{"glow03"});
    EXPECT_EQ(report.filesUnused, 2u);
}

// A face whose name is empty names no texture, so 00.bmp (the empty name's "first frame") serves
// nothing; the real game has both.
TEST(TextureRules, EmptyNameIsNoTexture)
{
    TextureReportInput input;
    input.models = {model("objects3d/a.3do", {std::string("\0", 1), "", std::string("\0junk", 5)})};
    input.mods.images = {image("00.bmp"), image("01.bmp")};
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(report.texturesNamed, 0u);
    EXPECT_TRUE(report.missing.empty());
    EXPECT_EQ(report.filesUnused, 2u);
}

TEST(TextureRules, TeamTextureProvidesItsNumberedNames)
{
    TextureReportInput input;
    input.models = {model("objects3d/a.3do", {"colorsmd00", "colorsmd03", "logo00", "plain05"})};
    input.mods.teamTextureLists = {"\xEF\xBB\xBF"
                                   "Arm32Dk\r\n  ColorsMd \r\n\r\nLOGO\n"};
    input.mods.images = {image("colorsmd.bmp"), image("logo.tga"), image("logo00.tga"), image("plain.bmp"),
                         image("arm32dk.bmp")};
    const TextureReport report = buildTextureReport(input);
    // plain is no team texture, so plain05 is missing and plain.bmp unused.
    EXPECT_EQ(missingNames(report), Names{"plain05"});
    // logo00 has its own file; only the two colorsmd names come through the team-colour rule alone.
    EXPECT_EQ(report.viaTeamColour, 2u);
    // logo.tga is used too (it provides logo00); arm32dk serves no used name.
    EXPECT_EQ(unusedShown(report), (Names{"unittextures/tatex/arm32dk.bmp", "unittextures/tatex/plain.bmp"}));
}

TEST(TextureRules, TeamTextureWithoutItsFileProvidesNothing)
{
    TextureReportInput input;
    input.models = {model("objects3d/a.3do", {"colorsmd00"})};
    input.mods.teamTextureLists = {"colorsmd\n"};
    EXPECT_EQ(missingNames(buildTextureReport(input)), Names{"colorsmd00"});
}

TEST(TextureRules, CaseIsIgnoredEverywhere)
{
    TextureReportInput input;
    input.models = {model("objects3d/b.3do", {"ArmSolar", "GLOW03"}),
                    model("objects3d/a.3do", {"armsolar", "Glow03"}), model("objects3d/c.3do", {"Team07"})};
    input.mods.teamTextureLists = {"TEAM\n"};
    input.mods.images = {{{"UnitTextures/TATEX/ARMSOLAR00.BMP", {}}, 5},
                         {{"unittextures/tatex/ArmSolar01.Bmp", {}}, 5},
                         image("team.JPEG")};
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(report.texturesNamed, 3u);
    ASSERT_EQ(report.missing.size(), 1u);
    EXPECT_EQ(report.missing[0].name, "GLOW03"); // the spelling that sorts first
    ASSERT_EQ(report.missing[0].models.size(), 2u);
    EXPECT_EQ(report.missing[0].models[0].path, "objects3d/a.3do");
    EXPECT_EQ(report.viaTeamColour, 1u);
    EXPECT_TRUE(report.unused.empty());
}

TEST(TextureRules, BaseSourcesProvideButAreNeverUnused)
{
    TextureReportInput input;
    input.models = {model("objects3d/a.3do", {"fromBase", "teamed01", "gafOnly"})};
    input.base.images = {image("frombase00.bmp"), image("teamed.bmp"), image("neverused.bmp")};
    input.base.teamTextureLists = {"teamed\n"};
    input.base.gafs = {{{"textures/base.gaf", {}}, {"gafonly", "notused"}}};
    input.mods.images = {image("frombase01.bmp"), image("stray.bmp", 7)};
    const TextureReport report = buildTextureReport(input);
    EXPECT_TRUE(report.missing.empty());
    EXPECT_EQ(report.viaTeamColour, 1u);
    EXPECT_EQ(unusedShown(report), Names{"unittextures/tatex/stray.bmp"});
    EXPECT_EQ(report.bytesUnused, 7u);
    EXPECT_EQ(report.entriesUnused, 0u);
}

TEST(TextureRules, GafEntriesProvideByNameAndUnusedEntriesAreListed)
{
    const std::vector<uint8_t> bytes = test::makeGaf({{"ArmSolar", 4}, {"ArmDead", 1}, {"core01", 1}});
    std::vector<GafEntryName> entries;
    ASSERT_EQ(readGafEntryNames(bytes.data(), bytes.size(), entries), GafResult::ok);
    GafSource gaf{{"textures/arm.gaf", {}}, {}};
    for (const GafEntryName& entry : entries)
        gaf.entryNames.push_back(entry.name);

    TextureReportInput input;
    // A GAF entry provides only its own name: no frames, no team colours.
    input.models = {model("objects3d/a.3do", {"armsolar", "ArmSolar00", "core"})};
    input.mods.gafs = {gaf};
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(missingNames(report), (Names{"ArmSolar00", "core"}));
    EXPECT_EQ(unusedShown(report), (Names{"textures/arm.gaf:ArmDead", "textures/arm.gaf:core01"}));
    EXPECT_EQ(report.entriesUnused, 2u);
    EXPECT_EQ(report.filesUnused, 0u);
}

TEST(TextureRules, ResultDoesNotDependOnInputOrder)
{
    TextureReportInput input;
    input.models = {model("objects3d/z.3do", {"b", "a"}), model("objects3d/y.3do", {"a", "c"}),
                    model("objects3d/y.3do", {"a"})};
    input.mods.images = {image("q.bmp"), image("p.bmp"), image("b00.bmp")};
    TextureReportInput reversed = input;
    std::reverse(reversed.models.begin(), reversed.models.end());
    std::reverse(reversed.mods.images.begin(), reversed.mods.images.end());
    const TextureReport report = buildTextureReport(input);
    EXPECT_EQ(textureReportLines(report), textureReportLines(buildTextureReport(reversed)));
    EXPECT_EQ(missingNames(report), (Names{"a", "c"}));
    ASSERT_EQ(report.missing[0].models.size(), 2u); // each model once
    EXPECT_EQ(report.missing[0].models[0].path, "objects3d/y.3do");
}

TEST(TexturePaths, ClassifiesByPlaceAndExtensionInAnyCase)
{
    EXPECT_EQ(classifyTexturePath("unittextures/tatex/arm00.bmp"), TexturePathKind::tatexImage);
    EXPECT_EQ(classifyTexturePath("UnitTextures\\TaTex\\ARM00.JPEG"), TexturePathKind::tatexImage);
    for (const char* extension : {".bmp", ".tga", ".png", ".dds", ".jpg", ".jpeg", ".pcx"})
        EXPECT_EQ(classifyTexturePath(std::string("unittextures/tatex/a") + extension),
                  TexturePathKind::tatexImage);
    EXPECT_EQ(classifyTexturePath("unittextures/tatex/PALETTE.PAL"), TexturePathKind::other);
    EXPECT_EQ(classifyTexturePath("unittextures/tatex/sub/a.bmp"), TexturePathKind::other);
    EXPECT_EQ(classifyTexturePath("unittextures/a.bmp"), TexturePathKind::other);
    EXPECT_EQ(classifyTexturePath("unittextures/tatex/TeamTex.TXT"), TexturePathKind::teamTextureList);
    EXPECT_EQ(classifyTexturePath("textures/ARM.GAF"), TexturePathKind::texturesGaf);
    EXPECT_EQ(classifyTexturePath("textures/sub/arm.gaf"), TexturePathKind::other);
    EXPECT_EQ(classifyTexturePath("anims/arm.gaf"), TexturePathKind::other);
    EXPECT_EQ(classifyTexturePath("objects3d/Deep/er/ARMCOM.3DO"), TexturePathKind::model);
    EXPECT_EQ(classifyTexturePath("a.3do"), TexturePathKind::model);
    EXPECT_EQ(classifyTexturePath(".3do"), TexturePathKind::other);
    EXPECT_EQ(classifyTexturePath(""), TexturePathKind::other);
}

std::string quoted(std::string_view text)
{
    std::string json(1, '"');
    json.append(text);
    return json += '"';
}

TextureReport formattingReport()
{
    TextureReportInput input;
    input.models = {model("objects3d/d.3do", {"many"}),
                    model("objects3d/c.3do", {"many"}),
                    model("objects3d/b.3do", {"many"}),
                    model("objects3d/a.3do", {"many", "one"}),
                    {{"mod.zip", "objects3d/e.3do"}, {"one"}}};
    input.mods.images = {image("big00.bmp", 1234567)};
    input.mods.gafs = {{{"textures/arm.gaf", {}}, {"ENTRY"}}, {{"mod.zip", "textures/core.gaf"}, {"Other"}}};
    return buildTextureReport(input);
}

TEST(TextureOutput, PlainLinesListThreeModelsAndGroupDigits)
{
    const TextureReport report = formattingReport();
    EXPECT_EQ(
        textureReportLines(report),
        (Names{"missing: many (used by 4 models: objects3d/a.3do, objects3d/b.3do, objects3d/c.3do, ...)\n",
               "missing: one (used by 2 models: mod.zip:objects3d/e.3do, objects3d/a.3do)\n",
               "unused: unittextures/tatex/big00.bmp (1,234,567 bytes)\n",
               "unused: mod.zip:textures/core.gaf:Other\n", "unused: textures/arm.gaf:ENTRY\n"}));
    EXPECT_EQ(textureReportSummary(report), "2 textures named, 2 missing; 1 file unused, 1,234,567 bytes; "
                                            "2 GAF entries unused\n");
    TextureReportInput none;
    none.models = {model("objects3d/a.3do", {"glow03"})};
    const TextureReport one = buildTextureReport(none);
    EXPECT_EQ(textureReportLines(one), Names{"missing: glow03 (used by 1 model: objects3d/a.3do)\n"});
    EXPECT_EQ(textureReportSummary(one), "1 texture named, 1 missing; 0 files unused, 0 bytes\n");
}

TEST(TextureOutput, JsonCarriesEntriesOnlyWhereThereAreAny)
{
    const std::string json = textureReportJson(formattingReport(), quoted);
    EXPECT_EQ(
        json,
        "{\"missing\":[{\"name\":\"many\",\"models\":[{\"path\":\"objects3d/a.3do\"},{\"path\":\"objects3d/"
        "b.3do\"},"
        "{\"path\":\"objects3d/c.3do\"},{\"path\":\"objects3d/"
        "d.3do\"}]},{\"name\":\"one\",\"models\":[{\"path\":"
        "\"mod.zip\",\"entry\":\"objects3d/e.3do\"},{\"path\":\"objects3d/a.3do\"}]}],\"unused\":[{\"path\":"
        "\"unittextures/tatex/big00.bmp\",\"bytes\":1234567},{\"path\":\"mod.zip\",\"entry\":\"textures/"
        "core.gaf:Other\"},{\"path\":\"textures/arm.gaf\",\"entry\":\"ENTRY\"}],\"texturesNamed\":2,"
        "\"texturesMissing\":2,\"viaTeamColour\":0,\"filesUnused\":1,\"bytesUnused\":1234567,"
        "\"entriesUnused\":2}");
}

} // namespace
} // namespace scourvane
