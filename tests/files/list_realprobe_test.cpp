// Video entries read with the probe graph, on files made by ffmpeg: what the
// list shows for each kind of file, and that opening a folder with full
// probing leaves every file as it was.
#include "files/avifichier.h"
#include "files/fichierlistmodel.h"
#include "listfixtures.h"
#include "support/dvfiles.h"
#include "support/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vidora {
namespace {

using namespace vidora::test;

struct RealCase
{
    const char *name;
    int type; // 1 or 2 for DV; 0 a text file named .avi
    DvClip clip;
    // expected
    const char *picture;
    const char *aspect;
    const char *audio;
    const char *datecodeSort;
    const char *timecode;
    int dvType;
};

void PrintTo(const RealCase &row, std::ostream *os)
{
    *os << row.name;
}

class RealEntries : public ::testing::TestWithParam<RealCase>
{};

TEST_P(RealEntries, ShowWhatTheFileHolds)
{
    const RealCase &row = GetParam();
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath("file.avi");
    if (row.type == 1) {
        writeFileBytes(path, dvType1Avi(ffmpegRawDv(tmp.path(), row.clip)));
    } else if (row.type == 2) {
        const QString raw = QDir(tmp.path()).filePath("clip.dv");
        writeFileBytes(raw, ffmpegRawDv(tmp.path(), row.clip));
        ASSERT_TRUE(ffmpegDvType2Avi(raw, path));
    } else {
        writeFileBytes(path, "a text\n");
    }

    const auto entry =
        TaviFichier::Create(path, TaviReading{.datecodeFormat = "yyyy-mm-dd hh:nn:ss"});
    const TaviData &d = entry->Data();
    EXPECT_EQ(d.pictureText, row.picture);
    EXPECT_EQ(d.aspectText, row.aspect);
    EXPECT_EQ(d.audioText, row.audio);
    EXPECT_EQ(d.datecodeSort, row.datecodeSort);
    EXPECT_EQ(d.timecodeText, row.timecode);
    EXPECT_EQ(d.dvType, row.dvType);
    EXPECT_EQ(d.isDv, row.dvType != 0);
    if (row.dvType != 0) {
        EXPECT_EQ(d.codec, "dvsd");
        EXPECT_EQ(d.datecodeText, "2005-06-07 08:09:10");
        EXPECT_EQ(d.frameCount, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealEntries,
    ::testing::Values(RealCase{"Type1Pal",
                               1,
                               {},
                               "720 x 576 (Pal",
                               " 4x3)",
                               "48000Hz 16 bits  stereo",
                               "20050607080910",
                               "01.02.03.04",
                               1},
                      RealCase{"Type2NtscWide",
                               2,
                               {.ntsc = true, .wide = true},
                               "720 x 480 (NTSC",
                               " 16x9)",
                               "48000Hz 16 bits  stereo",
                               "20050607080910",
                               "01.02.03.04",
                               2},
                      RealCase{"TextNamedAvi", 0, {}, "N/A", "", "N/A", "\u00ff", "", 0}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

// Type-1 files as capture software writes them: the list shows the frames'
// own sound and line system whatever the stored DVINFO says, and counts
// every frame (a 10-frame NTSC file lasts 3336666 × 100 ns, which is not ten
// of its rounded frame times).
TEST(RealEntries, Type1FilesShowTheSoundSystemAndLengthOfTheirFrames)
{
    QTemporaryDir tmp;
    const QByteArray ntsc10 = ffmpegRawDv(tmp.path(), {.ntsc = true, .frames = 10});
    ASSERT_EQ(ntsc10.size(), 10 * 120000);
    struct Case
    {
        const char *what;
        QByteArray frames;
        std::optional<DvInfoWords> stored;
        const char *picture;
        const char *audio;
        TDvStandard standard;
        int frameCount;
        const char *duration;
    };
    const Case cases[] = {
        {"NTSC", ntsc10, std::nullopt, "720 x 480 (NTSC", "48000Hz 16 bits  stereo",
         TDvStandard::Ntsc, 10, "10fr"},
        {"NTSC stored as PAL", ntsc10, kPal48kDvInfo, "720 x 480 (NTSC", "48000Hz 16 bits  stereo",
         TDvStandard::Ntsc, 10, "10fr"},
        {"NTSC, blank DVINFO", ntsc10, kBlankDvInfo, "720 x 480 (NTSC", "48000Hz 16 bits  stereo",
         TDvStandard::Ntsc, 10, "10fr"},
        {"32 kHz 12-bit four channels stored as 48 kHz 16-bit",
         builtDvFrames(DvStandard::Pal, 5, DvSound{32000, true}), kPal48kDvInfo, "720 x 576 (Pal",
         "32000Hz 12(16) bits  stereo (4)", TDvStandard::Pal, 5, "5fr"},
        {"frames without sound", builtDvFrames(DvStandard::Pal, 5, std::nullopt), kPal48kDvInfo,
         "720 x 576 (Pal", "N/A", TDvStandard::Pal, 5, "5fr"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = QDir(tmp.path()).filePath("file.avi");
        writeFileBytes(path, dvType1Avi(c.frames, c.stored));
        const auto entry = TaviFichier::Create(path, TaviReading{});
        const TaviData &d = entry->Data();
        EXPECT_EQ(d.dvType, 1);
        EXPECT_EQ(d.pictureText, c.picture);
        EXPECT_EQ(d.standard, c.standard);
        EXPECT_EQ(d.audioText, c.audio);
        EXPECT_EQ(d.frameCount, c.frameCount);
        EXPECT_EQ(d.videoDurationText, c.duration);
        if (d.audioText != kNotAvailable) {
            EXPECT_EQ(d.audioDurationText, c.duration);
        }
    }
}

TEST(RealEntries, OpeningAFolderChangesNoFile)
{
    QTemporaryDir tmp;
    const QString raw = QDir(tmp.path()).filePath("clip.dv");
    writeFileBytes(raw, ffmpegRawDv(tmp.path(), {}));
    const QDir dir(QDir(tmp.path()).filePath("videos"));
    ASSERT_TRUE(dir.mkpath("."));
    writeFileBytes(dir.filePath("one.avi"), dvType1Avi(readFileBytes(raw)));
    ASSERT_TRUE(ffmpegDvType2Avi(raw, dir.filePath("two.avi")));
    writeFileBytes(dir.filePath("three.avi"), "not a video");

    struct Seen
    {
        QByteArray bytes;
        QDateTime modified;
    };
    QHash<QString, Seen> before;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files))
        before.insert(file.fileName(), {readFileBytes(file.filePath()), file.lastModified()});

    TFichierListModel model;
    model.SetFichierClass([](const QString &folder, const QFileInfo &found) {
        return TaviFichier::CreateFromSearchRec(folder, found, TaviReading{});
    });
    model.SetSortIndex(SortDatecode());
    int ends = 0;
    QObject::connect(&model, &TFichierListModel::openEnd, [&](int) { ++ends; });
    model.OpenFolder(dir.path());
    ASSERT_TRUE(WaitUntil([&] { return ends == 1; }));

    ASSERT_EQ(model.Count(), 3);
    // Both DV files hold the same date: by name, and the text file last.
    QStringList names;
    for (int row = 0; row < model.Count(); ++row)
        names << model.GetFichier(row)->Name();
    EXPECT_EQ(names, (QStringList{"one.avi", "two.avi", "three.avi"}));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QString path = dir.filePath(it.key());
        EXPECT_EQ(readFileBytes(path), it->bytes) << it.key().toStdString();
        EXPECT_EQ(QFileInfo(path).lastModified(), it->modified) << it.key().toStdString();
    }
}

} // namespace
} // namespace vidora
