#include "platform/media/filters/banded_scaler.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace vidora::media::ffmpeg;

// A picture in its own buffer. RGB pictures may be addressed bottom-up (the
// first row last in memory, negative strides), as the RGB24 samples are.
struct Image
{
    BandedScaler::Picture picture;
    std::uint8_t *data[4] = {};
    int stride[4] = {};
    std::uint8_t *buffer = nullptr;
    int size = 0;

    Image(BandedScaler::Picture p, bool bottomUp) : picture(p)
    {
        size = av_image_alloc(data, stride, p.width, p.height, p.format, 32);
        buffer = data[0];
        const bool rgb = av_pix_fmt_desc_get(p.format)->flags & AV_PIX_FMT_FLAG_RGB;
        if (size < 0 || !bottomUp || !rgb)
            return;
        for (int i = 0; i < 4 && data[i]; ++i) {
            data[i] += static_cast<std::ptrdiff_t>(rows(i) - 1) * stride[i];
            stride[i] = -stride[i];
        }
    }
    ~Image() { av_free(buffer); }
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;

    int rows(int plane) const
    {
        const int shift =
            plane == 1 || plane == 2 ? av_pix_fmt_desc_get(picture.format)->log2_chroma_h : 0;
        return -((-picture.height) >> shift);
    }
    void fill(unsigned seed)
    {
        std::mt19937 random(seed);
        for (int i = 0; i < size; ++i)
            buffer[i] = static_cast<std::uint8_t>(random());
    }
    // The bytes of the picture itself, row after row, without padding.
    std::vector<std::uint8_t> visible() const
    {
        std::vector<std::uint8_t> bytes;
        for (int p = 0; p < 4 && data[p]; ++p) {
            const int width = av_image_get_linesize(picture.format, picture.width, p);
            for (int row = 0; row < rows(p); ++row) {
                const std::uint8_t *line = data[p] + static_cast<std::ptrdiff_t>(row) * stride[p];
                bytes.insert(bytes.end(), line, line + width);
            }
        }
        return bytes;
    }
};

struct Case
{
    const char *name;
    AVPixelFormat in;
    int inWidth, inHeight;
    AVPixelFormat out;
    int outWidth, outHeight;
    int maxBands;
    bool bottomUp; // RGB pictures are addressed bottom-up
    int bands;     // what the scaler should use
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

// The conversions the DV decoder, the DV encoder, the colour converter and
// the video decoder make, and pictures that cannot be split exactly.
const Case Cases[] = {
    {"PalYuvToRgb", AV_PIX_FMT_YUV420P, 720, 576, AV_PIX_FMT_BGR24, 720, 576, 8, true, 8},
    {"PalYuvToRgbTopDown", AV_PIX_FMT_YUV420P, 720, 576, AV_PIX_FMT_BGR24, 720, 576, 8, false, 8},
    {"NtscYuvToRgb", AV_PIX_FMT_YUV411P, 720, 480, AV_PIX_FMT_BGR24, 720, 480, 8, true, 8},
    {"Ntsc420ToRgb", AV_PIX_FMT_YUV420P, 720, 480, AV_PIX_FMT_BGR24, 720, 480, 3, true, 3},
    {"PalRgbToYuv", AV_PIX_FMT_BGR24, 720, 576, AV_PIX_FMT_YUV420P, 720, 576, 8, true, 8},
    {"NtscRgbToYuv", AV_PIX_FMT_BGR24, 720, 480, AV_PIX_FMT_YUV411P, 720, 480, 8, true, 8},
    {"NtscRgbTo420FiveBands", AV_PIX_FMT_BGR24, 720, 480, AV_PIX_FMT_YUV420P, 720, 480, 5, false,
     5},
    {"TopDownRgbTo411", AV_PIX_FMT_BGR24, 720, 576, AV_PIX_FMT_YUV411P, 720, 576, 4, false, 4},
    {"Odd411Height", AV_PIX_FMT_YUV411P, 720, 481, AV_PIX_FMT_BGR24, 720, 481, 8, true, 8},
    {"OddRgbTo411Height", AV_PIX_FMT_BGR24, 720, 575, AV_PIX_FMT_YUV411P, 720, 575, 8, false, 8},
    {"Odd420HeightOneBand", AV_PIX_FMT_YUV420P, 720, 575, AV_PIX_FMT_BGR24, 720, 575, 8, true, 1},
    {"OddRgbTo420OneBand", AV_PIX_FMT_BGR24, 720, 481, AV_PIX_FMT_YUV420P, 720, 481, 8, false, 1},
    {"LowerThanTwoBands", AV_PIX_FMT_YUV420P, 720, 30, AV_PIX_FMT_BGR24, 720, 30, 8, true, 1},
    {"ExactlyTwoBands", AV_PIX_FMT_YUV420P, 720, 32, AV_PIX_FMT_BGR24, 720, 32, 8, true, 2},
    {"BandsCappedByHeight", AV_PIX_FMT_BGR24, 64, 48, AV_PIX_FMT_YUV420P, 64, 48, 8, false, 3},
    {"PackedYuvToRgb32", AV_PIX_FMT_YUYV422, 64, 48, AV_PIX_FMT_BGRA, 64, 48, 8, true, 3},
    {"Rgb24ToUyvy", AV_PIX_FMT_BGR24, 720, 576, AV_PIX_FMT_UYVY422, 720, 576, 8, false, 8},
    {"FullRangeJpeg", AV_PIX_FMT_YUVJ422P, 640, 480, AV_PIX_FMT_BGR24, 640, 480, 8, true, 8},
    {"ScalingOneBand", AV_PIX_FMT_YUV420P, 720, 576, AV_PIX_FMT_BGR24, 360, 288, 8, true, 1},
    {"DeepSourceOneBand", AV_PIX_FMT_YUV420P10LE, 720, 576, AV_PIX_FMT_BGR24, 720, 576, 8, true, 1},
    {"OneBandAsked", AV_PIX_FMT_YUV411P, 720, 480, AV_PIX_FMT_BGR24, 720, 480, 1, true, 1},
};

class BandedScalerTest : public ::testing::TestWithParam<Case>
{};

TEST_P(BandedScalerTest, MatchesOneWholePictureConversion)
{
    const Case &c = GetParam();
    const BandedScaler::Picture in{c.inWidth, c.inHeight, c.in};
    const BandedScaler::Picture out{c.outWidth, c.outHeight, c.out};
    BandedScaler banded(in, out, SWS_BICUBIC, c.maxBands);
    ASSERT_TRUE(banded.isValid());
    EXPECT_EQ(banded.bandCount(), c.bands);
    SwsPtr whole(sws_getContext(in.width, in.height, in.format, out.width, out.height, out.format,
                                SWS_BICUBIC, nullptr, nullptr, nullptr));
    ASSERT_TRUE(whole);

    // Several pictures through the same scaler: its workers take each one.
    for (unsigned seed : {1u, 2u, 3u}) {
        Image source(in, c.bottomUp);
        Image expected(out, c.bottomUp);
        Image actual(out, c.bottomUp);
        ASSERT_GE(source.size, 0);
        source.fill(seed);
        expected.fill(seed + 100);
        actual.fill(seed + 200);
        ASSERT_EQ(sws_scale(whole.get(), source.data, source.stride, 0, in.height, expected.data,
                            expected.stride),
                  out.height);
        ASSERT_TRUE(banded.scale(source.data, source.stride, actual.data, actual.stride));
        ASSERT_EQ(actual.visible(), expected.visible()) << "picture " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Conversions, BandedScalerTest, ::testing::ValuesIn(Cases),
                         [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

TEST(BandedScaler, RefusedConversionFails)
{
    BandedScaler scaler({0, 576, AV_PIX_FMT_YUV420P}, {0, 576, AV_PIX_FMT_BGR24}, SWS_BICUBIC, 8);
    EXPECT_FALSE(scaler.isValid());
    std::uint8_t pixel[4] = {};
    std::uint8_t *const planes[4] = {pixel, pixel, pixel, nullptr};
    const int strides[4] = {1, 1, 1, 0};
    EXPECT_FALSE(scaler.scale(planes, strides, planes, strides));
}

} // namespace
