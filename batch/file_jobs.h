// The per-file step over a list of files on several workers, with the results handed back in the
// list's order, so that a run's report reads exactly as a one-by-one run writes it.
#pragma once

#include "batch/file_step.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace scourvane
{

// One file of a run: where it is and how the per-file step treats it. options.outputPath, when
// set, must stay valid until the run ends.
struct FileJob
{
    std::string path;
    FileStepOptions options;
};

// The number of workers a run has unless told otherwise: the machine's cores, at least 1.
unsigned defaultWorkerCount();

// Runs `job` for indexes 0 to count - 1 on `workers` threads (1, or a single job: on the calling
// thread, no thread made; 0 counts as 1) and calls `deliver` on the calling thread for each index, in
// order, as soon as its job and every one before it are done. `stop` (may be empty) is asked before
// each job is started; once it says true no further job starts, while those already started finish
// and are delivered, so what is delivered is always the first N jobs. `stop` may be called from any
// worker thread, one call at a time; `job` is called on the workers, for distinct indexes at once.
// Returns N, the number of jobs delivered.
size_t runJobs(size_t count, unsigned workers, const std::function<bool()>& stop,
               const std::function<void(size_t index)>& job,
               const std::function<void(size_t index)>& deliver);

// Runs cleanFile over `jobs` on `workers` threads (1, or a single job: on the calling thread, no
// thread made; 0 counts as 1) and hands each result to `deliver` on the calling thread, in the
// order of `jobs`, as soon as it and every one before it are done. `stop` (may be empty) is asked
// before each file is started; once it says true no further file starts, while those already
// started finish and are delivered, so what is delivered is always the first N jobs. `stop` may be
// called from any worker thread, one call at a time. Returns N, the number of files delivered.
size_t runFileJobs(const std::vector<FileJob>& jobs, unsigned workers, const std::function<bool()>& stop,
                   const std::function<void(size_t index, const FileResult& result)>& deliver);

} // namespace scourvane
