#pragma once

// Real DV files for tests and benchmarks: DV frames encoded by the ffmpeg
// command-line tool, wrapped as a DV type-1 AVI by the RIFF builder or as a
// type-2 AVI by ffmpeg itself, and other AVI files ffmpeg makes.
#include "formats/dvcodes.h"
#include "support/dvframe.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vidora::test {

// What ffmpeg is asked to record. Every clip starts at the time code
// 01:02:03:04.
struct DvClip
{
    bool ntsc = false;
    bool wide = false; // 16:9
    int frames = 3;
};

// Raw DV frames of the clip (48 kHz stereo audio), also left in dir/`name`
// (empty: a name made from the clip); empty, with a test failure, when
// ffmpeg fails. The recording time advances with the frames from `recorded`
// (ISO 8601, UTC).
QByteArray ffmpegRawDv(const QString &dir, const DvClip &clip,
                       const QString &recorded = QStringLiteral("2005-06-07T08:09:10Z"),
                       const QString &name = QString());
// One recording of a file joined from several: its frames, and the
// recording date and time of its first frame.
struct DvRecording
{
    int frames = 0;
    TDvRecDateTime recorded;
};
// Raw DV frames of the recordings joined as a camcorder tape holds them: the
// time code advancing across the whole file from 01:02:03:04, each
// recording's date from its own start, advancing a second per 25 (PAL) or 30
// (NTSC) frames. Empty, with a test failure, when ffmpeg fails.
QByteArray joinedRecordingsDv(const QString &dir, bool ntsc,
                              const std::vector<DvRecording> &recordings);

// A DVINFO block's six words (AAUX source, control, second-half source,
// control, VAUX source, control), PC1 in the lowest byte of each.
using DvInfoWords = std::array<std::uint32_t, 6>;
// What capture software writes when it dropped the first frame.
inline constexpr DvInfoWords kBlankDvInfo{0xffffffffu, 0xffffffffu, 0xffffffffu,
                                          0xffffffffu, 0xffffffffu, 0xffffffffu};
// A 625-line camcorder's 48 kHz 16-bit stereo, the usual wrong guess.
inline constexpr DvInfoWords kPal48kDvInfo{0xc0e000d8u, 0xffffffffu, 0xc0e001d8u,
                                           0xffffffffu, 0xffe0ffffu, 0xfffcc83fu};

// The frames as a DV type-1 AVI: one "iavs" "dvsd" stream whose DVINFO holds
// the first frame's AAUX and VAUX source and control packs (or `dvInfo`,
// for a file whose capture software wrote it wrong), "00dc" chunks and an
// idx1.
QByteArray dvType1Avi(const QByteArray &rawDv, const std::optional<DvInfoWords> &dvInfo = {});

// The sound that built frames announce in their AAUX source packs.
struct DvSound
{
    int rate = 48000;       // 48000, 44100 or 32000
    bool twelveBit = false; // 12-bit non-linear, two stereo pairs (32 kHz)
};
// `frames` frames from the DV frame builder: blank pictures and silent audio
// data; the VAUX source and source control packs of the system; and, with
// `sound`, the AAUX source pack of every sequence where camcorders put it
// (audio block 3 of even sequences, 0 of odd ones) with the standard's
// sample count for each frame. Without `sound` the audio blocks hold no pack.
QByteArray builtDvFrames(DvStandard standard, int frames, std::optional<DvSound> sound);
// The frames of the raw DV file as a type-2 AVI made by ffmpeg ("vids" dvsd,
// then "auds" PCM unless `audio` is false), with `extra` ffmpeg arguments.
bool ffmpegDvType2Avi(const QString &rawDvPath, const QString &out, bool audio = true,
                      const QStringList &extra = {});
// Runs ffmpeg with the arguments (after "-y -loglevel error"); false, with a
// test failure, when it fails.
bool ffmpegMake(const QStringList &arguments);

} // namespace vidora::test
