#include "dvfacts.h"
#include "formats/dvcodes.h"
#include "support/media_filters.h"
#include "support/media_hang_guard.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_scenedetect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

using namespace vidora;
using namespace vidora::media;
using namespace vidora::test;
using namespace std::chrono_literals;

const QDateTime kNewYearsEve(QDate(2006, 12, 31), QTime(23, 30, 0));

DvFrame sourceFrame(DvStandard standard = DvStandard::Pal, QDateTime recorded = kNewYearsEve)
{
    DvFacts facts;
    facts.standard = standard;
    facts.recorded = recorded;
    facts.timecodeFrames = 20;
    return buildDvFrame(facts);
}

// The byte offsets of the subcode and VAUX packs of a frame whose identifier
// is in `ids`, found through the frame builder's own layout.
std::set<std::size_t> packBytes(const DvFrame &frame, std::set<std::uint8_t> ids)
{
    std::set<std::size_t> bytes;
    auto take = [&](DvPackSlot slot) {
        const std::size_t at = DvFrame::packOffset(slot);
        if (ids.count(frame.bytes()[at]))
            for (std::size_t i = 0; i < 5; ++i)
                bytes.insert(at + i);
    };
    for (int s = 0; s < frame.sequences(); ++s) {
        for (int b = 0; b < 2; ++b)
            for (int slot = 0; slot < 6; ++slot)
                take(subcodeSlot(s, b, slot));
        for (int b = 0; b < 3; ++b)
            for (int slot = 0; slot < 15; ++slot)
                take(vauxSlot(s, b, slot));
    }
    return bytes;
}

std::set<std::size_t> differingBytes(const QByteArray &a, const QByteArray &b)
{
    std::set<std::size_t> bytes;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            bytes.insert(static_cast<std::size_t>(i));
    return bytes;
}

std::span<const std::uint8_t> span(const QByteArray &bytes)
{
    return {reinterpret_cast<const std::uint8_t *>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

QDateTime recordedIn(const QByteArray &frame, int nSeq)
{
    TDvRecDateTime value;
    if (!ReadDvRecDateTime(span(frame), nSeq, value))
        return {};
    return QDateTime(QDate(value.Year, value.Month, value.Day),
                     QTime(value.Hour, value.Minute, value.Second));
}

struct HeaderCase
{
    const char *name;
    bool copyHeaders;
    double dateOffset;
    bool writeAspect;
    bool aspectWide;
    QDateTime expectedDate;
    std::set<std::uint8_t> rewrittenPacks; // the packs allowed to change
    bool changes;
};

void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.name;
}

class DvHeaderFilter : public ::testing::TestWithParam<HeaderCase>
{};

// Each option rewrites exactly its packs of every sequence; a sample that is
// no DV frame passes untouched whatever the options.
TEST_P(DvHeaderFilter, RewritesOnlyItsPacks)
{
    HangGuard guard(30s);
    const HeaderCase &c = GetParam();
    auto detector = std::make_shared<Tdv_sceneDetect>();
    auto header = std::make_shared<Tdv_DVheader>(detector.get());
    header->SetCopyHeaders(c.copyHeaders);
    header->SetDateOffset(c.dateOffset);
    header->SetWriteAspect(c.writeAspect);
    header->SetAspectWide(c.aspectWide);

    const DvFrame frame = sourceFrame();
    const std::vector<QByteArray> samples{frame.toByteArray(), QByteArray(100, '\x62')};
    FilterHarness chain(testVideoType(400000), samples, {detector, header});
    ASSERT_TRUE(chain.connected());
    ASSERT_TRUE(chain.run());
    const auto out = chain.received();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1], samples[1]);

    const std::set<std::size_t> changed = differingBytes(samples[0], out[0]);
    EXPECT_EQ(!changed.empty(), c.changes);
    const std::set<std::size_t> allowed = packBytes(frame, c.rewrittenPacks);
    for (std::size_t at : changed)
        ASSERT_TRUE(allowed.count(at)) << "byte " << at << " changed outside the packs";
    EXPECT_EQ(recordedIn(out[0], 12), c.expectedDate);
    bool wide = false;
    ASSERT_TRUE(ReadDvWideFlag(span(out[0]), 12, wide));
    EXPECT_EQ(wide, c.writeAspect && c.aspectWide);
    if (c.dateOffset != 0.0) {
        // Every date and time pack of every sequence carries the new value.
        TDvRecDateTime expected{c.expectedDate.date().year(),
                                static_cast<std::uint8_t>(c.expectedDate.date().month()),
                                static_cast<std::uint8_t>(c.expectedDate.date().day()),
                                static_cast<std::uint8_t>(c.expectedDate.time().hour()),
                                static_cast<std::uint8_t>(c.expectedDate.time().minute()),
                                static_cast<std::uint8_t>(c.expectedDate.time().second())};
        const std::set<std::size_t> datePacks = packBytes(frame, {0x62, 0x63});
        std::array<std::uint8_t, 5> pack{};
        for (auto it = datePacks.begin(); it != datePacks.end(); std::advance(it, 5)) {
            const auto *at = reinterpret_cast<const std::uint8_t *>(out[0].constData()) + *it;
            std::copy(at, at + 5, pack.begin());
            std::array<std::uint8_t, 5> want = pack;
            if (pack[0] == 0x62)
                WriteDvRecDatePack(want, expected);
            else
                WriteDvRecTimePack(want, expected);
            EXPECT_EQ(pack, want) << "pack at " << *it;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DvHeaderFilter,
    ::testing::Values(
        HeaderCase{"NothingSet", false, 0.0, false, false, kNewYearsEve, {}, false},
        HeaderCase{"CopyOfTheSameFrame", true, 0.0, false, false, kNewYearsEve, {}, false},
        HeaderCase{"HourAcrossTheYearEnd",
                   true,
                   1.0 / 24,
                   false,
                   false,
                   QDateTime(QDate(2007, 1, 1), QTime(0, 30, 0)),
                   {0x62, 0x63},
                   true},
        HeaderCase{"DayBack",
                   false,
                   -1.0,
                   false,
                   false,
                   QDateTime(QDate(2006, 12, 30), QTime(23, 30, 0)),
                   {0x62, 0x63},
                   true},
        HeaderCase{"Wide", false, 0.0, true, true, kNewYearsEve, {0x61}, true},
        HeaderCase{
            "FourThirdsOnAFourThirdsFrame", false, 0.0, true, false, kNewYearsEve, {0x61}, false}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

QByteArray blankFrame(DvStandard standard)
{
    DvFacts facts;
    facts.standard = standard;
    facts.aux = false;
    return buildDvFrame(facts).toByteArray();
}

// Stands for a re-encoder between the detector and the header filter: each
// frame comes out as a blank frame of another DV system, without packs.
class SystemChanger final : public TransformFilter
{
public:
    explicit SystemChanger(DvStandard target)
        : TransformFilter("System changer"), m_frame(blankFrame(target)),
          m_type(
              testVideoType(target == DvStandard::Pal ? 400000 : 333667, target == DvStandard::Pal))
    {}
    bool CheckInputType(const MediaType &type) override { return IsDvConnectionType(type); }
    bool CheckTransform(const MediaType &, const MediaType &out) override { return out == m_type; }
    std::optional<MediaType> GetMediaType(int position) override
    {
        return position == 0 ? std::optional(m_type) : std::nullopt;
    }
    bool DecideBufferSize(Allocator &allocator, const AllocatorProperties &) override
    {
        const auto granted = allocator.setProperties({2, 144000, 16});
        return granted && granted->size >= 144000;
    }
    Flow Transform(const MediaSample &, MediaSample &out) override
    {
        out.setActualLength(static_cast<std::size_t>(m_frame.size()));
        std::memcpy(out.data(), m_frame.constData(), static_cast<std::size_t>(m_frame.size()));
        return Flow::Ok;
    }

private:
    QByteArray m_frame;
    MediaType m_type;
};

// Across DV systems the re-encoded frames get the source's date and time code
// yet keep their own system.
TEST(DvHeaderFilterAcrossSystems, CopiesTheSourcePacksAndKeepsTheTargetSystem)
{
    HangGuard guard(30s);
    for (const auto &[from, to] : {std::pair{DvStandard::Pal, DvStandard::Ntsc},
                                   std::pair{DvStandard::Ntsc, DvStandard::Pal}}) {
        auto detector = std::make_shared<Tdv_sceneDetect>();
        auto changer = std::make_shared<SystemChanger>(to);
        auto header = std::make_shared<Tdv_DVheader>(detector.get());
        const bool sourcePal = from == DvStandard::Pal;
        FilterHarness chain(testVideoType(sourcePal ? 400000 : 333667, sourcePal),
                            {sourceFrame(from).toByteArray(), sourceFrame(from).toByteArray()},
                            {detector, changer, header});
        ASSERT_TRUE(chain.connected());
        ASSERT_TRUE(chain.run());
        const auto out = chain.received();
        ASSERT_EQ(out.size(), 2u);
        const int nSeq = to == DvStandard::Pal ? 12 : 10;
        for (const QByteArray &frame : out) {
            EXPECT_EQ(frame.size(), to == DvStandard::Pal ? 144000 : 120000);
            EXPECT_EQ(recordedIn(frame, nSeq), kNewYearsEve);
            bool is525 = false;
            ASSERT_TRUE(ReadDvSystem(span(frame), is525));
            EXPECT_EQ(is525, to == DvStandard::Ntsc);
            TDvTimecode timecode;
            ASSERT_TRUE(ReadDvTimecode(span(frame), nSeq, timecode));
            // 20 frames of 25 a second are 24 of 30, and the reverse 16.
            EXPECT_EQ(timecode.Frames, to == DvStandard::Ntsc ? 24 : 16);
        }
    }
}

TEST(DvHeaderFilterOptions, AcceptsDvOnlyAndKeepsItsOptions)
{
    Tdv_DVheader header(nullptr);
    EXPECT_EQ(header.objectName(), "Vesk Tobrek cf_DVHeader");
    EXPECT_TRUE(header.CopyHeaders());
    EXPECT_EQ(header.DateOffset(), 0.0);
    EXPECT_FALSE(header.WriteAspect());
    EXPECT_FALSE(header.AspectWide());
    EXPECT_TRUE(header.CheckInputType(testVideoType(400000)));
    EXPECT_TRUE(header.CheckInputType(dvInterleavedType()));
    EXPECT_FALSE(header.CheckInputType(rgb24Type(8, 8)));
}

} // namespace
