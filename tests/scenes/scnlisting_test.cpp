// The "_scn.txt" listing: header, scene lines and trailer byte for byte.
#include "scenes/scnlisting.h"

#include "support/tools.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

namespace vidora {
namespace {

using test::readFileBytes;
using test::writeFileBytes;

TListingTexts FixedTexts()
{
    TListingTexts texts;
    texts.versionText = "7.0.5";
    texts.locale = QLocale::c();
    texts.clock = [] { return QDateTime(QDate(2026, 12, 10), QTime(11, 30, 5)); };
    return texts;
}

const char *const kHeader = "//--------------------------------------------------\r\n"
                            "// List of scenes of the video file:\r\n"
                            "//\r\n"
                            "// ***   %1   ***\r\n"
                            "//\r\n"
                            "// exported by Vidora version 7.0.5 En\r\n"
                            "// with format:\r\n"
                            "// scene number, start, end, duration, datecode, timecode, caption\r\n"
                            "//\r\n"
                            "//--------------------------------------------------\r\n"
                            "\r\n";
const char *const kTrailer = "\r\n"
                             "//--------------------------------------------------\r\n"
                             "// Terminated at Thursday, 10 December 2026 at 11:30:05\r\n"
                             "//\r\n";

class Listing : public ::testing::Test
{
protected:
    QString Video() const { return m_dir.filePath("Clip.AVI"); }
    QString Text() const { return m_dir.filePath("Clip_scn.txt"); }
    QByteArray Header() const { return QString::fromUtf8(kHeader).arg(Video().toLower()).toUtf8(); }
    QTemporaryDir m_dir;
};

TEST_F(Listing, HeaderSceneLinesAndTrailer)
{
    {
        TWriteScn_text listing(Video(), FixedTexts());
        TSceneClass a(0, 100, TSceneContext{});
        a.StartText = "0:00:00:00";
        a.EndText = "0:00:03:24";
        a.DurationText = "04.00";
        a.DatecodeText = "12/05/2006 10:20:30";
        a.TimecodeText = "00.00.00.00";
        a.Title = QString::fromUtf8("Plage d'été");
        a.Subtitle = QString::fromUtf8("海辺");
        listing.AddScene(a);
        TSceneClass b(100, 110, TSceneContext{}); // never detailed: empty texts
        listing.AddScene(b);
        EXPECT_FALSE(QFile::exists(Text()));
        EXPECT_TRUE(listing.Finish());
    }
    EXPECT_EQ(QString::fromUtf8(readFileBytes(Text())),
              QString::fromUtf8(Header() +
                                "  1, 0:00:00:00, 0:00:03:24, 04.00, 12/05/2006 10:20:30, "
                                "00.00.00.00, Plage d'été, 海辺\r\n"
                                "  2, , , , , , , \r\n" +
                                kTrailer));
}

TEST_F(Listing, NoSceneGivesHeaderAndTrailerOnly)
{
    {
        TWriteScn_text listing(Video(), FixedTexts());
    }
    EXPECT_EQ(readFileBytes(Text()), Header() + kTrailer);
}

TEST_F(Listing, ADiscardedListingLeavesTheOldFile)
{
    writeFileBytes(Text(), "old");
    {
        TWriteScn_text listing(Video(), FixedTexts());
        listing.AddScene(TSceneClass(0, 1, TSceneContext{}));
        listing.Discard();
    }
    EXPECT_EQ(readFileBytes(Text()), QByteArray("old"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"Clip_scn.txt"});
}

// A failure that unwinds through the listing (a scene's details could not
// be made, the run was given up) leaves the old file, not half a listing.
TEST_F(Listing, AListingLeftByAnExceptionLeavesTheOldFile)
{
    writeFileBytes(Text(), "old");
    EXPECT_THROW(
        {
            TWriteScn_text listing(Video(), FixedTexts());
            listing.AddScene(TSceneClass(0, 1, TSceneContext{}));
            throw std::runtime_error("the second scene failed");
        },
        std::runtime_error);
    EXPECT_EQ(readFileBytes(Text()), QByteArray("old"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"Clip_scn.txt"});
}

TEST_F(Listing, AFolderThatCannotBeWrittenIsReported)
{
    TWriteScn_text listing(m_dir.filePath("missing/clip.avi"), FixedTexts());
    EXPECT_FALSE(listing.Finish());
    EXPECT_TRUE(listing.ErrorString().contains("missing/clip_scn.txt"));
}

} // namespace
} // namespace vidora
