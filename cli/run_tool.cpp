// The run of the command-line tool: preflight (the files, their outputs, the log's place), the
// per-file step over the files on the workers, the report, and the exit status.
#include "cli/cli.h"

#include "batch/file_jobs.h"
#include "cli/reporter.h"
#include "platform/interrupts.h"

#include <string>

namespace scourvane::cli
{

namespace
{
// What a run takes, once the checks before it have passed.
struct RunPlan
{
    std::vector<FoundFile> files;
    std::vector<std::string> outputs; // with -o: where each file goes; otherwise empty
};

// Lists the files and plans their outputs; nothing is touched. Returns exitUsage when the run may
// not start, or -1 when it may.
int preflight(const Options& options, RunPlan& plan, std::FILE* err)
{
    std::vector<std::string> problems;
    plan.files = collectFiles(options.paths, options.recursive, problems, options.excludes);
    if (!options.outputDir.empty())
    {
        std::string error;
        if (!planOutputs(options.paths, plan.files, options.outputDir, plan.outputs, error))
        {
            put(err, "scourvane-cli: " + error + "\n");
            return exitUsage;
        }
    }
    for (const std::string& problem : problems)
        put(err, "scourvane-cli: " + problem + "\n");
    if (plan.files.empty())
        put(err, !options.recursive && subfoldersHoldModels(options.paths)
                     ? "scourvane-cli: no 3DO files found; subfolders hold some (use -r to clean them)\n"
                     : "scourvane-cli: no 3DO files found\n");
    if (options.writeLog && !options.dryRun)
    {
        // The log must not take the place of a model, its backup or a cleaned copy.
        std::vector<std::string> written;
        for (const FoundFile& file : plan.files)
            written.push_back(file.path);
        written.insert(written.end(), plan.outputs.begin(), plan.outputs.end());
        const std::string refused = checkLogPath(options.logPath, written, options.backup);
        if (!refused.empty())
        {
            put(err, "scourvane-cli: " + refused + "\nTry 'scourvane-cli --help' for more information.\n");
            return exitUsage;
        }
    }
    return -1;
}

std::vector<FileJob> jobsOf(const Options& options, const RunPlan& plan)
{
    FileStepOptions stepOptions;
    stepOptions.dryRun = options.dryRun;
    stepOptions.keepBackup = options.backup;
    stepOptions.preserveTimes = options.preserveTimes;
    stepOptions.skipUnchanged = true;
    stepOptions.makeOutputFolder = !options.dryRun;
    stepOptions.outputRoot = options.outputDir.empty() ? nullptr : options.outputDir.c_str();
    std::vector<FileJob> jobs;
    jobs.reserve(plan.files.size());
    for (size_t i = 0; i < plan.files.size(); ++i)
    {
        jobs.push_back({plan.files[i].path, stepOptions});
        if (!plan.outputs.empty()) jobs.back().options.outputPath = plan.outputs[i].c_str();
    }
    return jobs;
}

int exitStatus(const Options& options, const RunPlan& plan, const Reporter& reporter, bool logWritten,
               int interrupted)
{
    if (interrupted != 0) return interrupted;
    const CleanTotals& totals = reporter.totals();
    const bool allCleaned = !plan.files.empty() && totals.filesCleaned == totals.filesAttempted;
    if (options.check)
    {
        // A model that cannot be read says more than one that would change: it wins.
        if (!allCleaned) return exitCannotTell;
        return reporter.changed() == 0 ? exitAllCleaned : exitSomeFailed;
    }
    return allCleaned && logWritten ? exitAllCleaned : exitSomeFailed;
}
} // namespace

int runTool(const Options& parsed, std::FILE* out, std::FILE* err)
{
    if (cleansPipe(parsed)) return runPipe(parsed, stdin, out, err);
    Options options = parsed;
    options.dryRun = options.dryRun || options.check; // a check writes nothing either
    // The listed paths join those of the command line, so that one run takes them all.
    for (const std::string& list : options.filesFrom)
    {
        std::string error;
        if (!readPathList(list, options.nulSeparated, options.paths, error))
        {
            put(err, "scourvane-cli: " + error + "\n");
            return exitUsage;
        }
    }
    RunPlan plan;
    if (const int refused = preflight(options, plan, err); refused >= 0) return refused;

    Reporter reporter(options, out, err, plan.files.size());
    reporter.begin();
    // Stopped between files only: every file started is saved whole or left as it was, and
    // reported; the results come back in the files' order, whatever the number of workers.
    const std::vector<FileJob> jobs = jobsOf(options, plan);
    runFileJobs(
        jobs, options.jobs != 0 ? options.jobs : defaultWorkerCount(),
        [] { return platform::interruptStatus() != 0; },
        [&](size_t i, const FileResult& result) {
            reporter.file(i, plan.files[i].path, plan.outputs.empty() ? std::string() : plan.outputs[i],
                          result);
        });
    const int interrupted = platform::interruptStatus();
    if (interrupted != 0)
        reporter.interrupted(plan.files.size() - static_cast<size_t>(reporter.totals().filesAttempted),
                             plan.files.size());
    const bool logWritten = reporter.end(interrupted != 0);
    return exitStatus(options, plan, reporter, logWritten, interrupted);
}

} // namespace scourvane::cli
