#include "files/runongui.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace vidora {

namespace {

// One queued call; `done` and `error` are guarded by the dispatcher's mutex.
struct GuiCall
{
    std::function<void()> fn;
    bool done = false;
    std::exception_ptr error;
};

class GuiCallDispatcher
{
public:
    GuiCallDispatcher()
    {
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (m_wakeFd < 0)
            throw std::runtime_error("runOnGui: no event descriptor");
        // Owned by the application object, so it goes with the event loop it
        // belongs to.
        m_notifier =
            new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] {
            clearWake();
            drain();
        });
    }
    ~GuiCallDispatcher() { ::close(m_wakeFd); }

    // Worker side: queues the call, wakes the GUI thread, waits until it ran.
    void call(const std::function<void()> &fn)
    {
        auto item = std::make_shared<GuiCall>();
        item->fn = fn;
        std::unique_lock lock(m_mutex);
        m_queue.push_back(item);
        m_queued.notify_all();
        const std::uint64_t one = 1;
        // A full counter still leaves the descriptor readable: nothing is lost.
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
        m_ran.wait(lock, [&] { return item->done; });
        if (item->error)
            std::rethrow_exception(item->error);
    }

    // GUI side: runs every queued call in order.
    int drain()
    {
        int count = 0;
        for (;;) {
            std::shared_ptr<GuiCall> item;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty())
                    return count;
                item = m_queue.front();
                m_queue.pop_front();
            }
            std::exception_ptr error;
            try {
                item->fn();
            } catch (...) {
                error = std::current_exception();
            }
            ++count;
            std::lock_guard lock(m_mutex);
            item->error = error;
            item->done = true;
            m_ran.notify_all();
        }
    }

    int waitAndDrain(std::chrono::milliseconds wait)
    {
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait_for(lock, wait, [&] { return !m_queue.empty(); });
        }
        return drain();
    }

private:
    void clearWake()
    {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto read = ::read(m_wakeFd, &value, sizeof value);
    }

    int m_wakeFd = -1;
    QSocketNotifier *m_notifier = nullptr; // a child of the application object
    std::mutex m_mutex;
    std::condition_variable m_queued;             // a call was queued
    std::condition_variable m_ran;                // a call has run
    std::deque<std::shared_ptr<GuiCall>> m_queue; // guarded by m_mutex
};

std::mutex g_dispatcherMutex;
// Created on the GUI thread, kept until the process ends; guarded by
// g_dispatcherMutex for its creation and lookup.
GuiCallDispatcher *g_dispatcher = nullptr;

bool onGuiThread()
{
    const auto *app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

GuiCallDispatcher *dispatcher()
{
    std::lock_guard lock(g_dispatcherMutex);
    return g_dispatcher;
}

} // namespace

void PrepareRunOnGui()
{
    if (QCoreApplication::instance() == nullptr)
        return;
    if (!onGuiThread())
        throw std::logic_error("PrepareRunOnGui: called outside the GUI thread");
    std::lock_guard lock(g_dispatcherMutex);
    if (g_dispatcher == nullptr) {
        // Kept until the process ends: workers may call in as long as the
        // application object lives.
        static GuiCallDispatcher instance;
        g_dispatcher = &instance;
    }
}

void runOnGui(const std::function<void()> &fn)
{
    if (onGuiThread()) {
        fn();
        return;
    }
    auto *d = dispatcher();
    if (d == nullptr)
        throw std::logic_error("runOnGui: PrepareRunOnGui was not called");
    d->call(fn);
}

int RunQueuedGuiCalls(std::chrono::milliseconds wait)
{
    auto *d = dispatcher();
    if (d == nullptr || !onGuiThread())
        return 0;
    return d->waitAndDrain(wait);
}

} // namespace vidora
