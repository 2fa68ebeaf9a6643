#include "platform/media/filters/video_renderer.h"

#include "platform/media/filters/ffmpeg_support.h"

#include <cstring>
#include <new>
#include <vector>

namespace vidora::media {

// The buffers of the pictures handed to the sink. A picture's buffer comes
// back when the last copy of the picture is gone, on whichever thread drops
// it, and the next picture of the same size is written into it: no new
// allocation (and no fresh pages) per frame.
class PicturePool : public std::enable_shared_from_this<PicturePool>
{
public:
    QImage take(int width, int height, QImage::Format format)
    {
        // Rows padded to 4 bytes, as QImage lays out a picture of its own.
        const int depth = format == QImage::Format_RGB32 ? 4 : 3;
        const qsizetype stride = (qsizetype(width) * depth + 3) & ~qsizetype(3);
        const std::size_t bytes =
            static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
        if (width <= 0 || height <= 0)
            return {};
        std::unique_ptr<std::uint8_t[]> buffer;
        {
            std::lock_guard lock(m_mutex);
            if (bytes != m_bytes) {
                m_free.clear();
                m_bytes = bytes;
            }
            if (!m_free.empty()) {
                buffer = std::move(m_free.back());
                m_free.pop_back();
            }
        }
        if (!buffer)
            buffer.reset(new (std::nothrow) std::uint8_t[bytes]);
        if (!buffer)
            return {};
        auto *loan = new Loan{shared_from_this(), std::move(buffer), bytes};
        return QImage(loan->buffer.get(), width, height, stride, format, &PicturePool::giveBack,
                      loan);
    }

private:
    struct Loan
    {
        std::shared_ptr<PicturePool> pool;
        std::unique_ptr<std::uint8_t[]> buffer;
        std::size_t bytes;
    };

    static void giveBack(void *info)
    {
        std::unique_ptr<Loan> loan(static_cast<Loan *>(info));
        PicturePool &pool = *loan->pool;
        std::lock_guard lock(pool.m_mutex);
        if (loan->bytes == pool.m_bytes && pool.m_free.size() < MaxFree)
            pool.m_free.push_back(std::move(loan->buffer));
    }

    static constexpr std::size_t MaxFree = 4;

    std::mutex m_mutex;
    std::size_t m_bytes = 0;                             // guarded by m_mutex
    std::vector<std::unique_ptr<std::uint8_t[]>> m_free; // guarded by m_mutex
};

namespace {

// The layouts the renderer copies: 24-bit BGR and 32-bit BGRX, either row
// order.
std::optional<ffmpeg::PictureLayout> rgbLayout(const MediaType &type)
{
    const auto layout = ffmpeg::pictureLayout(type);
    if (!layout || (layout->format != AV_PIX_FMT_BGR24 && layout->format != AV_PIX_FMT_BGRA))
        return std::nullopt;
    return layout;
}

// A top-down copy of the picture in `sample`, in a picture of `pool`; null
// when the sample is shorter than the picture.
QImage copyPicture(const ffmpeg::PictureLayout &layout, const MediaSample &sample,
                   PicturePool &pool)
{
    if (sample.actualLength() < layout.imageSize)
        return {};
    const bool rgb32 = layout.format == AV_PIX_FMT_BGRA;
    QImage picture = pool.take(layout.width, layout.height,
                               rgb32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    if (picture.isNull())
        return {};
    const std::uint8_t *rows[4];
    int strides[4];
    ffmpeg::pictureArrays(layout, sample.data(), rows, strides);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * (rgb32 ? 4 : 3);
    // The picture is the pool's alone: its rows are written through one
    // pointer, without a detach check per row.
    std::uint8_t *bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    for (int y = 0; y < layout.height; ++y) {
        const std::uint8_t *from = rows[0] + static_cast<std::ptrdiff_t>(y) * strides[0];
        std::uint8_t *to = bits + y * stride;
        std::memcpy(to, from, rowBytes);
        // RGB32 is 0xffRRGGBB to QImage: the fourth byte of a BGRX pixel is
        // padding, which QImage would otherwise take as alpha.
        if (rgb32)
            for (std::size_t x = 3; x < rowBytes; x += 4)
                to[x] = 0xff;
    }
    return picture;
}

// The picture of a top-down 24-bit `sample` in its own buffer, which the
// picture keeps from its pool until the last copy of the picture is gone;
// null for another layout. The picture is read-only: a writer gets a copy.
QImage lendPicture(const ffmpeg::PictureLayout &layout, const SamplePtr &sample)
{
    if (layout.format != AV_PIX_FMT_BGR24 || layout.bottomUp ||
        sample->actualLength() < layout.imageSize)
        return {};
    auto *held = new SamplePtr(sample);
    QImage picture(
        static_cast<const uchar *>(sample->data()), layout.width, layout.height,
        static_cast<qsizetype>(ffmpeg::rgb24Stride(layout.width)), QImage::Format_BGR888,
        [](void *info) { delete static_cast<SamplePtr *>(info); }, held);
    if (picture.isNull())
        delete held;
    return picture;
}

} // namespace

VideoRendererFilter::VideoRendererFilter(std::shared_ptr<IVideoSink> sink)
    : RendererFilter("Video Renderer", "Input"), m_sink(std::move(sink)),
      m_pictures(std::make_shared<PicturePool>())
{}

VideoRendererFilter::~VideoRendererFilter() = default;

void VideoRendererFilter::setSink(std::shared_ptr<IVideoSink> sink)
{
    std::lock_guard lock(m_sinkMutex);
    m_sink = std::move(sink);
}

bool VideoRendererFilter::CheckInputType(const MediaType &type)
{
    return type.major() == MajorType::Video && rgbLayout(type).has_value();
}

bool VideoRendererFilter::StartStreaming()
{
    m_type = input().connectionType();
    m_cuedSample = nullptr;
    return rgbLayout(m_type).has_value();
}

void VideoRendererFilter::OnReceiveFirstSample(const MediaSample &sample)
{
    // Without a sink the frame is kept for Run, which may find one. A failure
    // shows again, as error-abort, when the sample is rendered.
    bool hasSink = false;
    {
        std::lock_guard lock(m_sinkMutex);
        hasSink = m_sink != nullptr;
    }
    if (hasSink && present(sample) == Flow::Ok)
        m_cuedSample = &sample;
}

Flow VideoRendererFilter::DoRenderSample(const MediaSample &sample)
{
    if (m_cuedSample.exchange(nullptr) == &sample)
        return Flow::Ok;
    return present(sample);
}

Flow VideoRendererFilter::present(const MediaSample &sample)
{
    if (sample.typeChange) {
        if (!CheckInputType(*sample.typeChange))
            return Flow::Error;
        m_type = *sample.typeChange;
    }
    const auto layout = rgbLayout(m_type);
    if (!layout || sample.actualLength() < layout->imageSize)
        return Flow::Error;
    std::shared_ptr<IVideoSink> sink;
    {
        std::lock_guard lock(m_sinkMutex);
        sink = m_sink;
    }
    if (!sink)
        return Flow::Ok;
    VideoFrame frame{{}, sample.time};
    if (m_receiving.get() == &sample && sink->borrowsPictures())
        frame.picture = m_lent.isNull() ? lendPicture(*layout, m_receiving) : m_lent;
    if (frame.picture.isNull())
        frame.picture = copyPicture(*layout, sample, *m_pictures);
    if (frame.picture.isNull())
        return Flow::Error;
    sink->presentFrame(std::move(frame));
    return Flow::Ok;
}

Flow VideoRendererFilter::receive(InputPin &pin, const SamplePtr &sample)
{
    m_receiving = sample;
    // Lent at once, for the sink to get ready while the picture is fresh in
    // this thread's cache (the wait for its time may move the thread to
    // another processor). A type change is taken when the sample is
    // rendered.
    if (!sample->typeChange) {
        std::shared_ptr<IVideoSink> sink;
        {
            std::lock_guard lock(m_sinkMutex);
            sink = m_sink;
        }
        const auto layout = rgbLayout(m_type);
        if (sink && layout && sink->borrowsPictures()) {
            m_lent = lendPicture(*layout, sample);
            if (!m_lent.isNull())
                sink->prepareFrame({m_lent, sample->time});
        }
    }
    const Flow result = RendererFilter::receive(pin, sample);
    m_lent = {};
    m_receiving.reset();
    return result;
}

void VideoRendererFilter::beginFlush(InputPin &pin)
{
    m_cuedSample = nullptr;
    RendererFilter::beginFlush(pin);
}

void VideoRendererFilter::Stop()
{
    m_cuedSample = nullptr;
    RendererFilter::Stop();
}

} // namespace vidora::media
