// The texture report's rules on small hand-made mods, and its plain and JSON forms.
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

// A mod of `models` and the given sources.
TextureReportInput mod(std::vector<ReportModel> models, std::vector<ImageSource> images,
                       std::vector<std::string> teamTextureLists = {}, std::vector<GafSource> gafs = {})
{
    return {std::move(models), {std::move(images), std::move(teamTextureLists), std::move(gafs)}, {}};
}

// The report of `input` names these missing and unused (images given by their names in tatex), has
// `named` names and `viaTeam` provided through the team-colour rule alone, and totals its lists.
void expectReport(const TextureReportInput& input, const Names& missing, Names unused, uint64_t named,
                  uint64_t viaTeam)
{
    const TextureReport report = buildTextureReport(input);
    for (std::string& shown : unused)
        if (shown.find('/') == std::string::npos) shown = "unittextures/tatex/" + shown;
    EXPECT_EQ(missingNames(report), missing);
    EXPECT_EQ(unusedShown(report), unused);
    EXPECT_EQ(report.texturesNamed, named);
    EXPECT_EQ(report.viaTeamColour, viaTeam);
    uint64_t files = 0, bytes = 0;
    for (const UnusedSource& source : report.unused)
        files += source.isGafEntry ? 0 : 1, bytes += source.bytes;
    EXPECT_EQ(report.filesUnused, files);
    EXPECT_EQ(report.bytesUnused, bytes);
    EXPECT_EQ(report.entriesUnused, report.unused.size() - files);
}

TEST(TextureRules, ANameIsProvidedByItsOwnFileItsFirstFrameOrItsTeamTextureAndFurtherFramesAreUsed)
{
    // nowhere01 is a further frame of a used name: used, though nowhere itself is missing.
    expectReport(mod({model("objects3d/a.3do", {"plain", "framed", "nowhere"})},
                     {image("plain.bmp"), image("framed00.tga"), image("nowhere01.png")}),
                 {"nowhere"}, {}, 3, 0);
    // x0001 would be a frame of x00, which no model names; x1 and xa0 are not x plus two digits.
    expectReport(
        mod({model("objects3d/a.3do", {"x"})}, {image("x00.bmp"), image("x01.bmp"), image("x99.bmp"),
                                                image("x0001.bmp"), image("x1.bmp"), image("xa0.bmp")}),
        {}, {"x0001.bmp", "x1.bmp", "xa0.bmp"}, 1, 0);
    // glow is no team texture, so neither glow nor glow00 provides glow03.
    expectReport(mod({model("objects3d/bombnuke.3do", {"glow03"})}, {image("glow.bmp"), image("glow00.bmp")}),
                 {"glow03"}, {"glow.bmp", "glow00.bmp"}, 1, 0);
    // An empty name is no texture, so 00.bmp (its "first frame") serves nothing; the real game has both.
    expectReport(mod({model("objects3d/a.3do", {std::string("\0", 1), "", std::string("\0junk", 5)})},
                     {image("00.bmp"), image("01.bmp")}),
                 {}, {"00.bmp", "01.bmp"}, 0, 0);
    // logo00 has its own file (logo.tga provides it too); plain is no team texture; arm32dk serves
    // no used name; the list is read through a byte-order mark, CR LF, blanks and any case.
    expectReport(mod({model("objects3d/a.3do", {"colorsmd00", "colorsmd03", "logo00", "plain05"})},
                     {image("colorsmd.bmp"), image("logo.tga"), image("logo00.tga"), image("plain.bmp"),
                      image("arm32dk.bmp")},
                     {"\xEF\xBB\xBF"
                      "Arm32Dk\r\n  ColorsMd \r\n\r\nLOGO\n"}),
                 {"plain05"}, {"arm32dk.bmp", "plain.bmp"}, 4, 2);
    expectReport(mod({model("objects3d/a.3do", {"colorsmd00"})}, {}, {"colorsmd\n"}), {"colorsmd00"}, {}, 1,
                 0);
    // Case is ignored everywhere; GLOW03 is the spelling that sorts first.
    expectReport(mod({model("objects3d/b.3do", {"ArmSolar", "GLOW03"}),
                      model("objects3d/a.3do", {"armsolar", "Glow03"}), model("objects3d/c.3do", {"Team07"})},
                     {{{"UnitTextures/TATEX/ARMSOLAR00.BMP", {}}, 5},
                      {{"unittextures/tatex/ArmSolar01.Bmp", {}}, 5},
                      image("team.JPEG")},
                     {"TEAM\n"}),
                 {"GLOW03"}, {}, 3, 1);
    // A GAF entry provides only its own name: no frames, no team colours.
    expectReport(mod({model("objects3d/a.3do", {"armsolar", "ArmSolar00", "core"})}, {}, {},
                     {{{"textures/arm.gaf", {}}, {"ArmSolar", "ArmDead", "core01"}}}),
                 {"ArmSolar00", "core"}, {"textures/arm.gaf:ArmDead", "textures/arm.gaf:core01"}, 3, 0);
    // The base game's sources provide, and are never unused.
    TextureReportInput based = mod({model("objects3d/a.3do", {"fromBase", "teamed01", "gafOnly"})},
                                   {image("frombase01.bmp"), image("stray.bmp", 7)});
    based.base = {{image("frombase00.bmp"), image("teamed.bmp"), image("neverused.bmp")},
                  {"teamed\n"},
                  {{{"textures/base.gaf", {}}, {"gafonly", "notused"}}}};
    expectReport(based, {}, {"stray.bmp"}, 3, 1);
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
