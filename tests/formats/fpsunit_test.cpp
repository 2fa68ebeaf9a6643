#include "formats/fpsunit.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace vidora;
using namespace vidora::test;

class AviPatch : public TempFolderTest
{};

// The file as it must be after a patch: the original with `value` at each
// position, nothing else changed.
QByteArray patched(QByteArray bytes, std::initializer_list<qint64> positions,
                   const QByteArray &value)
{
    for (const qint64 p : positions) {
        if (p >= 0)
            bytes.replace(p, value.size(), value);
    }
    return bytes;
}

StreamLayout videoStream(const char *handler)
{
    StreamLayout s;
    s.handler = handler;
    s.compression = handler;
    return s;
}

AviLayout twoVideoStreams()
{
    AviLayout layout = dvType2Layout();
    layout.streams = {videoStream("aaaa"), dvType2Layout().streams[1], videoStream("bbbb")};
    return layout;
}

TEST(FourCCText, PacksFirstCharacterLowest)
{
    EXPECT_EQ(bytesLE32(StrToFourCC(QStringLiteral("dvsd"))), QByteArray("\x64\x76\x73\x64"));
    EXPECT_EQ(FourCCToStr(StrToFourCC(QStringLiteral("dvsd"))), QStringLiteral("dvsd"));
    EXPECT_EQ(FourCCToStr(StrToFourCC(QStringLiteral("dv"))), QStringLiteral("dv  "));
    EXPECT_EQ(FourCCToStr(StrToFourCC(QStringLiteral("CDVCx"))), QStringLiteral("CDVC"));
    EXPECT_EQ(FourCCToStr(0x00000064), QString::fromLatin1("d\0\0\0", 4));
}

TEST(FourCCText, TypedCodesArePaddedThenMustBePrintableAscii)
{
    const struct
    {
        QString text;
        std::optional<QString> code;
    } cases[] = {
        {QStringLiteral("dvsd"), QStringLiteral("dvsd")},
        {QStringLiteral("dv"), QStringLiteral("dv  ")},
        {QStringLiteral("x"), QStringLiteral("x   ")},
        {QString(), QStringLiteral("    ")},
        {QStringLiteral("dv 5"), QStringLiteral("dv 5")},
        {QStringLiteral("~!{}"), QStringLiteral("~!{}")},
        {QStringLiteral("dvsdx"), std::nullopt},
        {QStringLiteral("dv\ts"), std::nullopt},
        {QString::fromLatin1("dv\0s", 4), std::nullopt},
        {QStringLiteral("dv\u00e9"), std::nullopt},
        {QStringLiteral("d\u20ac"), std::nullopt},
        {QStringLiteral("dv\x7f"), std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const auto code = FourCCFromText(c.text);
        ASSERT_EQ(code.has_value(), c.code.has_value());
        if (code) {
            EXPECT_EQ(FourCCToStr(*code), *c.code);
            EXPECT_TRUE(isPrintableFourCC(*code));
        }
    }
}

TEST_F(AviPatch, ScanFindsTheLastVideoStream)
{
    AviLayout shortStrh = dvType2Layout();
    shortStrh.streams[0].strhSize = 24; // holds the handler, not dwScale and dwRate
    AviLayout shortStrf = dvType2Layout();
    shortStrf.streams[0].format = StreamLayout::Format::None;
    AviLayout videoThenInterleaved = dvType1Layout();
    videoThenInterleaved.streams.insert(videoThenInterleaved.streams.begin(), videoStream("vvvv"));
    AviLayout oddChunks = openDmlLayout();
    oddChunks.oddChunks = true;
    AviLayout audioOnly = dvType2Layout();
    audioOnly.streams.erase(audioOnly.streams.begin());

    const struct
    {
        const char *name;
        AviLayout layout;
        int handlerStream;
        int compressionStream;
        bool scale;
    } cases[] = {
        {"type 2", dvType2Layout(), 0, 0, true},
        {"type 1: no compression field", dvType1Layout(), 0, -1, true},
        {"OpenDML", openDmlLayout(), 0, 0, true},
        {"odd chunks", oddChunks, 0, 0, true},
        {"two video streams: the second", twoVideoStreams(), 2, 2, true},
        {"video then interleaved", videoThenInterleaved, 1, 0, true},
        {"a stream header too short for the rate", shortStrh, 0, 0, false},
        {"no stream format", shortStrf, 0, -1, true},
        {"no video stream", audioOnly, -1, -1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const BuiltAvi avi = buildAvi(c.layout);
        AviHeaderPositions expected;
        if (c.handlerStream >= 0) {
            const qint64 strh = avi.streams[std::size_t(c.handlerStream)].strhData;
            expected.handler = strh + 4;
            expected.scale = c.scale ? strh + 20 : -1;
        }
        if (c.compressionStream >= 0)
            expected.compression = avi.streams[std::size_t(c.compressionStream)].strfData + 16;
        const AviHeaderPositions found = ScanAviHeader(write(avi.bytes));
        EXPECT_EQ(found.handler, expected.handler);
        EXPECT_EQ(found.scale, expected.scale);
        EXPECT_EQ(found.compression, expected.compression);
    }
    EXPECT_EQ(ScanAviHeader(m_dir.filePath(QStringLiteral("missing.avi"))), AviHeaderPositions{});
}

TEST_F(AviPatch, FieldsMustLieInsideTheirList)
{
    // A 16-byte stream header that claims 56 bytes: its dwScale would lie in
    // the next stream list, so only the handler is found and written.
    QByteArray bytes;
    qint64 strhData = 0;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        RiffBuilder b(buffer);
        auto form = b.list("RIFF", "AVI ");
        auto hdrl = b.list("LIST", "hdrl");
        {
            auto strl = b.list("LIST", "strl");
            auto strh = b.chunk("strh");
            strh.declareSize(56);
            strhData = strh.dataOffset();
            b.bytes(QByteArray("vidsdvsd", 8) + QByteArray(8, '\0'));
        }
        auto strl = b.list("LIST", "strl");
        b.leaf("strh", QByteArray("audsxxxx", 8) + QByteArray(48, '\x11'));
    }
    const QString path = write(bytes);
    const AviHeaderPositions found = ScanAviHeader(path);
    EXPECT_EQ(found.handler, strhData + 4);
    EXPECT_EQ(found.scale, -1);
    EXPECT_THROW(WriteAviFrameRate(path, 25), AviFileError);
    EXPECT_EQ(readFileBytes(path), bytes);
    EXPECT_TRUE(WriteAviCodec(path, makeFourCC("dsvd")));
    EXPECT_EQ(readFileBytes(path), patched(bytes, {strhData + 4}, "dsvd"));
}

TEST_F(AviPatch, CodecChangesExactlyTheNamedBytes)
{
    const struct
    {
        const char *name;
        AviLayout layout;
        int handlerStream;
        int compressionStream;
    } cases[] = {
        {"type 2: handler and compression", dvType2Layout(), 0, 0},
        {"type 1: handler only", dvType1Layout(), 0, -1},
        {"OpenDML", openDmlLayout(), 0, 0},
        {"two video streams: only the second", twoVideoStreams(), 2, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const BuiltAvi avi = buildAvi(c.layout);
        const QString path = write(avi.bytes);
        EXPECT_EQ(FourCCToStr(ReadAviCodec(path)),
                  QString::fromLatin1(c.layout.streams[std::size_t(c.handlerStream)].handler));

        ASSERT_TRUE(WriteAviCodec(path, StrToFourCC(QStringLiteral("dsvd"))));
        const qint64 handler = avi.streams[std::size_t(c.handlerStream)].strhData + 4;
        const qint64 compression =
            c.compressionStream < 0 ? -1
                                    : avi.streams[std::size_t(c.compressionStream)].strfData + 16;
        EXPECT_EQ(readFileBytes(path), patched(avi.bytes, {handler, compression}, "dsvd"));
        EXPECT_EQ(FourCCToStr(ReadAviCodec(path)), QStringLiteral("dsvd"));
    }
}

TEST_F(AviPatch, FrameRateWritesScaleAndRateOnly)
{
    const struct
    {
        double fps;
        quint32 scale;
    } cases[] = {
        {25.0, 40000},
        {29.97, 33367},
        {30000.0 / 1001.0, 33367},
        {23.976, 41708},
        {50.0, 20000},
        {0.5, 2000000},
        {1e6, 1},
        {1.5e6, 1}, // 0.667 rounds up to 1
        {1e6 / 4294967295.0, 4294967295u},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fps);
        const BuiltAvi avi = buildAvi(dvType2Layout());
        const QString path = write(avi.bytes);
        WriteAviFrameRate(path, c.fps);
        const qint64 scale = avi.streams[0].strhData + 20;
        EXPECT_EQ(readFileBytes(path),
                  patched(avi.bytes, {scale}, bytesLE32(c.scale) + bytesLE32(1000000)));
    }
}

TEST_F(AviPatch, RefusesWithTheFileUntouched)
{
    const QByteArray type2 = buildAvi(dvType2Layout()).bytes;
    AviLayout audioOnly = dvType2Layout();
    audioOnly.streams.erase(audioOnly.streams.begin());
    QByteArray notRiff = type2;
    notRiff.replace(0, 4, "RIFX");
    QByteArray junkFirst = QByteArray("JUNK\x04\0\0\0abcd", 12) + type2;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    const struct
    {
        const char *name;
        QByteArray bytes;
        FourCC codec;
        double fps;
    } cases[] = {
        {"no video stream", buildAvi(audioOnly).bytes, makeFourCC("dsvd"), 25},
        {"not RIFF", notRiff, makeFourCC("dsvd"), 25},
        {"a chunk before the first form", junkFirst, makeFourCC("dsvd"), 25},
        {"text", QByteArray("not a video"), makeFourCC("dsvd"), 25},
        {"empty", QByteArray(), makeFourCC("dsvd"), 25},
        {"a control character", type2, makeFourCC("dv\x01s"), 0},
        {"a zero byte", type2, makeFourCC("dvs\0"), -25},
        {"a byte above ASCII", type2, makeFourCC("dv\xe9s"), nan},
        {"DEL", type2, makeFourCC("dv\x7fs"), inf},
        {"rate too high for a scale of 1", type2, 0xFFFFFFFF, 2.1e6},
        {"rate too low for a 32-bit scale", type2, 0, 1e6 / 4294967296.0},
        {"negative infinity", type2, 0, -inf},
        {"tiny rate", type2, 0, 1e-300},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(c.bytes);
        EXPECT_FALSE(WriteAviCodec(path, c.codec));
        EXPECT_THROW(WriteAviFrameRate(path, c.fps), AviFileError);
        EXPECT_EQ(readFileBytes(path), c.bytes);
    }
}

TEST_F(AviPatch, FileThatCannotBeOpenedIsAnError)
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.avi"));
    EXPECT_FALSE(WriteAviCodec(missing, makeFourCC("dsvd")));
    EXPECT_THROW(WriteAviFrameRate(missing, 25), AviFileError);
    EXPECT_THROW(ReadAviCodec(missing), AviFileError);
    EXPECT_FALSE(QFile::exists(missing));

    const QString folder = m_dir.path();
    EXPECT_FALSE(WriteAviCodec(folder, makeFourCC("dsvd")));
    EXPECT_THROW(WriteAviFrameRate(folder, 25), AviFileError);
    EXPECT_THROW(ReadAviCodec(folder), AviFileError);
}

TEST_F(AviPatch, ReadOnlyFileIsAnError)
{
    const QByteArray bytes = buildAvi(dvType2Layout()).bytes;
    const QString readOnly = write(bytes);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
    if (QFile probe(readOnly); probe.open(QIODevice::ReadWrite))
        GTEST_SKIP() << "file permissions do not bind this user (root)";
    EXPECT_FALSE(WriteAviCodec(readOnly, makeFourCC("dsvd")));
    try {
        WriteAviFrameRate(readOnly, 25);
        ADD_FAILURE() << "no error";
    } catch (const AviFileError &e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(readOnly), -1) << e.what();
    }
    EXPECT_EQ(FourCCToStr(ReadAviCodec(readOnly)), QStringLiteral("dvsd"));
    EXPECT_EQ(readFileBytes(readOnly), bytes);
}

TEST_F(AviPatch, ReadCodecWithoutVideoIsZero)
{
    AviLayout audioOnly = dvType2Layout();
    audioOnly.streams.erase(audioOnly.streams.begin());
    EXPECT_EQ(ReadAviCodec(write(buildAvi(audioOnly).bytes)), 0u);
    EXPECT_EQ(ReadAviCodec(write(QByteArray("RIFF"))), 0u);
}

} // namespace
