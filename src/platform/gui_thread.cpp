#include "platform/gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>

namespace vidora {

namespace {

class GuiQueue;
GuiQueue &queue();

class GuiQueue
{
public:
    void post(std::function<void()> call)
    {
        auto *app = QCoreApplication::instance();
        if (!app)
            throw std::logic_error("no application object to run calls on");
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
        m_queued.notify_all();
        if (m_drainPosted)
            return;
        m_drainPosted = true;
        // Only a wake-up without data goes through Qt's queue; the calls
        // pass through m_calls. The wake-up is posted under m_mutex, which
        // drain() takes before anything else: so everything Qt allocates
        // for it here happens before the GUI thread frees it, in a way
        // ThreadSanitizer sees although Qt itself is not instrumented.
        QMetaObject::invokeMethod(
            app, [] { queue().drain(); }, Qt::QueuedConnection);
    }

    // Runs the calls queued when it starts (waiting up to `wait` for one),
    // not those queued while they run: a caller waiting for a worker must not
    // chase it through the rest of its work.
    int drain(std::chrono::milliseconds wait)
    {
        std::size_t pending = 0;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait_for(lock, wait, [this] { return !m_calls.empty(); });
            pending = m_calls.size();
        }
        int count = 0;
        for (; pending > 0; --pending) {
            std::function<void()> call;
            {
                std::lock_guard lock(m_mutex);
                if (m_calls.empty())
                    break;
                call = std::move(m_calls.front());
                m_calls.pop_front();
            }
            call();
            ++count;
        }
        return count;
    }

    void drain()
    {
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(m_mutex);
                if (m_calls.empty()) {
                    m_drainPosted = false;
                    return;
                }
                call = std::move(m_calls.front());
                m_calls.pop_front();
            }
            call();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_queued;          // signalled under m_mutex when a call is queued
    std::deque<std::function<void()>> m_calls; // guarded by m_mutex
    bool m_drainPosted = false;                // guarded by m_mutex
};

GuiQueue &queue()
{
    static GuiQueue instance;
    return instance;
}

} // namespace

bool isGuiThread()
{
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void postToGui(std::function<void()> call)
{
    queue().post(std::move(call));
}

void runOnGui(const std::function<void()> &call)
{
    if (isGuiThread()) {
        call();
        return;
    }
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;      // guarded by mutex
    std::exception_ptr failure; // written on the GUI thread before finished
    queue().post([&] {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
        // Notified under the lock: the waiter owns `done` and may destroy it
        // as soon as it can see `finished`.
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_one();
    });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished; });
    if (failure)
        std::rethrow_exception(failure);
}

int runQueuedGuiCalls(std::chrono::milliseconds wait)
{
    if (!isGuiThread())
        throw std::logic_error("runQueuedGuiCalls: called outside the GUI thread");
    return queue().drain(wait);
}

} // namespace vidora
