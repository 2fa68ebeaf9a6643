#pragma once

// The preview graph module: plays the active list entry in the video view,
// with the recording date burnt in by the module's own overlay filter, tells
// the view what can be shown, and moves the position on request. A seek
// waits until the overlay filter has drawn the frame at the new position, so
// a caller can then read the frame's information (the detector's records)
// and its still picture (the overlay filter's).
//
// The graphs:
//   DV entries:  file source → AVI splitter → [DV splitter, type 1] →
//                "vScenedetect" → DV decoder → "superposer" → colour
//                converter → video renderer; the audio of the DV splitter
//                (type 1) or of the AVI splitter (type 2) rendered.
//   other AVI:   every stream rendered, then "superposer" and the colour
//                converter put in front of the video renderer.
//
// The view is reached through IPreviewView, which the window implements;
// this module knows no widget.
//
// Threads: every operation on the GUI thread (the graph's events arrive
// there through the executor). The waits for a frame run a nested event loop
// with a time-out, are skipped when no video reaches the renderer, and are
// never nested.
#include "platform/media/executor.h"
#include "platform/media/filter.h"
#include "platform/media/seeking.h"
#include "settings/settings.h"

#include <QImage>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace vidora {

namespace media {
class AviSplitterFilter;
class ColourConverterFilter;
class DvDecoderFilter;
class DvSplitterFilter;
class FileSourceFilter;
class FilterGraph;
class FilterRegistry;
class IVideoSink;
class VideoRendererFilter;
struct GraphEvent;
} // namespace media

class Tdv_sceneDetect;
class Tdv_Superposer;
class Tdv_deinter;

// What the video view shows instead of, or over, the video.
using TVideoMessageCode = std::uint8_t;
namespace videomessage {
inline constexpr TVideoMessageCode HeadingOnly = 0;
inline constexpr TVideoMessageCode NotFound = 1;         // the file cannot be loaded
inline constexpr TVideoMessageCode DvRefused = 2;        // the decoder refuses the DV stream
inline constexpr TVideoMessageCode AudioOnly = 3;        // no video codec
inline constexpr TVideoMessageCode NotAvi = 4;           // not a correct AVI file
inline constexpr TVideoMessageCode NotDv = 5;            // not a correct DV file
inline constexpr TVideoMessageCode NoDecoderAudio = 6;   // audio playable
inline constexpr TVideoMessageCode NoDecoderUnknown = 7; // audio format not identified
inline constexpr TVideoMessageCode NoDecoderNoAudio = 8; // no audio
inline constexpr TVideoMessageCode TakenByCommand = 9;   // a running command has the file
} // namespace videomessage

// What the preview needs of a list entry.
struct TPreviewEntry
{
    QString FileName;                          // full path
    bool IsDv = false;                         // the entry is flagged as DV
    QString CodecText = QStringLiteral("N/A"); // the video codec code, "N/A" without video
    QString AudioText = QStringLiteral("N/A"); // "N/A" without audio
    double FrameRate = 0;                      // frames per second; 0 without video
    double DateOffset = 0;                     // days added to the recording date
};

// The video view as the preview module calls it (GUI thread).
class IPreviewView
{
public:
    virtual void ShowVideoUnavailable(TVideoMessageCode code) = 0;
    virtual void ShowAudioOnly(TVideoMessageCode code) = 0;
    virtual void ShowVideo() = 0;
    // The position slider, 0..1000, set without seeking.
    virtual void SetPositionSlider(int position) = 0;
    // Where the video renderer's pictures go.
    virtual std::shared_ptr<media::IVideoSink> VideoSink() = 0;

protected:
    ~IPreviewView() = default;
};

// The audio renderer's volume, in hundredths of a decibel, for a linear
// volume (clamped to 0..10000): ln(v + 1) × 1085.73 rounded half to even,
// minus 10000 (10000 gives 0 dB, 0 gives -100 dB).
std::int32_t PreviewVolume(int linear);

class Tviewdm
{
public:
    // The longest a seek waits for its frame.
    static constexpr std::chrono::milliseconds kFrameWait{2000};
    // How long of that the GUI thread waits for the streaming threads' notice
    // itself, before it waits in its event loop.
    static constexpr std::chrono::milliseconds kDirectFrameWait{50};
    static constexpr int kSliderMaximum = 1000;

    // No executor: the graph's events go to the GUI thread.
    explicit Tviewdm(std::shared_ptr<media::EventExecutor> executor = nullptr);
    ~Tviewdm();
    Tviewdm(const Tviewdm &) = delete;
    Tviewdm &operator=(const Tviewdm &) = delete;

    // The settings read at each open ("Volume", "is Mute on", "is Incrust
    // On", the overlay record, whose DateOffset the open sets). Not owned;
    // defaults until set.
    void SetSettings(SettingValues *settings) { m_settings = settings; }
    // The settings the module reads: the ones set, else its defaults.
    const SettingValues &Settings() const;
    // Whether the next open renders the sound too (the default). A module
    // that only reads frames renders none and takes no sound device.
    void SetAudioRendered(bool rendered) { m_audioRendered = rendered; }

    // Builds the graph for the entry and pauses it on its first frame; true
    // when it can be played. The view is told what to show; it must outlive
    // the graph's use of it (the next open, CloseGraph or the module's end).
    bool OpenFile(const TPreviewEntry *entry, IPreviewView *view);
    bool BuildDvGraph(const QString &fileName);
    bool BuildAviGraph(const QString &fileName);
    void ResetGraph();

    // Positions in the seeking time format: frames when the entry has a
    // frame rate, else 100 ns units. SeekTo clamps to the file (a position
    // at or past the end shows the last frame) and waits for the frame.
    void SeekTo(std::int64_t position);
    void SeekBy(std::int32_t delta);
    void SeekByTime(std::int64_t delta);
    // Sets the position (clamped as SeekTo does) without waiting for the
    // frame: the position slider.
    void SetPosition(std::int64_t position);
    void Pause();
    // Passes the current frame through the overlay filter again (when not
    // running), so a change of its options shows on the paused picture.
    void Refresh();
    // Stops and empties the graph and releases the file until the next open.
    void CloseGraph();
    // Ends a pending wait for a frame (the abort actions).
    void EndFrameWait() { m_endWait = true; }

    void viewfgGraphPaused();
    void viewfgGraphComplete();
    // Whether the graph's completion runs viewfgGraphComplete (playback
    // loops); off until the main window binds it.
    void SetCompleteBound(bool bound) { m_completeBound = bound; }
    // Run after SeekBy has shown its frame: the busy state scripts wait on.
    std::function<void()> OnSeekDone;

    bool GraphReady() const { return m_graphReady; }
    bool GraphClosed() const { return m_graphClosed; }
    bool HasVideo() const { return m_hasVideo; }
    bool HasAudio() const { return m_hasAudio; }
    TVideoMessageCode VideoMessageCode() const { return m_videoMessageCode; }
    // The range that playing and seeking keep to, in the seeking time
    // format, the stop exclusive as the file's duration is: the whole file
    // from each open; the scene editor narrows it to one scene.
    std::int64_t StartPosition() const { return m_startPosition; }
    std::int64_t StopPosition() const { return m_stopPosition; }
    // Sets that range, cut to the file; nothing without a graph. The
    // position stays where it is until the next seek.
    void SetRange(std::int64_t start, std::int64_t stop);
    // The file's duration in the seeking time format; 0 without a graph.
    std::int64_t Duration() const;
    // The entry's frame rate, 0 once a build found no video.
    double FrameRate() const { return m_frameRate; }
    // The open entry, with FrameRate as above.
    const TPreviewEntry &Entry() const { return m_entry; }
    media::IMediaSeeking *Seeking() const { return m_seeking; }
    // The position of the frame shown, in the seeking time format (with
    // video the video renderer's: the sound runs a little behind after a
    // seek); none without a graph.
    std::optional<std::int64_t> CurrentPosition() const;
    media::FilterGraph &graph() { return *m_fg; }
    // Runs the graph (playback); false when no graph is ready.
    bool Run();
    // Stops the graph; a Pause after it shows the frame it stopped at.
    void Stop();
    // The graph's state now: stopped, paused or running.
    media::FilterState State() const;
    bool Playing() const { return State() == media::FilterState::Running; }

    // The sound, kept in the settings the module reads: "Volume" (linear,
    // 0..10000) and "is Mute on". Each puts the result on the audio
    // renderers at once, and each open puts it on the new graph's.
    // SetVolume stores the volume, heard unless the sound is muted.
    void SetVolume(int linear);
    void SetMute(bool on);
    // Silences the renderers for a while, the settings unchanged, until
    // ApplyVolume gives them the settings' sound again.
    void Silence();
    void ApplyVolume();

    Tdv_sceneDetect &SceneDetect() { return *m_sceneDetect; }
    Tdv_Superposer &Superposer() { return *m_superposer; }
    Tdv_deinter &Deinter() { return *m_deinter; }
    // Whether the detector is in a streaming graph (a DV preview).
    bool SceneDetectActive() const;

    // Seeks to `frame` and hands back the overlay filter's picture of it
    // (null when no frame came): the thumbnails and details of scene lists.
    QImage PictureAt(std::int64_t frame);

private:
    void OnEvent(const media::GraphEvent &event);
    // Clears the frame-shown flag, then sets the positions.
    void SetPositions(std::int64_t current);
    // Waits, handling events, for the overlay filter's next frame.
    void WaitForFrame();
    void UpdateSlider();
    // The last position that holds a frame.
    std::int64_t LastPosition() const;
    // Connects the colour converter's output to the video renderer; on
    // failure disconnects, switches the renderer and tries once more.
    bool ConnectRenderer();
    void AddVideoRenderer();
    // The steps both builders start with: an empty graph with the video
    // renderer, the file source loaded (code 1) and the AVI splitter
    // connected to it with at least one stream (code 4).
    media::AviSplitterFilter &LoadSplitter(const QString &fileName);
    // The settings the sound is kept in: the ones set, else the defaults.
    SettingValues &SoundSettings();
    // Every audio renderer of the graph at PreviewVolume(linear).
    void PutVolume(int linear);

    std::shared_ptr<media::EventExecutor> m_executor;
    std::shared_ptr<media::FilterRegistry> m_registry;
    std::unique_ptr<media::FilterGraph> m_fg;
    SettingValues *m_settings = nullptr;
    SettingValues m_defaultSettings;
    IPreviewView *m_view = nullptr;

    // The standard filters; null while not in the graph.
    std::shared_ptr<media::FileSourceFilter> m_source;
    std::shared_ptr<media::AviSplitterFilter> m_avisplitter;
    std::shared_ptr<media::DvSplitterFilter> m_dvsplitter;
    std::shared_ptr<media::DvDecoderFilter> m_dvdecoder;
    std::shared_ptr<media::ColourConverterFilter> m_color;
    std::shared_ptr<media::VideoRendererFilter> m_renderer; // the video window's

    // The program's own filters, for the module's whole life.
    std::shared_ptr<Tdv_sceneDetect> m_sceneDetect;
    std::shared_ptr<Tdv_Superposer> m_superposer;
    std::shared_ptr<Tdv_deinter> m_deinter;

    TPreviewEntry m_entry;
    bool m_graphReady = false;
    bool m_graphClosed = false;
    bool m_hasVideo = false;
    bool m_hasAudio = false;
    bool m_audioRendered = true;
    TVideoMessageCode m_videoMessageCode = videomessage::HeadingOnly;
    media::IMediaSeeking *m_seeking = nullptr;
    std::int64_t m_startPosition = 0;
    std::int64_t m_stopPosition = 0;
    double m_frameRate = 0;
    bool m_pausedBound = false;
    bool m_completeBound = false;
    bool m_waiting = false; // a wait for a frame runs
    // Expires with the module: the graph's queued events check it (GUI thread).
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    bool m_endWait = false;
    // Told by the overlay filter and the renderer when a frame is shown or
    // cued; shared with their observers, which may outlive the module.
    class FrameNotice;
    std::shared_ptr<FrameNotice> m_frameNotice;
};

} // namespace vidora
