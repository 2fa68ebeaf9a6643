#pragma once

// The processing graph module: builds the filter graph of every video command
// (conversions, overlay, time shift and aspect, audio extraction, scene
// detection, subtitles, cutting) on the media layer.
//
// One graph at a time. Each builder clears the graph (ResetGraph), loads the
// source, puts in the filters it needs, configures them, connects them pin by
// pin in a fixed order and returns the seeking interface the running command
// watches, or null when the graph cannot be built (a required connection or a
// check failed, a pin was missing, an analysis source could not be loaded).
// A filter that does not offer an interface the builder needs raises an
// exception that reaches the caller.
//
// The program's own filters are created once with the module and keep their
// options from one build to the next; the standard filters are created anew
// by each builder that uses them. Builders run on the worker thread of the
// running command; the graph's notices arrive on the executor's thread (the
// GUI thread in the program) and are forwarded to OnGraphComplete and
// OnGraphError.
#include "platform/media/graph.h"
#include "settings/settings.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vidora {

namespace media {
class FileSourceFilter;
class FileWriterFilter;
class AviSplitterFilter;
class DvSplitterFilter;
class DvMuxerFilter;
class AviMuxFilter;
class AudioConverterFilter;
class DvDecoderFilter;
class DvEncoderFilter;
class NullRenderer;
class InfiniteTeeFilter;
class FilterRegistry;
} // namespace media

class Tdv_sceneDetect;
class Tdv_Superposer;
class Tdv_DVheader;
class Tdv_deinter;
class Tdv_WaveDest;
class TSceneDetectContenu;
class Tdv_MediaStamper;

// Names of the program's own filters in the graphs.
inline constexpr char kSceneDetectName[] = "dv_SceneDetect";
inline constexpr char kSuperposerName[] = "dv_Superposer";
inline constexpr char kDvHeaderName[] = "dv_DVHeader";
inline constexpr char kDeinterName[] = "dv_Deinter";
inline constexpr char kWaveDestName[] = "dv_WaveDest";
inline constexpr char kAnalysisSceneDetectName[] = "scenedetect";
inline constexpr char kContentDetectName[] = "scenedetectContenu";
inline constexpr char kMediaStamperName[] = "MediaStamper";

class TCdm
{
public:
    // No executor: the graph's notices go to the GUI thread.
    explicit TCdm(std::shared_ptr<media::EventExecutor> executor = nullptr);
    ~TCdm();
    TCdm(const TCdm &) = delete;
    TCdm &operator=(const TCdm &) = delete;

    // The settings the recompress graph reads ("standard DV", "ratio DV",
    // "Frequence DV"); defaults until set. Not owned.
    void SetSettings(const SettingValues *settings) { m_settings = settings; }

    // The graph's notices. Complete: every renderer reached the end. Error:
    // a filter failed (the message names it). Both run on the executor's
    // thread; the owner forwards them to the command engine's completion
    // event. Set once, before the first build.
    std::function<void()> OnGraphComplete;
    std::function<void(const QString &message)> OnGraphError;

    // Brings the graph back to an empty graph holding only the file source,
    // and clears the scene detector's callbacks.
    void ResetGraph();

    // Format conversions. Each returns the AVI mux's seeking interface.
    media::IMediaSeeking *BuildStandardGraphType2(const QString &source, const QString &output,
                                                  bool toNtsc);
    media::IMediaSeeking *BuildStandardGraphType1(const QString &source, const QString &output,
                                                  bool toNtsc);
    media::IMediaSeeking *BuildToType2Graph(const QString &source, const QString &output);
    media::IMediaSeeking *BuildToType1Graph(const QString &source, const QString &output);
    media::IMediaSeeking *BuildRecompressGraph(const QString &source, const QString &output);
    media::IMediaSeeking *BuildFixType2Graph(const QString &source, const QString &output);

    // Overlay, time shift and aspect. Each returns the AVI mux's seeking.
    media::IMediaSeeking *BuildOverlayGraphType2(const QString &source, const QString &output,
                                                 bool ntsc);
    media::IMediaSeeking *BuildOverlayGraphType1(const QString &source, const QString &output,
                                                 bool ntsc);
    media::IMediaSeeking *BuildHeaderGraph(const QString &source, const QString &output);

    // Analysis and extraction. The analysis graphs and the audio extraction
    // return the graph's seeking; the cutting graphs the null renderer's.
    media::IMediaSeeking *BuildAudioExtractGraph(const QString &source, const QString &output);
    media::IMediaSeeking *BuildScnByDateGraph(const QString &source);
    media::IMediaSeeking *BuildSrtGraph(const QString &source);
    media::IMediaSeeking *BuildScnByContenuGraph(const QString &source);
    media::IMediaSeeking *BuildCutSceneGraphType2(const QString &source, const QString &output);
    media::IMediaSeeking *BuildCutSceneGraphType1(const QString &source, const QString &output);

    // The graph of the last build (empty but for the source after a reset).
    media::FilterGraph &graph() { return *m_fg; }

    // The program's own filters, for the command handlers' options.
    Tdv_sceneDetect &SceneDetect() { return *m_sceneDetect; }
    Tdv_Superposer &Superposer() { return *m_superposer; }
    Tdv_DVheader &DvHeader() { return *m_dvHeader; }
    Tdv_deinter &Deinter() { return *m_deinter; }
    Tdv_WaveDest &WaveDest() { return *m_waveDest; }
    TSceneDetectContenu &SceneDetectContenu() { return *m_sceneDetectContenu; }
    Tdv_MediaStamper &MediaStamper() { return *m_mediaStamper; }

    // The audio converters of the last build; null when it used none. The
    // handlers set their sample rate (SetAudioSampleRate).
    media::Filter *Acm1() const;
    media::Filter *Acm2() const;

    // The graph's completion notice; forwards to OnGraphComplete.
    void fgGraphComplete();

    // Ends the forwarding of the notices of the graph's runs so far: a late
    // notice of a stopped run never reaches OnGraphComplete or OnGraphError,
    // so it cannot end the wait of the next run (the caller that stopped the
    // graph reads its outcome from the graph). Returns once a notice being
    // forwarded has been. On the control thread, after a stop; each reset
    // does it too.
    void CloseNotices();

private:
    // The re-encoding graph of a DV type-1 source: split, detect, decode,
    // the pictures through `picture` (added as `pictureName`), encode,
    // rewrite the headers, mux into interleaved DV again. With
    // `decoderRequired` the build ends when the scene detector cannot reach
    // the decoder.
    media::IMediaSeeking *BuildReencodeGraphType1(const QString &source, const QString &output,
                                                  bool ntsc,
                                                  const std::shared_ptr<media::Filter> &picture,
                                                  const char *pictureName, bool decoderRequired);
    // The re-encoding graph of a DV type-2 source: detect, decode, the
    // pictures through `picture` (added as `pictureName`), encode, rewrite
    // the headers, mux with the first two audio streams (through the audio
    // converters) into interleaved DV, split into the type-2 stream pair.
    media::IMediaSeeking *BuildReencodeGraphType2(const QString &source, const QString &output,
                                                  bool ntsc,
                                                  const std::shared_ptr<media::Filter> &picture,
                                                  const char *pictureName);
    // The chain both re-encoding graphs run the video through, put in the
    // graph in this order: the scene detector, the DV decoder, `picture` (as
    // `pictureName`), the DV encoder for the standard, the DV header filter
    // and the DV muxer. The builder connects the detector to the decoder.
    void AttachReencodeChain(bool ntsc, const std::shared_ptr<media::Filter> &picture,
                             const char *pictureName);
    // The chain's links from the decoder on, each plain: decoder → picture →
    // encoder → DV header filter → the DV muxer's video input (pin 0).
    void ConnectReencodeChain(media::Filter &picture);
    // The scene detector's analysis graph: the first DV stream of the AVI
    // file through the detector into the null renderer. The scene list by
    // date and the subtitles differ only in the detector's callbacks, which
    // their command handlers set.
    media::IMediaSeeking *BuildSceneDetectorGraph(const QString &source);
    // The filters both cutting graphs start with.
    struct CutFilters
    {
        media::Filter &aviSplitter;
        media::Filter &tee; // the infinite tee, toward the null renderer
        media::Filter &nullRenderer;
        media::Filter &aviMux;
    };
    // The start of a cutting graph: the graph reset, the source loaded and
    // the AVI splitter, the infinite tee, the null renderer and the AVI mux
    // attached in this order.
    CutFilters StartCutGraph(const QString &source);
    // Runs a builder's connection phase; a BuildEnded gives null.
    media::IMediaSeeking *Build(const std::function<media::IMediaSeeking *()> &steps);

    // Creates a standard filter, puts it in the graph under its own name and
    // keeps it in `slot`.
    template <class F>
    F &Attach(std::shared_ptr<F> &slot);
    // Puts one of the program's own filters in the graph under `name`.
    void AddOwn(const std::shared_ptr<media::Filter> &filter, const char *name);
    // Loads the source into the file source; the result of the load.
    bool LoadSource(const QString &source);
    // The start of a graph that writes `output` from `source`: the graph
    // reset, the source loaded and the file writer attached. A source that
    // does not load has no output, so the connection steps end the build.
    void StartFileGraph(const QString &source, const QString &output);
    // Attaches the file writer with the output path in overwrite mode.
    media::FileWriterFilter &AttachDestination(const QString &output);
    // Attaches the DV encoder set to the standard (NTSC or PAL), DVSD, full
    // size, no DVINFO.
    media::DvEncoderFilter &AttachEncoder(bool ntsc);
    // Attaches the DV decoder at full resolution.
    media::DvDecoderFilter &AttachDecoder();
    void OnEvent(const media::GraphEvent &event);
    const SettingValues &Settings() const;

    std::shared_ptr<media::EventExecutor> m_executor;
    std::shared_ptr<media::FilterRegistry> m_registry;
    std::unique_ptr<media::FilterGraph> m_fg;
    const SettingValues *m_settings = nullptr;
    SettingValues m_defaultSettings;

    // What a notice meets on the executor's thread: shared with every
    // posted notice, so one that arrives after the module is gone finds no
    // owner and is dropped.
    struct NoticeGate
    {
        std::mutex lock;              // held while a notice is forwarded
        TCdm *owner = nullptr;        // guarded by lock; null once destroyed
        std::uint64_t closedRuns = 0; // guarded by lock: runs up to it are over
    };
    std::shared_ptr<NoticeGate> m_notices = std::make_shared<NoticeGate>();

    // Standard filters; null while not in the graph.
    std::shared_ptr<media::FileSourceFilter> m_source; // in every graph
    std::shared_ptr<media::FileWriterFilter> m_destination;
    std::shared_ptr<media::AviSplitterFilter> m_avisplitter;
    std::shared_ptr<media::DvSplitterFilter> m_dvsplitter;
    std::shared_ptr<media::DvMuxerFilter> m_dvmuxer;
    std::shared_ptr<media::AviMuxFilter> m_avimux;
    std::shared_ptr<media::AudioConverterFilter> m_acm1;
    std::shared_ptr<media::AudioConverterFilter> m_acm2;
    std::shared_ptr<media::DvDecoderFilter> m_DVdecoder;
    std::shared_ptr<media::DvEncoderFilter> m_DVenc;
    std::shared_ptr<media::NullRenderer> m_nullrender;
    std::shared_ptr<media::InfiniteTeeFilter> m_infinite;

    // The program's own filters, for the module's whole life.
    std::shared_ptr<Tdv_sceneDetect> m_sceneDetect;
    std::shared_ptr<Tdv_Superposer> m_superposer;
    std::shared_ptr<Tdv_DVheader> m_dvHeader;
    std::shared_ptr<Tdv_deinter> m_deinter;
    std::shared_ptr<Tdv_WaveDest> m_waveDest;
    std::shared_ptr<TSceneDetectContenu> m_sceneDetectContenu;
    std::shared_ptr<Tdv_MediaStamper> m_mediaStamper;
};

} // namespace vidora
