#pragma once

// The probe graph: reads, for one video file at a time, what the file list
// shows about it — the formats and durations of its video, audio and
// interleaved DV streams, and the recording date, time code and 16:9 flag of
// the first DV frame.
//
// Each probe builds a small graph (file source, AVI splitter, DV splitter,
// null renderer and the module's date-based scene detector) and takes the
// file's streams one at a time: a DV stream passes the detector, any other
// goes straight to the null renderer, and the first interleaved stream is
// then put through the DV splitter for the types of its video and audio.
// Only a stream the detector reads is streamed: the graph is paused, never
// run, so it moves one frame (or nothing, when no frame comes within the
// wait) and is stopped again. Every other connection states its type when it
// is made, so a DV file of either type costs one pause: a pause hands work
// to and from the streaming threads, which is what a probe mostly waits
// for. The file is only read.
//
// Threads: one probe at a time (the list entries call it under their
// reading lock); the graph's streaming threads live only inside a probe.
#include "video/graphs/probevalues.h"

#include <QString>

#include <chrono>
#include <memory>

namespace vidora {

namespace media {
class FileSourceFilter;
class FilterGraph;
class QueueEventExecutor;
} // namespace media

class Tdv_sceneDetect;

class TdmList
{
public:
    // How long a paused stream may take to bring its first frame.
    static constexpr std::chrono::milliseconds kPauseWait{1000};

    TdmList();
    ~TdmList();
    TdmList(const TdmList &) = delete;
    TdmList &operator=(const TdmList &) = delete;

    // Probes the file. `ok` is false when the file cannot be opened, or an
    // interleaved DV stream cannot be split; a file that opens but is not AVI
    // gives `ok` with nothing found. Every value belongs to this file: the DV
    // frame values are set only when a DV frame reached the detector.
    ProbeValues ReadDVInfo(const QString &fileName);

private:
    struct Build;

    // Puts a file source for the file into the graph; false when the file
    // cannot be opened.
    bool LoadSource(Build &build, const QString &fileName);

    std::shared_ptr<media::QueueEventExecutor> m_events;
    // Kept for the module's whole life and added to each probe's graph.
    std::shared_ptr<Tdv_sceneDetect> m_detector;
};

} // namespace vidora
