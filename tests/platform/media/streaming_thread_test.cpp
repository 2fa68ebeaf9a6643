// Streaming threads are kept for the next loop, yet every loop still runs on
// a thread of its own and a join waits for the loop to return.
#include "platform/media/streaming_thread.h"

#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

namespace vidora::media {
namespace {

using namespace std::chrono_literals;
using vidora::test::HangGuard;

TEST(StreamingThread, AJoinedLoopsThreadRunsTheNextLoop)
{
    HangGuard guard(10s);
    std::thread::id first;
    std::thread::id second;
    StreamingThread one([&] { first = std::this_thread::get_id(); });
    one.join();
    StreamingThread two([&] { second = std::this_thread::get_id(); });
    two.join();
    EXPECT_NE(first, std::this_thread::get_id());
    EXPECT_EQ(second, first);
}

// The first loop waits for the second, which is started after it (and, in
// turn, starts a third from its own thread): a start never waits for a
// running loop to end, even with a kept thread waiting.
TEST(StreamingThread, LoopsStartedTogetherRunOnThreadsOfTheirOwn)
{
    HangGuard guard(10s);
    StreamingThread([] {}).join(); // one kept thread waits
    std::latch secondRan(1);
    std::latch thirdRan(1);
    std::thread::id ids[3];
    StreamingThread first([&] {
        ids[0] = std::this_thread::get_id();
        secondRan.wait();
        thirdRan.wait();
    });
    StreamingThread second([&] {
        ids[1] = std::this_thread::get_id();
        secondRan.count_down();
        StreamingThread third([&] {
            ids[2] = std::this_thread::get_id();
            thirdRan.count_down();
        });
    });
    first.join();
    second.join();
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[0], ids[2]);
    EXPECT_NE(ids[1], ids[2]);
}

TEST(StreamingThread, GoingOutOfScopeWaitsForTheLoop)
{
    HangGuard guard(10s);
    std::latch go(1);
    std::atomic<bool> ended{false};
    {
        StreamingThread loop([&] {
            go.wait();
            std::this_thread::yield();
            ended = true;
        });
        go.count_down();
    }
    EXPECT_TRUE(ended.load());
}

} // namespace
} // namespace vidora::media
