#pragma once

// A libswscale conversion of whole pictures split into horizontal bands that
// run in parallel: the calling thread converts the first band, a small pool
// of worker threads owned by the scaler converts the others (one thread per
// band, made once in the constructor, joined in the destructor).
//
// Exactness. The output is byte for byte what one sws_scale call over the
// whole picture gives (in the visible bytes of every row; row padding is
// left alone). That holds when nothing crosses band boundaries in a way a
// band cannot reproduce, so bands are only used when
// - the picture keeps its size (no scaling),
// - both formats are plain 8-bit layouts (no palette, no bitstream, no
//   hardware frames; deeper sources are dithered by output row), and
// - the height is a multiple of the vertical chroma subsampling of both
//   formats (every band boundary is on such a multiple, so each band's
//   chroma rows are its own).
// Anything else is converted as one band on the calling thread.
//
// Each band has its own SwsContext, made for the band's rows plus `Margin`
// rows above and below (clipped to the picture), and writes into its own
// scratch picture; only the band's rows are copied out. The margin is what
// makes the result exact: swscale's general path filters chroma vertically
// across neighbouring rows and runs the last two output rows of a context
// through other kernels than the rest, so a band converted on its own would
// differ along its edges. The unscaled special converters (yuv420p → RGB)
// need no margin but take it without harm.
#include "platform/media/filters/ffmpeg_support.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vidora::media::ffmpeg {

class BandedScaler
{
public:
    struct Picture
    {
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
    };

    // Rows converted above and below each band and then discarded.
    static constexpr int Margin = 8;
    // The fewest rows a band is given: smaller bands cost more in margins
    // and hand-offs than they save.
    static constexpr int MinBandRows = 16;

    // A conversion from `in` to `out` with the libswscale `flags` in at most
    // `maxBands` bands (1 or less: one band, no worker threads).
    BandedScaler(Picture in, Picture out, int flags, int maxBands);
    ~BandedScaler();
    BandedScaler(const BandedScaler &) = delete;
    BandedScaler &operator=(const BandedScaler &) = delete;

    // False when libswscale refused the conversion (scale() then fails).
    bool isValid() const { return m_valid; }
    int bandCount() const { return static_cast<int>(m_bands.size()); }

    // The bands a conversion from `in` to `out` gets for at most `maxBands`.
    static int bandsFor(Picture in, Picture out, int maxBands);

    // Converts one whole picture. The arrays are as sws_scale takes them for
    // the whole picture (negative strides allowed). True when every band was
    // converted. Called by one thread at a time; the pictures must stay
    // valid until it returns.
    bool scale(const std::uint8_t *const src[], const int srcStride[], std::uint8_t *const dst[],
               const int dstStride[]);

private:
    struct Band;
    struct Job
    {
        const std::uint8_t *src[4] = {};
        int srcStride[4] = {};
        std::uint8_t *dst[4] = {};
        int dstStride[4] = {};
    };

    bool convertBand(Band &band, const Job &job) const;
    void work(std::size_t index);
    void stopWorkers();

    Picture m_in;
    Picture m_out;
    bool m_valid = false;
    std::vector<std::unique_ptr<Band>> m_bands;

    std::mutex m_lock;
    std::condition_variable m_wake; // workers wait here for a picture or the end
    std::condition_variable m_done; // scale() waits here for the workers' bands
    // guarded by m_lock; written by scale() and the destructor
    Job m_job;
    std::uint64_t m_generation = 0; // pictures handed to the workers so far
    bool m_stopping = false;
    // guarded by m_lock; counted down by the workers
    int m_pending = 0;
    bool m_failed = false;

    std::vector<std::thread> m_workers; // worker i converts band i + 1
};

} // namespace vidora::media::ffmpeg
