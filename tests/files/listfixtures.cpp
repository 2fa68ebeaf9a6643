#include "listfixtures.h"

#include "formats/datetime.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>

namespace vidora::test {

namespace {

constexpr std::uint32_t kDvsd = 0x64737664; // "dvsd"
// VAUX source pack bytes with the 50/60 flag (bit 21) set or clear.
constexpr std::uint32_t kVAuxPal = 0x00200000;
constexpr std::uint32_t kVAuxNtsc = 0x00000000;

ProbeVideoFormat DvVideo(bool pal)
{
    ProbeVideoFormat video;
    video.compression = kDvsd;
    video.width = 720;
    video.height = pal ? 576 : 480;
    video.avgTimePerFrame = pal ? 400000 : 333667;
    video.bitRate = 28800000;
    return video;
}

ProbeAudioFormat Pcm(std::uint32_t rate)
{
    ProbeAudioFormat audio;
    audio.formatTag = 1;
    audio.channels = 2;
    audio.samplesPerSec = rate;
    audio.bitsPerSample = 16;
    audio.avgBytesPerSec = rate * 4;
    return audio;
}

} // namespace

ProbeValues FakeProbe::Probe(const QString &path)
{
    ++m_calls;
    const std::lock_guard guard(m_lock);
    return m_table.value(QFileInfo(path).fileName(), ProbeValues{});
}

void FakeProbe::Set(const QString &fileName, const ProbeValues &values)
{
    const std::lock_guard guard(m_lock);
    m_table.insert(fileName, values);
}

DateTimeValue DateOf(int year, int month, int day, int hour, int minute, int second)
{
    return EncodeDateTime({{year, month, day}, {hour, minute, second, 0}});
}

ProbeValues Type1Values(bool pal, bool withAudio)
{
    ProbeValues v;
    v.ok = true;
    v.streamCount = 1;
    v.hasDv = true;
    v.video = DvVideo(pal);
    v.videoDuration = 50 * 400000;
    if (withAudio) {
        v.audio = Pcm(48000);
        v.audioDuration = v.videoDuration;
    }
    ProbeDvInfo info;
    info.vAuxSrc = pal ? kVAuxPal : kVAuxNtsc;
    v.dvInfo = info;
    v.hasDate = true;
    v.recDateTime = DateOf(2004, 7, 14, 10, 20, 30);
    v.hasTimecode = true;
    v.timecode = {0, 1, 2, 3};
    return v;
}

ProbeValues Type2Values(bool pal, bool wide)
{
    ProbeValues v;
    v.ok = true;
    v.streamCount = 2;
    v.hasDv = true;
    v.video = DvVideo(pal);
    v.videoDuration = 100 * v.video->avgTimePerFrame;
    v.audio = Pcm(48000);
    v.audioDuration = v.videoDuration;
    v.wide = wide;
    v.hasDate = true;
    v.recDateTime = DateOf(2005, 1, 2, 3, 4, 5);
    v.hasTimecode = true;
    v.timecode = {1, 2, 3, 4};
    return v;
}

ProbeValues NonDvValues()
{
    ProbeValues v;
    v.ok = true;
    v.streamCount = 2;
    ProbeVideoFormat video;
    video.compression = 0x44495658; // "XVID"
    video.width = 640;
    video.height = 480;
    video.avgTimePerFrame = 400000;
    v.video = video;
    v.videoDuration = 25 * 400000;
    ProbeAudioFormat mp3 = Pcm(44100);
    mp3.formatTag = 0x55;
    v.audio = mp3;
    v.audioDuration = v.videoDuration;
    return v;
}

void WriteDvAvi(const QString &path, int type)
{
    writeFileBytes(path, buildAvi(type == 1 ? dvType1Layout() : dvType2Layout()).bytes);
}

void WriteText(const QString &path, const QByteArray &bytes)
{
    writeFileBytes(path, bytes);
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace vidora::test
