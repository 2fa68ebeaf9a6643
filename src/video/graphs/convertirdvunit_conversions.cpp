// The format conversion graphs of the processing module: DV between NTSC and
// PAL (type 1 and type 2 sources), type 2 to type 1 without re-encoding, any
// AVI file re-encoded to DV type 2, and a type 2 file re-multiplexed from its
// first two streams. Every graph ends in the AVI mux and the file writer and
// gives the AVI mux's seeking interface.
//
// Each of these graphs writes a file, so a graph in which no stream reaches
// the AVI mux is not built: it would write a file without frames and report
// success.
#include "platform/media/dsfunctions_media.h"
#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_encoder.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "video/filters/dv_deinter.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_scenedetect.h"
#include "video/graphs/convertirdvunit.h"
#include "video/graphs/graphsteps.h"

#include <vector>

namespace vidora {

using namespace graphsteps;

namespace {

// The sample rate of the setting "Frequence DV": 0 32000, 1 44100, 2 48000 Hz;
// any other value gives the DV default, 48000 Hz.
std::uint32_t DvAudioRateHz(std::uint8_t setting)
{
    switch (setting) {
    case 0:
        return 32000;
    case 1:
        return 44100;
    default:
        return 48000;
    }
}

} // namespace

void TCdm::AttachReencodeChain(bool ntsc, const std::shared_ptr<media::Filter> &picture,
                               const char *pictureName)
{
    AddOwn(m_sceneDetect, kSceneDetectName);
    // Planar pictures first: the date overlay draws on them, so a picture
    // that keeps its standard is encoded again with no colour converted;
    // the deinterlacer takes RGB24 only, which the decoder offers next.
    AttachDecoder().setPlanarOutput(true);
    AddOwn(picture, pictureName);
    AttachEncoder(ntsc);
    AddOwn(m_dvHeader, kDvHeaderName);
    Attach(m_dvmuxer);
}

void TCdm::ConnectReencodeChain(media::Filter &picture)
{
    auto &fg = *m_fg;
    Plain(fg, PinAt(*m_DVdecoder, 1), PinAt(picture, 0));
    Plain(fg, PinAt(picture, 1), PinAt(*m_DVenc, 0));
    Plain(fg, PinAt(*m_DVenc, 1), PinAt(*m_dvHeader, 0));
    Plain(fg, PinAt(*m_dvHeader, 1), PinAt(*m_dvmuxer, 0));
}

// DV type 2 (a DV video stream and audio streams) to the other standard, or
// the same one. The scene detector sees the source frames before the decoder
// and keeps their header blocks; the DV header filter writes them into the
// re-encoded frames when the handler asks for it. The DV muxer interleaves
// the new video with the audio, and the DV splitter separates the result into
// the type 2 stream pair.
media::IMediaSeeking *TCdm::BuildStandardGraphType2(const QString &source, const QString &output,
                                                    bool toNtsc)
{
    return BuildReencodeGraphType2(source, output, toNtsc, m_deinter, kDeinterName);
}

media::IMediaSeeking *TCdm::BuildReencodeGraphType2(const QString &source, const QString &output,
                                                    bool ntsc,
                                                    const std::shared_ptr<media::Filter> &picture,
                                                    const char *pictureName)
{
    StartFileGraph(source, output);
    auto &avisplitter = Attach(m_avisplitter);
    AttachReencodeChain(ntsc, picture, pictureName);
    auto &decoder = *m_DVdecoder;
    auto &dvmuxer = *m_dvmuxer;
    auto &acm1 = Attach(m_acm1);
    auto &acm2 = Attach(m_acm2);
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &avimux = Attach(m_avimux);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        SplitSource(fg, *m_source, avisplitter);
        RequireStreamTo(fg, avisplitter, PinAt(*m_sceneDetect, 0));
        Plain(fg, PinAt(*m_sceneDetect, 1), PinAt(decoder, 0));
        ConnectReencodeChain(*picture);
        // The video output is taken already: the searches find the first
        // audio stream for acm1 and the muxer's first audio input, the
        // second for acm2 and its second.
        SearchThroughConverter(fg, SplitterOutputs(avisplitter), acm1, dvmuxer, 1);
        SearchThroughConverter(fg, SplitterOutputs(avisplitter), acm2, dvmuxer, 2);
        Plain(fg, LastPin(dvmuxer), PinAt(dvsplitter, 0));
        for (media::Pin *out : PinsFrom(dvsplitter, 1))
            Plain(fg, *out, LastPin(avimux));
        return MuxToWriter(fg, avimux, *m_destination);
    });
}

// DV type 1 (one interleaved stream) to the other standard, or the same one.
// The DV splitter takes the source apart; its audio goes straight back into
// the DV muxer next to the re-encoded video.
media::IMediaSeeking *TCdm::BuildStandardGraphType1(const QString &source, const QString &output,
                                                    bool toNtsc)
{
    return BuildReencodeGraphType1(source, output, toNtsc, m_deinter, kDeinterName, true);
}

media::IMediaSeeking *TCdm::BuildReencodeGraphType1(const QString &source, const QString &output,
                                                    bool ntsc,
                                                    const std::shared_ptr<media::Filter> &picture,
                                                    const char *pictureName, bool decoderRequired)
{
    StartFileGraph(source, output);
    auto &avisplitter = Attach(m_avisplitter);
    AttachReencodeChain(ntsc, picture, pictureName);
    auto &decoder = *m_DVdecoder;
    auto &dvmuxer = *m_dvmuxer;
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &avimux = Attach(m_avimux);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        SplitSource(fg, *m_source, avisplitter);
        RequireStreamTo(fg, avisplitter, PinAt(dvsplitter, 0));
        Check(PinCount(dvsplitter) < 2, "the DV splitter has no output");
        Required(SearchDirect(fg, PinsFrom(dvsplitter, 1), PinAt(*m_sceneDetect, 0)) != nullptr,
                 "no DV video reaches the scene detector");
        const bool decoded = Direct(fg, PinAt(*m_sceneDetect, 1), PinAt(decoder, 0));
        if (decoderRequired)
            Required(decoded, "the scene detector does not reach the DV decoder");
        ConnectReencodeChain(*picture);
        // Each audio output into the muxer's free audio input, the one
        // before its output.
        for (media::Pin *out : PinsFrom(dvsplitter, 1)) {
            const std::size_t muxerPins = PinCount(dvmuxer);
            if (muxerPins >= 2)
                Plain(fg, *out, PinAt(dvmuxer, muxerPins - 2));
        }
        Plain(fg, LastPin(dvmuxer), PinAt(avimux, 1));
        return MuxToWriter(fg, avimux, *m_destination);
    });
}

// DV type 2 to type 1 without re-encoding: the DV muxer puts the first two
// audio streams back into the frames.
media::IMediaSeeking *TCdm::BuildToType1Graph(const QString &source, const QString &output)
{
    StartFileGraph(source, output);
    auto &avisplitter = Attach(m_avisplitter);
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &dvmuxer = Attach(m_dvmuxer);
    auto &acm1 = Attach(m_acm1);
    auto &acm2 = Attach(m_acm2);
    auto &avimux = Attach(m_avimux);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        SplitSource(fg, *m_source, avisplitter);
        // Video: a DV video stream goes straight to the muxer; an interleaved
        // one through the DV splitter, whose video output then feeds it.
        for (media::Pin *out : SplitterOutputs(avisplitter)) {
            if (Plain(fg, *out, PinAt(dvmuxer, 0)))
                break;
            if (Plain(fg, *out, PinAt(dvsplitter, 0))) {
                Plain(fg, PinAt(dvsplitter, 1), PinAt(dvmuxer, 0));
                break;
            }
        }
        // Audio: the first two free streams, each through its converter to
        // the muxer's audio input of its turn.
        SearchThroughConverter(fg, SplitterOutputs(avisplitter), acm1, dvmuxer, 1);
        SearchThroughConverter(fg, SplitterOutputs(avisplitter), acm2, dvmuxer, 2);
        Plain(fg, LastPin(dvmuxer), PinAt(avimux, 1));
        return MuxToWriter(fg, avimux, *m_destination);
    });
}

// Any AVI file re-encoded to DV type 2 in the standard, aspect and audio rate
// of the settings. The graph inserts the decoders and converters each stream
// needs on its way to the DV encoder and the DV muxer.
media::IMediaSeeking *TCdm::BuildRecompressGraph(const QString &source, const QString &output)
{
    StartFileGraph(source, output);
    const SettingValues &settings = Settings();
    auto &avisplitter = Attach(m_avisplitter);
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &avimux = Attach(m_avimux);
    auto &encoder = AttachEncoder(settings.DvStandard != 0);
    auto &dvmuxer = Attach(m_dvmuxer);
    const std::uint32_t rate = DvAudioRateHz(settings.DvAudioRate);
    const bool wide = settings.DvRatio == 1;
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        Plain(fg, PinAt(avimux, 0), PinAt(*m_destination, 0));
        Plain(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0));

        // Video: the first stream that reaches the encoder.
        for (media::Pin *pin : avisplitter.pins()) {
            if (pin->direction() != media::PinDirection::Output || pin->isConnected() ||
                !fg.RenderStream(std::nullopt, static_cast<media::OutputPin &>(*pin), nullptr,
                                 &encoder))
                continue;
            AddOwn(m_dvHeader, kDvHeaderName);
            Plain(fg, PinAt(encoder, 1), PinAt(*m_dvHeader, 0));
            Plain(fg, PinAt(*m_dvHeader, 1), PinAt(dvmuxer, 0));
            m_dvHeader->SetWriteAspect(true);
            m_dvHeader->SetAspectWide(wide);
            m_dvHeader->SetCopyHeaders(false);
            break;
        }

        // First audio: the first stream the graph can bring to the muxer,
        // then re-routed through acm1, which converts it to the settings'
        // rate. The rate is chosen before the converter's output connects, so
        // the muxer and everything after it know it from the start.
        for (media::Pin *pin : avisplitter.pins()) {
            if (pin->direction() != media::PinDirection::Output || pin->isConnected() ||
                !fg.RenderStream(media::MajorType::Audio, static_cast<media::OutputPin &>(*pin),
                                 nullptr, &dvmuxer))
                continue;
            media::Pin &muxerAudio = PinAt(dvmuxer, 1);
            media::Pin *upstream = muxerAudio.peer();
            if (upstream != nullptr) {
                fg.Disconnect(muxerAudio);
                auto &acm1 = Attach(m_acm1);
                if (Plain(fg, *upstream, PinAt(acm1, 0)))
                    media::SetAudioSampleRate(&acm1, rate);
                Plain(fg, PinAt(acm1, 1), PinAt(dvmuxer, 1));
            }
            break;
        }

        Plain(fg, LastPin(dvmuxer), PinAt(dvsplitter, 0));
        for (std::size_t i = 1; i < PinCount(dvsplitter); ++i)
            Plain(fg, PinAt(dvsplitter, i), PinAt(avimux, i));

        // Second audio, through acm2 to the muxer.
        auto &acm2 = Attach(m_acm2);
        for (media::Pin *pin : avisplitter.pins()) {
            if (pin->direction() == media::PinDirection::Output && !pin->isConnected() &&
                fg.RenderStream(std::nullopt, static_cast<media::OutputPin &>(*pin), &acm2,
                                &dvmuxer))
                break;
        }
        media::SetAudioSampleRate(&acm2, rate);

        RequireMuxFed(avimux);
        return avimux.queryInterface<media::IMediaSeeking>();
    });
}

// A type 2 file re-multiplexed from its first two streams: each goes to the
// AVI mux as video, else as audio, else (interleaved DV) through the DV
// splitter as DV video. A type 1 source thus becomes a video-only type 2
// file; streams after the second are not written.
media::IMediaSeeking *TCdm::BuildFixType2Graph(const QString &source, const QString &output)
{
    StartFileGraph(source, output);
    auto &avisplitter = Attach(m_avisplitter);
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &avimux = Attach(m_avimux);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        Plain(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0));
        const media::MediaType video(media::MajorType::Video);
        const media::MediaType audio(media::MajorType::Audio);
        const media::MediaType interleaved(media::MajorType::Interleaved);
        for (std::size_t k = 1; k <= 2 && k < PinCount(avisplitter); ++k) {
            media::Pin &stream = PinAt(avisplitter, k - 1);
            if (Plain(fg, stream, PinAt(avimux, k), &video) ||
                Plain(fg, stream, PinAt(avimux, k), &audio))
                continue;
            if (Plain(fg, stream, PinAt(dvsplitter, 0), &interleaved))
                Plain(fg, PinAt(dvsplitter, 1), PinAt(avimux, k));
        }
        return MuxToWriter(fg, avimux, *m_destination);
    });
}

} // namespace vidora
