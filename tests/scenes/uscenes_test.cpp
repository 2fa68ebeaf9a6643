// The subtitle writer and the text file under it: cue layout, the encoding
// and line ends, and the file replaced only once complete.
#include "scenes/uscenes.h"

#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vidora {
namespace {

using test::readFileBytes;
using test::writeFileBytes;

class SrtWriter : public ::testing::Test
{
protected:
    QString Video() const { return m_dir.filePath("clip.avi"); }
    QString Srt() const { return m_dir.filePath("clip.srt"); }
    QTemporaryDir m_dir;
};

TEST_F(SrtWriter, EachTextBecomesACueUntilTheNextChange)
{
    {
        TWriteSrt srt(Video(), 25);
        srt.AddTitle(0, "A", "B");
        srt.AddTitle(250, "C", "");
        srt.AddTitle(500, "", "");
        EXPECT_TRUE(srt.Close());
    }
    EXPECT_EQ(readFileBytes(Srt()),
              QByteArray("1\r\n00:00:00,000 --> 00:00:10,000\r\nA\r\nB\r\n\r\n"
                         "2\r\n00:00:10,000 --> 00:00:20,000\r\nC\r\n \r\n\r\n"));
}

TEST_F(SrtWriter, EmptyLinesEndTheCueAndALaterTextOpensTheNextAtItsFrame)
{
    {
        TWriteSrt srt(Video(), 25);
        srt.AddTitle(0, "", "x");
        srt.AddTitle(50, "", "");
        srt.AddTitle(75, "", ""); // nothing pending: no cue
        srt.AddTitle(100, "y", "z");
        srt.AddTitle(125, "", "");
        EXPECT_TRUE(srt.Close());
    }
    EXPECT_EQ(readFileBytes(Srt()),
              QByteArray("1\r\n00:00:00,000 --> 00:00:02,000\r\n \r\nx\r\n\r\n"
                         "2\r\n00:00:04,000 --> 00:00:05,000\r\ny\r\nz\r\n\r\n"));
}

TEST_F(SrtWriter, TextIsUtf8WithoutByteOrderMark)
{
    {
        TWriteSrt srt(Video(), 25);
        srt.AddTitle(0, QString::fromUtf8("Größe 7 €"), "b");
        srt.AddTitle(25, "", "");
        EXPECT_TRUE(srt.Close());
    }
    const QByteArray bytes = readFileBytes(Srt());
    EXPECT_TRUE(bytes.startsWith("1\r\n"));
    EXPECT_TRUE(bytes.contains(QString::fromUtf8("\r\nGröße 7 €\r\n").toUtf8()));
}

TEST_F(SrtWriter, AnExistingFileIsReplacedOnlyWhenTheNewOneIsComplete)
{
    writeFileBytes(Srt(), "old");
    {
        TWriteSrt srt(Video(), 25);
        srt.AddTitle(0, "a", "b");
        srt.AddTitle(25, "", "");
        EXPECT_EQ(readFileBytes(Srt()), QByteArray("old"));
        EXPECT_TRUE(srt.Close());
    }
    EXPECT_TRUE(readFileBytes(Srt()).startsWith("1\r\n00:00:00,000 --> 00:00:01,000\r\n"));
}

// Only Close commits: a writer discarded, or dropped unclosed (the run that
// fed it was aborted or failed), leaves the folder as it was.
TEST_F(SrtWriter, ADiscardedOrUnclosedWriterLeavesTheFolderAsItWas)
{
    writeFileBytes(Srt(), "old");
    for (bool discard : {true, false}) {
        {
            TWriteSrt srt(Video(), 25);
            srt.AddTitle(0, "a", "b");
            srt.AddTitle(25, "", "");
            if (discard)
                srt.Discard();
        }
        EXPECT_EQ(readFileBytes(Srt()), QByteArray("old")) << (discard ? "discarded" : "dropped");
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"clip.srt"});
    }
}

TEST_F(SrtWriter, AFileThatCannotBeCreatedIsReportedByClose)
{
    TWriteSrt srt(m_dir.filePath("missing/clip.avi"), 25);
    srt.AddTitle(0, "a", "b");
    srt.AddTitle(25, "", "");
    EXPECT_FALSE(srt.Close());
    EXPECT_TRUE(srt.ErrorString().contains("missing/clip.srt")) << srt.ErrorString().toStdString();
    EXPECT_FALSE(QFile::exists(m_dir.filePath("missing/clip.srt")));
}

TEST(SrtFileName, TheLastExtensionOfTheFileNameIsReplaced)
{
    struct Case
    {
        const char *video;
        const char *srt;
    };
    for (const Case &c : {Case{"/v/clip.avi", "/v/clip.srt"}, Case{"/v/a.b.AVI", "/v/a.b.srt"},
                          Case{"/v.d/clip", "/v.d/clip.srt"}, Case{"clip", "clip.srt"}})
        EXPECT_EQ(TWriteSrt::ChangeFileExt(c.video, ".srt").toStdString(), c.srt) << c.video;
}

} // namespace
} // namespace vidora
