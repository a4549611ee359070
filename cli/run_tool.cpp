// The run of the command-line tool: preflight (the files, their outputs, the log's place), the
// per-file step over the files on the workers, the report, and the exit status.
#include "cli/cli.h"

#include "batch/archive_step.h"
#include "batch/file_jobs.h"
#include "cli/reporter.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"

#include <set>
#include <string>

namespace scourvane::cli
{

namespace
{
// What a run takes, once the checks before it have passed.
struct RunPlan
{
    std::vector<FoundFile> files;
    std::vector<std::string> outputs;  // with -o: where each file goes; otherwise empty
    std::vector<std::string> problems; // what the walk could not read: the run cannot vouch for it
};

// A file named twice, by any path (a link, "..", a folder and a subfolder of it both named), is taken
// once, at its first place: two workers must never clean one file at once, nor the totals count it
// twice. Files that cannot be identified (missing ones) stay, to be reported.
void takeEachFileOnce(std::vector<FoundFile>& files)
{
    std::set<std::pair<uint64_t, uint64_t>> seen;
    std::vector<FoundFile> once;
    once.reserve(files.size());
    for (FoundFile& file : files)
    {
        const platform::FileIdentity identity = platform::identifyFile(file.path.c_str());
        if (identity.known)
        {
            if (!seen.insert({identity.device, identity.index}).second) continue;
        }
        once.push_back(std::move(file));
    }
    files = std::move(once);
}

// Lists the files and plans their outputs; nothing is touched. Returns exitUsage when the run may
// not start, or -1 when it may.
int preflight(const Options& options, RunPlan& plan, std::FILE* err)
{
    plan.files =
        collectFiles(options.paths, options.recursive, plan.problems, options.excludes, options.archives);
    takeEachFileOnce(plan.files);
    if (!options.outputDir.empty())
    {
        std::string error;
        if (!planOutputs(options.paths, plan.files, options.outputDir, plan.outputs, error))
        {
            put(err, "scourvane-cli: " + error + "\n");
            return exitUsage;
        }
    }
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
    stepOptions.explain = options.explain;
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

// Cleans the plan's files in order, and reports each as it is done; returns how many were done. Loose models
// go to the workers a run of them at a time; an archive has the workers for its own models. Stopped between
// files only: every file started is saved whole or left as it was, and reported; the results come back in the
// files' order, whatever the number of workers.
size_t cleanAll(const Options& options, const RunPlan& plan, Reporter& reporter)
{
    const unsigned workers = options.jobs != 0 ? options.jobs : defaultWorkerCount();
    const std::vector<FileJob> jobs = jobsOf(options, plan);
    // A reader gone away (a closed pipe) or a full disk under the report stops the run as an
    // interrupt does: the models in hand are finished, the log is written, the exit is not 0.
    const auto stop = [&] { return platform::interruptStatus() != 0 || reporter.streamsFailed(); };
    const auto outputOf = [&](size_t i) { return plan.outputs.empty() ? std::string() : plan.outputs[i]; };
    const std::function<bool(std::string_view)> excluded = excludedEntries(options.excludes);
    size_t next = 0;
    while (next < jobs.size() && !stop())
    {
        if (plan.files[next].archive)
        {
            ArchiveStepOptions archiveOptions{jobs[next].options, workers, excluded};
            reporter.archive(next, plan.files[next].path, outputOf(next),
                             cleanArchive(plan.files[next].path.c_str(), archiveOptions));
            ++next;
            continue;
        }
        size_t end = next;
        while (end < jobs.size() && !plan.files[end].archive)
            ++end;
        const std::vector<FileJob> run(jobs.begin() + static_cast<std::ptrdiff_t>(next),
                                       jobs.begin() + static_cast<std::ptrdiff_t>(end));
        const size_t first = next;
        next +=
            runFileJobs(run, workers, stop,
                        [&](size_t i, const FileResult& result) {
                            reporter.file(first + i, plan.files[first + i].path, outputOf(first + i), result);
                        });
        if (next < end) break; // stopped
    }
    return next;
}

int exitStatus(const Options& options, const RunPlan& plan, const Reporter& reporter, bool logWritten,
               int interrupted)
{
    if (interrupted != 0) return interrupted;
    const CleanTotals& totals = reporter.totals();
    // A tree that could not be read whole, or a report that did not get out whole, vouches for nothing.
    const bool allCleaned =
        totals.filesAttempted > 0 && plan.problems.empty() && totals.filesCleaned == totals.filesAttempted;
    if (options.check)
    {
        // A model that cannot be read says more than one that would change: it wins.
        if (!allCleaned || !logWritten) return exitCannotTell;
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
    if (options.textures) return runTextureReport(options, out, err);
    RunPlan plan;
    if (const int refused = preflight(options, plan, err); refused >= 0) return refused;

    Reporter reporter(options, out, err, plan.files.size());
    reporter.begin();
    for (const std::string& problem : plan.problems)
    {
        const size_t colon = problem.rfind(": ");
        reporter.problem(problem.substr(0, colon),
                         colon == std::string::npos ? "" : problem.substr(colon + 2));
    }
    const size_t done = cleanAll(options, plan, reporter);
    const int interrupted = platform::interruptStatus();
    if (interrupted != 0) reporter.interrupted(plan.files.size() - done, plan.files.size());
    const bool logWritten = reporter.end(interrupted != 0);
    return exitStatus(options, plan, reporter, logWritten, interrupted);
}

} // namespace scourvane::cli
