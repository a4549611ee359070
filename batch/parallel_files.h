// Cleaning many files on several workers while the results come back as a one-worker run would
// give them: in the order of the list, on the calling thread.
#pragma once

#include "batch/batch_run.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace scourvane
{

// The number of workers a run uses unless told: the machine's cores, at least 1.
unsigned defaultWorkerCount();

// Runs cleanFile with `options` over `paths` on up to `workers` threads (1: on the calling thread
// alone, exactly as a plain loop) and calls take(index, result) on the calling thread for each file,
// in the order of `paths`, as soon as that file and every one before it are done. Before a file is
// begun `keepGoing` is asked (once, under the lock that hands out the files); when it says no, no
// later file is begun, so the files tried are always a beginning of `paths`, each of them saved
// whole or left as it was. Returns the number of files tried (and so handed to `take`).
size_t cleanFilesInOrder(const std::vector<std::string>& paths, const FileStepOptions& options,
                         unsigned workers, bool (*keepGoing)(),
                         const std::function<void(size_t index, const FileResult& result)>& take);

} // namespace scourvane
