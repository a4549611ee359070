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
    const InputRead read = readAllInput(in, maxModelFileSize, original);
    if (read != InputRead::ok)
    {
        put(err, read == InputRead::tooLarge
                     ? "scourvane-cli: standard input holds more than the 2 GiB a model may have; nothing "
                       "written\n"
                     : "scourvane-cli: cannot read standard input; nothing written\n");
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
