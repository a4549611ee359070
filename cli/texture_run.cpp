// The texture report of the command-line tool: each root and base read, the rules applied, the
// report printed as text or JSON. Nothing is written.
#include "cli/cli.h"

#include "batch/texture_scan.h"
#include "cli/json.h"
#include "cli/reporter.h"

namespace scourvane::cli
{

namespace
{
std::string placeName(const TextureReportPlace& place)
{
    if (place.entry.empty()) return place.path;
    std::string name = place.path;
    name += ':';
    name += place.entry;
    return name;
}

std::string jsonProblems(const std::vector<TextureScanProblem>& problems)
{
    std::string text = "[";
    for (const TextureScanProblem& problem : problems)
    {
        if (text.size() > 1) text += ',';
        text += '{';
        text += jsonNameField("path", problem.place.path);
        if (!problem.place.entry.empty())
        {
            text += ',';
            text += jsonNameField("entry", problem.place.entry);
        }
        text += ",\"error\":";
        text += jsonString(problem.reason);
        text += '}';
    }
    text += ']';
    return text;
}

std::string jsonText(std::string_view bytes)
{
    return jsonString(bytes);
}
} // namespace

int runTextureReport(const Options& options, std::FILE* out, std::FILE* err)
{
    const std::function<bool(std::string_view)> excluded = excludedEntries(options.excludes);
    TextureReportInput input;
    std::vector<TextureScanProblem> problems;
    for (const std::string& root : options.paths)
        scanTextureRoot(root, false, excluded, input, problems);
    for (const std::string& base : options.bases)
        scanTextureRoot(base, true, excluded, input, problems);
    for (const TextureScanProblem& problem : problems)
        put(err, "scourvane-cli: " + placeName(problem.place) + ": " + problem.reason + "\n");
    const TextureReport report = buildTextureReport(input);

    if (options.json)
    {
        std::string json = "{\"version\":";
        json += jsonString(versionText());
        json += ",\"textures\":";
        json += textureReportJson(report, jsonText);
        json += ",\"problems\":";
        json += jsonProblems(problems);
        json += "}\n";
        put(out, json);
    }
    else
    {
        if (!options.quiet)
            for (const std::string& line : textureReportLines(report))
                put(out, line);
        put(out, textureReportSummary(report));
    }
    std::fflush(out);
    if (!problems.empty()) return exitCannotTell;
    return report.missing.empty() ? exitAllCleaned : exitSomeFailed;
}

} // namespace scourvane::cli
