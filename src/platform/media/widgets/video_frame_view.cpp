#include "platform/media/widgets/video_frame_view.h"

#include "platform/gui_thread.h"

#include <QPainter>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace vidora::media {

namespace {

// The raster paint engine's fixed point for picture coordinates.
constexpr int kFixedScale = 1 << 16;

// A 24-bit `picture` stretched over `target` exactly as QPainter::drawImage
// draws it on a raster device without smooth transformation (the pixel under
// each device pixel's centre, in the engine's 16.16 fixed point, stepping
// along each row from the target's first pixel), but made into `scaled`, an
// RGB32 picture of the target's size, which paints as a plain copy. Painted
// straight, the picture would be converted pixel by pixel, spread over
// threads, on every paint. False, and nothing made, for another format (an
// RGB32 picture paints fast as it is) or a device transform other than a
// whole-pixel shift.
bool stretchForDevice(const QImage &picture, const QRect &target, const QTransform &device,
                      QImage &scaled)
{
    if (picture.format() != QImage::Format_BGR888 || picture.isNull() || target.isEmpty() ||
        device.type() > QTransform::TxTranslate || device.dx() != std::floor(device.dx()) ||
        device.dy() != std::floor(device.dy()))
        return false;
    const QRectF r(target);
    QTransform matrix = device;
    matrix.translate(r.x(), r.y());
    matrix.scale(r.width() / picture.width(), r.height() / picture.height());
    bool invertible = false;
    const QTransform inverse = matrix.inverted(&invertible);
    if (!invertible)
        return false;
    if (scaled.size() != target.size() || scaled.format() != QImage::Format_RGB32)
        scaled = QImage(target.size(), QImage::Format_RGB32);
    if (scaled.isNull())
        return false;
    const int firstX = int(device.dx()) + target.x();
    const int firstY = int(device.dy()) + target.y();
    // The transform is a scale and a shift: x depends on the column only.
    const qreal cx = firstX + qreal(0.5);
    // The engine starts one unit of its fixed point short of the centre.
    const int startX = int((inverse.m11() * cx + inverse.dx()) * kFixedScale) - 1;
    const int stepX = int(inverse.m11() * kFixedScale);
    // The byte offset of each target column's picture pixel.
    const auto width = static_cast<std::size_t>(target.width());
    std::vector<std::uint32_t> offsets(width);
    for (std::size_t i = 0; i < width; ++i)
        offsets[i] =
            3u * std::uint32_t(std::clamp((startX + int(i) * stepX) >> 16, 0, picture.width() - 1));
    const uchar *const bits = picture.constBits();
    const qsizetype bytes = picture.sizeInBytes();
    for (int j = 0; j < target.height(); ++j) {
        const qreal cy = firstY + j + qreal(0.5);
        const int fy = int((inverse.m22() * cy + inverse.dy()) * kFixedScale) - 1;
        const uchar *from = picture.constScanLine(std::clamp(fy >> 16, 0, picture.height() - 1));
        auto *to = reinterpret_cast<std::uint32_t *>(scaled.scanLine(j));
        // A pixel is read as four bytes, its own three (blue, green, red:
        // an RGB32 pixel's order in memory on a little-endian processor) and
        // the next, which the alpha replaces; those columns whose fourth byte
        // lies past the picture (the last row's last pixels) are read byte
        // by byte.
        const qsizetype room = bytes - (from - bits);
        std::size_t wide = std::endian::native == std::endian::little ? width : 0;
        while (wide > 0 && qsizetype(offsets[wide - 1]) + 4 > room)
            --wide;
        for (std::size_t i = 0; i < wide; ++i) {
            std::uint32_t pixel;
            std::memcpy(&pixel, from + offsets[i], sizeof pixel);
            to[i] = pixel | 0xff000000u;
        }
        for (std::size_t i = wide; i < width; ++i) {
            const uchar *p = from + offsets[i];
            to[i] = 0xff000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
        }
    }
    return true;
}

} // namespace

// Holds the latest frame between the streaming thread and the GUI thread.
// A frame asks for a repaint through postToGui, whose calls pass through a
// queue under a lock that ThreadSanitizer sees (a lambda queued through Qt's
// own queue is handed over under Qt's uninstrumented lock). The call keeps
// the sink alive and finds the view under the lock: the view detaches
// itself before it is destroyed, so a repaint asked for late finds none.
// Once the view has painted, each frame is also stretched to the view's last
// place on its device as the renderer receives it, while the picture is fresh
// in the streaming thread's cache (or, for a frame not announced, when it is
// shown); a paint in another place stretches its own.
class VideoFrameView::Sink final : public IVideoSink, public std::enable_shared_from_this<Sink>
{
public:
    explicit Sink(VideoFrameView *view) : m_view(view) {}

    void presentFrame(VideoFrame frame) override
    {
        std::lock_guard lock(m_mutex);
        if (m_observer)
            m_observer(frame);
        m_picture = std::move(frame.picture);
        const bool prepared = !m_prepared.isNull() && m_place && m_preparedPlace == *m_place &&
                              m_preparedKey == m_picture.cacheKey();
        // The last stretched picture may still be painting: it is kept aside,
        // and a stretch takes its buffer only once the paint let it go.
        m_spare = std::exchange(m_stretched, QImage());
        bool stretched = prepared;
        if (!prepared && m_place) {
            takeSpare(m_prepared);
            stretched = stretchForDevice(m_picture, m_place->target, m_place->device, m_prepared);
        }
        if (stretched)
            std::swap(m_stretched, m_prepared);
        m_prepared = {};
        if (m_view && !m_updateQueued) {
            m_updateQueued = true;
            postToGui([self = shared_from_this()] { self->repaint(); });
        }
    }

    // The view lets a picture go when the next comes, and hands out copies.
    bool borrowsPictures() const override { return true; }

    // Stretched as it comes, while the renderer's picture is fresh in this
    // thread's cache; a picture read again after the wait for its time
    // comes mostly from memory.
    void prepareFrame(const VideoFrame &frame) override
    {
        std::lock_guard lock(m_mutex);
        m_preparedKey = 0;
        takeSpare(m_prepared);
        if (m_place &&
            stretchForDevice(frame.picture, m_place->target, m_place->device, m_prepared)) {
            m_preparedPlace = *m_place;
            m_preparedKey = frame.picture.cacheKey();
        } else {
            m_prepared = {};
        }
    }

    // A copy of its own: the picture shown may be a stream's buffer, lent.
    QImage picture() const
    {
        std::lock_guard lock(m_mutex);
        return m_picture.copy();
    }

    // The latest picture, and its stretch to `target` on `device` when it
    // was made for that place (null otherwise); the place is kept for the
    // frames to come. GUI thread.
    std::pair<QImage, QImage> pictureFor(const QRect &target, const QTransform &device)
    {
        std::lock_guard lock(m_mutex);
        const Place place{target, device};
        const bool same = m_place && *m_place == place;
        m_place = place;
        return {m_picture, same ? m_stretched : QImage()};
    }

    // Drops a paint's copies of what pictureFor gave. GUI thread.
    void letGo(QImage &picture, QImage &stretched)
    {
        std::lock_guard lock(m_mutex);
        picture = {};
        stretched = {};
    }

    void setObserver(std::function<void(const VideoFrame &)> observer)
    {
        std::lock_guard lock(m_mutex);
        m_observer = std::move(observer);
    }

    // On the GUI thread, where the view is destroyed: a view still attached
    // is alive.
    void repaint()
    {
        VideoFrameView *view = nullptr;
        {
            std::lock_guard lock(m_mutex);
            m_updateQueued = false;
            view = m_view;
        }
        if (view) {
            emit view->framePresented();
            view->update();
        }
    }

    void detach()
    {
        std::lock_guard lock(m_mutex);
        m_view = nullptr;
    }

private:
    // Gives `image`, when it has no buffer, the spare's once no paint holds
    // it any more, so that a playing video stretches its frames into the
    // same few buffers. A paint lets its copies go under the lock (letGo):
    // its reads of the buffer come before. Under m_mutex.
    void takeSpare(QImage &image)
    {
        if (image.isNull() && m_spare.isDetached())
            image.swap(m_spare);
    }

    mutable std::mutex m_mutex;
    // guarded by m_mutex; written on the streaming and the GUI thread
    VideoFrameView *m_view;
    QImage m_picture;
    struct Place
    {
        QRect target;
        QTransform device;
        bool operator==(const Place &) const = default;
    };
    std::optional<Place> m_place; // where the view last painted
    QImage m_stretched;           // m_picture stretched to m_place; null for none
    QImage m_spare;               // the stretch shown before, for its buffer
    // The picture the renderer announced (by its QImage::cacheKey),
    // stretched to m_preparedPlace; null for none.
    QImage m_prepared;
    Place m_preparedPlace;
    qint64 m_preparedKey = 0;
    bool m_updateQueued = false;
    std::function<void(const VideoFrame &)> m_observer;
};

VideoFrameView::VideoFrameView(QWidget *parent)
    : QWidget(parent), m_sink(std::make_shared<Sink>(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

VideoFrameView::~VideoFrameView()
{
    m_sink->detach();
}

std::shared_ptr<IVideoSink> VideoFrameView::sink() const
{
    return m_sink;
}

QImage VideoFrameView::currentPicture() const
{
    return m_sink->picture();
}

void VideoFrameView::setFrameObserver(std::function<void(const VideoFrame &)> observer)
{
    m_sink->setObserver(std::move(observer));
}

void VideoFrameView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    auto [picture, stretched] = m_sink->pictureFor(rect(), painter.deviceTransform());
    if (picture.isNull())
        painter.fillRect(rect(), Qt::black);
    else if (!stretched.isNull())
        painter.drawImage(rect().topLeft(), stretched);
    else if (stretchForDevice(picture, rect(), painter.deviceTransform(), m_stretched))
        painter.drawImage(rect().topLeft(), m_stretched);
    else
        painter.drawImage(rect(), picture);
    m_sink->letGo(picture, stretched);
}

} // namespace vidora::media
