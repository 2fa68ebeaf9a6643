#include "platform/media/allocator.h"
#include "support/media_hang_guard.h"

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <thread>
#include <vector>

namespace {

using namespace vidora::media;
using namespace std::chrono_literals;

TEST(Allocator, GrantsAlignedBuffersAndRefusesChangesWhileCommitted)
{
    Allocator allocator;
    const auto granted = allocator.setProperties({3, 1000, 24});
    ASSERT_TRUE(granted);
    EXPECT_EQ(granted->count, 3u);
    EXPECT_EQ(granted->alignment, 32u);
    ASSERT_TRUE(allocator.commit());
    EXPECT_FALSE(allocator.setProperties({1, 10, 1}));
    SamplePtr sample;
    ASSERT_EQ(allocator.getBuffer(sample), Flow::Ok);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(sample->data()) % 32, 0u);
    EXPECT_EQ(sample->capacity(), 1000u);
    EXPECT_FALSE(sample->setActualLength(1001));
    EXPECT_EQ(allocator.freeCount(), 2u);
    sample.reset();
    EXPECT_EQ(allocator.freeCount(), 3u);
}

TEST(Allocator, GetBufferBlocksUntilAReleaseOrDecommit)
{
    vidora::test::HangGuard guard(10s);
    Allocator allocator;
    allocator.setProperties({1, 16, 1});
    allocator.commit();
    SamplePtr held;
    ASSERT_EQ(allocator.getBuffer(held), Flow::Ok);
    held->setActualLength(5);
    held->syncPoint = true;

    auto waiter = std::async(std::launch::async, [&] {
        SamplePtr next;
        const Flow f = allocator.getBuffer(next);
        // A returned buffer comes back reset.
        return std::make_pair(f, next ? next->actualLength() + (next->syncPoint ? 100 : 0) : 999);
    });
    EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout);
    held.reset();
    EXPECT_EQ(waiter.get(), std::make_pair(Flow::Ok, std::size_t(0)));

    SamplePtr again;
    ASSERT_EQ(allocator.getBuffer(again), Flow::Ok);
    auto blocked = std::async(std::launch::async, [&] {
        SamplePtr next;
        return allocator.getBuffer(next);
    });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    allocator.decommit();
    EXPECT_EQ(blocked.get(), Flow::Flushing);
}

// A recommit while a buffer is still out (a picture a view still shows)
// keeps the buffers that came back and makes a new one in place of the
// other, which is never handed out while held and stays valid until let go,
// also after the allocator is gone.
TEST(Allocator, BuffersOutliveTheirAllocatorAndARecommit)
{
    SamplePtr kept;
    {
        Allocator allocator;
        allocator.setProperties({3, 8, 1});
        allocator.commit();
        SamplePtr first[3];
        std::set<const void *> buffers;
        for (SamplePtr &sample : first) {
            ASSERT_EQ(allocator.getBuffer(sample), Flow::Ok);
            buffers.insert(sample->data());
        }
        kept = first[1];
        for (SamplePtr &sample : first)
            sample.reset();
        allocator.decommit();
        ASSERT_TRUE(allocator.commit());
        EXPECT_EQ(allocator.freeCount(), 3u);
        SamplePtr next[3];
        int reused = 0;
        for (SamplePtr &sample : next) {
            ASSERT_EQ(allocator.getBuffer(sample), Flow::Ok);
            EXPECT_NE(sample->data(), kept->data());
            reused += buffers.count(sample->data()) > 0 ? 1 : 0;
        }
        EXPECT_EQ(reused, 2);
        allocator.decommit();
    }
    kept->data()[7] = 1; // still valid memory (ASan checks)
    kept.reset();
}

TEST(MediaSample, WritableCopyKeepsDataAndProperties)
{
    auto sample = MediaSample::create(8);
    sample->setActualLength(3);
    sample->data()[0] = 7;
    sample->time = TimeRange{10, 20};
    sample->mediaTime = TimeRange{1, 2};
    sample->discontinuity = true;
    sample->typeChange = MediaType(MajorType::Audio);
    sample->setReadOnly();
    auto copy = sample->writableCopy();
    EXPECT_FALSE(copy->isReadOnly());
    EXPECT_EQ(copy->actualLength(), 3u);
    EXPECT_EQ(copy->data()[0], 7);
    EXPECT_EQ(copy->time, sample->time);
    EXPECT_EQ(copy->mediaTime, sample->mediaTime);
    EXPECT_TRUE(copy->discontinuity);
    EXPECT_EQ(copy->typeChange, sample->typeChange);
    EXPECT_NE(copy->data(), sample->data());
}

// A buffer comes back once its last holder (a view included) lets go, reset,
// to the smallest request it holds; a held buffer is never handed out twice.
TEST(SampleRecycler, ReusesBuffersOnlyOnceLetGoSmallestFirst)
{
    SampleRecycler recycler;
    SamplePtr big = recycler.get(1000);
    SamplePtr small = recycler.get(100);
    ASSERT_GE(big->capacity(), 1000u);
    ASSERT_GE(small->capacity(), 100u);
    std::uint8_t *const bigData = big->data();
    std::uint8_t *const smallData = small->data();

    // Held: a new request gets a buffer of its own.
    SamplePtr other = recycler.get(100);
    EXPECT_NE(other->data(), bigData);
    EXPECT_NE(other->data(), smallData);
    other.reset();

    big->setActualLength(10);
    big->time = TimeRange{1, 2};
    big->discontinuity = true;
    SamplePtr view = MediaSample::sharedView(big);
    big.reset();
    EXPECT_NE(recycler.get(500)->data(), bigData); // the view still reads it
    view.reset();
    small.reset();

    // All free now: the smallest that fits serves each request.
    SamplePtr again = recycler.get(50);
    EXPECT_LT(again->capacity(), 500u);
    SamplePtr large = recycler.get(800);
    EXPECT_EQ(large->data(), bigData);
    EXPECT_EQ(large->actualLength(), 0u);
    EXPECT_FALSE(large->time.has_value());
    EXPECT_FALSE(large->discontinuity);
    EXPECT_FALSE(large->isReadOnly());
}

// Samples outlive their recycler; buffers let go on other threads come back.
TEST(SampleRecycler, SamplesOutliveTheRecyclerAndReturnFromAnyThread)
{
    SamplePtr kept;
    {
        SampleRecycler recycler(2);
        kept = recycler.get(64);
        std::vector<SamplePtr> samples;
        for (int i = 0; i < 4; ++i)
            samples.push_back(recycler.get(64));
        std::thread([moved = std::move(samples)]() mutable { moved.clear(); }).join();
        // At most two were kept: the third request gets a new buffer.
        SamplePtr a = recycler.get(64);
        SamplePtr b = recycler.get(64);
        SamplePtr c = recycler.get(64);
        EXPECT_NE(a->data(), b->data());
        EXPECT_NE(c->data(), a->data());
        EXPECT_NE(c->data(), b->data());
    }
    kept->data()[63] = 1; // still valid memory (ASan checks)
    kept.reset();
}

} // namespace
