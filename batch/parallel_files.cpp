// The workers take the files in list order from one counter; each result waits in its slot until
// the calling thread has handed on every earlier one.
#include "batch/parallel_files.h"

#include "clean/part_cleaner.h"
#include "model/model_writer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace scourvane
{

unsigned defaultWorkerCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

size_t cleanFilesInOrder(const std::vector<std::string>& paths, const FileStepOptions& options,
                         unsigned workers, bool (*keepGoing)(),
                         const std::function<void(size_t index, const FileResult& result)>& take)
{
    const size_t count = paths.size();
    if (workers <= 1 || count <= 1)
    {
        size_t tried = 0;
        for (; tried < count && keepGoing(); ++tried)
            take(tried, cleanFile(paths[tried].c_str(), options));
        return tried;
    }

    std::mutex lock;
    std::condition_variable done;
    std::vector<std::optional<FileResult>> results(count);
    size_t next = 0;      // the next file to begin
    bool stopped = false; // keepGoing said no: nothing more is begun

    auto work = [&]
    {
        for (;;)
        {
            size_t index;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (stopped || next == count) break;
                if (!keepGoing())
                {
                    stopped = true;
                    done.notify_all();
                    break;
                }
                index = next++;
            }
            FileResult result = cleanFile(paths[index].c_str(), options);
            {
                std::lock_guard<std::mutex> guard(lock);
                results[index] = std::move(result);
            }
            done.notify_all();
        }
    };
    // A worker frees the buffers its thread kept from model to model before it ends.
    auto workAndRelease = [&]
    {
        work();
        releaseModelBuffers();
        releaseCleaningBuffers();
    };

    std::vector<std::thread> threads;
    const size_t wanted = std::min<size_t>(workers, count);
    for (size_t i = 0; i < wanted; ++i)
    {
        try
        {
            threads.emplace_back(workAndRelease);
        }
        catch (const std::system_error&)
        {
            break; // no more threads to be had: the ones running do the work
        }
    }
    if (threads.empty()) work(); // not even one: the calling thread cleans them all first

    size_t taken = 0;
    for (; taken < count; ++taken)
    {
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return results[taken].has_value() || (stopped && taken >= next); });
        if (!results[taken].has_value()) break; // never begun: the run was stopped before it
        FileResult result = std::move(*results[taken]);
        results[taken].reset();
        guard.unlock();
        take(taken, result);
    }
    for (std::thread& thread : threads)
        thread.join();
    return taken;
}

} // namespace scourvane
