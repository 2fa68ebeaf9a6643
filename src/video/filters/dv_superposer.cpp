#include "video/filters/dv_superposer.h"

#include "video/filters/dv_scenedetect.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

namespace vidora {

namespace {

// The chroma shifts of a planar type the filter takes (see YuvView), or
// nothing for RGB24 and anything else.
std::optional<std::pair<int, int>> planarShifts(const media::MediaType &type)
{
    if (type.subtype() == media::subtype::I420)
        return std::pair{1, 1};
    if (type.subtype() == media::subtype::Y41b)
        return std::pair{2, 0};
    return std::nullopt;
}

} // namespace

Tdv_Superposer::Tdv_Superposer(const Tdv_sceneDetect *detector)
    : TransformFilter(kObjectName), m_detector(detector)
{}

void Tdv_Superposer::SetOptions(const TincrustRec &options)
{
    m_core.SetOptions(options);
    const std::int64_t duration = m_avgTimePerFrame.load();
    if (duration > 0)
        m_showCount.store(ShowCountFor(options.Seconds, duration));
}

void Tdv_Superposer::SetDisplayMode(std::uint8_t when)
{
    m_core.SetDisplayMode(when);
    m_restartCountdown.store(true);
}

bool Tdv_Superposer::CheckInputType(const media::MediaType &type)
{
    if (type.major() != media::MajorType::Video ||
        type.formatType() != media::FormatType::VideoInfo)
        return false;
    if (type.subtype() == media::subtype::Rgb24)
        return true;
    // Planar pictures of a size their sampling divides, top-down rows.
    const auto shifts = planarShifts(type);
    const auto info = type.videoInfo();
    if (!shifts || !info)
        return false;
    const auto &bmi = info->bmiHeader;
    return bmi.biCompression == type.subtype() && bmi.biWidth > 0 && bmi.biHeight > 0 &&
           bmi.biWidth % (1 << shifts->first) == 0 && bmi.biHeight % (1 << shifts->second) == 0;
}

bool Tdv_Superposer::CheckTransform(const media::MediaType &in, const media::MediaType &out)
{
    return out.major() == in.major() && out.subtype() == in.subtype() &&
           out.formatType() == in.formatType();
}

std::optional<media::MediaType> Tdv_Superposer::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    media::MediaType type = input().connectionType();
    if (planarShifts(type))
        return type;
    auto info = type.videoInfo();
    const auto geometry = Rgb24GeometryOf(type);
    if (!info || !geometry)
        return std::nullopt;
    const std::size_t imageSize = Rgb24ImageSize(geometry->width, geometry->height);
    info->bmiHeader.biBitCount = 24;
    info->bmiHeader.biCompression = 0;
    info->bmiHeader.biSizeImage = static_cast<std::uint32_t>(imageSize);
    type.setFormat(media::FormatType::VideoInfo, info->bytes());
    type.fixedSizeSamples = true;
    type.sampleSize = static_cast<std::uint32_t>(imageSize);
    return type;
}

bool Tdv_Superposer::DecideBufferSize(media::Allocator &allocator,
                                      const media::AllocatorProperties &input)
{
    const media::MediaType &type = this->input().connectionType();
    const auto geometry = Rgb24GeometryOf(type);
    if (!geometry)
        return false;
    const auto shifts = planarShifts(type);
    const std::size_t imageSize =
        shifts ? YuvImageSize(geometry->width, geometry->height, shifts->first, shifts->second)
               : Rgb24ImageSize(geometry->width, geometry->height);
    const media::AllocatorProperties request{std::max<std::size_t>(input.count, 1),
                                             std::max({input.size, imageSize, std::size_t{1}}),
                                             std::max<std::size_t>(input.alignment, 1)};
    const auto granted = allocator.setProperties(request);
    return granted && granted->count >= request.count && granted->size >= request.size &&
           granted->alignment >= request.alignment;
}

bool Tdv_Superposer::StartStreaming()
{
    const media::MediaType &type = input().connectionType();
    const auto geometry = Rgb24GeometryOf(type);
    if (!geometry || !m_core.StartStreaming(geometry->width, geometry->height))
        return false;
    m_geometry = *geometry;
    const auto shifts = planarShifts(type);
    m_planar = shifts.has_value();
    if (shifts)
        std::tie(m_chromaShiftX, m_chromaShiftY) = *shifts;
    const std::int64_t duration = type.videoInfo()->AvgTimePerFrame;
    m_avgTimePerFrame.store(duration);
    if (duration > 0)
        m_showCount.store(ShowCountFor(m_core.Settings().Options.Seconds, duration));
    m_restartCountdown.store(false);
    m_trigger.restart(m_showCount.load());
    return true;
}

void Tdv_Superposer::StopStreaming()
{
    m_core.StopStreaming();
}

Tdv_Superposer::FrameTexts Tdv_Superposer::nextFrame(const media::MediaSample &in,
                                                     media::MediaSample &out)
{
    // A sample without media times is numbered by the frames of the run.
    if (!in.mediaTime) {
        const std::int64_t frame = m_core.FrameCounter();
        out.mediaTime = media::TimeRange{frame, frame + 1};
    }
    // The frame's own record when the detector left one on it (a queued
    // filter may separate this filter from the detector's present).
    TDvFrameInfo info;
    if (m_detector != nullptr) {
        const DvFrameNote *note = DvFrameNoteOf(in);
        info = note != nullptr ? note->Info : m_detector->LastInfo();
    }
    const TincrustRec options = m_core.Settings().Options;
    const std::int32_t showCount = m_showCount.load();
    if (m_restartCountdown.exchange(false))
        m_trigger.restart(showCount);
    m_trigger.advance(options.When, showCount, info.HasDate, info.RecDateTime);
    FrameTexts frame;
    frame.shown = m_trigger.shown(options.When);
    if (frame.shown) {
        const TitleLines lines = FillTitleLines(options, info);
        frame.texts = {lines.Line1, lines.Line2};
    }
    return frame;
}

std::size_t Tdv_Superposer::imageSize() const
{
    return m_planar
               ? YuvImageSize(m_geometry.width, m_geometry.height, m_chromaShiftX, m_chromaShiftY)
               : Rgb24ImageSize(m_geometry.width, m_geometry.height);
}

YuvView Tdv_Superposer::planarView(const media::MediaSample &sample) const
{
    // The core writes into the samples it is given; an input that is read
    // only is copied before it is written (Transform).
    return yuvSampleView(const_cast<std::uint8_t *>(sample.data()), sample.actualLength(),
                         m_geometry.width, m_geometry.height, m_chromaShiftX, m_chromaShiftY);
}

media::Flow Tdv_Superposer::Receive(const media::SamplePtr &sample)
{
    if (sample->isReadOnly())
        return TransformFilter::Receive(sample);
    // The view handed on keeps the frame from being written downstream while
    // the core holds it; its properties are this filter's output's.
    const media::SamplePtr out = media::MediaSample::sharedView(sample);
    out->typeChange.reset();
    bool done = out->setActualLength(imageSize());
    if (done) {
        const FrameTexts frame = nextFrame(*sample, *out);
        done = m_planar ? m_core.TransformPlanarInPlace(planarView(*sample), sample, frame.texts,
                                                        frame.shown)
                        : m_core.TransformInPlace(Rgb24SampleView(*sample, m_geometry), sample,
                                                  frame.texts, frame.shown);
    }
    if (!done) {
        reportError(name() + ": a sample cannot be transformed");
        return media::Flow::Error;
    }
    return output().deliver(out);
}

media::Flow Tdv_Superposer::Transform(const media::MediaSample &in, media::MediaSample &out)
{
    if (!out.setActualLength(imageSize()))
        return media::Flow::Error;
    const FrameTexts frame = nextFrame(in, out);
    const bool done =
        m_planar ? m_core.TransformPlanar(planarView(in), planarView(out), frame.texts, frame.shown)
                 : m_core.Transform(Rgb24SampleView(in, m_geometry),
                                    Rgb24SampleView(out, m_geometry), frame.texts, frame.shown);
    return done ? media::Flow::Ok : media::Flow::Error;
}

} // namespace vidora
