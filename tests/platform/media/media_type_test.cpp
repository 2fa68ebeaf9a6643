#include "platform/media/media_type.h"
#include "support/lebytes.h"

#include <gtest/gtest.h>

namespace {

using namespace vidora::media;
using vidora::test::le32At;

TEST(MediaType, FormatBlocksAreByteExactLittleEndian)
{
    VideoInfoHeader v;
    v.rcSource = {1, 2, 720, 576};
    v.dwBitRate = 0x01020304;
    v.AvgTimePerFrame = 400000;
    v.bmiHeader.biWidth = 720;
    v.bmiHeader.biHeight = 576;
    v.bmiHeader.biCompression = fourCC("dvsd");
    v.bmiHeader.biSizeImage = 144000;
    const auto vb = v.bytes();
    ASSERT_EQ(vb.size(), 88u);
    EXPECT_EQ(le32At(vb, 8), 720u);            // rcSource.right
    EXPECT_EQ(le32At(vb, 32), 0x01020304u);    // dwBitRate
    EXPECT_EQ(le32At(vb, 40), 400000u);        // AvgTimePerFrame, low half
    EXPECT_EQ(le32At(vb, 48), 40u);            // biSize
    EXPECT_EQ(le32At(vb, 52), 720u);           // biWidth
    EXPECT_EQ(le32At(vb, 64), fourCC("dvsd")); // biCompression
    EXPECT_EQ(std::string(vb.begin() + 64, vb.begin() + 68), "dvsd");
    EXPECT_EQ(le32At(vb, 68), 144000u); // biSizeImage
    EXPECT_EQ(VideoInfoHeader::read(vb), v);

    WaveFormatEx w;
    w.nChannels = 2;
    w.nSamplesPerSec = 48000;
    w.nAvgBytesPerSec = 192000;
    w.nBlockAlign = 4;
    w.wBitsPerSample = 16;
    auto wb = w.bytes();
    ASSERT_EQ(wb.size(), 18u);
    EXPECT_EQ(le32At(wb, 4), 48000u);
    EXPECT_EQ(wb[16], 0); // cbSize
    EXPECT_EQ(WaveFormatEx::read(wb), w);
    // A 16-byte PCMWAVEFORMAT reads as the same format without extra bytes.
    EXPECT_EQ(WaveFormatEx::read(std::span(wb).first(16)), w);
    w.extra = {9, 8};
    wb = w.bytes();
    ASSERT_EQ(wb.size(), 20u);
    EXPECT_EQ(wb[16], 2);
    EXPECT_EQ(WaveFormatEx::read(wb), w);
    // cbSize beyond the block is refused, not read past the end.
    EXPECT_FALSE(WaveFormatEx::read(std::span(wb).first(19)));

    DvInfo d;
    d.dwDVAAuxSrc = 0xd0c0b0a0;
    d.dwDVVAuxCtl = 0x11223344;
    const auto db = d.bytes();
    ASSERT_EQ(db.size(), 32u);
    EXPECT_EQ(db[0], 0xa0);
    EXPECT_EQ(le32At(db, 20), 0x11223344u);
    EXPECT_EQ(DvInfo::read(db), d);

    EXPECT_FALSE(VideoInfoHeader::read(std::span(vb).first(87)));
    EXPECT_FALSE(DvInfo::read(std::span(db).first(31)));
}

TEST(MediaType, TypedViewsNeedTheirFormatType)
{
    const auto audio = MediaType::audio(WaveFormatEx{});
    EXPECT_TRUE(audio.waveFormat());
    EXPECT_FALSE(audio.videoInfo());
    EXPECT_FALSE(audio.dvInfo());
    MediaType shortBlock(MajorType::Video, subtype::Dvsd);
    shortBlock.setFormat(FormatType::VideoInfo, std::vector<std::uint8_t>(40));
    EXPECT_FALSE(shortBlock.videoInfo());
}

TEST(MediaType, PartialTypesMatchAsWildcards)
{
    const auto dv = MediaType::video(subtype::Dvsd, VideoInfoHeader{});
    const auto pcm = MediaType::audio(WaveFormatEx{});
    const struct
    {
        MediaType pattern;
        bool matchesDv;
        bool matchesPcm;
    } cases[] = {
        {MediaType(), true, true},
        {MediaType(MajorType::Video), true, false},
        {MediaType(MajorType::Audio), false, true},
        {MediaType(MajorType::Interleaved), false, false},
        {MediaType(MajorType::Video, subtype::Dvsd), true, false},
        {MediaType(MajorType::Video, subtype::Rgb24), false, false},
        {MediaType(MajorType::None, subtype::Pcm), false, true},
        {dv, true, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(dv.matches(c.pattern), c.matchesDv) << c.pattern.describe();
        EXPECT_EQ(pcm.matches(c.pattern), c.matchesPcm) << c.pattern.describe();
    }
    EXPECT_TRUE(MediaType(MajorType::Video).isPartial());
    EXPECT_FALSE(dv.isPartial());
}

} // namespace
