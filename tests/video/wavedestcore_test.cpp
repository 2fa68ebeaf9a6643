#include "video/filters/wavedestcore.h"

#include "support/lebytes.h"
#include "support/tools.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace vidora;
using namespace vidora::test;

namespace {

// The file as a file writer that writes at positions would leave it. A write
// can be made to fail.
class MemoryWriter : public PositionalWriter
{
public:
    bool writeAt(qint64 position, std::span<const std::uint8_t> bytes) override
    {
        if (failWrites || position < 0)
            return false;
        const auto end = static_cast<std::size_t>(position) + bytes.size();
        if (file.size() < end)
            file.resize(end, 0);
        std::copy(bytes.begin(), bytes.end(), file.begin() + position);
        return true;
    }

    std::vector<std::uint8_t> file;
    bool failWrites = false;
};

// A WAVEFORMATEX for PCM, 16 bytes (no cbSize) or 18 and more (cbSize and
// that many extra bytes).
std::vector<std::uint8_t> pcmFormat(int rate, int channels, int bits, int extraBytes = -1)
{
    std::vector<std::uint8_t> block(extraBytes < 0 ? 16
                                                   : 18 + static_cast<std::size_t>(extraBytes));
    const auto put16 = [&block](std::size_t at, int v) {
        qToLittleEndian<quint16>(static_cast<quint16>(v), block.data() + at);
    };
    const auto put32 = [&block](std::size_t at, int v) {
        qToLittleEndian<quint32>(static_cast<quint32>(v), block.data() + at);
    };
    const int align = channels * bits / 8;
    put16(0, 1); // WAVE_FORMAT_PCM
    put16(2, channels);
    put32(4, rate);
    put32(8, rate * align);
    put16(12, align);
    put16(14, bits);
    if (extraBytes >= 0) {
        put16(16, extraBytes);
        for (int i = 0; i < extraBytes; ++i)
            block[18 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xA0 + i);
    }
    return block;
}

std::string fourCc(const std::vector<std::uint8_t> &bytes, std::size_t at)
{
    return {reinterpret_cast<const char *>(bytes.data() + at), 4};
}

// 16-bit PCM that changes with every sample.
std::vector<std::uint8_t> audio(std::size_t bytes)
{
    std::vector<std::uint8_t> out(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>((i * 7919u) >> 3);
    return out;
}

// One run: the samples placed and written where their placement says, as the
// file writer does, then the header.
std::vector<std::uint8_t> writeRun(WaveDestCore &wave, const std::vector<std::uint8_t> &format,
                                   const std::vector<std::uint8_t> &pcm, std::size_t chunk)
{
    MemoryWriter writer;
    EXPECT_TRUE(wave.startStreaming(format));
    for (std::size_t at = 0; at < pcm.size(); at += chunk) {
        const auto piece = std::span(pcm).subspan(at, std::min(chunk, pcm.size() - at));
        WaveDestCore::Placement placement;
        EXPECT_TRUE(wave.place(piece.size(), placement));
        EXPECT_EQ(placement.stop - placement.start, piece.size());
        EXPECT_TRUE(writer.writeAt(static_cast<qint64>(placement.start), piece));
    }
    EXPECT_TRUE(wave.stopStreaming(&writer)) << wave.errorMessage().toStdString();
    return writer.file;
}

TEST(WaveDest, FileLayoutForFormatBlocksOf16And18AndMore)
{
    const struct
    {
        const char *name;
        std::vector<std::uint8_t> format;
        std::size_t audioBytes;
        std::size_t dataOffset;
    } cases[] = {
        {"16-byte PCM", pcmFormat(48000, 2, 16), 7680, 44},
        {"18-byte WAVEFORMATEX", pcmFormat(48000, 2, 16, 0), 192000, 46},
        {"18 bytes and 22 extra", pcmFormat(32000, 4, 16, 22), 5120, 68},
        {"odd length, no pad byte", pcmFormat(44100, 1, 16, 1), 882, 47},
        {"no audio", pcmFormat(48000, 2, 16, 0), 0, 46},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> pcm = audio(c.audioBytes);
        WaveDestCore wave;
        const std::vector<std::uint8_t> file = writeRun(wave, c.format, pcm, 3840);
        const auto f = static_cast<std::uint32_t>(c.format.size());
        EXPECT_EQ(wave.headerSize(), f + 28);
        ASSERT_EQ(file.size(), c.dataOffset + c.audioBytes);
        EXPECT_EQ(fourCc(file, 0), "RIFF");
        EXPECT_EQ(le32At(file, 4), c.audioBytes + f + 20);
        EXPECT_EQ(fourCc(file, 8), "WAVE");
        EXPECT_EQ(fourCc(file, 12), "fmt ");
        EXPECT_EQ(le32At(file, 16), f);
        EXPECT_TRUE(std::equal(c.format.begin(), c.format.end(), file.begin() + 20));
        EXPECT_EQ(fourCc(file, 20 + f), "data");
        EXPECT_EQ(le32At(file, 24 + f), c.audioBytes);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + c.dataOffset));
    }
}

TEST(WaveDest, SampleRefusedOrNotDeliveredIsNotCounted)
{
    WaveDestCore wave;
    ASSERT_TRUE(wave.startStreaming(pcmFormat(48000, 2, 16, 0)));
    WaveDestCore::Placement first;
    ASSERT_TRUE(wave.place(3840, first));
    EXPECT_EQ(first.start, 46u);
    EXPECT_EQ(first.stop, 46u + 3840);

    // Receive: the sample placed but not delivered downstream is taken back,
    // and the next one is stamped at the same position.
    const std::uint32_t saved = wave.dataBytes();
    WaveDestCore::Placement lost;
    ASSERT_TRUE(wave.place(3840, lost));
    wave.rewind(saved);
    WaveDestCore::Placement next;
    ASSERT_TRUE(wave.place(1000, next));
    EXPECT_EQ(next.start, lost.start);
    EXPECT_EQ(wave.dataBytes(), 4840u);
}

TEST(WaveDest, FileBeyond4GiBIsRefusedWithAnError)
{
    WaveDestCore wave;
    ASSERT_TRUE(wave.startStreaming(pcmFormat(48000, 2, 16)));
    const std::uint64_t room = WaveDestCore::kMaxFileBytes - 44;
    WaveDestCore::Placement placement;
    ASSERT_TRUE(wave.place(room - 100, placement));
    EXPECT_TRUE(wave.errorMessage().isEmpty());

    // One byte past 2^32 − 1 is refused and not counted; up to it fits.
    EXPECT_FALSE(wave.place(101, placement));
    EXPECT_FALSE(wave.errorMessage().isEmpty());
    EXPECT_EQ(wave.dataBytes(), room - 100);
    EXPECT_FALSE(wave.place(std::uint64_t{1} << 40, placement));
    ASSERT_TRUE(wave.place(100, placement));
    EXPECT_EQ(placement.stop, WaveDestCore::kMaxFileBytes);
    EXPECT_FALSE(wave.place(1, placement));

    // The header still describes what was counted.
    MemoryWriter writer;
    ASSERT_TRUE(wave.stopStreaming(&writer));
    ASSERT_EQ(writer.file.size(), 44u);
    EXPECT_EQ(le32At(writer.file, 4), 0xFFFFFFFFu - 8);
    EXPECT_EQ(le32At(writer.file, 40), room);
}

TEST(WaveDest, RefusalsAndFailures)
{
    WaveDestCore wave;
    for (const std::size_t size : {0, 2, 14, 15}) {
        const std::vector<std::uint8_t> shortFormat(size, 0x01);
        EXPECT_FALSE(WaveDestCore::formatAccepted(shortFormat)) << size;
        EXPECT_FALSE(wave.startStreaming(shortFormat)) << size;
        EXPECT_FALSE(wave.errorMessage().isEmpty());
        WaveDestCore::Placement placement;
        EXPECT_FALSE(wave.place(10, placement));
        MemoryWriter writer;
        EXPECT_FALSE(wave.stopStreaming(&writer));
        EXPECT_TRUE(writer.file.empty());
    }
    EXPECT_TRUE(WaveDestCore::formatAccepted(pcmFormat(8000, 1, 8)));

    // No file writer downstream, or a header write that fails: an error.
    ASSERT_TRUE(wave.startStreaming(pcmFormat(48000, 2, 16)));
    EXPECT_FALSE(wave.stopStreaming(nullptr));
    EXPECT_FALSE(wave.errorMessage().isEmpty());
    ASSERT_TRUE(wave.startStreaming(pcmFormat(48000, 2, 16)));
    EXPECT_TRUE(wave.errorMessage().isEmpty());
    MemoryWriter failing;
    failing.failWrites = true;
    EXPECT_FALSE(wave.stopStreaming(&failing));
    EXPECT_FALSE(wave.errorMessage().isEmpty());
}

// Independent check: ffmpeg reads the files written and gives back the PCM.
TEST(WaveDestFfmpeg, FfmpegReadsTheSamplesBack)
{
    if (!runTool("ffmpeg", {"-version"}, 30000).started)
        FAIL() << "ffmpeg is not installed (scripts/setup installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const int extra : {-1, 0}) {
        SCOPED_TRACE(extra < 0 ? "16-byte format" : "18-byte format");
        const std::vector<std::uint8_t> pcm = audio(48000 * 4 / 5);
        WaveDestCore wave;
        const std::vector<std::uint8_t> file =
            writeRun(wave, pcmFormat(48000, 2, 16, extra), pcm, 3840);
        const QString path = dir.filePath(extra < 0 ? "a16.wav" : "a18.wav");
        writeFileBytes(path, QByteArray(reinterpret_cast<const char *>(file.data()),
                                        static_cast<qsizetype>(file.size())));

        const ToolResult probe =
            runTool("ffprobe", {"-v", "error", "-show_entries",
                                "stream=codec_name,sample_rate,channels", "-of", "csv=p=0", path});
        ASSERT_EQ(probe.exitCode, 0) << probe.err.toStdString();
        EXPECT_EQ(probe.out.trimmed().toStdString(), "pcm_s16le,48000,2");

        const QString raw = dir.filePath("back.raw");
        const ToolResult back = runTool("ffmpeg", {"-hide_banner", "-v", "error", "-y", "-i", path,
                                                   "-f", "s16le", "-c:a", "pcm_s16le", raw});
        ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
        EXPECT_TRUE(back.err.trimmed().isEmpty()) << back.err.toStdString();
        const QByteArray samples = readFileBytes(raw);
        EXPECT_EQ(samples, QByteArray(reinterpret_cast<const char *>(pcm.data()),
                                      static_cast<qsizetype>(pcm.size())));
    }
}

} // namespace
