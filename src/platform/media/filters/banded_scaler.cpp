#include "platform/media/filters/banded_scaler.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <system_error>

namespace vidora::media::ffmpeg {

namespace {

struct AvFreeDeleter
{
    void operator()(std::uint8_t *p) const { av_free(p); }
};

// A format whose pictures can be converted band by band (see the header).
bool isPlain8Bit(AVPixelFormat format)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
    if (!d)
        return false;
    constexpr auto Excluded = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                              AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER |
                              AV_PIX_FMT_FLAG_FLOAT;
    if (d->flags & Excluded)
        return false;
    for (int i = 0; i < d->nb_components; ++i)
        if (d->comp[i].depth > 8)
            return false;
    return true;
}

int verticalSubsampling(AVPixelFormat format)
{
    return 1 << av_pix_fmt_desc_get(format)->log2_chroma_h;
}

// Rows of plane `plane` before picture row `row` (a multiple of the
// format's vertical subsampling). Planes 1 and 2 hold the chroma, as in
// av_image_fill_pointers.
int planeRow(AVPixelFormat format, int plane, int row)
{
    return plane == 1 || plane == 2 ? row >> av_pix_fmt_desc_get(format)->log2_chroma_h : row;
}

} // namespace

struct BandedScaler::Band
{
    int first = 0; // picture rows [first, last) are this band's
    int last = 0;
    int context = 0; // the context converts rows [context, context + contextRows)
    int contextRows = 0;
    SwsPtr scaler;
    // The context's output when it covers more than the band; empty for a
    // single band, which writes straight into the destination.
    std::unique_ptr<std::uint8_t, AvFreeDeleter> scratch;
    std::uint8_t *scratchData[4] = {};
    int scratchStride[4] = {};
};

int BandedScaler::bandsFor(Picture in, Picture out, int maxBands)
{
    if (maxBands <= 1 || in.width != out.width || in.height != out.height || in.width <= 0 ||
        in.height <= 0 || !isPlain8Bit(in.format) || !isPlain8Bit(out.format))
        return 1;
    const int align = std::max(verticalSubsampling(in.format), verticalSubsampling(out.format));
    if (in.height % align)
        return 1;
    return std::clamp(in.height / MinBandRows, 1, maxBands);
}

BandedScaler::BandedScaler(Picture in, Picture out, int flags, int maxBands) : m_in(in), m_out(out)
{
    const int count = bandsFor(in, out, maxBands);
    if (count == 1) {
        auto band = std::make_unique<Band>();
        band->last = out.height;
        band->contextRows = out.height;
        band->scaler.reset(sws_getContext(in.width, in.height, in.format, out.width, out.height,
                                          out.format, flags, nullptr, nullptr, nullptr));
        m_valid = band->scaler != nullptr;
        m_bands.push_back(std::move(band));
        return;
    }
    // Band boundaries fall on multiples of the vertical subsampling of both
    // formats; the units of that many rows are shared out evenly.
    const int align = std::max(verticalSubsampling(in.format), verticalSubsampling(out.format));
    const int units = out.height / align;
    const int margin = (Margin + align - 1) / align * align;
    m_valid = true;
    for (int i = 0; i < count; ++i) {
        auto band = std::make_unique<Band>();
        band->first = units * i / count * align;
        band->last = units * (i + 1) / count * align;
        band->context = std::max(0, band->first - margin);
        band->contextRows = std::min(out.height, band->last + margin) - band->context;
        band->scaler.reset(sws_getContext(in.width, band->contextRows, in.format, out.width,
                                          band->contextRows, out.format, flags, nullptr, nullptr,
                                          nullptr));
        const int size = av_image_alloc(band->scratchData, band->scratchStride, out.width,
                                        band->contextRows, out.format, 64);
        if (size >= 0)
            band->scratch.reset(band->scratchData[0]);
        m_valid = m_valid && band->scaler && band->scratch;
        m_bands.push_back(std::move(band));
    }
    if (!m_valid)
        return;
    try {
        for (std::size_t i = 1; i < m_bands.size(); ++i)
            m_workers.emplace_back([this, i] { work(i); });
    } catch (const std::system_error &) {
        // No more threads: the conversion fails rather than run short of
        // bands; the workers already started are ended.
        stopWorkers();
        m_valid = false;
    }
}

BandedScaler::~BandedScaler()
{
    stopWorkers();
}

void BandedScaler::stopWorkers()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (auto &worker : m_workers)
        worker.join();
    m_workers.clear();
}

bool BandedScaler::convertBand(Band &band, const Job &job) const
{
    if (!band.scratch) {
        const int rows = sws_scale(band.scaler.get(), job.src, job.srcStride, 0, m_in.height,
                                   job.dst, job.dstStride);
        return rows == m_out.height;
    }
    const std::uint8_t *src[4] = {};
    for (int p = 0; p < 4 && job.src[p]; ++p)
        src[p] = job.src[p] + static_cast<std::ptrdiff_t>(planeRow(m_in.format, p, band.context)) *
                                  job.srcStride[p];
    if (sws_scale(band.scaler.get(), src, job.srcStride, 0, band.contextRows, band.scratchData,
                  band.scratchStride) != band.contextRows)
        return false;
    const int planes = av_pix_fmt_count_planes(m_out.format);
    for (int p = 0; p < planes && p < 4; ++p) {
        const int bytes = av_image_get_linesize(m_out.format, m_out.width, p);
        const int first = planeRow(m_out.format, p, band.first);
        const int last = planeRow(m_out.format, p, band.last);
        const int offset = planeRow(m_out.format, p, band.context);
        for (int row = first; row < last; ++row)
            std::memcpy(job.dst[p] + static_cast<std::ptrdiff_t>(row) * job.dstStride[p],
                        band.scratchData[p] +
                            static_cast<std::ptrdiff_t>(row - offset) * band.scratchStride[p],
                        static_cast<std::size_t>(bytes));
    }
    return true;
}

bool BandedScaler::scale(const std::uint8_t *const src[], const int srcStride[],
                         std::uint8_t *const dst[], const int dstStride[])
{
    if (!m_valid)
        return false;
    Job job;
    for (int p = 0; p < 4; ++p) {
        job.src[p] = src[p];
        job.srcStride[p] = srcStride[p];
        job.dst[p] = dst[p];
        job.dstStride[p] = dstStride[p];
    }
    if (m_workers.empty())
        return convertBand(*m_bands.front(), job);
    {
        std::lock_guard lock(m_lock);
        m_job = job;
        m_pending = static_cast<int>(m_workers.size());
        m_failed = false;
        ++m_generation;
    }
    m_wake.notify_all();
    const bool ok = convertBand(*m_bands.front(), job);
    std::unique_lock lock(m_lock);
    m_done.wait(lock, [this] { return m_pending == 0; });
    return ok && !m_failed;
}

void BandedScaler::work(std::size_t index)
{
    std::uint64_t seen = 0;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [&] { return m_stopping || m_generation != seen; });
            if (m_stopping)
                return;
            seen = m_generation;
            job = m_job;
        }
        const bool ok = convertBand(*m_bands[index], job);
        std::lock_guard lock(m_lock);
        m_failed = m_failed || !ok;
        if (--m_pending == 0)
            m_done.notify_one();
    }
}

} // namespace vidora::media::ffmpeg
