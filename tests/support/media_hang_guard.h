#pragma once

// Ends the test program when a scenario hangs, instead of letting it wait
// for the test runner's time-out: a hang in the media layer is a failure.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace vidora::test {

class HangGuard
{
public:
    explicit HangGuard(std::chrono::milliseconds limit, std::string what = "scenario");
    ~HangGuard();
    HangGuard(const HangGuard &) = delete;
    HangGuard &operator=(const HangGuard &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false; // guarded by m_mutex
    std::thread m_watch;
};

} // namespace vidora::test
