#include "platform/media/allocator.h"
#include "support/media_hang_guard.h"

#include <future>
#include <gtest/gtest.h>

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

TEST(Allocator, BuffersOutliveTheirAllocatorAndARecommit)
{
    SamplePtr kept;
    {
        Allocator allocator;
        allocator.setProperties({1, 8, 1});
        allocator.commit();
        ASSERT_EQ(allocator.getBuffer(kept), Flow::Ok);
        allocator.decommit();
        // Recommitting while the only buffer is out gives a fresh pool.
        ASSERT_TRUE(allocator.commit());
        SamplePtr other;
        EXPECT_EQ(allocator.getBuffer(other), Flow::Ok);
        EXPECT_NE(other.get(), kept.get());
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

} // namespace
