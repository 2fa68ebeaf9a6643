#include "files/avifichier.h"

#include "formats/aviinfo.h"
#include "formats/converterror.h"
#include "formats/dsfunctions.h"
#include "formats/dvsystem.h"
#include "formats/rounding.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace vidora {

namespace {

// The path with its extension (from the last "." of the name) replaced.
QString WithExtension(const QString &path, const QString &extension)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    return QDir(info.path()).filePath(base + extension);
}

// Four characters of a FourCC when every one of them is 32 or more; empty otherwise.
QString PrintableFourCC(std::uint32_t code)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const auto c = char((code >> (8 * i)) & 0xff);
        if (quint8(c) < 32)
            return QString();
        text += QChar::fromLatin1(c);
    }
    return text;
}

QString ChannelsText(int channels)
{
    switch (channels) {
    case 0:
        return QStringLiteral("no channel");
    case 1:
        return QStringLiteral(" mono");
    case 2:
        return QStringLiteral(" stereo");
    default:
        return QStringLiteral(" stereo (%1)").arg(channels);
    }
}

// A date in a pattern; `fallback` when the value or the pattern gives none.
QString FormatDateOr(const QString &pattern, DateTimeValue value, const QString &fallback)
{
    try {
        return FormatDateTime(pattern, value);
    } catch (const ConvertError &) {
        return fallback;
    }
}

// The frame-based duration text. A stream that counts its frames gives the
// text of that many frame times: its duration in 100 ns is rounded down at
// 30000/1001 frames a second, and divided by the rounded-up frame time it
// would lose the last frame.
QString DurationText(std::int64_t duration, std::int64_t frames, std::int64_t frameTime)
{
    if (frames > 0 && frameTime > 0)
        return FormatDurationFrames(frames * frameTime, frameTime);
    return FormatDurationFrames(duration, frameTime);
}

// Wide enough for any 64-bit duration: the key sorts by duration as text.
constexpr int kDurationKeyDigits = 19;

} // namespace

std::mutex &EntryReadingLock()
{
    static std::mutex lock;
    return lock;
}

std::shared_ptr<TaviFichier> TaviFichier::Create(const QString &path, const TaviReading &reading)
{
    auto entry = std::make_shared<TaviFichier>();
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isFile())
        entry->Read(info.path(), info, reading);
    return entry;
}

std::shared_ptr<TaviFichier> TaviFichier::CreateFromSearchRec(const QString &folder,
                                                              const QFileInfo &found,
                                                              const TaviReading &reading)
{
    auto entry = std::make_shared<TaviFichier>();
    entry->Read(folder, found, reading);
    return entry;
}

void TaviFichier::Read(const QString &folder, const QFileInfo &found, const TaviReading &reading)
{
    const std::lock_guard guard(EntryReadingLock());

    ReadSearchRec(folder, found);
    m_timeOffset = 0;
    m_data = TaviData{};
    m_data.hasScn = QFileInfo::exists(WithExtension(Path(), QStringLiteral(".scn")));
    m_data.hasSrt = QFileInfo::exists(WithExtension(Path(), QStringLiteral(".srt")));

    // Only regular files are parsed and probed: a FIFO or a device would block.
    const bool regular = QFileInfo(Path()).isFile();

    bool parsed = false;
    if (regular) {
        try {
            const TFriendlyAviParam param(Path());
            parsed = param.Parsed();
            if (parsed)
                m_data.codec = param.GetVideoHandler();
        } catch (const std::exception &) {
            parsed = false;
        }
    }
    if (!parsed) {
        m_data.timecodeText.clear();
        m_data.datecodeText.clear();
        m_data.datecodeSort = kDatecodeUnreadable;
        m_data.codec.clear();
    }

    ProbeValues probe;
    if (regular && reading.probe)
        probe = reading.probe->Probe(Path());
    if (!probe.ok) {
        probe = ProbeValues{};
        m_data.timecodeText.clear();
        m_data.datecodeText.clear();
        m_data.datecodeSort = kDatecodeUnreadable;
    }

    ReadVideo(probe);
    ReadAudio(probe);
    if (m_data.audioText == kNotAvailable && m_data.pictureText == kNotAvailable)
        m_data.datecodeSort = kDatecodeUnreadable;
    if (probe.hasDv)
        ReadDv(probe, reading);
    UpdateOwnKeys();
}

void TaviFichier::ReadVideo(const ProbeValues &probe)
{
    if (!probe.video) {
        m_data.codec.clear();
        m_data.pictureText = kNotAvailable;
        m_data.videoDuration = 0;
        m_data.frameCount = 0;
        m_data.width = 0;
        m_data.height = 0;
        return;
    }
    const ProbeVideoFormat &video = *probe.video;
    const QString compression = PrintableFourCC(video.compression);
    if (!compression.isEmpty())
        m_data.codec = compression;
    m_data.width = video.width;
    m_data.height = video.height;
    m_data.pictureText = QStringLiteral("%1 x %2").arg(video.width).arg(video.height);
    m_data.videoDuration = probe.videoDuration;
    const std::int64_t frameTime = video.avgTimePerFrame;
    if (frameTime > 0) {
        m_data.frameRate = double(roundHalfEven(1e9 / double(frameTime))) / 100.0;
        m_data.frameCount = roundHalfEven(double(probe.videoDuration) / double(frameTime));
    } else {
        m_data.frameRate = 0;
        m_data.frameCount = 0;
    }
    m_data.videoDurationText = DurationText(probe.videoDuration, probe.videoFrames, frameTime);
    if (probe.videoFrames > 0 && frameTime > 0)
        m_data.frameCount = probe.videoFrames;
    m_data.videoBitRate = video.bitRate;
}

void TaviFichier::ReadAudio(const ProbeValues &probe)
{
    if (!probe.audio) {
        m_data.audioText = kNotAvailable;
        m_data.audioFormatText.clear();
        m_data.audioDurationText.clear();
        return;
    }
    const ProbeAudioFormat &audio = *probe.audio;
    m_data.audioSampleRate = audio.samplesPerSec;
    m_data.audioBitsPerSample = audio.bitsPerSample;
    m_data.audioText = QStringLiteral("%1Hz ").arg(audio.samplesPerSec);
    if (audio.bitsPerSample >= 1)
        m_data.audioText += QStringLiteral("%1 bits ").arg(audio.bitsPerSample);
    m_data.channelsText = ChannelsText(audio.channels);
    m_data.audioText += m_data.channelsText;
    m_data.audioFormatText = WaveFormatTagName(audio.formatTag) +
                             QStringLiteral(" %1 bytes/s").arg(audio.avgBytesPerSec);
    if (m_data.frameRate == 0) {
        m_data.audioDurationText = FormatDurationMs(probe.audioDuration);
    } else {
        m_data.audioDurationText = DurationText(probe.audioDuration, probe.audioFrames,
                                                roundHalfEven(1e7 / m_data.frameRate));
    }
}

void TaviFichier::ReadDv(const ProbeValues &probe, const TaviReading &reading)
{
    m_data.isDv = true;
    // The height of a 525-line picture (480) is a multiple of 60; of a
    // 625-line one (576) it is not.
    const bool ntscByHeight = probe.video && m_data.height % 60 == 0;
    if (probe.dvInfo) {
        m_data.dvType = probe.streamCount >= 2 ? 2 : 1;
        m_data.interleavedType2 = m_data.dvType == 2;
        m_data.dvVAuxSrc = probe.dvInfo->vAuxSrc;
        // Bit 21: the 50/60 flag of the VAUX source pack, set for 50 Hz.
        if (m_data.dvVAuxSrc & (1u << 21)) {
            m_data.pictureText += QStringLiteral(" (Pal");
            m_data.standard = TDvStandard::Pal;
            m_data.frameRate = double(kDv625.rate.num) / kDv625.rate.den;
        } else {
            m_data.pictureText += QStringLiteral(" (NTSC");
            m_data.standard = TDvStandard::Ntsc;
            m_data.frameRate = double(kDv525.rate.num) / kDv525.rate.den;
        }
    } else {
        m_data.dvType = 2;
        m_data.pictureText += ntscByHeight ? QStringLiteral(" (NTSC") : QStringLiteral(" (Pal");
        m_data.standard = ntscByHeight ? TDvStandard::Ntsc : TDvStandard::Pal;
    }

    m_data.wide = probe.wide;
    m_data.aspectText = m_data.wide ? QStringLiteral(" 16x9)") : QStringLiteral(" 4x3)");
    // In 64 bits: any 32-bit width times 9 would overflow; the quotient fits.
    const std::int64_t width = m_data.width;
    m_data.height = static_cast<std::int32_t>(m_data.wide ? width * 9 / 16 : width * 3 / 4);

    if (probe.hasDate) {
        m_data.recDateTime = probe.recDateTime;
        m_data.datecodeText =
            FormatDateOr(reading.datecodeFormat, probe.recDateTime, kNotAvailable);
    } else {
        m_data.datecodeText = kNotAvailable;
    }

    // DV's 32 kHz mode stores 12-bit samples, widened to 16 by the splitter.
    if (m_data.audioSampleRate == 32000 && m_data.audioBitsPerSample == 16)
        m_data.audioText = QStringLiteral("32000Hz 12(16) bits ") + m_data.channelsText;

    if (probe.hasTimecode) {
        const TDvTimecode &tc = probe.timecode;
        m_data.timecodeText = QStringLiteral("%1.%2.%3.%4")
                                  .arg(tc.Hours, 2, 10, QLatin1Char('0'))
                                  .arg(tc.Minutes, 2, 10, QLatin1Char('0'))
                                  .arg(tc.Seconds, 2, 10, QLatin1Char('0'))
                                  .arg(tc.Frames, 2, 10, QLatin1Char('0'));
    } else {
        m_data.timecodeText = kNotAvailable;
    }

    m_data.datecodeSort = probe.hasDate ? FormatDateOr(QStringLiteral("yyyymmddhhnnss"),
                                                       probe.recDateTime, kNotAvailable)
                                        : kNotAvailable;
}

void TaviFichier::SetFileName(const QString &path)
{
    TSRFichier::SetFileName(path);
    UpdateOwnKeys();
}

void TaviFichier::UpdateOwnKeys()
{
    const QString nameAndPath = (Name() + Path()).toLower();
    m_datecodeKey = MakeKey(m_data.datecodeSort + nameAndPath);
    m_timecodeKey = MakeKey(m_data.timecodeText + nameAndPath);
    const std::int64_t duration = std::max<std::int64_t>(m_data.videoDuration, 0);
    m_durationKey = MakeKey(
        QStringLiteral("%1").arg(duration, kDurationKeyDigits, 10, QLatin1Char('0')) + nameAndPath);
}

QString TaviFichier::GetSortKey(const TSortIndex &order) const
{
    if (order.KeyWord == SortDatecode().KeyWord)
        return m_datecodeKey;
    if (order.KeyWord == SortTimecode().KeyWord)
        return m_timecodeKey;
    if (order.KeyWord == SortDuree().KeyWord)
        return m_durationKey;
    return TSRFichier::GetSortKey(order);
}

void TaviFichier::SetTimeOffset(double days, const QString &text)
{
    m_timeOffset = days;
    m_timeOffsetText = text;
}

std::shared_ptr<TAfficherFichier> TAfficherFichier::Create(const QString &path,
                                                           const TaviReading &reading)
{
    auto entry = std::make_shared<TAfficherFichier>();
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isFile())
        entry->Read(info.path(), info, reading);
    return entry;
}

std::shared_ptr<TAfficherFichier> TAfficherFichier::CreateFromSearchRec(const QString &folder,
                                                                        const QFileInfo &found,
                                                                        const TaviReading &reading)
{
    auto entry = std::make_shared<TAfficherFichier>();
    entry->Read(folder, found, reading);
    return entry;
}

} // namespace vidora
