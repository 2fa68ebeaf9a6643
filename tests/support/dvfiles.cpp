#include "support/dvfiles.h"

#include "formats/dvsystem.h"
#include "formats/riff.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QDir>
#include <QLocale>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace vidora::test {

namespace {

constexpr int kBlockBytes = 80;
constexpr int kSequenceBytes = int(kDvSequenceBytes);

// The payload (bytes 1-4, little-endian) of the first pack `id` at one of the
// offsets; all ones (no information) when none holds it.
quint32 packPayload(const QByteArray &frame, std::uint8_t id, const std::vector<int> &offsets)
{
    for (const int at : offsets) {
        if (at + 5 <= frame.size() && std::uint8_t(frame[at]) == id) {
            quint32 value = 0;
            for (int i = 0; i < 4; ++i)
                value |= quint32(std::uint8_t(frame[at + 1 + i])) << (8 * i);
            return value;
        }
    }
    return 0xffffffff;
}

// VAUX pack positions of DIF sequence `sequence`: blocks 3-5, 15 packs each.
std::vector<int> vauxOffsets(int sequence)
{
    std::vector<int> offsets;
    for (int block = 3; block <= 5; ++block)
        for (int slot = 0; slot < 15; ++slot)
            offsets.push_back(sequence * kSequenceBytes + block * kBlockBytes + 3 + 5 * slot);
    return offsets;
}

// AAUX pack positions of DIF sequence `sequence`: the audio blocks, which
// are every 16th block from block 6.
std::vector<int> aauxOffsets(int sequence)
{
    std::vector<int> offsets;
    for (int audio = 0; audio < 9; ++audio)
        offsets.push_back(sequence * kSequenceBytes + (6 + 16 * audio) * kBlockBytes + 3);
    return offsets;
}

} // namespace

bool ffmpegMake(const QStringList &arguments)
{
    const ToolResult made =
        runTool("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments);
    if (made.exitCode != 0) {
        ADD_FAILURE() << "ffmpeg " << arguments.join(' ').toStdString() << ": "
                      << made.err.toStdString();
        return false;
    }
    return true;
}

QByteArray ffmpegRawDv(const QString &dir, const DvClip &clip, const QString &recorded,
                       const QString &name)
{
    const QString path = QDir(dir).filePath(!name.isEmpty() ? name
                                                            : QStringLiteral("raw%1%2-%3.dv")
                                                                  .arg(clip.ntsc ? "ntsc" : "pal")
                                                                  .arg(clip.wide ? "-wide" : "")
                                                                  .arg(clip.frames));
    const QString size = clip.ntsc ? "720x480" : "720x576";
    const QString rate = clip.ntsc ? "30000/1001" : "25";
    // The DV muxer writes a frame only with its audio: the length is given
    // as a time so both inputs end together.
    const double seconds = clip.ntsc ? clip.frames * 1001 / 30000.0 : clip.frames / 25.0;
    QStringList args{"-f",        "lavfi",
                     "-i",        QStringLiteral("testsrc=size=%1:rate=%2").arg(size, rate),
                     "-f",        "lavfi",
                     "-i",        "sine=frequency=440:sample_rate=48000",
                     "-t",        QString::number(seconds, 'g', QLocale::FloatingPointShortest),
                     "-ac",       "2",
                     "-pix_fmt",  clip.ntsc ? "yuv411p" : "yuv420p",
                     "-metadata", "creation_time=" + recorded,
                     "-timecode", "01:02:03:04"};
    if (clip.wide)
        args << "-aspect"
             << "16:9";
    args << "-f"
         << "dv" << path;
    if (!ffmpegMake(args))
        return {};
    return readFileBytes(path);
}

QByteArray builtDvFrames(DvStandard standard, int frames, std::optional<DvSound> sound)
{
    const bool pal = standard == DvStandard::Pal;
    const DvSystem &system = DvSystemByLines(!pal);
    const std::uint8_t smp = !sound ? 0 : sound->rate == 48000 ? 0 : sound->rate == 44100 ? 1 : 2;
    QByteArray bytes;
    for (int f = 0; f < frames; ++f) {
        DvFrame frame(standard);
        for (int s = 0; s < frame.sequences(); ++s) {
            // VAUX source: no channel, source code 3, 50/60, SD; source control.
            frame.setPack(vauxSlot(s, 0, 0),
                          {0x60, 0xFF, 0xFF, std::uint8_t(pal ? 0xE0 : 0xC0), 0xFF});
            frame.setPack(vauxSlot(s, 0, 1), vauxSourceControlPack(0));
            if (!sound)
                continue;
            // 48 kHz has the system's five-frame cycle; other rates spread
            // rate / frame rate samples a frame with their running sum.
            const std::int64_t per = std::int64_t(sound->rate) * system.rate.den;
            const int samples =
                sound->rate == 48000
                    ? system.samples48k[std::size_t(f % 5)]
                    : int((per * (f + 1)) / system.rate.num - (per * f) / system.rate.num);
            const bool four = sound->twelveBit;
            const auto pack =
                aauxSourcePack(std::uint8_t(0xC0 | (samples - system.minSamples[smp])),
                               std::uint8_t(four                        ? 0x30
                                            : s < frame.sequences() / 2 ? 0x00
                                                                        : 0x01),
                               std::uint8_t(0xC0 | (pal ? 0x20 : 0x00)),
                               std::uint8_t(0x80 | smp << 3 | (four ? 1 : 0)));
            frame.setAauxPack(s, s % 2 == 0 ? 3 : 0, pack);
        }
        bytes += frame.toByteArray();
    }
    return bytes;
}

QByteArray dvType1Avi(const QByteArray &rawDv, const std::optional<DvInfoWords> &dvInfo)
{
    const bool ntsc = rawDv.size() >= 3 && (std::uint8_t(rawDv[3]) & 0x80) == 0;
    const DvSystem &system = DvSystemByLines(ntsc);
    const int frameBytes = int(system.frameBytes);
    const int frames = int(rawDv.size() / frameBytes);
    const QByteArray first = rawDv.left(frameBytes);
    const int half = system.difSequences / 2; // the second audio channel pair's first sequence

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    RiffBuilder b(buffer);
    {
        auto form = b.list("RIFF", "AVI ");
        {
            auto hdrl = b.list("LIST", "hdrl");
            {
                auto avih = b.chunk("avih");
                b.u32(quint32((system.frameDuration + 5) / 10)); // µs per frame
                b.u32(0);
                b.u32(0);
                b.u32(0x10); // AVIF_HASINDEX
                b.u32(quint32(frames));
                b.u32(0);
                b.u32(1);
                b.u32(quint32(frameBytes));
                b.u32(quint32(system.width));
                b.u32(quint32(system.height));
                b.zeros(16);
            }
            auto strl = b.list("LIST", "strl");
            {
                auto strh = b.chunk("strh");
                b.fourcc("iavs");
                b.fourcc("dvsd");
                b.zeros(12);
                b.u32(quint32(system.rate.den)); // scale
                b.u32(quint32(system.rate.num)); // rate
                b.u32(0);
                b.u32(quint32(frames));
                b.u32(quint32(frameBytes));
                b.zeros(16);
            }
            const DvInfoWords words = dvInfo.value_or(DvInfoWords{
                packPayload(first, 0x50, aauxOffsets(0)), packPayload(first, 0x51, aauxOffsets(1)),
                packPayload(first, 0x50, aauxOffsets(half)),
                packPayload(first, 0x51, aauxOffsets(half + 1)),
                packPayload(first, 0x60, vauxOffsets(0)),
                packPayload(first, 0x61, vauxOffsets(0))});
            auto strf = b.chunk("strf");
            for (const std::uint32_t word : words)
                b.u32(word);
            b.zeros(8);
        }
        QByteArray index;
        {
            auto movi = b.list("LIST", "movi");
            const qint64 moviType = movi.dataOffset();
            for (int f = 0; f < frames; ++f) {
                index += QByteArray("00dc") + bytesLE32(0x10) +
                         bytesLE32(quint32(b.pos() - moviType)) + bytesLE32(quint32(frameBytes));
                b.leaf("00dc", rawDv.mid(f * frameBytes, frameBytes));
            }
        }
        b.leaf("idx1", index);
    }
    return bytes;
}

bool ffmpegDvType2Avi(const QString &rawDvPath, const QString &out, bool audio,
                      const QStringList &extra)
{
    QStringList args{"-i", rawDvPath, "-c:v", "copy"};
    if (audio)
        args << "-c:a"
             << "pcm_s16le";
    else
        args << "-an";
    args << extra << out;
    return ffmpegMake(args);
}

QByteArray joinedRecordingsDv(const QString &dir, bool ntsc,
                              const std::vector<DvRecording> &recordings)
{
    int total = 0;
    for (const DvRecording &r : recordings)
        total += r.frames;
    QByteArray raw =
        ffmpegRawDv(dir, {.ntsc = ntsc, .frames = total}, QStringLiteral("2005-06-07T08:09:10Z"),
                    QStringLiteral("joined-%1-%2.dv").arg(ntsc ? "ntsc" : "pal").arg(total));
    const DvSystem &system = DvSystemByLines(ntsc);
    const auto frameBytes = static_cast<qsizetype>(system.frameBytes);
    if (raw.size() != total * frameBytes) {
        ADD_FAILURE() << "ffmpeg made " << raw.size() << " bytes of DV";
        return {};
    }
    const int perSecond = ntsc ? 30 : 25;
    int f = 0;
    for (const DvRecording &r : recordings) {
        for (int k = 0; k < r.frames; ++k, ++f) {
            TDvRecDateTime d = r.recorded;
            const int seconds = d.Hour * 3600 + d.Minute * 60 + d.Second + k / perSecond;
            d.Hour = static_cast<std::uint8_t>(seconds / 3600 % 24);
            d.Minute = static_cast<std::uint8_t>(seconds / 60 % 60);
            d.Second = static_cast<std::uint8_t>(seconds % 60);
            auto *frame = reinterpret_cast<std::uint8_t *>(raw.data()) + f * frameBytes;
            WriteDvRecDateTime(std::span<std::uint8_t>(frame, static_cast<std::size_t>(frameBytes)),
                               system.difSequences, d);
        }
    }
    return raw;
}

} // namespace vidora::test
