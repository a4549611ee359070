// The tool's report: plain text, JSON or the --check listing on standard output, the log, problems
// and a progress line on standard error.
#include "cli/reporter.h"

#include "cli/json.h"
#include "platform/console.h"

#include <algorithm>
#include <cstdint>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace scourvane::cli
{

void put(std::FILE* stream, std::string_view text)
{
    platform::writeText(stream, text);
}

std::string oneLine(std::string_view name)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(name.size());
    for (const char c : name)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F)
        {
            shown += c;
            continue;
        }
        shown += "\\x";
        shown += hex[byte >> 4];
        shown += hex[byte & 0xF];
    }
    return shown;
}

std::string plainLineEnds(std::string_view text)
{
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        plain.push_back(text[i]);
    }
    return plain;
}

namespace
{
bool isTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

const char* outcomeName(FileOutcome outcome)
{
    switch (outcome)
    {
    case FileOutcome::cleaned:
        return "cleaned";
    case FileOutcome::readFailed:
        return "readFailed";
    case FileOutcome::writeFailed:
        return "writeFailed";
    case FileOutcome::backupFailed:
        return "backupFailed";
    case FileOutcome::pathTooLong:
        return "pathTooLong";
    case FileOutcome::notSameDrawing:
        return "notSameDrawing";
    }
    return "unknown";
}

// Why a file was not cleaned, said first in the words of someone who only has a file: bytes the
// reader refuses are "not a 3DO model", before the reader's own account of where it gave up.
std::string failureText(const FileResult& result)
{
    std::string text;
    const LoadResult load = result.loadError.result;
    if (result.outcome == FileOutcome::readFailed && !result.outOfMemory && load != LoadResult::ok &&
        load != LoadResult::openFailed && load != LoadResult::fileTooLarge)
        text = "not a 3DO model: ";
    text += describeFailure(result);
    return text;
}

// Appends `,"key":value` to `text`. The JSON is built by appending: GCC 12 warns falsely
// (-Wrestrict) on chains of string additions.
void appendField(std::string& text, std::string_view key, std::string_view value)
{
    text += ",\"";
    text += key;
    text += "\":";
    text += value;
}

// Face numbers as runs: "2, 5-9, 12".
std::string faceRuns(const std::vector<uint32_t>& faces)
{
    std::string text;
    for (size_t i = 0; i < faces.size();)
    {
        size_t last = i;
        while (last + 1 < faces.size() && faces[last + 1] == faces[last] + 1)
            ++last;
        if (!text.empty()) text += ", ";
        text += std::to_string(faces[i]);
        if (last > i)
        {
            text += '-';
            text += std::to_string(faces[last]);
        }
        i = last + 1;
    }
    return text;
}

std::string counted(uint32_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// One line a part, in the image's part order, each led by a tab as the verbose line is.
std::string explanationLines(const std::vector<PartChanges>& parts)
{
    std::string text;
    for (const PartChanges& part : parts)
    {
        std::vector<std::string> said;
        if (part.beyondLimits) said.push_back("left as it is (beyond what cleaning takes on)");
        if (part.vertexesMerged > 0)
            said.push_back(counted(part.vertexesMerged, "vertex", "vertexes") + " merged");
        if (part.vertexesUnused > 0)
            said.push_back(counted(part.vertexesUnused, "unused vertex", "unused vertexes") + " dropped");
        if (!part.droppedFaces.empty())
        {
            // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a literal plus a returned string.
            said.push_back(counted(static_cast<uint32_t>(part.droppedFaces.size()), "face", "faces"));
            said.back() += " dropped (";
            said.back() += faceRuns(part.droppedFaces);
            said.back() += ')';
        }
        if (part.pointAdded) said.push_back("a point added, as no face was left");
        if (said.empty()) said.push_back("nothing removed");
        text += "\tPart " + oneLine(part.name) + ":";
        for (size_t i = 0; i < said.size(); ++i)
            text += (i == 0 ? " " : ", ") + said[i];
        text += '\n';
    }
    return text;
}

std::string jsonParts(const std::vector<PartChanges>& parts)
{
    std::string text = "[";
    for (const PartChanges& part : parts)
    {
        if (text.size() > 1) text += ',';
        text += '{';
        text += jsonNameField("name", part.name);
        appendField(text, "vertexesRemoved", std::to_string(part.vertexesRemoved));
        appendField(text, "facesRemoved", std::to_string(part.facesRemoved));
        appendField(text, "vertexesMerged", std::to_string(part.vertexesMerged));
        appendField(text, "unusedVertexesDropped", std::to_string(part.vertexesUnused));
        std::string faces = "[";
        for (uint32_t face : part.droppedFaces)
        {
            if (faces.size() > 1) faces += ',';
            faces += std::to_string(face);
        }
        appendField(text, "droppedFaces", faces + "]");
        appendField(text, "pointAdded", part.pointAdded ? "true" : "false");
        if (part.beyondLimits) appendField(text, "leftAsItIs", "true");
        text += '}';
    }
    return text + "]";
}

std::string jsonFile(const std::string& path, std::string_view entry, const std::string& output,
                     const FileResult& result, bool explain)
{
    std::string text = "{";
    text += jsonNameField("path", path);
    if (!entry.empty())
    {
        text += ',';
        text += jsonNameField("entry", entry);
    }
    if (!output.empty())
    {
        text += ',';
        text += jsonNameField("output", output);
    }
    appendField(text, "outcome", "\"");
    text += outcomeName(result.outcome);
    text += '"';
    if (result.outcome == FileOutcome::cleaned)
    {
        int32_t bytesRemoved = static_cast<int32_t>(static_cast<uint32_t>(result.sizeBefore) -
                                                    static_cast<uint32_t>(result.sizeAfter));
        appendField(text, "sizeBefore", std::to_string(result.sizeBefore));
        appendField(text, "sizeAfter", std::to_string(result.sizeAfter));
        appendField(text, "bytesRemoved", std::to_string(bytesRemoved));
        appendField(text, "vertexesRemoved", std::to_string(result.vertexChange));
        appendField(text, "facesRemoved", std::to_string(result.faceChange));
        appendField(text, "changed", result.changed ? "true" : "false");
        if (result.backupKept) appendField(text, "backupKept", "true");
        if (explain) appendField(text, "parts", jsonParts(result.parts));
    }
    else
        appendField(text, "error", jsonString(failureText(result)));
    text += '}';
    return text;
}

std::string jsonTotals(const CleanTotals& totals, size_t changed)
{
    const size_t cleaned = static_cast<size_t>(totals.filesCleaned);
    std::string text = "{\"filesAttempted\":";
    text += std::to_string(totals.filesAttempted);
    appendField(text, "filesCleaned", std::to_string(totals.filesCleaned));
    appendField(text, "filesChanged", std::to_string(changed));
    appendField(text, "filesUnchanged", std::to_string(cleaned - changed));
    appendField(text, "filesFailed", std::to_string(totals.filesAttempted - totals.filesCleaned));
    appendField(text, "vertexesRemoved", std::to_string(totals.vertexesRemoved));
    appendField(text, "facesRemoved", std::to_string(totals.facesRemoved));
    appendField(text, "bytesRemoved", std::to_string(totals.bytesRemoved));
    text += '}';
    return text;
}

// `number` with a comma between each group of three digits: 1,234,567.
std::string groupedNumber(uint64_t number)
{
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// The line after the summary that says what happened to the files and how much of their bytes went:
// "833 written, 42 already clean, 0 failed; 1,234,567 of 5,678,901 bytes removed (21.7%)". The
// byte counts are exact (not wrapped as the log's), over the files cleaned.
std::string outcomeLine(const CleanTotals& totals, size_t changed, uint64_t bytesBefore, int64_t bytesRemoved,
                        bool dryRun)
{
    const size_t cleaned = static_cast<size_t>(totals.filesCleaned);
    std::string line = std::to_string(changed);
    line += dryRun ? " would be written, " : " written, ";
    line += std::to_string(cleaned - changed);
    line += " already clean, ";
    line += std::to_string(totals.filesAttempted - totals.filesCleaned);
    line += " failed; ";
    const uint64_t magnitude = bytesRemoved < 0 ? uint64_t{0} - static_cast<uint64_t>(bytesRemoved)
                                                : static_cast<uint64_t>(bytesRemoved);
    line += groupedNumber(magnitude);
    line += " of ";
    line += groupedNumber(bytesBefore);
    line += bytesRemoved < 0 ? (dryRun ? " bytes would be added" : " bytes added")
                             : (dryRun ? " bytes would be removed" : " bytes removed");
    if (bytesBefore != 0)
    {
        // Tenths of a percent, rounded half away from zero, in integers so every system prints the same.
        const uint64_t tenths = (magnitude * 1000 + bytesBefore / 2) / bytesBefore;
        line += " (";
        line += std::to_string(tenths / 10);
        line += '.';
        line += std::to_string(tenths % 10);
        line += "%)";
    }
    line += '\n';
    return line;
}

// The one line --check ends with on standard error: "3 of 875 models would change; 1 cannot be read".
// A model that loads but whose cleaning fails (no image, or the verifier refuses it) "cannot be
// cleaned"; the gate treats both alike.
std::string checkSummary(const CleanTotals& totals, size_t changed, size_t unreadable)
{
    const size_t failed = static_cast<size_t>(totals.filesAttempted - totals.filesCleaned);
    std::string line = std::to_string(changed);
    line += " of ";
    line += std::to_string(totals.filesAttempted);
    line += totals.filesAttempted == 1 ? " model would change" : " models would change";
    if (unreadable != 0)
    {
        line += "; ";
        line += std::to_string(unreadable);
        line += " cannot be read";
    }
    if (failed > unreadable)
    {
        line += "; ";
        line += std::to_string(failed - unreadable);
        line += " cannot be cleaned";
    }
    line += '\n';
    return line;
}

// The extra line of --verbose for a file that was cleaned.
std::string verboseLine(const Options& options, const std::string& output, const FileResult& result)
{
    if (options.dryRun) return result.changed ? "\tWould be rewritten" : "\tAlready clean";
    if (!result.written) return "\tLeft alone: it already holds the cleaned model";
    return output.empty() ? "\tRewritten" : "\tWritten to " + output;
}
} // namespace

Reporter::Reporter(const Options& options, std::FILE* out, std::FILE* err, size_t fileCount)
    : options_(options), out_(out), err_(err), fileCount_(fileCount),
      style_(options.dryRun ? ReportStyle::dryRun : ReportStyle::run),
      // A dry run writes nothing at all, the log included.
      writeLog_(options.writeLog && !options.dryRun),
      listReports_(!options.json && !options.check && !options.quiet),
      showProgress_(isTerminal(err) && fileCount > 1), sharedStream_(out == err)
{
}

Reporter::~Reporter()
{
    clearProgress();
}

void Reporter::begin()
{
    if (writeLog_)
    {
        if (log_.create(options_.logPath.c_str(), &logError_))
            log_.write(reportTitle(style_));
        else
            logFailed_ = true;
    }
    if (listReports_) put(out_, plainLineEnds(reportTitle(style_)));
}

namespace
{
const char* archiveOutcomeName(ArchiveOutcome outcome)
{
    switch (outcome)
    {
    case ArchiveOutcome::cleaned:
        return "cleaned";
    case ArchiveOutcome::readFailed:
        return "readFailed";
    case ArchiveOutcome::writeFailed:
        return "writeFailed";
    case ArchiveOutcome::backupFailed:
        return "backupFailed";
    case ArchiveOutcome::cannotRewrite:
        return "cannotRewrite";
    case ArchiveOutcome::notSameImage:
        return "notSameImage";
    }
    return "unknown";
}

std::string jsonArchive(const std::string& path, const std::string& output, const ArchiveRun& run)
{
    std::string text = "{";
    text += jsonNameField("path", path);
    if (!output.empty())
    {
        text += ',';
        text += jsonNameField("output", output);
    }
    appendField(text, "outcome", "\"");
    text += archiveOutcomeName(run.outcome);
    text += '"';
    appendField(text, "sizeBefore", std::to_string(run.sizeBefore));
    appendField(text, "sizeAfter", std::to_string(run.sizeAfter));
    appendField(text, "changed", run.changed ? "true" : "false");
    if (run.backupKept) appendField(text, "backupKept", "true");
    if (run.outcome != ArchiveOutcome::cleaned)
        appendField(text, "error", jsonString(describeArchiveFailure(run)));
    text += '}';
    return text;
}

// A model's name in the report and the log: an archive's with its entry after a colon.
std::string shownName(const std::string& path, std::string_view entry)
{
    if (entry.empty()) return path;
    std::string name = path;
    name += ':';
    name += entry;
    return name;
}
} // namespace

void Reporter::file(size_t index, const std::string& path, const std::string& output,
                    const FileResult& result)
{
    model(path, {}, output, result);
    showProgress(index + 1, path);
}

void Reporter::archive(size_t index, const std::string& path, const std::string& output,
                       const ArchiveRun& run)
{
    if (!jsonArchives_.empty()) jsonArchives_ += ',';
    jsonArchives_ += jsonArchive(path, output, run);
    for (const ArchiveModel& archived : run.models)
        model(path, archived.entry, output, archived.result);
    if (run.outcome != ArchiveOutcome::cleaned)
    {
        clearProgress();
        put(err_, "scourvane-cli: " + oneLine(path) + ": " + describeArchiveFailure(run) + "\n");
    }
    // An archive whose failure no model carries (it did not read whole, or its copy could not be
    // written) is itself one failed file.
    const bool carried = std::any_of(run.models.begin(), run.models.end(),
                                     [](const ArchiveModel& archived)
                                     { return archived.result.outcome != FileOutcome::cleaned; });
    if (run.outcome != ArchiveOutcome::cleaned && !carried)
    {
        FileResult unread;
        unread.outcome = FileOutcome::readFailed;
        ++totals_.filesAttempted;
        if (run.outcome == ArchiveOutcome::readFailed || run.outcome == ArchiveOutcome::cannotRewrite)
            ++unreadable_;
        else
            unread.outcome = FileOutcome::writeFailed;
        log_.write(formatFileReport(path.c_str(), unread, style_));
        if (listReports_) put(out_, plainLineEnds(formatFileReport(oneLine(path).c_str(), unread, style_)));
    }
    showProgress(index + 1, path);
}

void Reporter::model(const std::string& path, std::string_view entry, const std::string& output,
                     const FileResult& result)
{
    const std::string name = shownName(path, entry);
    ++totals_.filesAttempted;
    addToTotals(result, totals_);
    if (result.outcome == FileOutcome::cleaned && result.changed) ++changed_;
    if (result.outcome == FileOutcome::cleaned)
    {
        const uint32_t before = static_cast<uint32_t>(result.sizeBefore);
        bytesBefore_ += before;
        bytesRemoved_ += int64_t{before} - int64_t{static_cast<uint32_t>(result.sizeAfter)};
    }
    if (result.outcome == FileOutcome::readFailed || result.outcome == FileOutcome::pathTooLong)
        ++unreadable_;

    const std::string report = formatFileReport(name.c_str(), result, style_);
    log_.write(report);
    clearProgress();
    // With the report on standard error too (a pipe), the JSON carries the reason itself, and a
    // listing gets it after the file's own lines, never inside one.
    const bool failed = result.outcome != FileOutcome::cleaned;
    const std::string failure = failed ? "scourvane-cli: " + oneLine(name) + ": " + failureText(result) : "";
    if (failed && !sharedStream_) put(err_, failure + "\n");
    if (options_.json)
    {
        if (!jsonFiles_.empty()) jsonFiles_ += ',';
        jsonFiles_ += jsonFile(path, entry, output, result, options_.explain);
    }
    else if (options_.check)
    {
        if (result.outcome == FileOutcome::cleaned && result.changed)
        {
            put(out_, oneLine(name) + "\n");
            if (options_.explain) put(out_, explanationLines(result.parts));
        }
    }
    else if (listReports_)
    {
        // The log keeps the window's format; the report on standard output keeps one line a file.
        put(out_, plainLineEnds(formatFileReport(oneLine(name).c_str(), result, style_)));
        if (options_.verbose && result.outcome == FileOutcome::cleaned)
        {
            // Two writes: GCC 12 warns falsely (-Wrestrict) on adding a literal to a returned string.
            put(out_, "\n");
            put(out_, verboseLine(options_, output, result));
        }
        if (options_.explain && result.outcome == FileOutcome::cleaned)
        {
            std::string lines = explanationLines(result.parts);
            lines.pop_back(); // the summary brings its own line end
            put(out_, "\n");
            put(out_, lines);
        }
    }
    if (failed && sharedStream_ && !options_.json)
    {
        if (listReports_) put(err_, "\n");
        put(err_, listReports_ ? failure : failure + "\n");
    }
}

void Reporter::problem(const std::string& path, const std::string& reason)
{
    clearProgress();
    put(err_, "scourvane-cli: " + oneLine(path) + ": " + reason + "\n");
    if (!jsonProblems_.empty()) jsonProblems_ += ',';
    jsonProblems_ += '{';
    jsonProblems_ += jsonNameField("path", path);
    appendField(jsonProblems_, "error", jsonString(reason));
    jsonProblems_ += '}';
}

void Reporter::interrupted(size_t notTried, size_t total)
{
    clearProgress();
    put(err_, "scourvane-cli: interrupted; " + std::to_string(notTried) + " of " + std::to_string(total) +
                  " files were not tried\n");
}

bool Reporter::end(bool interrupted)
{
    clearProgress();
    const std::string summary = formatSummary(totals_, style_);
    if (writeLog_ && !logFailed_)
    {
        log_.write(summary);
        logFailed_ = !log_.commit(&logError_);
    }
    if (logFailed_)
    {
        std::string reason = platform::ioStepText(logError_.step);
        if (logError_.systemError != 0)
            reason += " (system error " + std::to_string(logError_.systemError) + ")";
        put(err_, "scourvane-cli: the log file " + options_.logPath + " could not be written: " + reason +
                      "; the models' results above stand\n");
    }

    if (options_.json)
    {
        std::string json = "{\"version\":";
        json += jsonString(versionText());
        appendField(json, "dryRun", options_.dryRun ? "true" : "false");
        appendField(json, "check", options_.check ? "true" : "false");
        appendField(json, "files", "[");
        json += jsonFiles_;
        json += ']';
        if (!jsonProblems_.empty())
        {
            appendField(json, "problems", "[");
            json += jsonProblems_;
            json += ']';
        }
        if (!jsonArchives_.empty())
        {
            appendField(json, "archives", "[");
            json += jsonArchives_;
            json += ']';
        }
        appendField(json, "totals", jsonTotals(totals_, changed_));
        if (interrupted) appendField(json, "interrupted", "true");
        json += "}\n";
        put(out_, json);
    }
    else if (options_.check)
    {
        if (options_.verbose)
            put(out_, std::to_string(changed_) + " out of " + std::to_string(totals_.filesAttempted) +
                          " files would change\n");
    }
    else
    {
        put(out_, plainLineEnds(summary).substr(listReports_ ? 0 : 1) + "\n"); // -q: no blank line first
        put(out_, outcomeLine(totals_, changed_, bytesBefore_, bytesRemoved_, options_.dryRun));
    }
    if (options_.check && !(sharedStream_ && options_.json))
        put(err_, checkSummary(totals_, changed_, unreadable_));
    // A report that did not reach its reader whole is a failed run, however the models fared.
    const bool streamsWritten = std::fflush(out_) == 0 && std::fflush(err_) == 0 && !streamsFailed();
    return !logFailed_ && streamsWritten;
}

// A one-line "[12/875] path" on a terminal, rewritten in place; cleared before anything else is
// printed so it never mixes with the report or error lines.
void Reporter::showProgress(size_t number, const std::string& path)
{
    if (!showProgress_) return;
    clearProgress();
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on chains of string additions.
    std::string line = "[";
    line += std::to_string(number);
    line += '/';
    line += std::to_string(fileCount_);
    line += "] ";
    line += path;
    // Keep the line short enough not to wrap on an ordinary terminal, so \r can rewrite it.
    if (line.size() > 79)
    {
        std::string tail = line.substr(line.size() - 36);
        line.resize(40);
        line += "...";
        line += tail;
    }
    put(err_, line);
    std::fflush(err_);
    progressWidth_ = line.size();
}

void Reporter::clearProgress()
{
    if (progressWidth_ == 0) return;
    std::string blank(progressWidth_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    put(err_, blank);
    std::fflush(err_);
    progressWidth_ = 0;
}

} // namespace scourvane::cli
