// The run of the command-line tool: the batch run's per-file step over a list of files, with the
// same log.txt, the report on standard output (or JSON), problems and progress on standard error.
#include "cli/cli.h"

#include "batch/report.h"
#include "batch/file_jobs.h"
#include "platform/console.h"
#include "platform/interrupts.h"

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace scourvane::cli
{

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

void put(std::FILE* stream, std::string_view text)
{
    platform::writeText(stream, text);
}

// A one-line "[12/875] path" on a terminal, rewritten in place; cleared before anything else is
// printed so it never mixes with the report or error lines.
class ProgressLine
{
  public:
    ProgressLine(std::FILE* stream, size_t total)
        : stream_(stream), total_(total), shown_(isTerminal(stream) && total > 1)
    {
    }
    ~ProgressLine() { clear(); }

    void show(size_t number, const std::string& path)
    {
        if (!shown_) return;
        clear();
        // Built by appending: GCC 12 warns falsely (-Wrestrict) on chains of string additions.
        std::string line = "[";
        line += std::to_string(number);
        line += '/';
        line += std::to_string(total_);
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
        put(stream_, line);
        std::fflush(stream_);
        width_ = line.size();
    }

    void clear()
    {
        if (width_ == 0) return;
        std::string blank(width_ + 2, ' ');
        blank.front() = '\r';
        blank.back() = '\r';
        put(stream_, blank);
        std::fflush(stream_);
        width_ = 0;
    }

  private:
    std::FILE* stream_;
    size_t total_;
    bool shown_;
    size_t width_ = 0;
};

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

std::string jsonFile(const std::string& path, const std::string& output, const FileResult& result)
{
    std::string text = "{\"path\":" + jsonString(path);
    // The exact bytes of a name that JSON text cannot carry.
    if (!isValidUtf8(path)) text += ",\"pathBytes\":" + jsonHex(path);
    if (!output.empty()) text += ",\"output\":" + jsonString(output);
    text += ",\"outcome\":\"";
    text += outcomeName(result.outcome);
    text += '"';
    if (result.outcome == FileOutcome::cleaned)
    {
        int32_t bytesRemoved = static_cast<int32_t>(static_cast<uint32_t>(result.sizeBefore) -
                                                    static_cast<uint32_t>(result.sizeAfter));
        text += ",\"sizeBefore\":" + std::to_string(result.sizeBefore) +
                ",\"sizeAfter\":" + std::to_string(result.sizeAfter) +
                ",\"bytesRemoved\":" + std::to_string(bytesRemoved) +
                ",\"vertexesRemoved\":" + std::to_string(result.vertexChange) +
                ",\"facesRemoved\":" + std::to_string(result.faceChange) +
                ",\"changed\":" + (result.changed ? "true" : "false");
        if (result.backupKept) text += ",\"backupKept\":true";
    }
    else
        text += ",\"error\":" + jsonString(describeFailure(result));
    return text + "}";
}

std::string jsonTotals(const CleanTotals& totals)
{
    return "{\"filesAttempted\":" + std::to_string(totals.filesAttempted) +
           ",\"filesCleaned\":" + std::to_string(totals.filesCleaned) +
           ",\"vertexesRemoved\":" + std::to_string(totals.vertexesRemoved) +
           ",\"facesRemoved\":" + std::to_string(totals.facesRemoved) +
           ",\"bytesRemoved\":" + std::to_string(totals.bytesRemoved) + "}";
}
} // namespace

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
// The length of the well-formed UTF-8 sequence that starts at bytes[i], or 0 when none does
// (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
size_t utf8SequenceLength(std::string_view bytes, size_t i)
{
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) return 1;
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
    if (length == 0 || byte < 0xC2 || byte > 0xF4 || length > bytes.size() - i) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return 0;
    const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
    if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second >= 0xA0) ||
        (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second >= 0x90))
        return 0;
    return length;
}
} // namespace

bool isValidUtf8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();)
    {
        const size_t length = utf8SequenceLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string jsonHex(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string text = "\"";
    for (char c : bytes)
    {
        text.push_back(hex[static_cast<unsigned char>(c) >> 4]);
        text.push_back(hex[static_cast<unsigned char>(c) & 0xF]);
    }
    return text + "\"";
}

std::string jsonString(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string text = "\"";
    size_t i = 0;
    while (i < bytes.size())
    {
        const size_t length = utf8SequenceLength(bytes, i);
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (length == 0)
            text += "\\ufffd"; // not a character: replaced, so it never reads as another name
        else if (length > 1)
            text.append(bytes.substr(i, length));
        else if (byte == '"')
            text += "\\\"";
        else if (byte == '\\')
            text += "\\\\";
        else if (byte == '\n')
            text += "\\n";
        else if (byte == '\r')
            text += "\\r";
        else if (byte == '\t')
            text += "\\t";
        else if (byte < 0x20 || byte == 0x7F)
        {
            text += "\\u00";
            text.push_back(hex[byte >> 4]);
            text.push_back(hex[byte & 0xF]);
        }
        else
            text.push_back(static_cast<char>(byte));
        i += length == 0 ? 1 : length;
    }
    return text + "\"";
}

namespace
{
// The extra line of --verbose for a file that was cleaned.
std::string verboseLine(const Options& options, const std::string& output, const FileResult& result)
{
    if (options.dryRun) return result.changed ? "\tWould be rewritten" : "\tAlready clean";
    if (!result.written) return "\tLeft alone: it already holds the cleaned model";
    return output.empty() ? "\tRewritten" : "\tWritten to " + output;
}
} // namespace

int runTool(const Options& parsed, std::FILE* out, std::FILE* err)
{
    Options options = parsed;
    options.dryRun = options.dryRun || options.check; // a check writes nothing either
    const ReportStyle style = options.dryRun ? ReportStyle::dryRun : ReportStyle::run;
    std::vector<std::string> problems;
    std::vector<FoundFile> files = collectFiles(options.paths, options.recursive, problems);
    std::vector<std::string> outputs;
    if (!options.outputDir.empty())
    {
        std::string error;
        if (!planOutputs(options.paths, files, options.outputDir, outputs, error))
        {
            put(err, "scourvane-cli: " + error + "\n");
            return exitUsage;
        }
    }
    for (const std::string& problem : problems)
        put(err, "scourvane-cli: " + problem + "\n");
    if (files.empty())
        put(err, !options.recursive && subfoldersHoldModels(options.paths)
                     ? "scourvane-cli: no 3DO files found; subfolders hold some (use -r to clean them)\n"
                     : "scourvane-cli: no 3DO files found\n");

    // A dry run writes nothing at all, the log included.
    const bool writeLog = options.writeLog && !options.dryRun;
    if (writeLog)
    {
        // The log must not take the place of a model, its backup or a cleaned copy.
        std::vector<std::string> written;
        for (const FoundFile& file : files)
            written.push_back(file.path);
        written.insert(written.end(), outputs.begin(), outputs.end());
        const std::string refused = checkLogPath(options.logPath, written, options.backup);
        if (!refused.empty())
        {
            put(err, "scourvane-cli: " + refused + "\nTry 'scourvane-cli --help' for more information.\n");
            return exitUsage;
        }
    }
    ReportLog log;
    platform::IoError logError;
    bool logFailed = false;
    if (writeLog)
    {
        if (log.create(options.logPath.c_str(), &logError))
            log.write(reportTitle(style));
        else
            logFailed = true;
    }
    const bool listReports = !options.json && !options.check && !options.quiet;
    if (listReports) put(out, plainLineEnds(reportTitle(style)));

    FileStepOptions stepOptions;
    stepOptions.dryRun = options.dryRun;
    stepOptions.keepBackup = options.backup;
    stepOptions.skipUnchanged = true;
    stepOptions.makeOutputFolder = !options.dryRun;
    std::vector<FileJob> jobs;
    jobs.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i)
    {
        jobs.push_back({files[i].path, stepOptions});
        if (!outputs.empty()) jobs.back().options.outputPath = outputs[i].c_str();
    }

    CleanTotals totals;
    size_t changed = 0;
    std::string jsonFiles;
    ProgressLine progress(err, files.size());
    // Stopped between files only: every file started is saved whole or left as it was, and
    // reported; the results come back in the files' order, whatever the number of workers.
    auto deliver = [&](size_t i, const FileResult& result)
    {
        const std::string& path = files[i].path;
        const std::string output = outputs.empty() ? std::string() : outputs[i];
        ++totals.filesAttempted;
        addToTotals(result, totals);
        if (result.outcome == FileOutcome::cleaned && result.changed) ++changed;

        std::string report = formatFileReport(path.c_str(), result, style);
        log.write(report);
        progress.clear();
        if (result.outcome != FileOutcome::cleaned)
            put(err, "scourvane-cli: " + path + ": " + describeFailure(result) + "\n");
        if (options.json)
        {
            if (i != 0) jsonFiles += ',';
            jsonFiles += jsonFile(path, output, result);
        }
        else if (options.check)
        {
            if (result.outcome == FileOutcome::cleaned && result.changed) put(out, path + "\n");
        }
        else if (listReports)
        {
            put(out, plainLineEnds(report));
            if (options.verbose && result.outcome == FileOutcome::cleaned)
            {
                // Two writes: GCC 12 warns falsely (-Wrestrict) on adding a literal to a returned string.
                put(out, "\n");
                put(out, verboseLine(options, output, result));
            }
        }
        progress.show(i + 1, path);
    };
    runFileJobs(
        jobs, options.jobs != 0 ? options.jobs : defaultWorkerCount(),
        [] { return platform::interruptStatus() != 0; }, deliver);
    progress.clear();
    const int interrupted = platform::interruptStatus();
    const size_t notTried = files.size() - static_cast<size_t>(totals.filesAttempted);
    if (interrupted != 0)
        put(err, "scourvane-cli: interrupted; " + std::to_string(notTried) + " of " +
                     std::to_string(files.size()) + " files were not tried\n");

    std::string summary = formatSummary(totals, style);
    if (writeLog && !logFailed)
    {
        log.write(summary);
        logFailed = !log.commit(&logError);
    }
    if (logFailed)
    {
        std::string reason = platform::ioStepText(logError.step);
        if (logError.systemError != 0)
            reason += " (system error " + std::to_string(logError.systemError) + ")";
        put(err, "scourvane-cli: the log file " + options.logPath + " could not be written: " + reason +
                     "; the models' results above stand\n");
    }

    if (options.json)
        put(out, std::string("{\"version\":") + jsonString(versionText()) +
                     ",\"dryRun\":" + (options.dryRun ? "true" : "false") +
                     ",\"check\":" + (options.check ? "true" : "false") + ",\"files\":[" + jsonFiles +
                     "],\"totals\":" + jsonTotals(totals) +
                     (interrupted != 0 ? ",\"interrupted\":true" : "") + "}\n");
    else if (options.check)
    {
        if (options.verbose)
            put(out, std::to_string(changed) + " out of " + std::to_string(totals.filesAttempted) +
                         " files would change\n");
    }
    else
        put(out, plainLineEnds(summary).substr(listReports ? 0 : 1) + "\n"); // -q: no blank line first
    std::fflush(out);
    if (interrupted != 0) return interrupted;
    const bool allCleaned = !files.empty() && totals.filesCleaned == totals.filesAttempted;
    if (options.check) return allCleaned && changed == 0 ? exitAllCleaned : exitSomeFailed;
    return allCleaned && !logFailed ? exitAllCleaned : exitSomeFailed;
}

} // namespace scourvane::cli
