#include "formats/aviinfo.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora;
using namespace vidora::test;

class AviParam : public TempFolderTest
{};

StreamLayout videoStream(const char *handler)
{
    StreamLayout s;
    s.handler = handler;
    s.compression = handler;
    return s;
}

TEST_F(AviParam, FindsTheFirstVideoOrInterleavedStream)
{
    AviLayout twoVideos = dvType2Layout();
    twoVideos.streams = {videoStream("aaaa"), dvType2Layout().streams[1], videoStream("bbbb")};
    AviLayout audioOnly = dvType2Layout();
    audioOnly.streams.erase(audioOnly.streams.begin());
    AviLayout avixAlone = dvType2Layout();
    avixAlone.formType = "AVIX";
    AviLayout lowerCaseForm = dvType2Layout();
    lowerCaseForm.formType = "avi ";
    AviLayout audioFirst = dvType2Layout();
    std::swap(audioFirst.streams[0], audioFirst.streams[1]);
    audioFirst.streams[1].handler = "CDVC";
    AviLayout longStrh = dvType2Layout();
    longStrh.streams[0].strhSize = 64;
    longStrh.streams[1].strhSize = 64;
    AviLayout oddChunks = openDmlLayout();
    oddChunks.oddChunks = true;
    AviLayout interleavedAfterVideo = dvType1Layout();
    interleavedAfterVideo.streams.insert(interleavedAfterVideo.streams.begin(),
                                         videoStream("vvvv"));

    const struct
    {
        const char *name;
        AviLayout layout;
        const char *handler;
        int streams;
    } cases[] = {
        {"type 1", dvType1Layout(), "dvsd", 1},
        {"type 2", dvType2Layout(), "dvsd", 2},
        {"type 2 without DVINFO", dvType2Layout(false), "dvsd", 2},
        {"OpenDML with an AVIX form", openDmlLayout(), "dvsd", 2},
        {"odd-sized chunks", oddChunks, "dvsd", 2},
        {"two video streams", twoVideos, "aaaa", 3},
        {"video after audio", audioFirst, "CDVC", 2},
        {"video before interleaved", interleavedAfterVideo, "vvvv", 2},
        {"no video stream", audioOnly, "####", 1},
        {"an AVIX form alone", avixAlone, "dvsd", 2},
        {"a lower-case form type", lowerCaseForm, "dvsd", 2},
        {"64-byte stream headers", longStrh, "dvsd", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TFriendlyAviParam param(write(buildAvi(c.layout).bytes));
        EXPECT_TRUE(param.Parsed());
        EXPECT_EQ(param.GetVideoHandler(), QString::fromLatin1(c.handler));
        EXPECT_EQ(int(param.Streams().size()), c.streams);
        EXPECT_EQ(param.GetVideoStream() != nullptr, QByteArray(c.handler) != "####");
    }
}

TEST_F(AviParam, StreamHeaderIsItsFirst56Bytes)
{
    AviLayout layout = dvType2Layout();
    layout.streams[0].strhSize = 64;
    layout.streams[0].scale = 1001;
    layout.streams[0].rate = 30000;
    layout.streams[1].strhSize = 12; // short: the rest of the record stays zero
    const BuiltAvi avi = buildAvi(layout);
    const TAviParam param(write(avi.bytes));
    ASSERT_EQ(param.Streams().size(), 2u);
    const TAvistream *video = param.GetVideoStream();
    ASSERT_EQ(video, &param.Streams()[0]);
    EXPECT_EQ(QByteArray(video->header.data(), 56), avi.bytes.mid(avi.streams[0].strhData, 56));
    EXPECT_EQ(readLE32(video->header.data() + 20), 1001u);
    const TAvistream &audio = param.Streams()[1];
    EXPECT_EQ(audio.fccType(), makeFourCC("auds"));
    EXPECT_EQ(QByteArray(audio.header.data() + 12, 44), QByteArray(44, '\0'));
}

TEST_F(AviParam, RefusesWhatIsNotAnAviForm)
{
    const QByteArray type2 = buildAvi(dvType2Layout()).bytes;
    QByteArray wave = type2;
    wave.replace(8, 4, "WAVE");
    QByteArray rifx = type2;
    rifx.replace(0, 4, "RIFX");
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"empty", {}},
        {"7 bytes", type2.left(7)},
        {"a RIFF header alone", type2.left(8)},
        {"not RIFF", rifx},
        {"a WAVE form", wave},
        {"a form too short for its type", QByteArray("RIFF\x02\0\0\0AV", 10)},
        {"text", QByteArray("Hello, this is not a video file at all.\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TAviParam param(write(c.bytes));
        EXPECT_FALSE(param.Parsed());
        EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("####"));
        EXPECT_EQ(param.GetVideoStream(), nullptr);
    }
}

TEST_F(AviParam, RefusesAFirstFormCutShort)
{
    const BuiltAvi avi = buildAvi(openDmlLayout());
    // The header list is complete; the recording stops inside the frames.
    ASSERT_GT(avi.firstFormEnd - 1, avi.hdrlEnd);
    const TAviParam param(write(avi.bytes.left(avi.firstFormEnd - 1)));
    EXPECT_FALSE(param.Parsed());
    EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("####"));

    // A later form cut short leaves the first one parsed.
    const TAviParam later(write(avi.bytes.left(avi.bytes.size() - 1), QStringLiteral("g.avi")));
    EXPECT_TRUE(later.Parsed());
    EXPECT_EQ(later.GetVideoHandler(), QStringLiteral("dvsd"));
}

TEST_F(AviParam, LaterBrokenFormKeepsTheParsedFlag)
{
    QByteArray bytes = buildAvi(dvType2Layout()).bytes;
    // An AVIX form whose only child claims more than the form holds.
    bytes += QByteArray("RIFF\x14\0\0\0AVIXLIST\xFF\0\0\0movi", 24) + QByteArray(4, '\0');
    const TAviParam param(write(bytes));
    EXPECT_TRUE(param.Parsed());
    EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("dvsd"));
}

TEST_F(AviParam, ShortIndexEndsItsStreamList)
{
    // A super index must hold its 24-byte header and entries: from 88 bytes
    // on it is skipped; a shorter one ends its stream list 88 bytes into its
    // data, inside the next stream list here, so the header list and the
    // form fail. The video stream found before it stays found.
    const struct
    {
        int indxSize;
        bool parsed;
        int streams;
    } cases[] = {
        {88, true, 2},  {4120, true, 2}, {40, false, 1},
        {80, false, 1}, {87, true, 2}, // 88 bytes on is just past its pad byte
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.indxSize);
        AviLayout layout = dvType2Layout();
        layout.streams[0].indxSize = c.indxSize;
        const TAviParam param(write(buildAvi(layout).bytes));
        EXPECT_EQ(param.Parsed(), c.parsed);
        EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("dvsd"));
        EXPECT_EQ(int(param.Streams().size()), c.streams);
    }
}

TEST_F(AviParam, OpeningFailsWithAClearError)
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.avi"));
    try {
        TAviParam param(missing);
        FAIL() << "no error";
    } catch (const AviFileError &e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(missing), -1) << e.what();
    }
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(AviParam, ReadsAReadOnlyFileWithoutChangingIt)
{
    const QByteArray bytes = buildAvi(dvType1Layout()).bytes;
    const QString path = write(bytes);
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    const TAviParam param(path);
    EXPECT_TRUE(param.Parsed());
    EXPECT_EQ(param.GetVideoHandler(), QStringLiteral("dvsd"));
    EXPECT_EQ(readFileBytes(path), bytes);
}

} // namespace
