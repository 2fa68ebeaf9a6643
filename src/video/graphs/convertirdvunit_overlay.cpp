// The overlay, time-shift and aspect graphs of the processing module.
//
// The overlay graphs decode the DV video, burn the date text in and re-encode
// it in the source's own standard; the DV header filter after the encoder
// then writes the packs of the source frames into the new ones, as its
// options (set by the command handler after the build) say. The header graph
// copies the streams without re-encoding and lets the DV header filter
// rewrite the recording date and the display mode of every frame.
//
// Each builder follows its connection table step by step; the kinds of step
// are graphsteps'. All three end, like the type 1 to type 2 graph, with no
// graph when no stream reaches the AVI mux: such a graph would write a file
// with no frames and report success.
#include "video/graphs/convertirdvunit_overlay.h"

#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_encoder.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/convertirdvunit.h"
#include "video/graphs/graphsteps.h"

#include <cmath>

namespace vidora {

using namespace graphsteps;

double TimeShiftDays(const QStringList &parameters)
{
    if (parameters.isEmpty())
        return 0.0;
    QString text = parameters.front().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double days = text.toDouble(&ok);
    return ok && std::isfinite(days) ? days : 0.0;
}

media::IMediaSeeking *TCdm::BuildOverlayGraphType2(const QString &source, const QString &output,
                                                   bool ntsc)
{
    // The type-2 NTSC/PAL graph with the overlay in place of the
    // deinterlacer.
    return BuildReencodeGraphType2(source, output, ntsc, m_superposer, kSuperposerName);
}

media::IMediaSeeking *TCdm::BuildOverlayGraphType1(const QString &source, const QString &output,
                                                   bool ntsc)
{
    // The type-1 NTSC/PAL graph with the overlay in place of the
    // deinterlacer; the detector's connection to the decoder is not checked.
    return BuildReencodeGraphType1(source, output, ntsc, m_superposer, kSuperposerName, false);
}

media::IMediaSeeking *TCdm::BuildHeaderGraph(const QString &source, const QString &output)
{
    StartFileGraph(source, output);
    auto &avisplitter = Attach(m_avisplitter);
    AddOwn(m_dvHeader, kDvHeaderName);
    auto &acm1 = Attach(m_acm1);
    auto &acm2 = Attach(m_acm2);
    auto &avimux = Attach(m_avimux);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        SplitSource(fg, *m_source, avisplitter);
        RequireStreamTo(fg, avisplitter, PinAt(*m_dvHeader, 0));
        Plain(fg, PinAt(*m_dvHeader, 1), PinAt(avimux, 1));
        // A type 1 file has one stream and no audio to convert; a type 2
        // file's audio streams follow its video, the searches skip what is
        // connected already (the video, the input pin last).
        if (PinCount(avisplitter) > 2) {
            const std::vector<media::Pin *> candidates = PinsFrom(avisplitter, 1);
            SearchThroughConverter(fg, candidates, acm1, avimux, 2);
            SearchThroughConverter(fg, candidates, acm2, avimux, 3);
        }
        return MuxToWriter(fg, avimux, *m_destination);
    });
}

} // namespace vidora
