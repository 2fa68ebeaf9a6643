#pragma once

// Small RAII owners and helpers for the FFmpeg objects the codec filters use
// (libavcodec, libswscale, libswresample), and the picture layout of RGB24
// media samples.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/media/media_type.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vidora::media::ffmpeg {

struct CodecContextDeleter
{
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameDeleter
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketDeleter
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct SwsDeleter
{
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};
struct SwrDeleter
{
    void operator()(SwrContext *s) const { swr_free(&s); }
};

struct ParserDeleter
{
    void operator()(AVCodecParserContext *p) const { av_parser_close(p); }
};

using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;

// FFmpeg's text for an error code.
std::string errorText(int code);

// Threads for a codec: the processor count, at most 8 (slice threads of one
// codec, or the DV encoder's lanes, one frame each). libavcodec's frame
// threads are never used: they delay the output by several frames.
int defaultThreadCount();

// Bytes per row of a 24-bit picture `width` pixels wide: width × 3 rounded up
// to a multiple of 4 (the device-independent bitmap rule). 0 for width <= 0.
constexpr std::ptrdiff_t rgb24Stride(int width)
{
    return width <= 0 ? 0 : (static_cast<std::ptrdiff_t>(width) * 3 + 3) / 4 * 4;
}

// Bytes of a whole 24-bit picture with padded rows.
constexpr std::size_t rgb24ImageSize(int width, int height)
{
    return height <= 0 ? 0 : static_cast<std::size_t>(rgb24Stride(width)) * height;
}

// A Video/RGB24 type: bottom-up BGR rows with the padded stride, or top-down
// rows (a negative height in the header).
MediaType rgb24Type(int width, int height, std::int64_t avgTimePerFrame, bool topDown = false);

// Uncompressed picture layouts the colour converter and the encoder read.
struct PictureLayout
{
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0; // always positive
    bool bottomUp = false;
    bool chromaVFirst = false; // YV12: the V plane comes before the U plane
    std::size_t imageSize = 0; // bytes one picture needs
};

// The layout of an uncompressed video type (RGB24, RGB32, YUY2, UYVY, I420,
// YV12, Y41B), or nothing.
std::optional<PictureLayout> pictureLayout(const MediaType &type);

// Points `data`/`linesize` at a picture of `layout` held in `buffer`
// (bottom-up rows are addressed from the last row with a negative stride, so
// row 0 is always the top of the picture).
void pictureArrays(const PictureLayout &layout, const std::uint8_t *buffer,
                   const std::uint8_t *data[4], int linesize[4]);

// A Video type of planar pictures as the DV codec makes them: I420 for
// AV_PIX_FMT_YUV420P, Y41B for AV_PIX_FMT_YUV411P, the planes one after the
// other with no row padding. An empty type for any other format or a size the
// sampling does not divide.
MediaType planarType(AVPixelFormat format, int width, int height, std::int64_t avgTimePerFrame);

} // namespace vidora::media::ffmpeg
