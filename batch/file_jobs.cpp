// The workers of a run: each takes the next job of the list and does it; the calling thread hands
// the jobs' results back in the list's order.
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
    Dispatch(size_t jobCount, const std::function<bool()>& stopWhen, const std::function<void(size_t)>& doJob)
        : count(jobCount), stop(stopWhen), job(doJob), done(jobCount, 0)
    {
    }

    const size_t count;
    const std::function<bool()>& stop;
    const std::function<void(size_t)>& job;
    std::mutex mutex;
    std::condition_variable ready; // a job ended, or no further job will start
    size_t next = 0;               // the first job not started
    bool closed = false;           // no further job starts
    std::vector<char> done;        // per job: its work is over
};

void work(Dispatch& dispatch)
{
    for (;;)
    {
        size_t index;
        {
            std::lock_guard<std::mutex> lock(dispatch.mutex);
            if (!dispatch.closed && dispatch.next < dispatch.count && dispatch.stop && dispatch.stop())
                dispatch.closed = true;
            if (dispatch.closed || dispatch.next == dispatch.count)
            {
                dispatch.closed = true;
                dispatch.ready.notify_all();
                break;
            }
            index = dispatch.next++;
        }
        dispatch.job(index);
        {
            std::lock_guard<std::mutex> lock(dispatch.mutex);
            dispatch.done[index] = 1;
        }
        dispatch.ready.notify_all();
    }
    // The buffers the engine keeps per thread from model to model go with the worker.
    releaseModelBuffers();
    releaseCleaningBuffers();
}

// The worker threads, closed and joined on the way out however it is left, so that a job in
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

size_t runJobs(size_t count, unsigned workers, const std::function<bool()>& stop,
               const std::function<void(size_t index)>& job, const std::function<void(size_t index)>& deliver)
{
    Dispatch dispatch(count, stop, job);
    Workers pool{dispatch};
    if (workers > 1 && count > 1)
    {
        const size_t threads = std::min<size_t>(workers, count);
        for (size_t i = 0; i < threads; ++i)
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
        for (; index < count && !(stop && stop()); ++index)
        {
            job(index);
            deliver(index);
        }
        return index;
    }

    size_t delivered = 0;
    while (delivered < count)
    {
        {
            std::unique_lock<std::mutex> lock(dispatch.mutex);
            dispatch.ready.wait(
                lock, [&]
                { return dispatch.done[delivered] != 0 || (dispatch.closed && delivered == dispatch.next); });
            if (dispatch.done[delivered] == 0) break; // stopped, and everything started is out
        }
        deliver(delivered);
        ++delivered;
    }
    return delivered;
}

size_t runFileJobs(const std::vector<FileJob>& jobs, unsigned workers, const std::function<bool()>& stop,
                   const std::function<void(size_t index, const FileResult& result)>& deliver)
{
    // Each job writes only its own slot; a slot is read once its job is over and then let go.
    std::vector<FileResult> results(jobs.size());
    return runJobs(
        jobs.size(), workers, stop,
        [&](size_t i) { results[i] = cleanFile(jobs[i].path.c_str(), jobs[i].options); },
        [&](size_t i)
        {
            deliver(i, results[i]);
            results[i] = FileResult();
        });
}

} // namespace scourvane
