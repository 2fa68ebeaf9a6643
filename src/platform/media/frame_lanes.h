#pragma once

// Work on several frames at once, in order: each job runs on the next of a
// fixed set of threads ("lanes") in turn, and the jobs are taken back oldest
// first. A codec filter keeps one codec per lane (a job gets its lane's index)
// and delivers each frame when it takes it, so frames leave in the order they
// came while up to `size()` of them are worked on together. DV frames are
// coded each on its own, which makes this cheaper than slice threads: one
// wake-up per frame instead of one per slice thread.
//
// Threads: start, takeOldest and discard are for one thread (the filter's
// streaming thread); the jobs run on the lanes.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vidora::media {

class FrameLanes
{
public:
    // The answer of a job: whether its frame is good.
    using Job = std::function<bool(std::size_t lane)>;

    explicit FrameLanes(std::size_t count);
    // Waits for the jobs in hand and ends the threads.
    ~FrameLanes();
    FrameLanes(const FrameLanes &) = delete;
    FrameLanes &operator=(const FrameLanes &) = delete;

    std::size_t size() const { return m_lanes.size(); }
    // Jobs started and not yet taken back.
    std::size_t pending() const { return m_order.size(); }
    bool full() const { return pending() == size(); }
    // The lane the next job goes to.
    std::size_t next() const { return m_next; }

    // Starts the job on the next lane in turn, once that lane has finished
    // its previous one. Take the oldest first when full().
    void start(Job job);
    // Waits for the oldest job not taken yet; its answer. Only while pending.
    bool takeOldest();
    // Forgets the jobs not taken (a new segment, a stop): they finish on
    // their own before their lanes start others.
    void discard();

private:
    struct Lane
    {
        std::mutex mutex;
        std::condition_variable changed;
        // guarded by mutex
        Job job;
        bool busy = false; // from start until the job has finished
        bool answer = false;
        bool quit = false;
        std::thread thread;
    };

    static void run(Lane &lane, std::size_t index);

    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::deque<std::size_t> m_order; // lanes of the pending jobs, oldest first
    std::size_t m_next = 0;          // the lane whose turn is next
};

} // namespace vidora::media
