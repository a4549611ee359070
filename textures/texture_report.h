// The texture report of a mod: which texture names its models use that nothing provides, and which
// of its texture sources no model uses. Pure functions over names and bytes the caller has read;
// nothing here touches the file system.
//
// Names compare without regard to case, folding ASCII letters only: TA's texture names and file
// names are ASCII, and the games that read them fold no further.
//
// The rules. Image files lie directly in unittextures/tatex/; a file's name is its file name without
// the extension.
//  - A texture N is provided by an image named N or N + "00" (its first frame), by a GAF entry named
//    N, or, when N is T + two digits and T is listed in a teamtex.txt, by an image named T (the game
//    makes the team colours from it).
//  - An image is used when it provides a name a model uses, or when it is named X + two digits and X
//    is a name a model uses (further frames, team colours). A GAF entry is used when a model names it.
//  - The base game's sources provide, but are never reported unused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane
{

// What a file is to the report, from its path relative to a mod's root ('/' or '\' separated).
enum class TexturePathKind : uint8_t
{
    tatexImage,      // directly in unittextures/tatex/, with an image extension (.bmp .tga .png .dds
                     // .jpg .jpeg .pcx); folders and extensions in any case
    teamTextureList, // unittextures/tatex/teamtex.txt, any case
    texturesGaf,     // directly in textures/, ending in .gaf, any case
    model,           // *.3do at any depth, any case
    other,
};

TexturePathKind classifyTexturePath(std::string_view relativePath);

// A model or source as the tool shows it: `path` as in the rest of its output, and `entry` the
// member inside an archive (empty for a loose file).
struct TextureReportPlace
{
    std::string path;
    std::string entry;

    friend bool operator==(const TextureReportPlace&, const TextureReportPlace&) = default;
};

struct ReportModel
{
    TextureReportPlace place;
    std::vector<std::string> textureNames; // each name's bytes (anything from a NUL on is ignored)
};

// An image the rules see by the file name of `place.entry`, or of `place.path` when there is no entry.
struct ImageSource
{
    TextureReportPlace place;
    uint64_t bytes = 0;
};

struct GafSource
{
    TextureReportPlace place;
    std::vector<std::string> entryNames; // as readGafEntryNames gives them
};

struct TextureSources
{
    std::vector<ImageSource> images;
    std::vector<std::string> teamTextureLists; // each teamtex.txt's contents: one name a line
    std::vector<GafSource> gafs;
};

struct TextureReportInput
{
    std::vector<ReportModel> models;
    TextureSources mods; // the sources of every root being reported
    TextureSources base; // the base game's: they provide, and are never reported unused
};

struct MissingTexture
{
    std::string name;                       // the spelling that sorts first among the models'
    std::vector<TextureReportPlace> models; // every model naming it, sorted by path, then entry
};

struct UnusedSource
{
    TextureReportPlace place;
    std::string gafEntry; // the entry's name, for a GAF entry
    bool isGafEntry = false;
    uint64_t bytes = 0; // an image's size (0 for a GAF entry)
};

struct TextureReport
{
    std::vector<MissingTexture> missing; // sorted by name, case folded
    std::vector<UnusedSource> unused;    // images first, then GAF entries; each sorted by place
    uint64_t texturesNamed = 0;          // distinct names, case folded
    uint64_t viaTeamColour = 0;          // names provided through the team-colour rule alone
    uint64_t filesUnused = 0;            // unused images
    uint64_t bytesUnused = 0;            // their bytes
    uint64_t entriesUnused = 0;          // unused GAF entries
};

// Applies the rules above to everything the caller has read. Deterministic: the result does not
// depend on the order of the models or sources.
TextureReport buildTextureReport(const TextureReportInput& input);

// The plain report's lines, each ending in '\n': one per missing texture
//   missing: glow03 (used by 1 model: objects3d/bombnuke.3do)
// naming at most three models, then ", ..." when more use it; then one per unused source
//   unused: unittextures/tatex/x00.bmp (12,345 bytes)
//   unused: textures/arm.gaf:ENTRY
// A place inside an archive is shown as path:entry.
std::vector<std::string> textureReportLines(const TextureReport& report);

// The summary line, ending in '\n':
//   520 textures named, 1 missing; 55 files unused, 1,234,567 bytes
// followed by "; N GAF entries unused" only when a GAF entry is unused.
std::string textureReportSummary(const TextureReport& report);

// The value of the JSON report's "textures" member, an object:
//   {"missing":[{"name":..,"models":[{"path":..,"entry":..}]}],
//    "unused":[{"path":..,"entry":..,"bytes":..}],
//    "texturesNamed":..,"texturesMissing":..,"viaTeamColour":..,"filesUnused":..,"bytesUnused":..,
//    "entriesUnused":..}
// "entry" appears only when there is one: the archive member, the GAF entry, or both as member:ENTRY
// for a GAF inside an archive; "bytes" only for images. Every string goes through `jsonString`,
// which returns its argument as a JSON string with its quotes.
std::string textureReportJson(const TextureReport& report, std::string (*jsonString)(std::string_view));

} // namespace scourvane
