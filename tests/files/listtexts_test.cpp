// The texts made from the file list: the playlist's bytes (and that the
// opener reads its paths back), the detailed list's lines, the counts label,
// and writing a file only under its final name once it is complete.
#include "files/listtexts.h"
#include "files/threadopen.h"
#include "listfixtures.h"
#include "platform/durablefile.h"
#include "settings/textcodec.h"
#include "support/smalldisk.h"
#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vidora {
namespace {

using namespace vidora::test;

const TPlayListInfo kInfo{QStringLiteral("Vidora 7.0.5 En"),
                          QStringLiteral("https://www.vidora.example.org/"),
                          QStringLiteral("by datecode"), QStringLiteral("2026-12-10 14:00:00")};

QStringList HeaderLines()
{
    return {
        QStringLiteral("# -------------------------------------------------------------"),
        QStringLiteral("#"),
        QStringLiteral("# Playlist of Vidora 7.0.5 En"),
        QStringLiteral("#"),
        QStringLiteral("# -------------------------------------------------------------"),
        QStringLiteral("# Visit my website : https://www.vidora.example.org/"),
        QString(),
    };
}

TEST(ListTexts, PlayListLinesAndFooterByCount)
{
    struct Case
    {
        QStringList paths;
        const char *footer;
    };
    const Case cases[] = {
        {{}, "# 0 file sorted by datecode"},
        {{"/v/a.avi"}, "# 1 file sorted by datecode"},
        {{"/v/a.avi", "/v/b.avi"}, "# 2 file  sorted  by datecode"},
    };
    for (const Case &c : cases) {
        QStringList expected = HeaderLines();
        for (const QString &path : c.paths)
            expected << QStringLiteral("     ") + path;
        expected << QString()
                 << QStringLiteral(
                        "# -------------------------------------------------------------")
                 << QString::fromUtf8(c.footer) << QStringLiteral("# Done on 2026-12-10 14:00:00")
                 << QString();
        EXPECT_EQ(PlayListText(kInfo, c.paths), expected.join(QStringLiteral("\r\n"))) << c.footer;
    }
}

TEST(ListTexts, PlayListBytesAreUtf16LittleEndianWithBomAndReadBack)
{
    // Accented letters, a character outside the basic plane (a surrogate
    // pair) and a blank in the folder.
    const QStringList paths = {QStringLiteral("/vidéos/été 2005/plage.avi"),
                               QStringLiteral("/v/\U0001D11E clé.avi")};
    const QByteArray bytes = Utf16LeWithBom(PlayListText(kInfo, paths));
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xFE", 2));
    EXPECT_EQ(bytes.size() % 2, 0);
    // "#" then "-" as little-endian units.
    EXPECT_EQ(bytes.mid(2, 4), QByteArray("#\0 \0", 4));
    // "é" is E9 00; the clef is D834 DD1E.
    EXPECT_TRUE(bytes.contains(QByteArray("\xE9\x00t\x00\xE9\x00", 6)));
    EXPECT_TRUE(bytes.contains(QByteArray("\x34\xD8\x1E\xDD", 4)));
    // Every line ends CR LF and no LF stands alone.
    const QString text = QString::fromUtf16(
        reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\n")), text.count(QStringLiteral("\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 13);

    // What the opener reads back: the paths only, whole.
    EXPECT_EQ(PlayListPaths(DecodeText(bytes), QStringLiteral("/")), paths);
}

TEST(ListTexts, DetailedListLines)
{
    QTemporaryDir tmp;
    auto probe = std::make_shared<FakeProbe>();
    const QString format = QStringLiteral("yyyy-mm-dd hh:nn:ss");
    const TaviReading reading{probe, format};
    ProbeValues noDate = Type2Values(true, true);
    noDate.hasDate = false;
    probe->Set(QStringLiteral("t1.avi"), Type1Values(true));
    probe->Set(QStringLiteral("t2.avi"), Type2Values(false));
    probe->Set(QStringLiteral("nodate.avi"), noDate);
    probe->Set(QStringLiteral("other.avi"), NonDvValues());
    const QDir dir(tmp.path());
    WriteDvAvi(dir.filePath("t1.avi"), 1);
    WriteDvAvi(dir.filePath("t2.avi"), 2);
    WriteDvAvi(dir.filePath("nodate.avi"), 2);
    WriteText(dir.filePath("other.avi"), "not an AVI file\n");
    WriteText(dir.filePath("unread.avi"), "not an AVI file either\n");
    WriteText(dir.filePath("t1.scn"), "x");
    WriteText(dir.filePath("nodate.srt"), "x");

    // The size with its group separators, worked out by hand.
    auto grouped = [](qint64 size) {
        QString digits = QString::number(size);
        for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
            digits.insert(at, u',');
        return digits;
    };
    struct Case
    {
        const char *name;
        double offset;
        const char *offsetText;
        // fields 2 to 12 (datecode up to the audio format), then field 15
        const char *middle;
        const char *last;
    };
    const Case cases[] = {
        {"t1.avi", 0, "",
         "2004-07-14 10:20:30,scn,no srt,00.01.02.03,dvsd (type 1),720 x 576 (Pal 4x3),", ""},
        {"t2.avi", 1.5, "1 day 12:00:00",
         "2005-01-02 03:04:05,no scn,no srt,01.02.03.04,dvsd (type 2),720 x 480 (NTSC 4x3),",
         ",+1 day 12:00:00"},
        {"nodate.avi", -0.5, "-12:00:00",
         "N/A,no scn,srt,01.02.03.04,dvsd (type 2),720 x 576 (Pal 16x9),", ",-12:00:00"},
        {"unread.avi", 0, "", ",no scn,no srt,,,N/A,", ""},
    };
    for (const Case &c : cases) {
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        const auto entry = TaviFichier::Create(path, reading);
        if (c.offset != 0)
            entry->SetTimeOffset(c.offset, QString::fromUtf8(c.offsetText));
        const QString line = DetailedListLine(*entry, format, QLocale::c());
        EXPECT_TRUE(line.startsWith(entry->Path() + u',' + QString::fromUtf8(c.middle)))
            << line.toStdString();
        const QString tail = u',' + grouped(QFileInfo(path).size()) + u',' +
                             FormatDateTime(format, entry->LastWriteDate()) +
                             QString::fromUtf8(c.last);
        EXPECT_TRUE(c.offset == 0 ? line.endsWith(tail + u',') : line.endsWith(tail))
            << line.toStdString();
    }

    // Durations and frame rate: the audio duration only when it differs.
    const auto t2 = TaviFichier::Create(dir.filePath("t2.avi"), reading);
    const TaviData &data = t2->Data();
    EXPECT_TRUE(DetailedListLine(*t2, format, QLocale::c())
                    .contains(u',' + data.videoDurationText + QStringLiteral(",29.97,") +
                              data.audioText + u',' + data.audioFormatText + u','));
}

TEST(ListTexts, CountsLabel)
{
    struct Case
    {
        int selected;
        int count;
        const char *text;
    };
    const Case cases[] = {
        {0, 0, "0 file on 0 - sorted by datecode"},
        {1, 5, "1 file on 5 - sorted by datecode"},
        {2, 5, "2 files on 5 - sorted by datecode"},
        {1, 1, "1 file on 1 - sorted by datecode"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CountsLabelText(c.selected, c.count, SortDatecode()), QString::fromUtf8(c.text));
}

TEST(ListTexts, WritingCommitsOnlyAWholeFile)
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QString path = dir.filePath("list.txt");
    QString error;
    ASSERT_TRUE(WriteFileCommitted(path, "old", error)) << error.toStdString();
    ASSERT_TRUE(WriteFileCommitted(path, "new bytes", error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "new bytes");

    // A folder in the way: nothing replaces it, nothing is left beside it,
    // and the error names the path.
    const QString folder = dir.filePath("taken.txt");
    ASSERT_TRUE(dir.mkdir("taken.txt"));
    EXPECT_FALSE(WriteFileCommitted(folder, "bytes", error));
    EXPECT_TRUE(error.contains(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(dir.entryList(QDir::Files | QDir::Hidden), QStringList{"list.txt"});

    const QString missing = dir.filePath("no folder/list.txt");
    EXPECT_FALSE(WriteFileCommitted(missing, "bytes", error));
    EXPECT_TRUE(error.contains(missing));
    EXPECT_FALSE(QFile::exists(missing));
}

// A playlist on a full disk, with a write that fails part way, and under
// the longest name the file system allows.
TEST(ListTexts, APlayListThatCannotBeWrittenKeepsTheOlderOne)
{
    QTemporaryDir tmp;
    const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
    QStringList paths;
    for (int i = 0; i < 2000; ++i)
        paths << QStringLiteral("/videos/clip %1.avi").arg(i);
    const QByteArray bytes = Utf16LeWithBom(PlayListText(kInfo, paths));
    {
        const QString path = tmp.filePath("part.txt");
        writeFileBytes(path, "older");
        DurableWriteFaultsScope faults({.spaceLimit = 4096});
        QString error;
        EXPECT_FALSE(WriteFileCommitted(path, bytes, error));
        EXPECT_EQ(error, "Cannot write " + path + ": " + noSpace);
        EXPECT_EQ(readFileBytes(path), "older");
    }
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"part.txt"});

    const long limit = ::pathconf(QFile::encodeName(tmp.path()).constData(), _PC_NAME_MAX);
    const QString longest = tmp.filePath(QString(int(limit) - 4, QLatin1Char('p')) + ".txt");
    QString error;
    EXPECT_TRUE(WriteFileCommitted(longest, "first", error)) << error.toStdString();
    EXPECT_TRUE(WriteFileCommitted(longest, bytes, error)) << error.toStdString();
    EXPECT_EQ(readFileBytes(longest), bytes);

    SmallDisk disk(tmp.filePath("small"), 64 * 1024);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString onDisk = disk.path() + "/PlayList.txt";
    writeFileBytes(onDisk, "older");
    disk.fill();
    EXPECT_FALSE(WriteFileCommitted(onDisk, bytes, error));
    EXPECT_EQ(error, "Cannot write " + onDisk + ": " + noSpace);
    EXPECT_EQ(readFileBytes(onDisk), "older");
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".filler", "PlayList.txt"}));
}

// A name that a playlist line cannot give back whole is left out, and the
// others still come back as they were.
TEST(ListTexts, NamesALineCannotHoldAreLeftOutOfThePlayList)
{
    const struct
    {
        const char *path;
        bool held;
    } cases[] = {
        {"/v/plain.avi", true},
        {"/v/inner  blanks .avi", true},
        {"/v/#hash.avi", true},
        {"/v/ends in a blank ", false},
        {"/v/ends in a tab\t", false},
        {"/v/line\nbreak.avi", false},
        {"/v/carriage\rreturn.avi", false},
        {"/v/a.avi\n/v/other.avi", false},
        {"/v/control\x01", false},
    };
    QStringList all;
    QStringList kept;
    for (const auto &c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(PlayListCanHold(path), c.held) << c.path;
        all << path;
        if (c.held)
            kept << path;
    }
    QStringList leftOut;
    const QString text = PlayListText(kInfo, all, &leftOut);
    EXPECT_EQ(PlayListPaths(text, QStringLiteral("/")), kept);
    EXPECT_EQ(leftOut.size(), all.size() - kept.size());
    EXPECT_TRUE(text.contains(QStringLiteral("# 3 file  sorted  by datecode")));
    const QString message = PlayListLeftOutMessage(leftOut);
    EXPECT_TRUE(message.contains(QStringLiteral("\"/v/line\\x0abreak.avi\"")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("\"/v/ends in a blank \"")))
        << message.toStdString();
}

} // namespace
} // namespace vidora
