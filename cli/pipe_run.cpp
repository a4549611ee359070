// `scourvane-cli -`: one model from standard input, cleaned and verified, to standard output.
#include "cli/cli.h"

#include "batch/clean_core.h"
#include "batch/file_step.h"
#include "cli/reporter.h"

namespace scourvane::cli
{

namespace
{
// What the core found, in the per-file step's terms, so the pipe's report reads as a file's does;
// bytes that are no model still have their size.
FileResult resultOf(const CleanedModel& model, size_t size)
{
    FileResult result = fileResultOf(model);
    if (result.sizeBefore < 0) result.sizeBefore = static_cast<int32_t>(static_cast<uint32_t>(size));
    return result;
}

// The model from standard input. Its first part header is looked at before the rest is read, as a
// file's is: bytes that are no model are refused at once, however much more the pipe would bring.
// False, with the reason in `refused`, when the input is not read whole.
bool readModelInput(std::FILE* in, std::vector<uint8_t>& bytes, FileResult& refused)
{
    setBinaryMode(in);
    bytes.resize(modelStartSize);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    refused.outcome = FileOutcome::readFailed;
    refused.loadError.result = LoadResult::openFailed;
    refused.loadError.ioError = {platform::IoStep::read, 0};
    if (std::ferror(in) != 0) return false;
    // The input's size is not known yet: only what the header says of itself is judged.
    if (bytes.size() == modelStartSize &&
        !checkModelStart(bytes.data(), bytes.size(), maxModelFileSize, &refused.loadError))
        return false;
    const InputRead read =
        bytes.size() < modelStartSize ? InputRead::ok : readAllInput(in, maxModelFileSize, bytes);
    if (read == InputRead::tooLarge)
    {
        refused.loadError = LoadError{};
        refused.loadError.result = LoadResult::fileTooLarge;
    }
    return read == InputRead::ok;
}
} // namespace

int runPipe(const Options& parsed, std::FILE* in, std::FILE* out, std::FILE* err)
{
    // The model's bytes own standard output, so the report (JSON too) goes to standard error, and
    // there is no log: a pipe leaves no file behind.
    Options options = parsed;
    options.writeLog = false;
    options.dryRun = options.dryRun || options.check; // a check writes nothing either
    setBinaryMode(out);
    std::vector<uint8_t> original;
    FileResult refused;
    if (!readModelInput(in, original, refused))
    {
        Reporter reporter(options, err, err, 1);
        reporter.begin();
        reporter.file(0, "-", "", refused);
        reporter.end(false);
        return options.check ? exitCannotTell : exitSomeFailed;
    }

    const CleanedModel model = cleanModelBytes(original.data(), original.size(), options.explain);
    FileResult result = resultOf(model, original.size());
    // A check writes nothing, as a dry run does.
    const bool writes = !options.dryRun && !options.check && result.outcome == FileOutcome::cleaned;
    if (writes)
    {
        // Already clean: the original's bytes are the cleaned model.
        const std::vector<uint8_t>& image = result.changed ? model.image : original;
        const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size() &&
                             std::fflush(out) == 0 && std::ferror(out) == 0;
        if (!written)
        {
            result.outcome = FileOutcome::writeFailed;
            result.saveError.result = SaveResult::ioFailed;
            result.saveError.ioError = {platform::IoStep::write, 0};
        }
        result.written = written;
    }

    Reporter reporter(options, err, err, 1);
    reporter.begin();
    reporter.file(0, "-", writes ? "-" : "", result);
    // The report on standard error is the run's only account of it: one that did not get out whole
    // fails the run.
    const bool reported = reporter.end(false);
    const bool cleaned = result.outcome == FileOutcome::cleaned;
    if (options.check)
        return !cleaned || !reported ? exitCannotTell : result.changed ? exitSomeFailed : exitAllCleaned;
    return cleaned && reported ? exitAllCleaned : exitSomeFailed;
}

} // namespace scourvane::cli
