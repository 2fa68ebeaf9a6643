#include "platform/media/streaming_thread.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vidora::media {

struct StreamingThread::Job
{
    std::function<void()> loop; // run once, then released before done is set
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false; // guarded by mutex
};

namespace {

// A kept thread, waiting for its next loop.
struct Worker
{
    std::condition_variable wake;
    std::shared_ptr<StreamingThread::Job> job; // guarded by the pool's mutex
};

// The kept threads. Shared by every thread it made (they are detached and may
// outlive the statics at exit), so it lives as long as the last of them.
struct Pool
{
    std::mutex mutex;
    // guarded by mutex; the thread that finished last is taken first
    std::vector<std::shared_ptr<Worker>> waiting;
};

// A kept thread: runs its loop, then waits to be given the next one. It waits
// before the joiner learns that the loop is done, so the joiner's next start
// finds it.
void Serve(const std::shared_ptr<Pool> &pool, const std::shared_ptr<Worker> &self,
           std::shared_ptr<StreamingThread::Job> job)
{
    for (;;) {
        job->loop();
        job->loop = nullptr; // what the loop holds goes before the joiner goes on
        std::unique_lock lock(pool->mutex);
        pool->waiting.push_back(self);
        {
            std::lock_guard done(job->mutex);
            job->done = true;
        }
        job->finished.notify_all();
        job.reset();
        if (!self->wake.wait_for(lock, StreamingThread::kIdleLife,
                                 [&] { return self->job != nullptr; })) {
            std::erase(pool->waiting, self);
            return;
        }
        job = std::move(self->job);
    }
}

const std::shared_ptr<Pool> &ThePool()
{
    static const std::shared_ptr<Pool> pool = std::make_shared<Pool>();
    return pool;
}

} // namespace

StreamingThread::StreamingThread(std::function<void()> loop) : m_job(std::make_shared<Job>())
{
    m_job->loop = std::move(loop);
    const std::shared_ptr<Pool> &pool = ThePool();
    // A waiting thread is given the loop as its own, so loops started
    // together run on threads of their own.
    std::shared_ptr<Worker> worker;
    {
        std::lock_guard lock(pool->mutex);
        if (!pool->waiting.empty()) {
            worker = std::move(pool->waiting.back());
            pool->waiting.pop_back();
            worker->job = m_job;
        }
    }
    if (worker)
        worker->wake.notify_one();
    else
        std::thread(Serve, pool, std::make_shared<Worker>(), m_job).detach();
}

StreamingThread::~StreamingThread()
{
    join();
}

StreamingThread::StreamingThread(StreamingThread &&other) noexcept : m_job(std::move(other.m_job))
{}

void StreamingThread::join()
{
    if (!m_job)
        return;
    {
        std::unique_lock lock(m_job->mutex);
        m_job->finished.wait(lock, [this] { return m_job->done; });
    }
    m_job.reset();
}

} // namespace vidora::media
