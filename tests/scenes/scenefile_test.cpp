// The ".scn" scene file: the exact bytes of a known list, reading back,
// damaged files, long and non-ASCII strings, and the file replaced only when
// complete.
#include "scenes/scenefile.h"
#include "scenes/scenelist.h"
#include "support/media_hang_guard.h"

#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

namespace vidora {
namespace {

using test::readFileBytes;
using test::writeFileBytes;

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', "").replace('\n', ""));
}

struct SceneSpec
{
    std::uint32_t start, end, offset;
    const char *title, *subtitle;
};

TSceneClass MakeScene(const SceneSpec &spec)
{
    TSceneClass scene(spec.start, spec.end, TSceneContext{});
    scene.ThumbOffset = spec.offset;
    scene.Title = QString::fromUtf8(spec.title);
    scene.Subtitle = QString::fromUtf8(spec.subtitle);
    return scene;
}

class ScnFile : public ::testing::Test
{
protected:
    QString Video() const { return m_dir.filePath("clip.avi"); }
    QString Scn() const { return m_dir.filePath("clip.scn"); }

    QByteArray Write(const QString &video, std::initializer_list<SceneSpec> scenes)
    {
        TwriteScene writer(video);
        for (const SceneSpec &spec : scenes)
            writer.AddScene(MakeScene(spec));
        EXPECT_TRUE(writer.Close()) << writer.ErrorString().toStdString();
        return readFileBytes(writer.FileName());
    }

    QTemporaryDir m_dir;
};

// Three scenes [0, 250), [250, 400), [400, 1000) of "/v/clip.avi"; the
// second titled Beach with an empty subtitle and a thumbnail offset of 12.
// Spelled out byte by byte from the layout.
const char *const kGoldenThreeScenes =
    // header, "SourceTape" class
    "63 26 01 00 04 00 00 00  FF FF 03 00 0A 00  536F7572636554617065"
    // S("/v/clip.avi"): 11 characters
    "FF FE FF 0B  2F00 7600 2F00 6300 6C00 6900 7000 2E00 6100 7600 6900"
    "00 00 00 00 00 00 0C 00  03 00"
    // scene 1: "Clip" class, flags 50 00 00 00, "Scene" class
    "FF FF 01 00 04 00 436C6970  50 00 00 00"
    "FF FF 01 00 05 00 5363656E65"
    "FF FE FF 00  00000000 FA000000 00000000  01 80"
    "FF FE FF 0B  2F00 7600 2F00 6300 6C00 6900 7000 2E00 6100 7600 6900"
    "00000000 00000000 FA000000"
    // scene 2: Clip object, F0, caption and offset flags, Scene object
    "03 80 F0 80 40 00 05 80"
    "FF FE FF 00  FA000000 96000000 00000000  07 00"
    "FA000000 96000000 FA000000"
    "0C000000"
    "FF FE FF 07  4200 6500 6100 6300 6800 0D00 0A00"
    // scene 3
    "03 80 F0 00 00 00 05 80"
    "FF FE FF 00  90010000 58020000 00000000  07 00"
    "90010000 58020000 90010000";

TEST_F(ScnFile, ThreeScenesGiveTheKnownBytes)
{
    TwriteScene writer("/v/clip.avi");
    for (const SceneSpec &spec :
         {SceneSpec{0, 250, 0, "", ""}, SceneSpec{250, 400, 12, "Beach", ""},
          SceneSpec{400, 1000, 0, "", ""}})
        writer.AddScene(MakeScene(spec));
    EXPECT_EQ(writer.Bytes().toHex(' '), Hex(kGoldenThreeScenes).toHex(' '));
    EXPECT_EQ(writer.FileName(), "/v/clip.scn");
    writer.Discard();
}

TEST_F(ScnFile, TheKnownBytesReadBackAsTheThreeScenes)
{
    TSceneList list;
    ASSERT_TRUE(LoadScnBytes(Hex(kGoldenThreeScenes), list, TSceneContext{}));
    ASSERT_EQ(list.size(), 3u);
    struct Expected
    {
        std::uint32_t start, end, offset;
        const char *title, *caption;
    };
    const Expected expected[] = {{0, 250, 0, "", "Scene 1: "},
                                 {250, 400, 12, "Beach", "Scene 2: Beach"},
                                 {400, 1000, 0, "", "Scene 3: "}};
    for (std::size_t i = 0; i < 3; ++i) {
        const TSceneClass &s = *list[i].Scene;
        EXPECT_EQ(s.StartFrame, expected[i].start) << i;
        EXPECT_EQ(s.EndFrame, expected[i].end) << i;
        EXPECT_EQ(s.ThumbOffset, expected[i].offset) << i;
        EXPECT_EQ(s.Title, expected[i].title) << i;
        EXPECT_TRUE(s.Subtitle.isEmpty()) << i;
        EXPECT_EQ(s.Number, int(i + 1));
        EXPECT_EQ(list[i].Text, expected[i].caption) << i;
        EXPECT_FALSE(s.Detailed);
    }
}

TEST_F(ScnFile, ScenesRoundTripThroughTheFile)
{
    Write(Video(), {SceneSpec{0, 1, 5, "a", "b"}, SceneSpec{1, 1, 0, "", "only sub"},
                    SceneSpec{1, 4000000000u, 0xFFFFFFFFu, "t", ""}});
    TSceneList list;
    ASSERT_TRUE(LoadScnFile(Scn(), list, TSceneContext{}));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Scene->ThumbOffset, 5u);
    EXPECT_EQ(list[0].Scene->Subtitle, "b");
    EXPECT_EQ(list[1].Scene->StartFrame, 1u);
    EXPECT_EQ(list[1].Scene->EndFrame, 1u);
    EXPECT_EQ(list[1].Scene->Title, "");
    EXPECT_EQ(list[1].Scene->Subtitle, "only sub");
    EXPECT_EQ(list[2].Scene->EndFrame, 4000000000u);
    EXPECT_EQ(list[2].Scene->ThumbOffset, 0xFFFFFFFFu);
}

TEST_F(ScnFile, AFirstSceneAfterFrameZeroReadsBackFromZero)
{
    Write(Video(), {SceneSpec{100, 300, 0, "", ""}, SceneSpec{300, 310, 0, "", ""}});
    TSceneList list;
    ASSERT_TRUE(LoadScnFile(Scn(), list, TSceneContext{}));
    EXPECT_EQ(list[0].Scene->StartFrame, 0u);
    EXPECT_EQ(list[0].Scene->EndFrame, 300u);
}

TEST_F(ScnFile, NonAsciiAndLongStringsRoundTrip)
{
    const QString title = QString::fromUtf8("Plage d'été «Noël» 海辺の写真 🎥");
    const QString longTitle = QString(300, QChar(u'é')) + QStringLiteral("end");
    const QString folder = m_dir.filePath(QString(200, QLatin1Char('d')) + QLatin1Char('/') +
                                          QString(200, QLatin1Char('e')));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString video = folder + QStringLiteral("/vidéo 日本.avi");
    ASSERT_GT(video.size(), 255);
    const QByteArray bytes =
        Write(video, {SceneSpec{0, 10, 0, title.toUtf8().constData(), "ß"},
                      SceneSpec{10, 20, 0, longTitle.toUtf8().constData(), ""}});
    // The long form: FF FE FF FF and a 16-bit count.
    const QByteArray count = QByteArray::fromHex("FFFEFFFF") +
                             QByteArray(1, char(video.size() & 0xFF)) +
                             QByteArray(1, char(video.size() >> 8));
    EXPECT_TRUE(bytes.mid(24).startsWith(count));

    TSceneList list;
    ASSERT_TRUE(LoadScnFile(CompanionFileName(video, ".scn"), list, TSceneContext{}));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Scene->Title, title);
    EXPECT_EQ(list[0].Scene->Subtitle, QString::fromUtf8("ß"));
    EXPECT_EQ(list[1].Scene->Title, longTitle);
}

TEST_F(ScnFile, ACaptionOfThreeLinesKeepsTwo)
{
    TwriteScene writer(Video());
    TSceneClass scene(0, 5, TSceneContext{});
    scene.Title = "one\r\ntwo";
    scene.Subtitle = "three";
    writer.AddScene(scene);
    TSceneList list;
    ASSERT_TRUE(LoadScnBytes(writer.Bytes(), list, TSceneContext{}));
    EXPECT_EQ(list[0].Scene->Title, "one");
    EXPECT_EQ(list[0].Scene->Subtitle, "two");
    writer.Discard();
}

TEST_F(ScnFile, EightBitStringsAreReadInBothForms)
{
    // The first record's caption as an 8-bit string: short form (length
    // byte), long form (FF + 16-bit length), Windows-1252 and UTF-8 bytes.
    TwriteScene writer(Video());
    TSceneClass scene(0, 5, TSceneContext{});
    scene.Title = "x";
    writer.AddScene(scene);
    const QByteArray prefix = writer.Bytes().left(writer.Bytes().size() - 4 - 2 * 3);
    writer.Discard();
    struct Case
    {
        QByteArray string;
        QString title, subtitle;
    };
    const Case cases[] = {
        {Hex("06") + "ab\r\ncd", "ab", "cd"},
        {Hex("FF 0400") + "wxyz", "wxyz", ""},
        {Hex("03") + "\xE9t\xE9", QString::fromUtf8("été"), ""},
        {Hex("05") + "\xC3\xA9t\xC3\xA9", QString::fromUtf8("été"), ""},
        {Hex("04") + QByteArray("ab\0c", 4), "ab", ""},
        {Hex("FF 0000"), "", ""},
        {Hex("FF 0008"), "", ""}, // a length the reader does not know: empty
        {Hex("FF FEFF 00"), "", ""},
    };
    for (const Case &c : cases) {
        TSceneList list;
        EXPECT_TRUE(LoadScnBytes(prefix + c.string, list, TSceneContext{}))
            << c.string.toHex().constData();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].Scene->Title, c.title) << c.string.toHex().constData();
        EXPECT_EQ(list[0].Scene->Subtitle, c.subtitle);
    }
}

TEST_F(ScnFile, ATruncatedFileKeepsTheScenesReadBeforeTheCut)
{
    const QByteArray golden = Hex(kGoldenThreeScenes);
    const qsizetype thirdRecord = golden.size() - 8 - 4 - 12 - 2 - 12;
    struct Case
    {
        qsizetype size;
        std::size_t scenes;
    };
    for (const Case &c :
         {Case{golden.size(), 3}, Case{golden.size() - 1, 2}, Case{thirdRecord + 3, 2},
          Case{thirdRecord, 2}, Case{thirdRecord - 1, 1}, // inside the second caption
          Case{70, 0}, Case{23, 0}, Case{0, 0}}) {
        TSceneList list;
        const bool complete = LoadScnBytes(golden.left(c.size), list, TSceneContext{});
        EXPECT_EQ(complete, c.size == golden.size()) << c.size;
        EXPECT_EQ(list.size(), c.scenes) << c.size;
    }
}

TEST_F(ScnFile, AWriterWithoutScenesLeavesAFileTheReaderRefuses)
{
    const QByteArray bytes = Write(Video(), {});
    EXPECT_EQ(bytes.size(), 24 + 4 + 2 * Video().size() + 8);
    TSceneList list;
    list.push_back(TSceneItem{"old", nullptr});
    EXPECT_FALSE(LoadScnFile(Scn(), list, TSceneContext{}));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(LoadScnFile(m_dir.filePath("none.scn"), list, TSceneContext{}));
}

TEST_F(ScnFile, AnExistingFileIsReplacedOnlyWhenTheNewOneIsComplete)
{
    writeFileBytes(Scn(), "old");
    {
        TwriteScene writer(Video());
        writer.AddScene(MakeScene({0, 10, 0, "", ""}));
        EXPECT_EQ(readFileBytes(Scn()), QByteArray("old"));
        writer.Discard();
    }
    EXPECT_EQ(readFileBytes(Scn()), QByteArray("old"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"clip.scn"});
    {
        TwriteScene writer(Video());
        writer.AddScene(MakeScene({0, 10, 0, "", ""}));
    } // the destructor commits
    TSceneList list;
    EXPECT_TRUE(LoadScnFile(Scn(), list, TSceneContext{}));
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(ScnFile, ASceneEndingBeforeItsStartIsRefusedAndNotCounted)
{
    TwriteScene writer(Video());
    writer.AddScene(MakeScene({0, 10, 0, "", ""}));
    TSceneClass bad(20, 30, TSceneContext{});
    bad.EndFrame = 19;
    EXPECT_THROW(writer.AddScene(bad), std::range_error);
    EXPECT_EQ(writer.Count(), 1);
    writer.Discard();
}

TEST_F(ScnFile, AFileThatCannotBeWrittenIsReported)
{
    TwriteScene writer(m_dir.filePath("missing/clip.avi"));
    writer.AddScene(MakeScene({0, 10, 0, "", ""}));
    EXPECT_FALSE(writer.Close());
    EXPECT_TRUE(writer.ErrorString().contains("missing/clip.scn"));
}

// The count has 16 bits: the writer holds 65,535 scenes and refuses one more
// (the old file stays), and the reader refuses a count that the records
// after it contradict, which is what a wrapped count looks like.
TEST_F(ScnFile, TheSceneCountNeverWraps)
{
    struct Case
    {
        std::uint32_t scenes;
        bool written;
    };
    for (const Case &c : {Case{65535, true}, Case{65536, false}, Case{70000, false}}) {
        writeFileBytes(Scn(), "old");
        TwriteScene writer(Video());
        for (std::uint32_t k = 0; k < c.scenes; ++k)
            writer.AddScene(MakeScene({k, k + 1, 0, "", ""}));
        EXPECT_EQ(writer.Close(), c.written) << c.scenes;
        TSceneList list;
        if (c.written) {
            EXPECT_TRUE(LoadScnFile(Scn(), list, TSceneContext{}));
            EXPECT_EQ(list.size(), c.scenes);
            EXPECT_EQ(list.back().Scene->StartFrame, c.scenes - 1);
        } else {
            EXPECT_TRUE(writer.ErrorString().contains("65535"))
                << writer.ErrorString().toStdString();
            EXPECT_TRUE(writer.ErrorString().contains(Scn())) << writer.ErrorString().toStdString();
            EXPECT_EQ(readFileBytes(Scn()), QByteArray("old")) << c.scenes;
        }
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"clip.scn"});
    }

    // The golden file's count (after the header and the video's path) set
    // to what its three records are not.
    const QByteArray golden = Hex(kGoldenThreeScenes);
    const qsizetype countPos = 8 + 6 + 10 + 4 + 2 * 11 + 8;
    ASSERT_EQ(golden.mid(countPos, 2), Hex("0300"));
    for (const char *count : {"0000", "0100", "0200", "0400", "0301"}) {
        QByteArray bytes = golden;
        bytes.replace(countPos, 2, Hex(count));
        TSceneList list;
        EXPECT_FALSE(LoadScnBytes(bytes, list, TSceneContext{})) << count;
    }
}

} // namespace
} // namespace vidora

namespace vidora {
namespace {

// A scene file that is a FIFO or a link to a device is refused at once (it
// used to hold the scene editor for ever, or be read until memory ran out),
// and so is one past the size limit: the editor shows its error line.
TEST(ScnFileInput, OnlyRegularFilesOfBoundedSizeAreRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto hostile =
        test::makeHostileFiles(dir.path(), QStringLiteral(".scn"), kMaxScnFileBytes + 1);
    struct Case
    {
        QString scn;
        const char *reason;
    };
    const Case cases[] = {
        {hostile.fifo, "it is not a regular file"},
        {hostile.deviceLink, "it is not a regular file"},
        {hostile.huge, "the file is larger than 67108864 bytes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scn.toStdString());
        const test::HangGuard guard(std::chrono::seconds(20), "reading " + c.scn.toStdString());
        TSceneList list;
        QString error;
        EXPECT_FALSE(LoadScnFile(c.scn, list, TSceneContext{}, &error));
        EXPECT_EQ(error, c.scn + QStringLiteral(": ") + QString::fromUtf8(c.reason));
        EXPECT_TRUE(list.empty());

        const QString video = c.scn.chopped(4) + QStringLiteral(".avi");
        ::testing::internal::CaptureStderr();
        const TSceneList shown = LoadSceneListOf(video, TSceneContext{});
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "vidora: cannot read the scene file " + error.toStdString() + "\n");
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].Text, kScnErrorCaption);
    }
}

} // namespace
} // namespace vidora
