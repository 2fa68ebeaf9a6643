#include "video/graphs/convertirdvunit.h"

#include "platform/media/filters/audio_converter.h"
#include "platform/media/filters/avi_mux.h"
#include "platform/media/filters/avi_splitter.h"
#include "platform/media/filters/codec_registry.h"
#include "platform/media/filters/dv_decoder.h"
#include "platform/media/filters/dv_encoder.h"
#include "platform/media/filters/dv_muxer.h"
#include "platform/media/filters/dv_splitter.h"
#include "platform/media/filters/file_source.h"
#include "platform/media/filters/file_writer.h"
#include "platform/media/filters/infinite_tee.h"
#include "platform/media/filters/null_renderer.h"
#include "platform/media/registry.h"
#include "video/filters/dv_deinter.h"
#include "video/filters/dv_dvheader.h"
#include "video/filters/dv_mediastamper.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/dv_superposer.h"
#include "video/filters/dv_wavedest.h"
#include "video/filters/uscenedetectcontenu.h"
#include "video/graphs/graphsteps.h"

#include <algorithm>
#include <stdexcept>

namespace vidora {

using namespace graphsteps;

namespace {
// The file writer's overwrite mode.
constexpr std::uint32_t AM_FILE_OVERWRITE = 1;
} // namespace

TCdm::TCdm(std::shared_ptr<media::EventExecutor> executor)
    : m_executor(std::move(executor)), m_registry(std::make_shared<media::FilterRegistry>()),
      m_source(std::make_shared<media::FileSourceFilter>())
{
    m_notices->owner = this;
    media::registerCodecFilters(*m_registry);
    // The scene detector first: the overlay and DV header filters read the
    // frames it saw.
    m_sceneDetect = std::make_shared<Tdv_sceneDetect>();
    m_superposer = std::make_shared<Tdv_Superposer>(m_sceneDetect.get());
    m_dvHeader = std::make_shared<Tdv_DVheader>(m_sceneDetect.get());
    m_deinter = std::make_shared<Tdv_deinter>();
    m_waveDest = std::make_shared<Tdv_WaveDest>();
    m_sceneDetectContenu = std::make_shared<TSceneDetectContenu>();
    m_mediaStamper = std::make_shared<Tdv_MediaStamper>();
    ResetGraph();
}

TCdm::~TCdm()
{
    {
        std::lock_guard lock(m_notices->lock);
        m_notices->owner = nullptr;
    }
    if (m_fg)
        m_fg->Clear();
}

const SettingValues &TCdm::Settings() const
{
    return m_settings != nullptr ? *m_settings : m_defaultSettings;
}

void TCdm::ResetGraph()
{
    // A new graph: the old one is stopped and emptied, which releases every
    // standard filter; the own filter objects live on.
    if (m_fg) {
        m_fg->Clear();
        CloseNotices();
    }
    m_fg = std::make_unique<media::FilterGraph>(m_executor);
    m_fg->setRegistry(m_registry);
    m_fg->setEventHandler([gate = m_notices](const media::GraphEvent &event) {
        std::lock_guard lock(gate->lock);
        if (gate->owner != nullptr && event.run > gate->closedRuns)
            gate->owner->OnEvent(event);
    });
    m_fg->AddFilter(m_source, std::string());

    m_destination.reset();
    m_avisplitter.reset();
    m_dvsplitter.reset();
    m_dvmuxer.reset();
    m_avimux.reset();
    m_acm1.reset();
    m_acm2.reset();
    m_DVdecoder.reset();
    m_DVenc.reset();
    m_nullrender.reset();
    m_infinite.reset();

    m_sceneDetect->SetOnScene(nullptr);
    m_sceneDetect->SetOnEnd(nullptr);
    m_sceneDetect->SetOnTitle(nullptr);
}

void TCdm::CloseNotices()
{
    const std::uint64_t run = m_fg->runId();
    std::lock_guard lock(m_notices->lock);
    m_notices->closedRuns = std::max(m_notices->closedRuns, run);
}

// On the executor's thread, with the gate held.
void TCdm::OnEvent(const media::GraphEvent &event)
{
    switch (event.code) {
    case media::GraphEventCode::Complete:
        fgGraphComplete();
        break;
    case media::GraphEventCode::ErrorAbort:
        if (OnGraphError)
            OnGraphError(QString::fromStdString(event.message));
        break;
    case media::GraphEventCode::Paused:
        break;
    }
}

void TCdm::fgGraphComplete()
{
    if (OnGraphComplete)
        OnGraphComplete();
}

media::Filter *TCdm::Acm1() const
{
    return m_acm1.get();
}

media::Filter *TCdm::Acm2() const
{
    return m_acm2.get();
}

media::IMediaSeeking *TCdm::Build(const std::function<media::IMediaSeeking *()> &steps)
{
    try {
        return steps();
    } catch (const BuildEnded &) {
        return nullptr;
    }
}

template <class F>
F &TCdm::Attach(std::shared_ptr<F> &slot)
{
    slot = std::make_shared<F>();
    if (!m_fg->AddFilter(slot, std::string()))
        throw std::runtime_error("could not add the filter \"" + slot->objectName() +
                                 "\" to the graph");
    return *slot;
}

template media::AviSplitterFilter &TCdm::Attach(std::shared_ptr<media::AviSplitterFilter> &);
template media::DvSplitterFilter &TCdm::Attach(std::shared_ptr<media::DvSplitterFilter> &);
template media::DvMuxerFilter &TCdm::Attach(std::shared_ptr<media::DvMuxerFilter> &);
template media::AviMuxFilter &TCdm::Attach(std::shared_ptr<media::AviMuxFilter> &);
template media::AudioConverterFilter &TCdm::Attach(std::shared_ptr<media::AudioConverterFilter> &);
template media::NullRenderer &TCdm::Attach(std::shared_ptr<media::NullRenderer> &);
template media::InfiniteTeeFilter &TCdm::Attach(std::shared_ptr<media::InfiniteTeeFilter> &);

void TCdm::AddOwn(const std::shared_ptr<media::Filter> &filter, const char *name)
{
    if (!m_fg->AddFilter(filter, name))
        throw std::runtime_error(std::string("could not add the filter \"") + name +
                                 "\" to the graph");
}

bool TCdm::LoadSource(const QString &source)
{
    return m_source->Load(source, nullptr);
}

void TCdm::StartFileGraph(const QString &source, const QString &output)
{
    ResetGraph();
    LoadSource(source);
    AttachDestination(output);
}

media::FileWriterFilter &TCdm::AttachDestination(const QString &output)
{
    m_destination = std::make_shared<media::FileWriterFilter>();
    if (!m_fg->AddFilter(m_destination, std::string()))
        throw std::runtime_error("could not add the file writer to the graph");
    auto *sink = m_destination->queryInterface<media::IFileSinkFilter2>();
    if (sink == nullptr)
        throw std::runtime_error("the file writer offers no IFileSinkFilter2");
    if (!sink->SetFileName(output, nullptr) || !sink->SetMode(AM_FILE_OVERWRITE))
        throw std::runtime_error("the file writer refused the output " + output.toStdString());
    return *m_destination;
}

media::DvEncoderFilter &TCdm::AttachEncoder(bool ntsc)
{
    m_DVenc = std::make_shared<media::DvEncoderFilter>();
    if (!m_fg->AddFilter(m_DVenc, std::string()))
        throw std::runtime_error("could not add the DV encoder to the graph");
    auto *settings = m_DVenc->queryInterface<media::IDVEnc>();
    if (settings == nullptr)
        throw std::runtime_error("the DV encoder offers no IDVEnc");
    settings->put_FormatSettings(
        ntsc ? media::DVENCODERVIDEOFORMAT_NTSC : media::DVENCODERVIDEOFORMAT_PAL,
        media::DVENCODERFORMAT_DVSD, media::DVENCODERRESOLUTION_720x480, false);
    return *m_DVenc;
}

media::DvDecoderFilter &TCdm::AttachDecoder()
{
    m_DVdecoder = std::make_shared<media::DvDecoderFilter>();
    if (!m_fg->AddFilter(m_DVdecoder, std::string()))
        throw std::runtime_error("could not add the DV decoder to the graph");
    auto *display = m_DVdecoder->queryInterface<media::IIPDVDec>();
    if (display == nullptr)
        throw std::runtime_error("the DV decoder offers no IIPDVDec");
    display->put_IPDisplay(media::DVRESOLUTION_FULL);
    // Nobody watches a processing graph's pictures as they come: frames are
    // decoded several at once.
    m_DVdecoder->setFrameLanes(media::ffmpeg::defaultThreadCount());
    return *m_DVdecoder;
}

// Type 1 to type 2 without re-encoding. No single connection is required, but
// a graph in which no stream reaches the AVI mux is not built: it would write
// a file with no frames (or never end) and report success.
media::IMediaSeeking *TCdm::BuildToType2Graph(const QString &source, const QString &output)
{
    StartFileGraph(source, output);
    auto &avisplitter = Attach(m_avisplitter);
    auto &dvsplitter = Attach(m_dvsplitter);
    auto &acm1 = Attach(m_acm1);
    auto &acm2 = Attach(m_acm2);
    auto &avimux = Attach(m_avimux);
    return Build([&]() -> media::IMediaSeeking * {
        auto &fg = *m_fg;
        Plain(fg, PinAt(*m_source, 0), PinAt(avisplitter, 0));
        Plain(fg, PinAt(avisplitter, 0), PinAt(dvsplitter, 0));
        // Each output through the converter of its turn, while there is one
        // and it takes the stream; straight to the mux otherwise.
        int counter = 1;
        const std::size_t dvPins = PinCount(dvsplitter);
        for (std::size_t i = 1; i < dvPins; ++i) {
            media::Pin &out = PinAt(dvsplitter, i);
            media::Filter *acm = NthConverter(counter, acm1, acm2);
            if (acm != nullptr && Plain(fg, out, PinAt(*acm, 0))) {
                Plain(fg, PinAt(*acm, 1), LastPin(avimux));
                ++counter;
            } else {
                Plain(fg, out, LastPin(avimux));
            }
        }
        return MuxToWriter(fg, avimux, *m_destination);
    });
}

} // namespace vidora
