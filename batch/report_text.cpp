// The texts of log.txt and the log file itself.
#include "batch/report.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>

namespace scourvane
{

namespace
{
[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0)
    {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

// The printed number of a change: its magnitude, computed in 32 bits (so -2^31 stays -2^31, as the
// plain negation of a 32-bit figure would print it).
int magnitude(int32_t change)
{
    uint32_t bits = static_cast<uint32_t>(change);
    return static_cast<int32_t>(change < 0 ? 0u - bits : bits);
}

const char* noun(int32_t change, const char* singular, const char* plural)
{
    return change == 1 || change == -1 ? singular : plural;
}

const char* direction(int32_t change)
{
    return change < 0 ? "added" : "removed";
}

// The path as it goes into a text of which `otherLength` bytes are not the path: whole when it
// fits in a text buffer, otherwise its tail after "...".
std::string fittingPath(const char* path, size_t otherLength)
{
    const size_t room = textBufferSize - 1 - otherLength;
    size_t length = std::strlen(path);
    if (length <= room) return std::string(path, length);
    static constexpr char ellipsis[] = "...";
    const size_t kept = room - (sizeof ellipsis - 1);
    return std::string(ellipsis) + std::string(path + (length - kept), kept);
}

std::string errorReport(const char* path, const char* start)
{
    // start + quoted path + closing quote
    size_t other = std::strlen(start) + 1;
    return formatted("%s%s\"", start, fittingPath(path, other).c_str());
}

std::string cleanedReport(const char* path, const FileResult& result, ReportStyle style)
{
    const char* start = style == ReportStyle::run ? "\r\nFile cleaned: \"" : "\r\nWould clean: \"";
    std::string rest = formatted(
        "\"\r\n\tOriginal file size: %d bytes\r\n\t%d %s %s\r\n\t%d %s %s\r\n\tCleaned "
        "file size: %d bytes",
        result.sizeBefore, magnitude(result.vertexChange), noun(result.vertexChange, "vertex", "vertexes"),
        direction(result.vertexChange), magnitude(result.faceChange),
        noun(result.faceChange, "face", "faces"), direction(result.faceChange), result.sizeAfter);
    if (result.backupKept) rest += "\r\n\tThe backup from an earlier run was kept as it was";
    return start + fittingPath(path, std::strlen(start) + rest.size()) + rest;
}
} // namespace

size_t maxReportPathLength()
{
    static const size_t length = []
    {
        // The longest texts a path can stand in: every figure at its widest.
        FileResult widest;
        widest.outcome = FileOutcome::cleaned;
        widest.sizeBefore = widest.sizeAfter = INT32_MIN;
        widest.vertexChange = widest.faceChange = INT32_MAX - 1; // plural, "removed", 10 digits
        widest.backupKept = true;
        size_t longest = 0;
        for (ReportStyle style : {ReportStyle::run, ReportStyle::dryRun})
        {
            longest = std::max(longest, cleanedReport("", widest, style).size());
            widest.vertexChange = widest.faceChange = INT32_MIN;
            longest = std::max(longest, cleanedReport("", widest, style).size());
        }
        return textBufferSize - 1 - longest;
    }();
    return length;
}

std::string_view reportTitle(ReportStyle style)
{
    return style == ReportStyle::run ? std::string_view("Report:")
                                     : std::string_view("Report (dry run, no file changed):");
}

std::string formatFileReport(const char* path, const FileResult& result, ReportStyle style)
{
    switch (result.outcome)
    {
    case FileOutcome::cleaned:
        return cleanedReport(path, result, style);
    case FileOutcome::readFailed:
    case FileOutcome::pathTooLong:
        return errorReport(path, "\r\nError reading file: \"");
    case FileOutcome::writeFailed:
    case FileOutcome::backupFailed:
    case FileOutcome::notSameDrawing:
        return errorReport(path, "\r\nError writing file: \"");
    }
    return std::string();
}

std::string formatSummary(const CleanTotals& totals, ReportStyle style)
{
    const char* format =
        style == ReportStyle::run
            ? "\r\n%d out of %d files cleaned successfully\r\n\t%d %s %s\r\n\t%d %s %s\r\n\t%d %s %s"
            : "\r\n%d out of %d files would be cleaned successfully\r\n\t%d %s %s\r\n\t%d %s "
              "%s\r\n\t%d %s %s";
    return formatted(format, totals.filesCleaned, totals.filesAttempted, magnitude(totals.vertexesRemoved),
                     noun(totals.vertexesRemoved, "vertex", "vertexes"), direction(totals.vertexesRemoved),
                     magnitude(totals.facesRemoved), noun(totals.facesRemoved, "face", "faces"),
                     direction(totals.facesRemoved), magnitude(totals.bytesRemoved),
                     noun(totals.bytesRemoved, "byte", "bytes"), direction(totals.bytesRemoved));
}

bool ReportLog::create(const char* path, platform::IoError* error)
{
    failure_ = platform::IoError{};
    if (platform::identifyName(path) == platform::NameKind::other)
    {
        failure_ = platform::IoError{platform::IoStep::open, 0};
        if (error) *error = failure_;
        return false;
    }
    // The report is small; no size to reserve.
    if (!file_.begin(path, 0, &failure_, true))
    {
        if (error) *error = failure_;
        return false;
    }
    return true;
}

void ReportLog::write(std::string_view piece)
{
    if (!file_.isOpen() || piece.empty()) return;
    file_.write(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), &failure_);
}

bool ReportLog::commit(platform::IoError* error)
{
    if (file_.isOpen())
        file_.commit(nullptr, &failure_);
    else if (failure_.step == platform::IoStep::none)
        failure_ = platform::IoError{platform::IoStep::create, 0};
    if (error) *error = failure_;
    return failure_.step == platform::IoStep::none;
}

namespace
{
// Adds in 32 bits with wrap-around, as the run's figures are defined to.
int32_t wrappingAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
} // namespace

void addToTotals(const FileResult& result, CleanTotals& totals)
{
    if (result.outcome != FileOutcome::cleaned) return;
    int32_t byteChange = static_cast<int32_t>(static_cast<uint32_t>(result.sizeBefore) -
                                              static_cast<uint32_t>(result.sizeAfter));
    totals.bytesRemoved = wrappingAdd(totals.bytesRemoved, byteChange);
    totals.vertexesRemoved = wrappingAdd(totals.vertexesRemoved, result.vertexChange);
    totals.facesRemoved = wrappingAdd(totals.facesRemoved, result.faceChange);
    totals.filesCleaned = wrappingAdd(totals.filesCleaned, 1);
}

std::string cleanOneFile(const char* path, int32_t& bytesRemoved, int32_t& vertexesRemoved,
                         int32_t& facesRemoved, int32_t& filesCleaned)
{
    FileResult result = cleanFile(path);
    CleanTotals totals{bytesRemoved, vertexesRemoved, facesRemoved, 0, filesCleaned};
    addToTotals(result, totals);
    bytesRemoved = totals.bytesRemoved;
    vertexesRemoved = totals.vertexesRemoved;
    facesRemoved = totals.facesRemoved;
    filesCleaned = totals.filesCleaned;
    return formatFileReport(path, result);
}

} // namespace scourvane
