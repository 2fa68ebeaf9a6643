// The graphs that analyse a video without writing one (scenes by recording
// date, scenes by picture content, subtitles) or write part of it (the sound
// as a WAVE file, one scene as a new AVI file).
#include "video/graphs/convertirdvunit.h"

#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "platform/media/filters/infinite_tee.h"
#include "platform/media/filters/null_renderer.h"
#include "video/filters/dv_mediastamper.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_wavedest.h"
#include "video/filters/uscenedetectcontenu.h"
#include "video/graphs/graphsteps.h"

namespace vidora {

using namespace graphsteps;

namespace {

// A graph whose renderer is not connected never completes: the command
// would wait for ever. Such a graph is not built.
void RequireRenderer(media::Filter &renderer)
{
    Check(!PinAt(renderer, 0).isConnected(), "no stream reaches the renderer");
}

// The end of a cutting graph: both the null renderer, which gives the
// position, and the file writer reached. The null renderer's seeking.
media::IMediaSeeking *CutPosition(media::Filter &nullRenderer, media::Filter &fileWriter)
{
    RequireRenderer(nullRenderer);
    RequireRenderer(fileWriter);
    return nullRenderer.queryInterface<media::IMediaSeeking>();
}

// The streams found by the audio extraction's probe.
struct ProbedStreams
{
    media::Pin *video = nullptr;
    media::Pin *audio = nullptr;
};

// The type an output would carry: joins it to the null renderer, reads the
// connection's type and breaks the connection again. The type is fixed when
// the pins connect, so the graph is not paused for it (a pause would start
// the half-built graph's streams and could post events that end the
// command's wait before the graph runs).
std::optional<media::MediaType> ProbeType(media::FilterGraph &fg, media::Pin &out,
                                          media::Filter &nullRenderer)
{
    media::Pin &in = PinAt(nullRenderer, 0);
    if (!Direct(fg, out, in))
        return std::nullopt;
    media::MediaType type = out.connectionType();
    fg.Disconnect(in);
    return type;
}

// Keeps `pin` as the first video or audio stream. A stream counts once its
// type has a format block.
void Keep(ProbedStreams &found, media::Pin &pin, const media::MediaType &type)
{
    if (type.format().empty())
        return;
    if (type.major() == media::MajorType::Video && found.video == nullptr)
        found.video = &pin;
    else if (type.major() == media::MajorType::Audio && found.audio == nullptr)
        found.audio = &pin;
}

} // namespace

media::IMediaSeeking *TCdm::BuildScnByDateGraph(const QString &source)
{
    return BuildSceneDetectorGraph(source);
}

media::IMediaSeeking *TCdm::BuildSrtGraph(const QString &source)
{
    return BuildSceneDetectorGraph(source);
}

media::IMediaSeeking *TCdm::BuildSceneDetectorGraph(const QString &source)
{
    ResetGraph();
    auto &avisplitter = Attach(m_avisplitter);
    AddOwn(m_sceneDetect, kAnalysisSceneDetectName);
    auto &nullrender = Attach(m_nullrender);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        Required(LoadSource(source), "the source could not be loaded");
        Required(Direct(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0)),
                 "the source is not an AVI file");
        // A splitter without a stream gives an empty search: no DV stream.
        RequireStreamTo(fg, avisplitter, PinAt(*m_sceneDetect, 0));
        Plain(fg, PinAt(*m_sceneDetect, 1), PinAt(nullrender, 0));
        RequireRenderer(nullrender);
        return &fg.seeking();
    });
}

media::IMediaSeeking *TCdm::BuildScnByContenuGraph(const QString &source)
{
    ResetGraph();
    auto &avisplitter = Attach(m_avisplitter);
    AddOwn(m_mediaStamper, kMediaStamperName);
    AddOwn(m_sceneDetectContenu, kContentDetectName);
    auto &nullrender = Attach(m_nullrender);
    m_sceneDetectContenu->SetStamper(m_mediaStamper.get());
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        Required(LoadSource(source), "the source could not be loaded");
        Required(Direct(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0)),
                 "the source is not an AVI file");
        // The splitter's video through the stamper, then whatever decoder
        // and converters reach the detector's RGB24 input.
        fg.RenderStream(std::nullopt, avisplitter, m_mediaStamper.get(),
                        m_sceneDetectContenu.get());
        fg.RenderStream(std::nullopt, *m_sceneDetectContenu, nullptr, &nullrender);
        Plain(fg, PinAt(*m_sceneDetectContenu, 1), PinAt(nullrender, 0));
        // Without a picture stream (a sound-only file) nothing reaches the
        // renderer and the graph would never complete.
        RequireRenderer(nullrender);
        return &fg.seeking();
    });
}

media::IMediaSeeking *TCdm::BuildAudioExtractGraph(const QString &source, const QString &output)
{
    ResetGraph();
    LoadSource(source);
    auto &avisplitter = Attach(m_avisplitter);
    AddOwn(m_waveDest, kWaveDestName);
    auto &nullrender = Attach(m_nullrender);
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &infinite = Attach(m_infinite);
    auto &acm1 = Attach(m_acm1);
    AttachDestination(output);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        media::Filter &wavedest = *m_waveDest;
        Direct(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0));

        ProbedStreams found;
        bool interleavedFound = false;
        for (media::Pin *out : SplitterOutputs(avisplitter)) {
            const auto type = ProbeType(fg, *out, nullrender);
            if (!type)
                continue;
            if (type->major() == media::MajorType::Interleaved && !interleavedFound &&
                !type->format().empty()) {
                if (!Direct(fg, *out, PinAt(dvsplitter, 0)))
                    continue;
                interleavedFound = true;
                const std::size_t dvPins = PinCount(dvsplitter);
                for (std::size_t i = 1; i < dvPins; ++i) {
                    media::Pin &dvOut = PinAt(dvsplitter, i);
                    if (const auto dvType = ProbeType(fg, dvOut, nullrender))
                        Keep(found, dvOut, *dvType);
                }
            } else {
                Keep(found, *out, *type);
            }
        }
        Check(found.audio == nullptr, "the source has no sound");

        if (found.video != nullptr) {
            Plain(fg, *found.video, PinAt(nullrender, 0));
            const bool throughAcm = Plain(fg, *found.audio, PinAt(acm1, 0)) &&
                                    Plain(fg, PinAt(acm1, 1), PinAt(wavedest, 0));
            if (!throughAcm) {
                // The converter is left out altogether, so its input does
                // not hold the stream the WAVE writer needs.
                fg.Disconnect(PinAt(acm1, 0));
                Plain(fg, *found.audio, PinAt(wavedest, 0));
            }
        } else {
            Tee(fg, *found.audio, infinite, PinAt(wavedest, 0), nullrender);
        }
        Plain(fg, PinAt(wavedest, 1), PinAt(*m_destination, 0));
        RequireRenderer(*m_destination);
        return &fg.seeking();
    });
}

TCdm::CutFilters TCdm::StartCutGraph(const QString &source)
{
    ResetGraph();
    LoadSource(source);
    auto &avisplitter = Attach(m_avisplitter);
    auto &tee = Attach(m_infinite);
    auto &nullRenderer = Attach(m_nullrender);
    auto &avimux = Attach(m_avimux);
    return {avisplitter, tee, nullRenderer, avimux};
}

media::IMediaSeeking *TCdm::BuildCutSceneGraphType2(const QString &source, const QString &output)
{
    const CutFilters cut = StartCutGraph(source);
    auto &acm1 = Attach(m_acm1);
    auto &acm2 = Attach(m_acm2);
    auto &dvmuxer = Attach(m_dvmuxer);
    auto &dvsplitter = Attach(m_dvsplitter);
    AttachDestination(output);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        auto &avisplitter = cut.aviSplitter;
        SplitSource(fg, *m_source, avisplitter);

        // The muxer's video input is its last-but-one pin at first; each
        // connection adds an audio input just before the output.
        for (media::Pin *out : SplitterOutputs(avisplitter)) {
            const std::size_t muxPins = PinCount(dvmuxer);
            if (muxPins >= 2)
                Direct(fg, *out, PinAt(dvmuxer, muxPins - 2));
        }
        Plain(fg, LastPin(dvmuxer), PinAt(dvsplitter, 0));
        const std::size_t dvPins = PinCount(dvsplitter);
        for (std::size_t i = 1; i < dvPins; ++i)
            Plain(fg, PinAt(dvsplitter, i), LastPin(cut.aviMux));
        Plain(fg, PinAt(cut.aviMux, 0), PinAt(*m_destination, 0));

        if (PinCount(avisplitter) > 2) {
            int counter = 1;
            for (media::Pin *out : SplitterOutputs(avisplitter)) {
                if (!out->isConnected() || out->connectionType().major() != media::MajorType::Audio)
                    continue;
                media::Pin &target = *out->peer();
                fg.Disconnect(*out);
                media::Filter *acm = NthConverter(counter, acm1, acm2);
                ++counter;
                if (acm != nullptr) {
                    Plain(fg, *out, PinAt(*acm, 0));
                    Plain(fg, PinAt(*acm, 1), target);
                } else {
                    Plain(fg, *out, target);
                }
            }
        }
        Plain(fg, LastPin(dvmuxer), PinAt(dvsplitter, 0));

        // The tee goes on the first sound stream (the splitter's second
        // pin). A file without sound has only the video output before the
        // input pin: the tee then goes on the video, and the connection to
        // the source stays as it is.
        const bool hasSound = PinCount(avisplitter) > 2;
        media::Pin &teed = PinAt(avisplitter, hasSound ? 1 : 0);
        if (teed.isConnected()) {
            media::Pin &target = *teed.peer();
            fg.Disconnect(teed);
            Tee(fg, teed, cut.tee, target, cut.nullRenderer);
        }
        return CutPosition(cut.nullRenderer, *m_destination);
    });
}

media::IMediaSeeking *TCdm::BuildCutSceneGraphType1(const QString &source, const QString &output)
{
    const CutFilters cut = StartCutGraph(source);
    AttachDestination(output);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        Plain(fg, PinAt(*m_source, 0), PinAt(cut.aviSplitter, 0));
        Tee(fg, PinAt(cut.aviSplitter, 0), cut.tee, PinAt(cut.aviMux, 1), cut.nullRenderer);
        Plain(fg, PinAt(cut.aviMux, 0), PinAt(*m_destination, 0));
        return CutPosition(cut.nullRenderer, *m_destination);
    });
}

} // namespace vidora
