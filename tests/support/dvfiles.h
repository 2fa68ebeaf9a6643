#pragma once

// Real DV files for tests and benchmarks: DV frames encoded by the ffmpeg
// command-line tool, wrapped as a DV type-1 AVI by the RIFF builder or as a
// type-2 AVI by ffmpeg itself, and other AVI files ffmpeg makes.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vidora::test {

// What ffmpeg is asked to record. Every clip has the recording date
// 2005-06-07 08:09:10 and starts at the time code 01:02:03:04.
struct DvClip
{
    bool ntsc = false;
    bool wide = false; // 16:9
    int frames = 3;
};

// Raw DV frames of the clip (48 kHz stereo audio); empty, with a test
// failure, when ffmpeg fails.
QByteArray ffmpegRawDv(const QString &dir, const DvClip &clip);
// The frames as a DV type-1 AVI: one "iavs" "dvsd" stream whose DVINFO holds
// the first frame's AAUX and VAUX source and control packs, "00dc" chunks
// and an idx1.
QByteArray dvType1Avi(const QByteArray &rawDv);
// The frames of the raw DV file as a type-2 AVI made by ffmpeg ("vids" dvsd,
// then "auds" PCM unless `audio` is false).
bool ffmpegDvType2Avi(const QString &rawDvPath, const QString &out, bool audio = true);
// Runs ffmpeg with the arguments (after "-y -loglevel error"); false, with a
// test failure, when it fails.
bool ffmpegMake(const QStringList &arguments);

} // namespace vidora::test
