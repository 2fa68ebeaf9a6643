// Playlists in the encodings they come in, search masks, and which mounted
// volumes count as fixed drives.
#include "files/fichierlistmodel.h"
#include "listfixtures.h"

#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vidora {
namespace {

using namespace vidora::test;

TEST(OpenPlayList, LinesAreTrimmedCommentsAndBlankLinesSkipped)
{
    const QString text = "# Playlist of Vidora\r\n# Done on today\r\n#  ------\r\n\r\n"
                         " \t /v/a.avi \t\r\n\x01/v/b.avi\x7f\nrel/c.avi\r   \r\n/v/*.*";
    EXPECT_EQ(PlayListPaths(text, "/lists"),
              QStringList({"/v/a.avi", "/v/b.avi", "/lists/rel/c.avi", "/v/*.*"}));
}

TEST(OpenPlayList, MasksMatchLikeTheSearchDid)
{
    struct Case
    {
        const char *mask;
        const char *name;
        bool matches;
    };
    for (const Case &c : {Case{"*.*", "noextension", true}, Case{"*", "x.avi", true},
                          Case{"*.avi", "CLIP.AVI", true}, Case{"*.avi", "clip.avi.txt", false},
                          Case{"clip?.avi", "clip1.avi", true}, Case{"a.avi", "a.avi", true},
                          Case{"a.avi", "A.avi", false}, Case{"[a].avi", "[a].avi", true},
                          Case{"[a].avi", "a.avi", false}}) {
        EXPECT_EQ(MaskMatches(c.mask, c.name), c.matches) << c.mask << " " << c.name;
    }
}

TEST(OpenPlayList, FixedVolumes)
{
    struct Case
    {
        const char *type;
        const char *device;
        bool removable;
        bool fixed;
    };
    for (const Case &c :
         {Case{"ext4", "/dev/sda1", false, true}, Case{"btrfs", "/dev/nvme0n1p2", false, true},
          Case{"vfat", "/dev/sdb1", true, false}, Case{"nfs4", "server:/export", false, false},
          Case{"cifs", "//server/share", false, false}, Case{"iso9660", "/dev/sr0", false, false},
          Case{"udf", "/dev/sr0", true, false}, Case{"tmpfs", "tmpfs", false, false},
          Case{"proc", "proc", false, false}, Case{"squashfs", "/dev/loop3", false, false},
          Case{"fuse.sshfs", "user@host:", false, false}}) {
        EXPECT_EQ(IsFixedVolume(c.type, c.device, c.removable), c.fixed)
            << c.type << " " << c.device;
    }
}

class OpenPlayListEncoding : public ::testing::TestWithParam<const char *>
{};

TEST_P(OpenPlayListEncoding, OpensFilesAndMaskedFoldersWithoutSubfolders)
{
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    // A folder name beyond ASCII shows the decoding.
    ASSERT_TRUE(dir.mkpath("vidéos/sub"));
    WriteText(dir.filePath("single.avi"), "x");
    WriteText(dir.filePath("vidéos/one.avi"), "x");
    WriteText(dir.filePath("vidéos/two.avi"), "x");
    WriteText(dir.filePath("vidéos/sub/deep.avi"), "x");
    const QString text = "# Playlist of Vidora\r\n\r\n   " + dir.filePath("single.avi") + "  \r\n" +
                         dir.filePath("vidéos/*.*") + "\r\n" + dir.filePath("vidéos") + "\r\n" +
                         dir.filePath("missing.avi") + "\r\n";
    QByteArray bytes;
    const QString encoding = GetParam();
    if (encoding == "utf16") {
        QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        bytes = encoder.encode(text);
    } else if (encoding == "utf8") {
        bytes = text.toUtf8();
    } else {
        bytes = text.toLatin1(); // the same bytes as Windows-1252 for these characters
    }
    WriteText(dir.filePath("PlayList.txt"), bytes);

    TFichierListModel model;
    model.SetFichierClass([](const QString &folder, const QFileInfo &found) {
        return TSRFichier::CreateFromSearchRec(folder, found);
    });
    int count = -1;
    QObject::connect(&model, &TFichierListModel::openEnd, [&](int c) { count = c; });
    model.PreferredPlayList = dir.filePath("PlayList.txt");
    model.OpenPreferredPlayList();
    ASSERT_TRUE(WaitUntil([&] { return count >= 0; }));
    QStringList listed;
    for (int row = 0; row < model.Count(); ++row)
        listed << dir.relativeFilePath(model.GetFichier(row)->Path());
    EXPECT_EQ(listed, QStringList({"vidéos/one.avi", "single.avi", "vidéos/two.avi"}));
    EXPECT_EQ(count, 3);
}

// A video opened as a playlist, and a playlist in UTF-16 without a byte-order
// mark: the first is refused at once (its bytes are no text), the second is
// read.
TEST(OpenPlayList, AFileThatIsNoTextIsRefusedAndUtf16WithoutAMarkIsRead)
{
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    WriteText(dir.filePath("single.avi"), "x");
    QByteArray video("RIFF\xF8\xFF\xFF\x00AVI LIST\x04\x00\x00\x00hdrl", 24);
    for (int i = 0; i < 20000; ++i)
        video += QByteArray("00dc\x08\x00\x00\x00\r\n");
    // A line of it names a file: read as text, it would be listed.
    video += dir.filePath("single.avi").toUtf8() + "\r\n";
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::Stateless);
    const QByteArray noMark = utf16.encode(dir.filePath("single.avi") + "\r\n");

    const struct
    {
        const char *name;
        QByteArray bytes;
        int listed;
    } cases[] = {{"video.txt", video, 0}, {"nomark.txt", noMark, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(dir.filePath(c.name), c.bytes);
        TFichierListModel model;
        model.SetFichierClass([](const QString &folder, const QFileInfo &found) {
            return TSRFichier::CreateFromSearchRec(folder, found);
        });
        int count = -1;
        QObject::connect(&model, &TFichierListModel::openEnd, [&](int n) { count = n; });
        model.OpenPlayList(dir.filePath(c.name));
        ASSERT_TRUE(WaitUntil([&] { return count >= 0; }, 10000));
        EXPECT_EQ(count, c.listed);
        EXPECT_EQ(model.Count(), c.listed);
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, OpenPlayListEncoding,
                         ::testing::Values("utf16", "utf8", "windows1252"));

} // namespace
} // namespace vidora
