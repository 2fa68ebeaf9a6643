#include "video/graphs/viewgraph.h"

#include "formats/rounding.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/codec_registry.h"
#include "platform/media/filters/colour_converter.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/video_renderer.h"
#include "platform/media/graph.h"
#include "platform/media/registry.h"
#include "video/filters/dv_deinter.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/graphsteps.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace vidora {

using namespace graphsteps;

namespace {

inline constexpr char kSceneDetectViewName[] = "vScenedetect";
inline constexpr char kSuperposerViewName[] = "superposer";

template <class F>
F &attach(media::FilterGraph &fg, std::shared_ptr<F> &slot)
{
    slot = std::make_shared<F>();
    if (!fg.AddFilter(slot, std::string()))
        throw std::runtime_error("could not add the filter \"" + slot->objectName() +
                                 "\" to the preview graph");
    return *slot;
}

void addOwn(media::FilterGraph &fg, const std::shared_ptr<media::Filter> &filter, const char *name)
{
    if (!fg.AddFilter(filter, name))
        throw std::runtime_error(std::string("could not add the filter \"") + name +
                                 "\" to the preview graph");
}

bool renderOutput(media::FilterGraph &fg, media::Pin &pin)
{
    if (pin.direction() != media::PinDirection::Output || pin.isConnected())
        return false;
    return fg.Render(static_cast<media::OutputPin &>(pin));
}

} // namespace

// A frame shown or cued, told from a streaming thread to a wait for a frame
// on the GUI thread. The wait first sleeps on the notice itself: being woken
// through the event loop takes several times as long, which a step feels.
// Past that, it waits in the event loop, which an empty queued call ends.
class Tviewdm::FrameNotice
{
public:
    // Any thread, after the change the waiter looks for.
    void notify()
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_count;
        }
        m_changed.notify_all();
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] {}, Qt::QueuedConnection);
    }

    std::uint64_t count() const
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }

    // Sleeps until a notice after `seen` (which it then updates), or until
    // `until`; false at the time-out.
    bool waitAfter(std::uint64_t &seen, std::chrono::steady_clock::time_point until)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_until(lock, until, [&] { return m_count != seen; }))
            return false;
        seen = m_count;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_count = 0; // guarded by m_mutex
};

std::int32_t PreviewVolume(int linear)
{
    const int v = std::clamp(linear, 0, 10000);
    return std::int32_t(roundHalfEven(std::log(double(v) + 1.0) * 1085.73)) - 10000;
}

Tviewdm::Tviewdm(std::shared_ptr<media::EventExecutor> executor)
    : m_executor(std::move(executor)), m_registry(std::make_shared<media::FilterRegistry>()),
      m_source(std::make_shared<media::FileSourceFilter>())
{
    media::registerCodecFilters(*m_registry);
    media::registerRendererFilters(*m_registry);
    m_fg = std::make_unique<media::FilterGraph>(m_executor);
    m_fg->setRegistry(m_registry);
    // An event still queued when the module is gone finds no module.
    m_fg->setEventHandler(
        [this, alive = std::weak_ptr<int>(m_alive)](const media::GraphEvent &event) {
            if (alive.lock())
                OnEvent(event);
        });
    // The detector first: the overlay filter reads the frames it saw.
    m_sceneDetect = std::make_shared<Tdv_sceneDetect>();
    m_superposer = std::make_shared<Tdv_Superposer>(m_sceneDetect.get());
    m_frameNotice = std::make_shared<FrameNotice>();
    m_superposer->SetFrameShownObserver([notice = m_frameNotice] { notice->notify(); });
    m_deinter = std::make_shared<Tdv_deinter>();
}

Tviewdm::~Tviewdm()
{
    m_fg->Clear();
}

const SettingValues &Tviewdm::Settings() const
{
    return m_settings != nullptr ? *m_settings : m_defaultSettings;
}

void Tviewdm::ResetGraph()
{
    m_seeking = nullptr;
    // Clearing stops the graph and takes every filter out of it: the
    // standard filters are released, the own ones live on.
    m_fg->Clear();
    m_color.reset();
    m_dvdecoder.reset();
    m_dvsplitter.reset();
    m_avisplitter.reset();
    m_source = std::make_shared<media::FileSourceFilter>();
    m_hasAudio = false;
    m_hasVideo = false;
    m_graphReady = false;
}

void Tviewdm::AddVideoRenderer()
{
    m_renderer =
        std::make_shared<media::VideoRendererFilter>(m_view ? m_view->VideoSink() : nullptr);
    m_renderer->setCueObserver([notice = m_frameNotice] { notice->notify(); });
    addOwn(*m_fg, m_renderer, "Video Renderer");
}

bool Tviewdm::ConnectRenderer()
{
    media::Pin &colorOut = PinAt(*m_color, 1);
    if (Direct(*m_fg, colorOut, PinAt(*m_renderer, 0)))
        return true;
    m_fg->Disconnect(colorOut);
    m_fg->Disconnect(PinAt(*m_renderer, 0));
    // The other renderer of the window: a fresh one.
    m_fg->RemoveFilter(*m_renderer);
    AddVideoRenderer();
    return Direct(*m_fg, colorOut, PinAt(*m_renderer, 0));
}

media::AviSplitterFilter &Tviewdm::LoadSplitter(const QString &fileName)
{
    ResetGraph();
    AddVideoRenderer();
    auto &fg = *m_fg;
    m_videoMessageCode = videomessage::NotFound;
    addOwn(fg, m_source, "source");
    Required(m_source->Load(fileName, nullptr), "the file cannot be loaded");
    m_videoMessageCode = videomessage::NotAvi;
    auto &avisplitter = attach(fg, m_avisplitter);
    Required(Direct(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0)), "not an AVI file");
    Check(PinCount(avisplitter) < 2, "no stream in the AVI file");
    return avisplitter;
}

bool Tviewdm::BuildDvGraph(const QString &fileName)
{
    try {
        auto &avisplitter = LoadSplitter(fileName);
        auto &fg = *m_fg;
        // A paused step reads the one frame it shows.
        avisplitter.setPausedReadAhead(false);

        m_videoMessageCode = videomessage::NotDv;
        auto &dvsplitter = attach(fg, m_dvsplitter);
        addOwn(fg, m_sceneDetect, kSceneDetectViewName);
        media::Pin &detectorIn = PinAt(*m_sceneDetect, 0);
        const std::vector<media::Pin *> aviOutputs = SplitterOutputs(avisplitter);
        // Only an interleaved stream is split: a type-2 file's DV video
        // stream goes to the detector as it is.
        const media::MediaType interleavedOnly(media::MajorType::Interleaved);
        bool interleaved = false;
        for (media::Pin *out : aviOutputs)
            if ((interleaved = Direct(fg, *out, PinAt(dvsplitter, 0), &interleavedOnly)))
                break;
        if (interleaved) {
            Check(PinCount(dvsplitter) < 2, "the DV splitter has no output");
            Required(SearchDirect(fg, PinsFrom(dvsplitter, 1), detectorIn) != nullptr,
                     "no DV video stream");
        } else {
            fg.RemoveFilter(dvsplitter);
            m_dvsplitter.reset();
            Required(SearchDirect(fg, SplitterOutputs(avisplitter), detectorIn) != nullptr,
                     "no DV stream");
        }

        m_videoMessageCode = videomessage::DvRefused;
        auto &decoder = attach(fg, m_dvdecoder);
        // Playing, a single thread decodes a DV frame in a fraction of its
        // duration. A paused picture (a seek, a step) is waited for: it is
        // decoded on the processor's threads.
        decoder.setThreadCount(1);
        decoder.setCueThreadCount(media::ffmpeg::defaultThreadCount());
        // The renderer lends top-down pictures to the view without a copy.
        decoder.setTopDownOutput(true);
        if (auto *display = decoder.queryInterface<media::IIPDVDec>())
            display->put_IPDisplay(media::DVRESOLUTION_FULL);
        Required(Direct(fg, PinAt(*m_sceneDetect, 1), PinAt(decoder, 0)),
                 "the decoder refuses the stream");
        addOwn(fg, m_superposer, kSuperposerViewName);
        Required(Direct(fg, PinAt(decoder, 1), PinAt(*m_superposer, 0)),
                 "the overlay refuses the pictures");

        auto &color = attach(fg, m_color);
        Plain(fg, PinAt(*m_superposer, 1), PinAt(color, 0));
        m_hasVideo = ConnectRenderer();

        if (!m_audioRendered)
            return true;
        if (PinCount(avisplitter) > 2) {
            for (media::Pin *pin : SplitterOutputs(avisplitter))
                m_hasAudio = renderOutput(fg, *pin) || m_hasAudio;
        } else if (m_dvsplitter && PinCount(*m_dvsplitter) > 2) {
            for (std::size_t i = 1; i < PinCount(*m_dvsplitter); ++i)
                m_hasAudio = renderOutput(fg, PinAt(*m_dvsplitter, i)) || m_hasAudio;
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool Tviewdm::BuildAviGraph(const QString &fileName)
{
    try {
        auto &avisplitter = LoadSplitter(fileName);
        auto &fg = *m_fg;

        for (media::Pin *pin : SplitterOutputs(avisplitter)) {
            const std::vector<media::MediaType> types = pin->mediaTypes();
            if (!m_audioRendered && !types.empty() &&
                types.front().major() == media::MajorType::Audio)
                continue;
            if (!renderOutput(fg, *pin))
                continue;
            const media::MajorType major = pin->connectionType().major();
            m_hasVideo = m_hasVideo || major == media::MajorType::Video;
            m_hasAudio = m_hasAudio || major == media::MajorType::Audio;
        }

        if (m_hasVideo) {
            m_hasVideo = false;
            media::Pin *toRenderer = PinAt(*m_renderer, 0).peer();
            if (toRenderer == nullptr)
                return false;
            fg.Disconnect(*toRenderer);
            addOwn(fg, m_superposer, kSuperposerViewName);
            Direct(fg, *toRenderer, PinAt(*m_superposer, 0));
            auto &color = attach(fg, m_color);
            Plain(fg, PinAt(*m_superposer, 1), PinAt(color, 0));
            m_hasVideo = ConnectRenderer();
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool Tviewdm::OpenFile(const TPreviewEntry *entry, IPreviewView *view)
{
    m_graphReady = false;
    if (entry == nullptr)
        return false;
    m_view = view;
    m_entry = *entry;
    m_frameRate = entry->FrameRate;
    if (m_settings != nullptr)
        m_settings->Incrust.DateOffset = entry->DateOffset;

    const bool built = entry->IsDv ? BuildDvGraph(entry->FileName) : BuildAviGraph(entry->FileName);
    // Whatever the outcome: no video, no frame rate; the time format follows.
    if (!m_hasVideo)
        m_frameRate = 0;
    m_entry.FrameRate = m_frameRate;
    m_seeking = &m_fg->seeking();
    m_seeking->SetTimeFormat(m_frameRate > 0 ? media::TimeFormat::Frame
                                             : media::TimeFormat::MediaTime);
    m_graphReady = built;

    auto show = [&](auto call) {
        if (m_view != nullptr)
            call(*m_view);
    };
    if (!built) {
        if (m_graphClosed)
            m_videoMessageCode = videomessage::TakenByCommand;
        show([&](IPreviewView &v) { v.ShowVideoUnavailable(m_videoMessageCode); });
        return false;
    }
    // A new graph holds the file again: a command's hold is over.
    m_graphClosed = false;

    const bool hasCodec = entry->CodecText != QLatin1String("N/A");
    const bool hasAudioText = entry->AudioText != QLatin1String("N/A");
    TVideoMessageCode unavailable = 0;
    if (hasCodec && m_hasVideo) {
        m_videoMessageCode = videomessage::HeadingOnly;
        show([](IPreviewView &v) { v.ShowVideo(); });
        m_superposer->SetDateOffset(entry->DateOffset);
    } else if (hasCodec && m_hasAudio) {
        m_videoMessageCode = videomessage::NoDecoderAudio;
        show([&](IPreviewView &v) { v.ShowAudioOnly(m_videoMessageCode); });
    } else if (hasCodec) {
        unavailable =
            hasAudioText ? videomessage::NoDecoderUnknown : videomessage::NoDecoderNoAudio;
    } else if (m_hasAudio) {
        m_videoMessageCode = videomessage::AudioOnly;
        show([&](IPreviewView &v) { v.ShowAudioOnly(m_videoMessageCode); });
    } else {
        unavailable = videomessage::NotAvi;
    }
    if (unavailable != 0) {
        m_videoMessageCode = unavailable;
        m_graphReady = false;
        show([&](IPreviewView &v) { v.ShowVideoUnavailable(m_videoMessageCode); });
        return false;
    }

    m_pausedBound = true;
    ApplyVolume();
    const SettingValues &settings = Settings();
    m_superposer->SetOptions(settings.Incrust);
    m_superposer->SetOverlayOn(settings.IsIncrustOn);

    m_startPosition = 0;
    m_stopPosition = m_seeking->GetDuration().value_or(0);
    // A sound device's clock when there is one, else the system's.
    m_fg->SetDefaultSyncSource();
    m_fg->Run();
    Pause();
    return true;
}

SettingValues &Tviewdm::SoundSettings()
{
    return m_settings ? *m_settings : m_defaultSettings;
}

void Tviewdm::PutVolume(int linear)
{
    const std::int32_t volume = PreviewVolume(linear);
    for (media::Filter *filter : m_fg->filters())
        if (auto *audio = filter->queryInterface<media::IBasicAudio>())
            audio->put_Volume(volume);
}

void Tviewdm::ApplyVolume()
{
    const SettingValues &settings = Settings();
    PutVolume(settings.IsMuteOn ? 0 : settings.Volume);
}

void Tviewdm::SetVolume(int linear)
{
    SoundSettings().Volume = linear;
    if (!Settings().IsMuteOn)
        PutVolume(linear);
}

void Tviewdm::SetMute(bool on)
{
    SoundSettings().IsMuteOn = on;
    ApplyVolume();
}

void Tviewdm::Silence()
{
    PutVolume(0);
}

void Tviewdm::Stop()
{
    m_fg->Stop();
}

media::FilterState Tviewdm::State() const
{
    return m_fg->GetState(std::chrono::milliseconds(0)).state;
}

bool Tviewdm::Run()
{
    // A play asked for before the open's pause was reported wins over the
    // open's seek to the start, which would pause it again.
    m_pausedBound = false;
    return m_graphReady && m_fg->Run();
}

void Tviewdm::SetPositions(std::int64_t current)
{
    // A seek asked for before the open's pause completed wins over the
    // open's own seek to the start.
    m_pausedBound = false;
    m_superposer->ClearFrameShown();
    if (m_seeking->GetTimeFormat() != media::TimeFormat::Frame) {
        m_seeking->SetPositions(current, m_stopPosition);
        return;
    }
    // A frame is sought at its middle: frame times are rounded to 100 ns
    // (a 29.97 fps frame lasts 333666.67), so its start may fall in the frame
    // before.
    const auto frame =
        m_seeking->ConvertTimeFormat(1, media::TimeFormat::MediaTime, media::TimeFormat::Frame);
    const auto start = m_seeking->ConvertTimeFormat(current, media::TimeFormat::MediaTime,
                                                    media::TimeFormat::Frame);
    const auto stop = m_seeking->ConvertTimeFormat(m_stopPosition, media::TimeFormat::MediaTime,
                                                   media::TimeFormat::Frame);
    if (!frame || !start || !stop)
        return;
    m_seeking->SetTimeFormat(media::TimeFormat::MediaTime);
    m_seeking->SetPositions(*start + *frame / 2, *stop);
    m_seeking->SetTimeFormat(media::TimeFormat::Frame);
}

void Tviewdm::WaitForFrame()
{
    // No video: no frame will come. A wait already running goes on for the
    // newest frame instead of a second loop inside it.
    if (!m_hasVideo || m_waiting)
        return;
    m_waiting = true;
    m_endWait = false;
    const QDeadlineTimer deadline(kFrameWait);
    // Drawn: the overlay filter has processed the frame, and a paused
    // renderer holds it (it hands a cued frame to the view at once).
    auto drawn = [this] {
        return m_superposer->FrameShown() &&
               (m_fg->GetState(std::chrono::milliseconds(0)).state != media::FilterState::Paused ||
                m_renderer->isCued());
    };
    // The count is read before the state, so a notice after the state was
    // read is never missed.
    std::uint64_t seen = m_frameNotice->count();
    const auto direct = std::chrono::steady_clock::now() + kDirectFrameWait;
    while (!drawn() && m_frameNotice->waitAfter(seen, direct)) {
    }
    // The loop sleeps until an event comes: the overlay filter's frame and
    // the renderer's cue post one (WakeWaitingFrame), and so does the timer
    // at the time-out.
    QTimer timeOut;
    timeOut.setSingleShot(true);
    timeOut.setTimerType(Qt::PreciseTimer);
    while (!drawn() && !m_endWait && !deadline.hasExpired()) {
        if (!timeOut.isActive())
            timeOut.start(std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime())));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    m_waiting = false;
}

std::optional<std::int64_t> Tviewdm::CurrentPosition() const
{
    if (m_seeking == nullptr)
        return std::nullopt;
    if (m_hasVideo && m_renderer)
        if (const auto shown = m_renderer->renderedPosition()) {
            if (m_seeking->GetTimeFormat() != media::TimeFormat::Frame)
                return shown;
            // The frame whose start is nearest: frame times are rounded to
            // 100 ns (a 29.97 fps frame lasts 333666.67).
            const std::int64_t frame =
                m_seeking
                    ->ConvertTimeFormat(1, media::TimeFormat::MediaTime, media::TimeFormat::Frame)
                    .value_or(0);
            return m_seeking->ConvertTimeFormat(*shown + frame / 2, media::TimeFormat::Frame,
                                                media::TimeFormat::MediaTime);
        }
    return m_seeking->GetCurrentPosition();
}

void Tviewdm::UpdateSlider()
{
    if (m_view == nullptr || m_seeking == nullptr || m_stopPosition <= 0)
        return;
    if (const auto current = CurrentPosition())
        m_view->SetPositionSlider(int(*current * kSliderMaximum / m_stopPosition));
}

std::int64_t Tviewdm::LastPosition() const
{
    // In frames the last one is StopPosition - 1: none exists at the count.
    if (m_seeking != nullptr && m_seeking->GetTimeFormat() == media::TimeFormat::Frame)
        return std::max<std::int64_t>(m_startPosition, m_stopPosition - 1);
    return m_stopPosition;
}

void Tviewdm::SeekTo(std::int64_t position)
{
    if (!m_graphReady || m_seeking == nullptr)
        return;
    SetPositions(std::clamp(position, m_startPosition, LastPosition()));
    m_fg->Pause();
    WaitForFrame();
    UpdateSlider();
}

std::int64_t Tviewdm::Duration() const
{
    return m_seeking != nullptr ? m_seeking->GetDuration().value_or(0) : 0;
}

void Tviewdm::SetRange(std::int64_t start, std::int64_t stop)
{
    if (!m_graphReady || m_seeking == nullptr)
        return;
    const std::int64_t duration = Duration();
    m_stopPosition = std::clamp<std::int64_t>(stop, 0, duration);
    m_startPosition = std::clamp<std::int64_t>(start, 0, m_stopPosition);
}

void Tviewdm::SetPosition(std::int64_t position)
{
    if (!m_graphReady || m_seeking == nullptr)
        return;
    SetPositions(std::clamp(position, m_startPosition, LastPosition()));
}

void Tviewdm::SeekBy(std::int32_t delta)
{
    if (!m_graphReady || m_seeking == nullptr)
        return;
    const std::int64_t current = CurrentPosition().value_or(m_startPosition);
    SetPositions(std::clamp(current + delta, m_startPosition, LastPosition()));
    WaitForFrame();
    if (OnSeekDone)
        OnSeekDone();
}

void Tviewdm::SeekByTime(std::int64_t delta)
{
    if (!m_graphReady || m_seeking == nullptr)
        return;
    // As SetPositions: this seek wins over the open's own.
    m_pausedBound = false;
    const media::TimeFormat format = m_seeking->GetTimeFormat();
    m_seeking->SetTimeFormat(media::TimeFormat::MediaTime);
    const std::int64_t current = m_seeking->GetCurrentPosition().value_or(m_startPosition);
    m_seeking->SetPositions(std::clamp(current + delta, m_startPosition, m_stopPosition),
                            m_stopPosition);
    m_seeking->SetTimeFormat(format);
}

void Tviewdm::Pause()
{
    if (m_fg->GetState(std::chrono::milliseconds(0)).state != media::FilterState::Paused)
        m_fg->Pause();
}

void Tviewdm::Refresh()
{
    if (m_fg->GetState(std::chrono::milliseconds(0)).state == media::FilterState::Running)
        return;
    m_superposer->ClearFrameShown();
    m_fg->Stop();
    m_fg->Pause();
}

void Tviewdm::CloseGraph()
{
    m_graphClosed = true;
    m_graphReady = false;
    m_seeking = nullptr;
    m_fg->Clear();
    m_source = std::make_shared<media::FileSourceFilter>();
    m_color.reset();
    m_dvdecoder.reset();
    m_dvsplitter.reset();
    m_avisplitter.reset();
}

bool Tviewdm::SceneDetectActive() const
{
    return m_sceneDetect->state() != media::FilterState::Stopped &&
           m_sceneDetect->graph() == m_fg.get();
}

QImage Tviewdm::PictureAt(std::int64_t frame)
{
    if (!m_graphReady || !m_hasVideo)
        return {};
    SeekTo(frame);
    return m_superposer->FrameShown() ? m_superposer->Picture() : QImage();
}

void Tviewdm::viewfgGraphPaused()
{
    m_pausedBound = false;
    SeekTo(m_startPosition);
}

void Tviewdm::viewfgGraphComplete()
{
    SeekTo(m_startPosition);
    m_fg->Run();
}

void Tviewdm::OnEvent(const media::GraphEvent &event)
{
    switch (event.code) {
    case media::GraphEventCode::Paused:
        if (m_pausedBound)
            viewfgGraphPaused();
        break;
    case media::GraphEventCode::Complete:
        if (m_completeBound)
            viewfgGraphComplete();
        break;
    case media::GraphEventCode::ErrorAbort:
        break;
    }
}

} // namespace vidora
