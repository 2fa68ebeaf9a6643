#include "formats/dvcodes.h"
#include "support/dvframe.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

constexpr int kPalSequences = 12;
constexpr int kNtscSequences = 10;
constexpr std::size_t kSequenceBytes = 12000;

std::vector<std::uint8_t> bytesOf(const DvFrame &frame)
{
    return {frame.bytes().begin(), frame.bytes().end()};
}

// A heap copy of the first `size` bytes of a frame, allocated to exactly that
// size so that AddressSanitizer reports any read or write beyond it.
class ExactBuffer
{
public:
    ExactBuffer(std::span<const std::uint8_t> source, std::size_t size)
        : m_data(std::make_unique<std::uint8_t[]>(size)), m_size(size)
    {
        std::copy_n(source.begin(), size, m_data.get());
    }
    std::span<std::uint8_t> span() { return {m_data.get(), m_size}; }
    std::vector<std::uint8_t> bytes() const { return {m_data.get(), m_data.get() + m_size}; }

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_size;
};

// A frame laid out like a camcorder's: time code in every subcode slot, source
// control, date and time packs in VAUX slots 1, 2, 3 and 10, 11, 12 of every VAUX
// block (so date and time also sit at the fixed positions 458 and 463), and the
// AAUX source pack in the first audio block of sequence 0.
DvFrame camcorderFrame(DvStandard standard)
{
    DvFrame frame(standard);
    for (int s = 0; s < frame.sequences(); ++s) {
        for (int b = 0; b < 2; ++b)
            for (int k = 0; k < 6; ++k)
                frame.setPack(subcodeSlot(s, b, k), timecodePack(10, 20, 30, 12));
        for (int b = 0; b < 3; ++b) {
            for (int first : {1, 10}) {
                frame.setPack(vauxSlot(s, b, first), vauxSourceControlPack(0));
                frame.setPack(vauxSlot(s, b, first + 1), recDatePack(14, 7, 3));
                frame.setPack(vauxSlot(s, b, first + 2), recTimePack(15, 16, 17));
            }
        }
    }
    frame.setAauxPack(0, 0, aauxSourcePack(0xD6, 0x00, 0xE0, 0xC8));
    return frame;
}

// ---------------------------------------------------------------------------
// Pack search

TEST(DvPackSearch, FirstPackInSearchOrderWins)
{
    // Two packs with the same identifier and different values: the one at
    // `first` must be reported.
    const struct
    {
        const char *name;
        DvPackSlot first;
        DvPackSlot second;
    } cases[] = {
        {"subcode block 1 before block 2", subcodeSlot(0, 0, 5), subcodeSlot(0, 1, 0)},
        {"subcode before VAUX", subcodeSlot(0, 1, 5), vauxSlot(0, 0, 0)},
        {"VAUX block 3 before block 4", vauxSlot(0, 0, 14), vauxSlot(0, 1, 0)},
        {"VAUX block 4 before block 5", vauxSlot(0, 1, 14), vauxSlot(0, 2, 0)},
        {"slot order within a block", vauxSlot(0, 2, 3), vauxSlot(0, 2, 4)},
        {"sequence 0 VAUX before sequence 1 subcode", vauxSlot(0, 2, 14), subcodeSlot(1, 0, 0)},
        {"last slot of the last sequence", vauxSlot(11, 2, 14), vauxSlot(11, 2, 14)},
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setPack(c.second, {0x13, 0x02, 0x02, 0x02, 0x02});
        frame.setPack(c.first, {0x13, 0x01, 0x01, 0x01, 0x01});
        TDvPack pack{};
        EXPECT_TRUE(FindDvPack(frame.bytes(), 0x13, kPalSequences, pack)) << c.name;
        EXPECT_EQ(pack, (TDvPack{0x13, 0x01, 0x01, 0x01, 0x01})) << c.name;
    }
}

TEST(DvPackSearch, LooksOnlyAtPackSlotsOfTheGivenSequences)
{
    const struct
    {
        const char *name;
        std::size_t offset; // where the identifier byte is placed
        int nSeq;
    } cases[] = {
        {"subcode sync block ID", DvFrame::blockOffset(0, 1) + 3, kPalSequences},
        {"subcode reserved tail", DvFrame::blockOffset(0, 1) + 60, kPalSequences},
        {"between VAUX slots", DvFrame::packOffset(vauxSlot(0, 0, 0)) + 1, kPalSequences},
        {"VAUX reserved tail", DvFrame::blockOffset(0, 3) + 78, kPalSequences},
        {"header block", DvFrame::blockOffset(0, 0) + 8, kPalSequences},
        {"AAUX pack", DvFrame::aauxOffset(0, 0), kPalSequences},
        {"video block", DvFrame::blockOffset(0, 7) + 3, kPalSequences},
        {"sequence beyond nSeq", DvFrame::packOffset(vauxSlot(10, 0, 0)), 10},
        {"nSeq 0", DvFrame::packOffset(subcodeSlot(0, 0, 0)), 0},
        {"nSeq negative", DvFrame::packOffset(subcodeSlot(0, 0, 0)), -1},
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setByte(c.offset, 0x63);
        TDvPack pack{};
        EXPECT_FALSE(FindDvPack(frame.bytes(), 0x63, c.nSeq, pack)) << c.name;

        // A byte off the pack slots does not hide a real pack after it.
        const DvPackBytes real{0x63, 0x01, 0x02, 0x03, 0x04};
        frame.setPack(vauxSlot(0, 2, 14), real);
        EXPECT_EQ(FindDvPack(frame.bytes(), 0x63, c.nSeq, pack), c.nSeq > 0) << c.name;
        if (c.nSeq > 0) {
            EXPECT_EQ(pack, real) << c.name;
        }
    }
}

TEST(DvPackSearch, AauxSearchCopiesTheWholeFirstMatchingAudioBlock)
{
    DvFrame frame(DvStandard::Pal);
    frame.setPack(vauxSlot(0, 0, 0), aauxSourcePack(1, 1, 1, 1)); // not an audio block
    frame.setAauxPack(1, 0, aauxSourcePack(2, 2, 2, 2));
    frame.setAauxPack(0, 8, aauxSourcePack(3, 3, 3, 3)); // block 134 of sequence 0 comes first
    frame.setByte(DvFrame::blockOffset(0, 134) + 79, 0x5A);

    TDvBlock block{};
    ASSERT_TRUE(FindAauxPack(frame.bytes(), 0x50, kPalSequences, block));
    const auto expected = frame.bytes().subspan(DvFrame::blockOffset(0, 134), 80);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), expected.begin()));

    EXPECT_FALSE(FindAauxPack(frame.bytes(), 0x51, kPalSequences, block));
    EXPECT_FALSE(FindAauxPack(frame.bytes(), 0x50, 0, block));

    DvFrame later(DvStandard::Pal);
    later.setAauxPack(11, 8, aauxSourcePack(4, 4, 4, 4));
    ASSERT_TRUE(FindAauxPack(later.bytes(), 0x50, kPalSequences, block));
    EXPECT_EQ(block[3 + 1], 4);
    EXPECT_FALSE(FindAauxPack(later.bytes(), 0x50, 11, block));
}

// ---------------------------------------------------------------------------
// Time code

TEST(DvTimecode, DecodesBcdWithTheTensMasks)
{
    const struct
    {
        DvPackBytes pack;
        TDvTimecode expected; // hours, minutes, seconds, frames
    } cases[] = {
        {timecodePack(1, 2, 3, 4), {1, 2, 3, 4}},
        {timecodePack(23, 59, 59, 29), {23, 59, 59, 29}},
        {timecodePack(0, 0, 0, 0, 0xC0), {0, 0, 0, 0}}, // colour frame and drop frame flags
        {{0x13, 0x00, 0x00, 0x00, 0x00}, {0, 0, 0, 0}},
        {{0x13, 0xFF, 0xFF, 0xFF, 0xFF}, {45, 85, 85, 45}}, // no range check
        {{0x13, 0x4A, 0x8B, 0x8C, 0xCD}, {13, 12, 11, 10}}, // units digits beyond 9
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Ntsc);
        frame.setPack(subcodeSlot(3, 1, 2), c.pack);
        TDvTimecode tc{};
        ASSERT_TRUE(ReadDvTimecode(frame.bytes(), kNtscSequences, tc));
        EXPECT_EQ(tc.Hours, c.expected.Hours);
        EXPECT_EQ(tc.Minutes, c.expected.Minutes);
        EXPECT_EQ(tc.Seconds, c.expected.Seconds);
        EXPECT_EQ(tc.Frames, c.expected.Frames);
    }

    TDvTimecode untouched{1, 2, 3, 4};
    EXPECT_FALSE(ReadDvTimecode(DvFrame(DvStandard::Ntsc).bytes(), kNtscSequences, untouched));
}

// ---------------------------------------------------------------------------
// Recording date and time

void expectDateTime(const TDvRecDateTime &dt, int year, int month, int day, int hour, int minute,
                    int second, const char *what)
{
    EXPECT_EQ(dt.Year, year) << what;
    EXPECT_EQ(dt.Month, month) << what;
    EXPECT_EQ(dt.Day, day) << what;
    EXPECT_EQ(dt.Hour, hour) << what;
    EXPECT_EQ(dt.Minute, minute) << what;
    EXPECT_EQ(dt.Second, second) << what;
}

TEST(DvRecDateTime, TwoDigitYearsReadIn1970To2069)
{
    const struct
    {
        int twoDigits;
        int year;
    } cases[] = {{0, 2000},  {1, 2001},  {24, 2024}, {25, 2025}, {31, 2031},
                 {69, 2069}, {70, 1970}, {95, 1995}, {99, 1999}};
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setPack(vauxSlot(0, 0, 2), recDatePack(1, 1, c.twoDigits));
        frame.setPack(vauxSlot(0, 0, 3), recTimePack(0, 0, 0));
        TDvRecDateTime dt{};
        ASSERT_TRUE(ReadDvRecDateTime(frame.bytes(), kPalSequences, dt)) << c.twoDigits;
        EXPECT_EQ(dt.Year, c.year) << c.twoDigits;
        EXPECT_EQ(DvYearFromTwoDigits(c.twoDigits), c.year);
    }
}

TEST(DvRecDateTime, DecodesBcdWithTheTensMasks)
{
    const struct
    {
        const char *name;
        DvPackBytes date;
        DvPackBytes time;
        int year, month, day, hour, minute, second;
    } cases[] = {
        {"camcorder packs", recDatePack(31, 12, 99, 5), recTimePack(23, 59, 58), 1999, 12, 31, 23,
         59, 58},
        {"flag bits all set",
         {0x62, 0xFF, 0xC9, 0xE2, 0x24},
         {0x63, 0xFF, 0x80, 0x80, 0xC0},
         2024,
         2,
         9,
         0,
         0,
         0},
        {"flag bits all clear",
         {0x62, 0x00, 0x29, 0x02, 0x24},
         {0x63, 0x00, 0x45, 0x30, 0x12},
         2024,
         2,
         29,
         12,
         30,
         45},
        {"all 0xFF",
         {0x62, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x63, 0xFF, 0xFF, 0xFF, 0xFF},
         1900 + 165,
         25,
         45,
         45,
         85,
         85},
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setPack(subcodeSlot(6, 0, 1), c.date);
        frame.setPack(subcodeSlot(6, 0, 2), c.time);
        TDvRecDateTime dt{};
        ASSERT_TRUE(ReadDvRecDateTime(frame.bytes(), kPalSequences, dt)) << c.name;
        expectDateTime(dt, c.year, c.month, c.day, c.hour, c.minute, c.second, c.name);
    }
}

TEST(DvRecDateTime, FallsBackToTheFixedPositions)
{
    constexpr std::size_t kDateAt = 458;
    constexpr std::size_t kTimeAt = 463;
    const DvPackBytes fixedDate = recDatePack(2, 3, 4);
    const DvPackBytes fixedTime = recTimePack(5, 6, 7);
    const DvPackBytes zeroDate{0x00, 0x00, 0x02, 0x03, 0x04}; // id 0x00, same values
    const DvPackBytes zeroTime{0x00, 0x00, 0x07, 0x06, 0x05};
    const DvPackBytes searchedDate = recDatePack(20, 10, 90);
    const DvPackBytes searchedTime = recTimePack(20, 30, 40);
    const DvPackBytes other{0x13, 0x00, 0x00, 0x00, 0x00};
    const DvPackBytes blank{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

    const struct
    {
        const char *name;
        bool searchedDatePresent;
        bool searchedTimePresent;
        DvPackBytes at458;
        DvPackBytes at463;
        bool expected;
        bool fromFixed; // else from the searched packs
    } cases[] = {
        {"both found by the search", true, true, zeroDate, zeroTime, true, false},
        {"only the time found: both from the fixed positions", false, true, zeroDate, zeroTime,
         true, true},
        {"only the time found, 458 neither 0x62 nor 0x00", false, true, other, zeroTime, false,
         false},
        {"only the time found, 463 neither 0x63 nor 0x00", false, true, zeroDate, other, false,
         false},
        {"only the date found (at 458 itself), 463 is 0x00", false, false, fixedDate, zeroTime,
         true, true},
        {"nothing found, both 0x00", false, false, zeroDate, zeroTime, true, true},
        {"nothing found, blank frame", false, false, blank, blank, false, false},
        {"only the date found elsewhere, fixed time 0x00", true, false, zeroDate, zeroTime, true,
         true},
        {"fixed packs found by the search", false, false, fixedDate, fixedTime, true, true},
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        // The searched packs sit in a later sequence, so packs at 458/463 that
        // carry their identifier would be found first.
        if (c.searchedDatePresent)
            frame.setPack(vauxSlot(2, 0, 0), searchedDate);
        if (c.searchedTimePresent)
            frame.setPack(vauxSlot(2, 0, 1), searchedTime);
        for (std::size_t i = 0; i < 5; ++i) {
            frame.setByte(kDateAt + i, c.at458[i]);
            frame.setByte(kTimeAt + i, c.at463[i]);
        }
        TDvRecDateTime dt{};
        ASSERT_EQ(ReadDvRecDateTime(frame.bytes(), kPalSequences, dt), c.expected) << c.name;
        if (!c.expected)
            continue;
        if (c.fromFixed)
            expectDateTime(dt, 2004, 3, 2, 5, 6, 7, c.name);
        else
            expectDateTime(dt, 1990, 10, 20, 20, 30, 40, c.name);
    }
}

TEST(DvRecDateTime, AllZeroFixedPacksDecodeAsStored)
{
    DvFrame frame(DvStandard::Pal);
    for (std::size_t i = 458; i < 468; ++i)
        frame.setByte(i, 0x00);
    TDvRecDateTime dt{};
    ASSERT_TRUE(ReadDvRecDateTime(frame.bytes(), kPalSequences, dt));
    expectDateTime(dt, 2000, 0, 0, 0, 0, 0, "all zero");
}

// ---------------------------------------------------------------------------
// Writing the recording date and time

TEST(DvRecDateTimeWrite, KeepsTheFlagBitsOfEachField)
{
    const struct
    {
        const char *name;
        DvPackBytes before;
        TDvRecDateTime value;
        DvPackBytes after;
    } cases[] = {
        // Week day 5 (bits 7–5) kept, bit 4 cleared, PC2 bits 7–6 kept, PC1 untouched.
        {"date 2024-05-31",
         {0x62, 0xA5, 0xD2, 0xB2, 0x99},
         {2024, 5, 31, 0, 0, 0},
         {0x62, 0xA5, 0xF1, 0xA5, 0x24}},
        {"date on all-set bits",
         {0x62, 0xFF, 0xFF, 0xFF, 0xFF},
         {1999, 12, 9, 0, 0, 0},
         {0x62, 0xFF, 0xC9, 0xF2, 0x99}},
        {"date on all-clear bits",
         {0x62, 0x00, 0x00, 0x00, 0x00},
         {2031, 1, 1, 0, 0, 0},
         {0x62, 0x00, 0x01, 0x01, 0x31}},
        {"year 1970",
         {0x62, 0x00, 0x00, 0x00, 0x00},
         {1970, 10, 20, 0, 0, 0},
         {0x62, 0x00, 0x20, 0x10, 0x70}},
        {"year 2100",
         {0x62, 0x00, 0x00, 0x00, 0x00},
         {2100, 1, 1, 0, 0, 0},
         {0x62, 0x00, 0x01, 0x01, 0x00}},
        {"day and month tens too large keep the old tens",
         {0x62, 0x00, 0x20, 0x10, 0x00},
         {2000, 25, 45, 0, 0, 0},
         {0x62, 0x00, 0x25, 0x15, 0x00}},
        {"time on all-set bits",
         {0x63, 0xFF, 0xFF, 0xFF, 0xFF},
         {0, 0, 0, 23, 59, 58},
         {0x63, 0xFF, 0xD8, 0xD9, 0xE3}},
        {"time on all-clear bits",
         {0x63, 0x00, 0x00, 0x00, 0x00},
         {0, 0, 0, 7, 8, 9},
         {0x63, 0x00, 0x09, 0x08, 0x07}},
        {"time tens too large keep the old tens",
         {0x63, 0x00, 0x30, 0x40, 0x10},
         {0, 0, 0, 45, 85, 99},
         {0x63, 0x00, 0x39, 0x45, 0x15}},
    };
    for (const auto &c : cases) {
        DvPackBytes pack = c.before;
        if (pack[0] == 0x62)
            WriteDvRecDatePack(pack, c.value);
        else
            WriteDvRecTimePack(pack, c.value);
        EXPECT_EQ(pack, c.after) << c.name;
    }
}

TEST(DvRecDateTimeWrite, RewritesEveryDateAndTimePackOfTheFrameAndNothingElse)
{
    const TDvRecDateTime value{2031, 2, 28, 9, 8, 7};
    auto build = [](bool rewritten, int rewrittenSequences) {
        DvFrame frame(DvStandard::Pal);
        for (int s = 0; s < 12; ++s) {
            const bool r = rewritten && s < rewrittenSequences;
            // Week days differ so that kept bits are visible in the comparison.
            frame.setPack(subcodeSlot(s, 0, 1),
                          r ? recDatePack(28, 2, 31, 3) : recDatePack(1, 1, 3, 3));
            frame.setPack(subcodeSlot(s, 1, 5), r ? recTimePack(9, 8, 7) : recTimePack(1, 1, 1));
            frame.setPack(vauxSlot(s, 2, 14),
                          r ? recDatePack(28, 2, 31, 6) : recDatePack(1, 1, 3, 6));
            frame.setPack(vauxSlot(s, 0, 0), r ? recTimePack(9, 8, 7) : recTimePack(1, 1, 1));
            frame.setPack(vauxSlot(s, 1, 0), timecodePack(1, 1, 1, 1));
            // Packs with the identifiers inside audio blocks are not touched.
            frame.setAauxPack(s, 3, recDatePack(1, 1, 3));
            frame.setAauxPack(s, 4, recTimePack(1, 1, 1));
        }
        return bytesOf(frame);
    };

    for (const int nSeq : {12, 6, 0}) {
        std::vector<std::uint8_t> bytes = build(false, 0);
        WriteDvRecDateTime(bytes, nSeq, value);
        EXPECT_TRUE(bytes == build(true, nSeq)) << "nSeq " << nSeq;
    }

    DvFrame blank(DvStandard::Pal);
    WriteDvRecDateTime(blank.bytes(), kPalSequences, value);
    EXPECT_TRUE(bytesOf(blank) == bytesOf(DvFrame(DvStandard::Pal)));
}

TEST(DvRecDateTimeWrite, RoundTripsEveryValidDate)
{
    DvFrame frame = camcorderFrame(DvStandard::Ntsc);
    const TDvRecDateTime cases[] = {{1970, 1, 1, 0, 0, 0},      {1995, 6, 15, 12, 30, 45},
                                    {1999, 12, 31, 23, 59, 59}, {2000, 1, 1, 0, 0, 0},
                                    {2024, 2, 29, 1, 2, 3},     {2025, 10, 19, 19, 9, 10},
                                    {2069, 12, 31, 23, 59, 59}};
    for (const auto &c : cases) {
        WriteDvRecDateTime(frame.bytes(), kNtscSequences, c);
        TDvRecDateTime dt{};
        ASSERT_TRUE(ReadDvRecDateTime(frame.bytes(), kNtscSequences, dt));
        expectDateTime(dt, c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, "round trip");
    }
}

// ---------------------------------------------------------------------------
// System, audio format, display mode

TEST(DvSystemByte, ReadsTheHeaderOfSequenceZero)
{
    const struct
    {
        std::uint8_t byte3;
        bool expected;
        bool is525;
    } cases[] = {{0x3F, true, true},   {0xBF, true, false},  {0x00, false, false},
                 {0xFF, false, false}, {0x3E, false, false}, {0xBE, false, false}};
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setHeaderByte(0, 3, c.byte3);
        for (const bool initial : {false, true}) {
            bool is525 = initial;
            EXPECT_EQ(ReadDvSystem(frame.bytes(), is525), c.expected) << int(c.byte3);
            EXPECT_EQ(is525, c.expected ? c.is525 : initial) << int(c.byte3);
        }
    }
    bool is525 = false;
    EXPECT_TRUE(ReadDvSystem(DvFrame(DvStandard::Ntsc).bytes(), is525));
    EXPECT_TRUE(is525);
}

TEST(DvAudioFormat, DecodesTheAauxSourcePack)
{
    const struct
    {
        std::uint8_t pc2, pc4;
        std::int32_t rate, bits, channels;
    } cases[] = {
        {0x00, 0xC8, 44100, 16, 2}, // 44.1 kHz, 16 bits, stereo pair
        {0x01, 0xC8, 44100, 16, 0}, // audio mode 1 is not decoded
        {0x0F, 0xC0, 48000, 16, 0}, {0x00, 0xC0, 48000, 16, 2},
        {0x00, 0xD0, 32000, 16, 2}, {0x00, 0xD1, 32000, 12, 2},
        {0x00, 0xD8, 0, 16, 2}, // rate code 3 unknown
        {0x00, 0xF8, 0, 16, 2}, // rate code 7
        {0x00, 0xC2, 48000, 0, 2},  {0x00, 0xC7, 48000, 0, 2},
        {0x20, 0xC0, 48000, 16, 1}, {0x10, 0xC0, 48000, 16, 4},
        {0x30, 0xC0, 48000, 16, 2}, {0xC0, 0xC0, 48000, 16, 2}, // bits 7–6 ignored
        {0x00, 0x00, 48000, 16, 2},
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setAauxPack(1, 2, aauxSourcePack(0xD6, c.pc2, 0xE0, c.pc4));
        std::int32_t rate = -1, bits = -1, channels = -1;
        ASSERT_TRUE(ReadDvAudioFormat(frame.bytes(), kPalSequences, rate, bits, channels));
        EXPECT_EQ(rate, c.rate) << std::hex << int(c.pc2) << " " << int(c.pc4);
        EXPECT_EQ(bits, c.bits) << std::hex << int(c.pc2) << " " << int(c.pc4);
        EXPECT_EQ(channels, c.channels) << std::hex << int(c.pc2) << " " << int(c.pc4);
    }
    std::int32_t rate = 0, bits = 0, channels = 0;
    EXPECT_FALSE(
        ReadDvAudioFormat(DvFrame(DvStandard::Pal).bytes(), kPalSequences, rate, bits, channels));
}

TEST(DvWideFlag, ReadsTheDisplayModeWithHeaderByte12OfSequenceZero)
{
    const struct
    {
        int mode;
        std::uint8_t header12;
        bool wide;
    } cases[] = {
        {2, 0xFF, true},  {2, 0x00, true},  {7, 0xFF, false}, {7, 0xF8, true},  {7, 0x00, true},
        {7, 0x01, false}, {0, 0x00, false}, {1, 0x00, false}, {3, 0xFF, false}, {6, 0x00, false},
    };
    for (const auto &c : cases) {
        DvFrame frame(DvStandard::Pal);
        frame.setHeaderByte(0, 12, c.header12);
        frame.setHeaderByte(1, 12, c.header12 ^ 0x07); // another sequence's header has no say
        frame.setPack(vauxSlot(1, 1, 4), vauxSourceControlPack(c.mode));
        frame.setPack(vauxSlot(2, 0, 0), vauxSourceControlPack(c.mode == 2 ? 0 : 2));
        bool wide = !c.wide;
        ASSERT_TRUE(ReadDvWideFlag(frame.bytes(), kPalSequences, wide));
        EXPECT_EQ(wide, c.wide) << c.mode << " " << int(c.header12);
    }
    bool wide = true;
    EXPECT_FALSE(ReadDvWideFlag(DvFrame(DvStandard::Pal).bytes(), kPalSequences, wide));
}

TEST(DvWideFlag, SetRewritesEveryControlPackWithItsOwnSequenceHeader)
{
    // Sequence s holds control packs in subcode and VAUX; even sequences have
    // the filler 0xFF in header byte 12, odd ones 0xF8 (low bits clear).
    const auto build = [](int subcodeMode, int vauxMode, int oddSubcodeMode, int oddVauxMode) {
        DvFrame frame(DvStandard::Ntsc);
        for (int s = 0; s < 10; ++s) {
            const bool odd = s % 2 == 1;
            if (odd)
                frame.setHeaderByte(s, 12, 0xF8);
            frame.setPack(subcodeSlot(s, 1, 3),
                          vauxSourceControlPack(odd ? oddSubcodeMode : subcodeMode, 0x38));
            frame.setPack(vauxSlot(s, 2, 1), vauxSourceControlPack(odd ? oddVauxMode : vauxMode));
            frame.setAauxPack(s, 0, vauxSourceControlPack(5)); // not a pack slot
        }
        return frame;
    };
    const struct
    {
        bool wide;
        int from;
        int evenMode; // header byte 12 = 0xFF
        int oddMode;  // header byte 12 = 0xF8
    } cases[] = {{false, 7, 0, 0}, {false, 2, 0, 0}, {true, 0, 2, 7}, {true, 7, 2, 7}};
    for (const auto &c : cases) {
        DvFrame frame = build(c.from, c.from, c.from, c.from);
        SetDvWideFlag(frame.bytes(), kNtscSequences, c.wide);
        EXPECT_TRUE(bytesOf(frame) == bytesOf(build(c.evenMode, c.evenMode, c.oddMode, c.oddMode)))
            << c.wide << " from " << c.from;
    }

    DvFrame blank(DvStandard::Ntsc);
    SetDvWideFlag(blank.bytes(), kNtscSequences, true);
    EXPECT_TRUE(bytesOf(blank) == bytesOf(DvFrame(DvStandard::Ntsc)));
}

// ---------------------------------------------------------------------------
// Bounds: every routine stays inside the buffer it is given.

TEST(DvBounds, ShortBuffersAnswerOnlyFromWhatTheyHold)
{
    const DvFrame frame = camcorderFrame(DvStandard::Pal);
    std::vector<std::size_t> cuts;
    for (std::size_t c = 0; c <= kSequenceBytes; c += 80)
        cuts.push_back(c);
    for (std::size_t c : {1, 3, 4, 12, 13, 457, 462, 467, 468, 11999, 12001, 23999, 143999})
        cuts.push_back(c);

    for (const std::size_t cut : cuts) {
        SCOPED_TRACE(cut);
        ExactBuffer buffer(frame.bytes(), cut);
        const bool wholeSequence = cut >= kSequenceBytes;

        TDvPack pack{};
        TDvBlock block{};
        TDvTimecode tc{};
        TDvRecDateTime dt{};
        bool is525 = true;
        bool wide = true;
        std::int32_t rate = 0, bits = 0, channels = 0;
        EXPECT_EQ(FindDvPack(buffer.span(), 0x13, kPalSequences, pack), wholeSequence);
        EXPECT_EQ(FindAauxPack(buffer.span(), 0x50, kPalSequences, block), wholeSequence);
        EXPECT_EQ(ReadDvTimecode(buffer.span(), kPalSequences, tc), wholeSequence);
        EXPECT_EQ(ReadDvAudioFormat(buffer.span(), kPalSequences, rate, bits, channels),
                  wholeSequence);
        EXPECT_EQ(ReadDvWideFlag(buffer.span(), kPalSequences, wide), wholeSequence);
        EXPECT_EQ(ReadDvSystem(buffer.span(), is525), cut >= 4);
        // Without a whole sequence the date comes from the fixed positions 458
        // and 463, which this frame fills, once they are in the buffer.
        EXPECT_EQ(ReadDvRecDateTime(buffer.span(), kPalSequences, dt), cut >= 468);
        if (cut >= 468)
            expectDateTime(dt, 2003, 7, 14, 15, 16, 17, "cut frame");

        const std::vector<std::uint8_t> before = buffer.bytes();
        WriteDvRecDateTime(buffer.span(), kPalSequences, {2031, 1, 2, 3, 4, 5});
        SetDvWideFlag(buffer.span(), kPalSequences, true);
        if (!wholeSequence) {
            EXPECT_TRUE(buffer.bytes() == before);
        }
    }
}

TEST(DvBounds, APartialSequenceIsNotSearchedNorWritten)
{
    DvFrame frame(DvStandard::Pal);
    frame.setPack(vauxSlot(2, 0, 0), recTimePack(1, 2, 3));
    frame.setPack(vauxSlot(2, 0, 1), vauxSourceControlPack(0));
    const std::size_t cut = 2 * kSequenceBytes + 500; // sequence 2's packs are in the buffer
    ExactBuffer buffer(frame.bytes(), cut);

    TDvPack pack{};
    EXPECT_FALSE(FindDvPack(buffer.span(), 0x63, kPalSequences, pack));
    const std::vector<std::uint8_t> before = buffer.bytes();
    WriteDvRecDateTime(buffer.span(), kPalSequences, {2031, 1, 2, 3, 4, 5});
    SetDvWideFlag(buffer.span(), kPalSequences, true);
    EXPECT_TRUE(buffer.bytes() == before);

    ExactBuffer whole(frame.bytes(), 3 * kSequenceBytes);
    EXPECT_TRUE(FindDvPack(whole.span(), 0x63, kPalSequences, pack));
}

TEST(DvBounds, SequenceCountsBeyondTheBufferStopAtItsEnd)
{
    // An NTSC frame read as PAL, and sequence counts far beyond any frame.
    DvFrame ntsc(DvStandard::Ntsc);
    ntsc.setPack(vauxSlot(9, 2, 14), recTimePack(1, 2, 3));
    ntsc.setAauxPack(9, 8, aauxSourcePack(0, 0, 0, 0));
    for (const int nSeq : {kPalSequences, 1000, INT_MAX}) {
        ExactBuffer buffer(ntsc.bytes(), ntsc.size());
        TDvPack pack{};
        TDvBlock block{};
        EXPECT_TRUE(FindDvPack(buffer.span(), 0x63, nSeq, pack)) << nSeq;
        EXPECT_TRUE(FindAauxPack(buffer.span(), 0x50, nSeq, block)) << nSeq;
        EXPECT_FALSE(FindDvPack(buffer.span(), 0x62, nSeq, pack)) << nSeq;
        WriteDvRecDateTime(buffer.span(), nSeq, {2031, 1, 2, 3, 4, 5});
        SetDvWideFlag(buffer.span(), nSeq, false);
        TDvRecDateTime dt{};
        EXPECT_FALSE(ReadDvRecDateTime(buffer.span(), nSeq, dt)) << nSeq;
    }
}

} // namespace
