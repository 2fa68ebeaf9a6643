#include "video/graphs/buildlist.h"

#include "platform/media/executor.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/null_renderer.h"
#include "platform/media/graph.h"
#include "video/filters/dv_scenedetect.h"

namespace vidora {

using media::MajorType;
using media::MediaType;

// One probe's graph. Destroying it stops the graph and takes every filter
// out, the kept detector included, so the next probe starts from nothing.
struct TdmList::Build
{
    explicit Build(std::shared_ptr<media::QueueEventExecutor> executor)
        : events(std::move(executor)), graph(events)
    {}
    ~Build()
    {
        graph.Clear();
        // Nobody listens to a probe's events; they go with its graph.
        events->runPending();
    }
    Build(const Build &) = delete;
    Build &operator=(const Build &) = delete;

    std::shared_ptr<media::QueueEventExecutor> events;
    media::FilterGraph graph;
    std::shared_ptr<media::FileSourceFilter> source;
    std::shared_ptr<media::AviSplitterFilter> aviSplitter =
        std::make_shared<media::AviSplitterFilter>();
    std::shared_ptr<media::DvSplitterFilter> dvSplitter =
        std::make_shared<media::DvSplitterFilter>();
    std::shared_ptr<media::NullRenderer> nullRender = std::make_shared<media::NullRenderer>();
};

namespace {

// What one stream gave, classified into the values: the first stream of each
// kind with a complete format block is kept.
void ClassifyVideo(const MediaType &type, std::int64_t duration, std::int64_t frames,
                   ProbeValues &values)
{
    if (values.video || type.format().size() < media::VideoInfoHeader::Size)
        return;
    const auto info = media::VideoInfoHeader::read(type.format());
    if (!info)
        return;
    ProbeVideoFormat video;
    video.compression = info->bmiHeader.biCompression;
    video.width = info->bmiHeader.biWidth;
    video.height = info->bmiHeader.biHeight;
    video.avgTimePerFrame = info->AvgTimePerFrame;
    video.bitRate = info->dwBitRate;
    values.video = video;
    values.videoDuration = duration;
    values.videoFrames = frames;
}

void ClassifyAudio(const MediaType &type, std::int64_t duration, ProbeValues &values)
{
    if (values.audio || type.format().size() < media::WaveFormatEx::Size)
        return;
    // The fields before cbSize are all the list needs; whatever follows
    // (cbSize and extra bytes) is not looked at.
    const auto format =
        media::WaveFormatEx::read(std::span(type.format()).first(media::WaveFormatEx::Size - 2));
    if (!format)
        return;
    ProbeAudioFormat audio;
    audio.formatTag = format->wFormatTag;
    audio.channels = format->nChannels;
    audio.samplesPerSec = format->nSamplesPerSec;
    audio.avgBytesPerSec = format->nAvgBytesPerSec;
    audio.bitsPerSample = format->wBitsPerSample;
    values.audio = audio;
    values.audioDuration = duration;
}

// The first interleaved stream's DVINFO, when its block is complete.
void ClassifyDvInfo(const MediaType &type, std::int64_t duration, std::int64_t frames,
                    ProbeValues &values)
{
    if (type.format().size() < media::DvInfo::Size)
        return;
    const auto info = media::DvInfo::read(type.format());
    if (!info)
        return;
    ProbeDvInfo dv;
    dv.aAuxSrc = info->dwDVAAuxSrc;
    dv.aAuxCtl = info->dwDVAAuxCtl;
    dv.aAuxSrc1 = info->dwDVAAuxSrc1;
    dv.aAuxCtl1 = info->dwDVAAuxCtl1;
    dv.vAuxSrc = info->dwDVVAuxSrc;
    dv.vAuxCtl = info->dwDVVAuxCtl;
    values.dvInfo = dv;
    values.videoDuration = duration;
    values.videoFrames = frames;
    values.audioDuration = duration;
}

void Classify(const MediaType &type, std::int64_t duration, std::int64_t frames,
              ProbeValues &values)
{
    if (type.major() == MajorType::Video)
        ClassifyVideo(type, duration, frames, values);
    else if (type.major() == MajorType::Audio)
        ClassifyAudio(type, duration, values);
}

// A further stereo pair of the interleaved stream whose first pair is the
// audio found: four-channel DV sound counts as one format of four channels.
void AddAudioPair(const MediaType &type, ProbeValues &values)
{
    const auto wave = type.waveFormat();
    if (!values.audio || !wave)
        return;
    values.audio->channels = std::uint16_t(values.audio->channels + wave->nChannels);
    values.audio->avgBytesPerSec += wave->nAvgBytesPerSec;
}

// Pauses the graph until every connected renderer holds its first sample (or
// had end of stream), or the wait is over.
void PauseBriefly(media::FilterGraph &graph)
{
    if (graph.Pause())
        graph.GetState(TdmList::kPauseWait);
}

} // namespace

TdmList::TdmList()
    : m_events(std::make_shared<media::QueueEventExecutor>()),
      m_detector(std::make_shared<Tdv_sceneDetect>())
{}

TdmList::~TdmList() = default;

bool TdmList::LoadSource(Build &build, const QString &fileName)
{
    build.source = std::make_shared<media::FileSourceFilter>();
    if (!build.graph.AddFilter(build.source, "source"))
        return false;
    return build.source->Load(fileName, nullptr);
}

ProbeValues TdmList::ReadDVInfo(const QString &fileName)
{
    ProbeValues values;
    {
        Build build(m_events);
        media::FilterGraph &graph = build.graph;
        graph.AddFilter(build.aviSplitter, "avisplitter");
        graph.AddFilter(build.dvSplitter, "dvsplitter");
        graph.AddFilter(build.nullRender, "nullrender");
        graph.AddFilter(m_detector, "scenedetect");
        if (!LoadSource(build, fileName))
            return values;

        // A file that is not AVI leaves the splitter without outputs: nothing
        // is found, and that is not a failure.
        graph.ConnectDirect(build.source->output(), build.aviSplitter->input());
        const std::vector<media::OutputPin *> streams = build.aviSplitter->outputPins();
        values.streamCount = int(streams.size());

        // Only the detector needs a frame, so only a stream it reads is paused;
        // the other streams and the DV splitter's outputs give their types
        // when they connect.
        media::InputPin &rendererIn = build.nullRender->input();
        for (std::size_t index = 0; index < streams.size(); ++index) {
            media::OutputPin *stream = streams[index];
            const std::int64_t frames = build.aviSplitter->FrameCount(index);
            const bool viaDetector = graph.ConnectDirect(*stream, m_detector->input());
            if (viaDetector) {
                values.hasDv = true;
                graph.ConnectDirect(m_detector->output(), rendererIn);
                PauseBriefly(graph);
                // The detector counts the frames of its run: none means no
                // frame came within the wait, and its values are not this
                // file's.
                const TDvFrameInfo info = m_detector->CurrentInfo();
                if (info.FrameNumber > 0) {
                    values.hasDate = info.HasDate;
                    values.recDateTime = info.HasDate ? info.RecDateTime : 0;
                    values.hasTimecode = info.HasTimecode;
                    values.timecode = info.HasTimecode ? info.Timecode : TDvTimecode{};
                    values.wide = info.Wide;
                }
                graph.Stop();
            } else {
                graph.ConnectDirect(*stream, rendererIn);
            }
            const MediaType type = stream->connectionType();
            const std::int64_t duration = graph.seeking().GetDuration().value_or(0);

            graph.Disconnect(rendererIn);
            graph.Disconnect(m_detector->output());
            graph.Disconnect(m_detector->input());
            graph.Disconnect(*stream);

            if (type.major() != MajorType::Interleaved) {
                Classify(type, duration, frames, values);
                continue;
            }
            // Only the first interleaved stream is taken.
            if (values.dvInfo)
                continue;
            ClassifyDvInfo(type, duration, frames, values);

            // The interleaved stream's video and audio, each with the
            // interleaved stream's duration.
            if (!graph.ConnectDirect(*stream, *build.dvSplitter->inputPin()))
                return values;
            const bool ownAudio = !values.audio;
            int pairs = 0;
            for (media::OutputPin *part : build.dvSplitter->outputPins()) {
                if (!graph.ConnectDirect(*part, rendererIn))
                    continue;
                const MediaType partType = part->connectionType();
                graph.Disconnect(*part);
                if (partType.major() == MajorType::Audio && ownAudio && pairs++ > 0)
                    AddAudioPair(partType, values);
                else
                    Classify(partType, duration, frames, values);
            }
            if (ownAudio && values.audio)
                values.audioFrames = frames;
            graph.Disconnect(*stream);
        }
        values.ok = true;
    }
    return values;
}

} // namespace vidora
