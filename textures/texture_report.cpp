// The texture report's rules (see texture_report.h) over hashed sets of case-folded names.
#include "textures/texture_report.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_set>

namespace scourvane
{
namespace
{

using NameSet = std::unordered_set<std::string>;

char foldByte(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string fold(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        c = foldByte(c);
    return folded;
}

bool equalFolded(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return foldByte(x) == foldByte(y); });
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// True when `name` is a nonempty stem followed by two digits; `stem` receives it.
bool splitTwoDigits(std::string_view name, std::string_view& stem)
{
    if (name.size() < 3 || !isDigit(name[name.size() - 1]) || !isDigit(name[name.size() - 2])) return false;
    stem = name.substr(0, name.size() - 2);
    return true;
}

std::string_view fileNameOf(std::string_view path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The file name without its last extension.
std::string_view stemOf(std::string_view fileName)
{
    const size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
}

std::string_view imageName(const ImageSource& image)
{
    return stemOf(fileNameOf(image.place.entry.empty() ? image.place.path : image.place.entry));
}

std::string_view untilNul(std::string_view bytes)
{
    return bytes.substr(0, bytes.find('\0'));
}

void addTeamTextures(const std::vector<std::string>& lists, NameSet& team)
{
    for (std::string_view list : lists)
    {
        if (list.starts_with("\xEF\xBB\xBF")) list.remove_prefix(3);
        while (!list.empty())
        {
            const size_t end = std::min(list.find('\n'), list.size());
            std::string_view line = list.substr(0, end);
            list.remove_prefix(std::min(end + 1, list.size()));
            const size_t first = line.find_first_not_of(" \t\r");
            if (first == std::string_view::npos) continue;
            line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
            team.insert(fold(line));
        }
    }
}

bool placeLess(const TextureReportPlace& a, const TextureReportPlace& b)
{
    return a.path != b.path ? a.path < b.path : a.entry < b.entry;
}

struct Named
{
    std::string spelling;
    std::vector<TextureReportPlace> models;
};

bool isImageExtension(std::string_view fileName)
{
    static constexpr std::array<std::string_view, 7> extensions = {".bmp", ".tga",  ".png", ".dds",
                                                                   ".jpg", ".jpeg", ".pcx"};
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = fileName.substr(dot);
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](std::string_view known) { return equalFolded(extension, known); });
}

std::string groupDigits(uint64_t value)
{
    std::string digits = std::to_string(value), grouped;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string shown(const TextureReportPlace& place)
{
    return place.entry.empty() ? place.path : place.path + ":" + place.entry;
}

} // namespace

TexturePathKind classifyTexturePath(std::string_view relativePath)
{
    std::vector<std::string_view> parts;
    for (std::string_view rest = relativePath; !rest.empty();)
    {
        const size_t slash = std::min(rest.find_first_of("/\\"), rest.size());
        if (slash > 0) parts.push_back(rest.substr(0, slash));
        rest.remove_prefix(std::min(slash + 1, rest.size()));
    }
    if (parts.empty()) return TexturePathKind::other;
    const std::string_view name = parts.back();
    if (parts.size() == 3 && equalFolded(parts[0], "unittextures") && equalFolded(parts[1], "tatex"))
    {
        if (equalFolded(name, "teamtex.txt")) return TexturePathKind::teamTextureList;
        if (isImageExtension(name)) return TexturePathKind::tatexImage;
    }
    if (parts.size() == 2 && equalFolded(parts[0], "textures") && name.size() > 4 &&
        equalFolded(name.substr(name.size() - 4), ".gaf"))
        return TexturePathKind::texturesGaf;
    if (name.size() > 4 && equalFolded(name.substr(name.size() - 4), ".3do")) return TexturePathKind::model;
    return TexturePathKind::other;
}

TextureReport buildTextureReport(const TextureReportInput& input)
{
    // The used names, folded, each with its models; a sorted map gives the missing list its order.
    std::map<std::string, Named> used;
    for (const ReportModel& model : input.models)
        for (const std::string& raw : model.textureNames)
        {
            const std::string_view name = untilNul(raw);
            if (name.empty()) continue;
            Named& named = used[fold(name)];
            if (named.models.empty() || std::string_view(named.spelling) > name) named.spelling = name;
            named.models.push_back(model.place);
        }

    NameSet team;
    addTeamTextures(input.mods.teamTextureLists, team);
    addTeamTextures(input.base.teamTextureLists, team);

    NameSet images, gafEntries;
    for (const TextureSources* sources : {&input.mods, &input.base})
    {
        for (const ImageSource& image : sources->images)
            images.insert(fold(imageName(image)));
        for (const GafSource& gaf : sources->gafs)
            for (const std::string& entry : gaf.entryNames)
                gafEntries.insert(fold(untilNul(entry)));
    }

    TextureReport report;
    report.texturesNamed = used.size();
    NameSet teamStemsUsed; // T of every used name T + two digits whose T is a team texture
    for (auto& [name, named] : used)
    {
        std::string_view stem;
        const bool teamName = splitTwoDigits(name, stem) && team.contains(std::string(stem));
        if (teamName) teamStemsUsed.insert(std::string(stem));
        const bool direct =
            images.contains(name) || images.contains(name + "00") || gafEntries.contains(name);
        if (direct) continue;
        if (teamName && images.contains(std::string(stem)))
        {
            ++report.viaTeamColour;
            continue;
        }
        std::sort(named.models.begin(), named.models.end(), placeLess);
        named.models.erase(std::unique(named.models.begin(), named.models.end()), named.models.end());
        report.missing.push_back({std::move(named.spelling), std::move(named.models)});
    }

    std::vector<UnusedSource> unusedImages, unusedEntries;
    for (const ImageSource& image : input.mods.images)
    {
        const std::string name = fold(imageName(image));
        std::string_view stem;
        const bool isUsed = used.contains(name) || teamStemsUsed.contains(name) ||
                            (splitTwoDigits(name, stem) && used.contains(std::string(stem)));
        if (isUsed) continue;
        unusedImages.push_back({image.place, {}, false, image.bytes});
        ++report.filesUnused;
        report.bytesUnused += image.bytes;
    }
    for (const GafSource& gaf : input.mods.gafs)
        for (const std::string& entry : gaf.entryNames)
            if (!used.contains(fold(untilNul(entry))))
            {
                unusedEntries.push_back({gaf.place, std::string(untilNul(entry)), true, 0});
                ++report.entriesUnused;
            }
    const auto byPlace = [](const UnusedSource& a, const UnusedSource& b)
    { return placeLess(a.place, b.place); };
    std::stable_sort(unusedImages.begin(), unusedImages.end(), byPlace);
    std::stable_sort(unusedEntries.begin(), unusedEntries.end(), byPlace);
    report.unused = std::move(unusedImages);
    report.unused.insert(report.unused.end(), std::make_move_iterator(unusedEntries.begin()),
                         std::make_move_iterator(unusedEntries.end()));
    return report;
}

std::vector<std::string> textureReportLines(const TextureReport& report)
{
    constexpr size_t modelsListed = 3;
    std::vector<std::string> lines;
    for (const MissingTexture& missing : report.missing)
    {
        std::string line = "missing: " + missing.name + " (used by " + groupDigits(missing.models.size()) +
                           (missing.models.size() == 1 ? " model: " : " models: ");
        for (size_t i = 0; i < missing.models.size() && i < modelsListed; ++i)
            line += (i > 0 ? ", " : "") + shown(missing.models[i]);
        if (missing.models.size() > modelsListed) line += ", ...";
        lines.push_back(line + ")\n");
    }
    for (const UnusedSource& unused : report.unused)
        lines.push_back("unused: " + shown(unused.place) +
                        (unused.isGafEntry ? ":" + unused.gafEntry + "\n"
                                           : " (" + groupDigits(unused.bytes) + " bytes)\n"));
    return lines;
}

std::string textureReportSummary(const TextureReport& report)
{
    std::string line = groupDigits(report.texturesNamed) +
                       (report.texturesNamed == 1 ? " texture" : " textures") + " named, " +
                       groupDigits(report.missing.size()) + " missing; " + groupDigits(report.filesUnused) +
                       (report.filesUnused == 1 ? " file" : " files") + " unused, " +
                       groupDigits(report.bytesUnused) + " bytes";
    if (report.entriesUnused > 0)
        line += "; " + groupDigits(report.entriesUnused) +
                (report.entriesUnused == 1 ? " GAF entry" : " GAF entries") + " unused";
    return line + "\n";
}

std::string textureReportJson(const TextureReport& report, std::string (*jsonString)(std::string_view))
{
    const auto place = [&](const TextureReportPlace& at, const std::string& gafEntry, bool isGafEntry)
    {
        std::string text = "\"path\":" + jsonString(at.path);
        std::string entry = at.entry;
        if (isGafEntry) entry += (entry.empty() ? "" : ":") + gafEntry;
        if (!at.entry.empty() || isGafEntry) text += ",\"entry\":" + jsonString(entry);
        return text;
    };
    std::string text = "{\"missing\":[";
    for (size_t i = 0; i < report.missing.size(); ++i)
    {
        const MissingTexture& missing = report.missing[i];
        text += (i > 0 ? ",{\"name\":" : "{\"name\":") + jsonString(missing.name) + ",\"models\":[";
        for (size_t m = 0; m < missing.models.size(); ++m)
            text += (m > 0 ? ",{" : "{") + place(missing.models[m], {}, false) + "}";
        text += "]}";
    }
    text += "],\"unused\":[";
    for (size_t i = 0; i < report.unused.size(); ++i)
    {
        const UnusedSource& unused = report.unused[i];
        text += (i > 0 ? ",{" : "{") + place(unused.place, unused.gafEntry, unused.isGafEntry);
        if (!unused.isGafEntry) text += ",\"bytes\":" + std::to_string(unused.bytes);
        text += "}";
    }
    text += "],\"texturesNamed\":" + std::to_string(report.texturesNamed) +
            ",\"texturesMissing\":" + std::to_string(report.missing.size()) +
            ",\"viaTeamColour\":" + std::to_string(report.viaTeamColour) +
            ",\"filesUnused\":" + std::to_string(report.filesUnused) +
            ",\"bytesUnused\":" + std::to_string(report.bytesUnused) +
            ",\"entriesUnused\":" + std::to_string(report.entriesUnused) + "}";
    return text;
}

} // namespace scourvane
