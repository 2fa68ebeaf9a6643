#include "platform/gui_thread.h"
#include "platform/media/executor.h"
#include "platform/media/graph.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Pumps the GUI thread's events until `done`.
template <class Predicate>
void pumpUntil(Predicate done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
}

TEST(GuiThread, RunOnGuiRunsOnTheGuiThreadAndWaits)
{
    vidora::test::HangGuard guard(10s);
    ASSERT_TRUE(vidora::isGuiThread());
    int direct = 0;
    vidora::runOnGui([&] { direct = 1; }); // on the GUI thread: at once
    EXPECT_EQ(direct, 1);

    QThread *ranOn = nullptr;
    int value = 0; // written on the GUI thread, read by the worker after the call
    std::atomic<bool> workerDone{false};
    bool workerSaw = false;
    bool failureCarried = false;
    std::thread worker([&] {
        EXPECT_FALSE(vidora::isGuiThread());
        vidora::runOnGui([&] {
            ranOn = QThread::currentThread();
            value = 42;
        });
        workerSaw = value == 42;
        try {
            vidora::runOnGui([] { throw std::runtime_error("x"); });
        } catch (const std::runtime_error &) {
            failureCarried = true;
        }
        workerDone = true;
    });
    pumpUntil([&] { return workerDone.load(); });
    worker.join();
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_TRUE(workerSaw);
    EXPECT_TRUE(failureCarried);
}

TEST(GuiThread, GuiEventExecutorRunsPostedCallsLaterInOrder)
{
    vidora::test::HangGuard guard(10s);
    vidora::media::GuiEventExecutor executor;
    std::vector<int> order;
    std::thread poster([&] {
        executor.post([&] { order.push_back(1); });
        executor.post([&] { order.push_back(2); });
    });
    poster.join();
    EXPECT_TRUE(order.empty()); // never inline
    pumpUntil([&] { return order.size() == 2; });
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(GuiThread, AGraphWithoutAnExecutorRaisesItsEventsOnTheGuiThread)
{
    vidora::test::HangGuard guard(10s);
    using namespace vidora::media;
    FilterGraph graph; // the program's default: the GUI thread
    auto source =
        std::make_shared<vidora::test::MemorySource>(vidora::test::MemorySource::Options{});
    auto sink = std::make_shared<vidora::test::RecordingSink>();
    graph.AddFilter(source, "source");
    graph.AddFilter(sink, "sink");
    ASSERT_TRUE(graph.Connect(source->outputAt(0), sink->input()));
    QThread *ranOn = nullptr;
    bool complete = false;
    graph.setEventHandler([&](const GraphEvent &e) {
        ranOn = QThread::currentThread();
        complete = complete || e.code == GraphEventCode::Complete;
    });
    ASSERT_TRUE(graph.Run());
    pumpUntil([&] { return complete; });
    graph.Stop();
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

} // namespace
