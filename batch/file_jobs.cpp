// The workers of a run: each takes the next file of the list, cleans it and leaves its result in
// that file's slot; the calling thread hands the slots back in order.
#include "batch/file_jobs.h"

#include "clean/part_cleaner.h"
#include "model/part_storage.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace scourvane
{

unsigned defaultWorkerCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

namespace
{
struct Dispatch
{
    Dispatch(const std::vector<FileJob>& list, const std::function<bool()>& stopWhen)
        : jobs(list), stop(stopWhen)
    {
    }

    const std::vector<FileJob>& jobs;
    const std::function<bool()>& stop;
    std::mutex mutex;
    std::condition_variable ready; // a result came, or no further file will start
    size_t next = 0;               // the first job not started
    bool closed = false;           // no further job starts
    std::vector<std::optional<FileResult>> results;
};

void work(Dispatch& dispatch)
{
    for (;;)
    {
        size_t index;
        {
            std::lock_guard<std::mutex> lock(dispatch.mutex);
            if (!dispatch.closed && dispatch.next < dispatch.jobs.size() && dispatch.stop && dispatch.stop())
                dispatch.closed = true;
            if (dispatch.closed || dispatch.next == dispatch.jobs.size())
            {
                dispatch.closed = true;
                dispatch.ready.notify_all();
                break;
            }
            index = dispatch.next++;
        }
        FileResult result = cleanFile(dispatch.jobs[index].path.c_str(), dispatch.jobs[index].options);
        {
            std::lock_guard<std::mutex> lock(dispatch.mutex);
            dispatch.results[index] = std::move(result);
        }
        dispatch.ready.notify_all();
    }
    // The buffers the engine keeps per thread from model to model go with the worker.
    releaseModelBuffers();
    releaseCleaningBuffers();
}

// The worker threads, closed and joined on the way out however it is left, so that a file in
// hand is always finished whole.
struct Workers
{
    explicit Workers(Dispatch& shared) : dispatch(shared) {}
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    Dispatch& dispatch;
    std::vector<std::thread> threads;

    ~Workers()
    {
        {
            std::lock_guard<std::mutex> lock(dispatch.mutex);
            dispatch.closed = true;
        }
        for (std::thread& thread : threads)
            thread.join();
    }
};
} // namespace

size_t runFileJobs(const std::vector<FileJob>& jobs, unsigned workers, const std::function<bool()>& stop,
                   const std::function<void(size_t index, const FileResult& result)>& deliver)
{
    Dispatch dispatch(jobs, stop);
    Workers pool{dispatch};
    if (workers > 1 && jobs.size() > 1)
    {
        dispatch.results.resize(jobs.size());
        const size_t count = std::min<size_t>(workers, jobs.size());
        for (size_t i = 0; i < count; ++i)
        {
            // A system that cannot start another thread runs the list on those it has.
            try
            {
                pool.threads.emplace_back(work, std::ref(dispatch));
            }
            catch (const std::system_error&)
            {
                break;
            }
        }
    }
    if (pool.threads.empty())
    {
        size_t index = 0;
        for (; index < jobs.size() && !(stop && stop()); ++index)
            deliver(index, cleanFile(jobs[index].path.c_str(), jobs[index].options));
        return index;
    }

    size_t delivered = 0;
    while (delivered < jobs.size())
    {
        FileResult result;
        {
            std::unique_lock<std::mutex> lock(dispatch.mutex);
            dispatch.ready.wait(lock,
                                [&] {
                                    return dispatch.results[delivered].has_value() ||
                                           (dispatch.closed && delivered == dispatch.next);
                                });
            if (!dispatch.results[delivered].has_value()) break; // stopped, and everything started is out
            result = std::move(*dispatch.results[delivered]);
            dispatch.results[delivered].reset();
        }
        deliver(delivered, result);
        ++delivered;
    }
    return delivered;
}

} // namespace scourvane
