#pragma once

// Where a graph's events run. Events are never run on the streaming thread
// that raised them: the graph hands each to its executor, which runs it
// later on its own terms.
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace vidora::media {

class EventExecutor
{
public:
    virtual ~EventExecutor() = default;
    // Any thread; must not run the call before returning.
    virtual void post(std::function<void()> call) = 0;
};

// The program's executor: calls run on the GUI thread (postToGui).
class GuiEventExecutor final : public EventExecutor
{
public:
    // Throws std::logic_error without an application object: events could
    // never run, and a streaming thread must not find that out.
    GuiEventExecutor();
    void post(std::function<void()> call) override;
};

// A plain queue: calls run when the owner calls runPending (tests, tools).
class QueueEventExecutor final : public EventExecutor
{
public:
    void post(std::function<void()> call) override;
    // Runs the calls queued so far, in order, on the calling thread; returns
    // how many ran.
    std::size_t runPending();

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls; // guarded by m_mutex
};

} // namespace vidora::media
