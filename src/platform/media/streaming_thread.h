#pragma once

// A splitter's streaming thread, taken from threads kept by the process
// rather than made for each start.
//
// Why: a graph starts its streaming threads each time it leaves Stopped or
// seeks, and probing a list of files pauses a graph once per file. A thread
// made anew is scheduled behind everything else that runs (on a busy
// machine, several milliseconds later); a kept thread that waits for work is
// woken at once. So a finished loop's thread waits for the next one, and
// ends when it has had none for kIdleLife.
//
// Each start gets a thread of its own (a kept one, or a new one when none is
// free): starts never wait for each other, so a loop may start and join
// other loops. join() returns when the loop has returned, and everything the
// loop did happens before it, as with std::thread::join.
#include <chrono>
#include <functional>
#include <memory>

namespace vidora::media {

class StreamingThread
{
public:
    // How long a kept thread waits for another loop before it ends.
    static constexpr std::chrono::seconds kIdleLife{10};

    // Runs `loop` on a kept or a new thread; returns at once.
    explicit StreamingThread(std::function<void()> loop);
    // Joins.
    ~StreamingThread();
    StreamingThread(StreamingThread &&) noexcept;
    StreamingThread &operator=(StreamingThread &&) = delete;
    StreamingThread(const StreamingThread &) = delete;
    StreamingThread &operator=(const StreamingThread &) = delete;

    // Waits until the loop has returned; at once when it has, or after a
    // first join.
    void join();

    struct Job;

private:
    std::shared_ptr<Job> m_job;
};

} // namespace vidora::media
