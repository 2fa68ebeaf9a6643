// The video entry: what it reads from a file and its probe, its texts, marks
// and keys, and that reading never changes the file.
#include "files/avifichier.h"
#include "listfixtures.h"
#include "support/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace vidora {
namespace {

using namespace vidora::test;

struct Fixture
{
    QTemporaryDir tmp;
    std::shared_ptr<FakeProbe> probe = std::make_shared<FakeProbe>();
    TaviReading reading{probe, QStringLiteral("yyyy-mm-dd hh:nn:ss")};

    QString Path(const QString &name) const { return QDir(tmp.path()).filePath(name); }
    std::shared_ptr<TaviFichier> Entry(const QString &name, int dvType,
                                       std::optional<ProbeValues> values)
    {
        if (dvType > 0)
            WriteDvAvi(Path(name), dvType);
        else
            WriteText(Path(name), "not an AVI file\n");
        if (values)
            probe->Set(name, *values);
        return TaviFichier::Create(Path(name), reading);
    }
};

TEST(ListAviEntry, ReadingTable)
{
    Fixture f;
    ProbeValues audio32k = Type2Values(true);
    audio32k.audio->samplesPerSec = 32000;
    ProbeValues noDate = Type2Values(false);
    noDate.hasDate = false;
    noDate.hasTimecode = false;
    ProbeValues audioOnly;
    audioOnly.ok = true;
    audioOnly.streamCount = 1;
    audioOnly.audio = Type2Values(true).audio;
    audioOnly.audioDuration = 10'000'000;
    ProbeValues mono3 = NonDvValues();
    mono3.audio->channels = 3;

    struct Case
    {
        const char *name;
        int dvType; // of the file written; 0 a text file
        std::optional<ProbeValues> probe;
        // expected
        const char *codec;
        const char *picture;
        const char *aspect;
        const char *audio;
        const char *datecodeText;
        const char *datecodeSort;
        const char *timecode;
        int entryDvType;
        TDvStandard standard;
        int height;
        double frameRate;
    };
    const Case cases[] = {
        {"t1pal.avi", 1, Type1Values(true, false), "dvsd", "720 x 576 (Pal", " 4x3)", "N/A",
         "2004-07-14 10:20:30", "20040714102030", "00.01.02.03", 1, TDvStandard::Pal, 540, 25},
        {"t1ntsc.avi", 1, Type1Values(false), "dvsd", "720 x 480 (NTSC", " 4x3)",
         "48000Hz 16 bits  stereo", "2004-07-14 10:20:30", "20040714102030", "00.01.02.03", 1,
         TDvStandard::Ntsc, 540, 30000.0 / 1001.0},
        {"t2wide.avi", 2, Type2Values(true, true), "dvsd", "720 x 576 (Pal", " 16x9)",
         "48000Hz 16 bits  stereo", "2005-01-02 03:04:05", "20050102030405", "01.02.03.04", 2,
         TDvStandard::Pal, 405, 25},
        {"t2ntsc.avi", 2, noDate, "dvsd", "720 x 480 (NTSC", " 4x3)", "48000Hz 16 bits  stereo",
         "N/A", "N/A", "N/A", 2, TDvStandard::Ntsc, 540, 29.97},
        {"t2-32k.avi", 2, audio32k, "dvsd", "720 x 576 (Pal", " 4x3)",
         "32000Hz 12(16) bits  stereo", "2005-01-02 03:04:05", "20050102030405", "01.02.03.04", 2,
         TDvStandard::Pal, 540, 25},
        {"xvid.avi", 2, NonDvValues(), "XVID", "640 x 480", "", "44100Hz 16 bits  stereo", "-",
         "\u00fe", "-", 0, TDvStandard::Unknown, 480, 25},
        {"three.avi", 2, mono3, "XVID", "640 x 480", "", "44100Hz 16 bits  stereo (3)", "-",
         "\u00fe", "-", 0, TDvStandard::Unknown, 480, 25},
        {"audio.avi", 2, audioOnly, "", "N/A", "", "48000Hz 16 bits  stereo", "-", "\u00fe", "-", 0,
         TDvStandard::Unknown, 0, 0},
        {"failed.avi", 2, std::nullopt, "", "N/A", "", "N/A", "", "\u00ff", "", 0,
         TDvStandard::Unknown, 0, 0},
        {"text.avi", 0, std::nullopt, "", "N/A", "", "N/A", "", "\u00ff", "", 0,
         TDvStandard::Unknown, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto entry = f.Entry(c.name, c.dvType, c.probe);
        const TaviData &d = entry->Data();
        EXPECT_EQ(d.codec, c.codec);
        EXPECT_EQ(d.pictureText, c.picture);
        EXPECT_EQ(d.aspectText, c.aspect);
        EXPECT_EQ(d.audioText, c.audio);
        EXPECT_EQ(d.datecodeText, c.datecodeText);
        EXPECT_EQ(d.datecodeSort, QString(c.datecodeSort));
        EXPECT_EQ(d.timecodeText, c.timecode);
        EXPECT_EQ(d.dvType, c.entryDvType);
        EXPECT_EQ(d.standard, c.standard);
        EXPECT_EQ(d.height, c.height);
        EXPECT_NEAR(d.frameRate, c.frameRate, 1e-9);
        EXPECT_EQ(d.isDv, c.entryDvType != 0);
    }
}

TEST(ListAviEntry, DurationsFormatsAndFlags)
{
    Fixture f;
    const auto t1 = f.Entry("one.avi", 1, Type1Values(true));
    const TaviData &d = t1->Data();
    EXPECT_EQ(d.frameCount, 50);
    EXPECT_EQ(d.videoDuration, 20'000'000);
    EXPECT_EQ(d.videoDurationText, "2s 00fr");
    EXPECT_EQ(d.audioDurationText, "2s 00fr");
    EXPECT_EQ(d.audioFormatText, "PCM 192000 bytes/s");
    EXPECT_EQ(d.videoBitRate, 28800000u);
    EXPECT_EQ(d.dvVAuxSrc, 0x00200000u);
    EXPECT_FALSE(d.interleavedType2);
    EXPECT_FALSE(d.hasScn);

    // An interleaved stream in a file of two streams is type 2.
    ProbeValues iavsWithAudio = Type1Values(true);
    iavsWithAudio.streamCount = 2;
    WriteText(f.Path("two.scn"), "x");
    WriteText(f.Path("two.srt"), "x");
    const auto t2 = f.Entry("two.avi", 1, iavsWithAudio);
    EXPECT_EQ(t2->Data().dvType, 2);
    EXPECT_TRUE(t2->Data().interleavedType2);
    EXPECT_TRUE(t2->Data().hasScn);
    EXPECT_TRUE(t2->Data().hasSrt);

    // A frame time of 0 counts no frames and divides by nothing.
    ProbeValues zero = NonDvValues();
    zero.video->avgTimePerFrame = 0;
    const auto z = f.Entry("zero.avi", 2, zero);
    EXPECT_EQ(z->Data().frameRate, 0);
    EXPECT_EQ(z->Data().frameCount, 0);
    EXPECT_EQ(z->Data().audioDurationText, "1s 000ms");

    // A compression code with a control character keeps the file's handler.
    ProbeValues odd = Type2Values(true);
    odd.video->compression = 0x01020304;
    EXPECT_EQ(f.Entry("odd.avi", 2, odd)->Data().codec, "dvsd");
}

TEST(ListAviEntry, ReadingChangesNeitherBytesNorDates)
{
    Fixture f;
    for (int type : {1, 2}) {
        const QString name = QStringLiteral("keep%1.avi").arg(type);
        WriteDvAvi(f.Path(name), type);
        const QByteArray before = readFileBytes(f.Path(name));
        const QDateTime modified = QFileInfo(f.Path(name)).lastModified();
        // Both with and without a probe that recognises it.
        TaviFichier::Create(f.Path(name), f.reading);
        f.probe->Set(name, Type1Values(true));
        TaviFichier::Create(f.Path(name), f.reading);
        EXPECT_EQ(readFileBytes(f.Path(name)), before);
        EXPECT_EQ(QFileInfo(f.Path(name)).lastModified(), modified);
    }
}

TEST(ListAviEntry, DatecodeTimecodeAndDurationOrders)
{
    Fixture f;
    ProbeValues early = Type2Values(true);
    early.recDateTime = DateOf(1999, 12, 31, 23, 0, 0);
    early.timecode = {0, 0, 5, 0};
    early.videoDuration = 3'000'000'000'000LL; // past the 12 digits of older keys
    ProbeValues late = Type2Values(true);
    late.recDateTime = DateOf(2010, 1, 1, 0, 0, 0);
    late.timecode = {0, 0, 1, 0};
    late.videoDuration = 4'000'000;
    ProbeValues sameAsLate = late;
    sameAsLate.videoDuration = 8'000'000;
    ProbeValues noDate = Type2Values(true);
    noDate.hasDate = false;
    noDate.videoDuration = 6'000'000;

    std::vector<std::shared_ptr<TaviFichier>> entries = {
        f.Entry("failed.avi", 0, std::nullopt), f.Entry("nodate.avi", 2, noDate),
        f.Entry("late.avi", 2, late),           f.Entry("early.avi", 2, early),
        f.Entry("b-late.avi", 2, sameAsLate),   f.Entry("B-late.avi", 2, sameAsLate),
    };
    auto ordered = [&](const TSortIndex &order) {
        auto copy = entries;
        std::sort(copy.begin(), copy.end(), [&](const auto &a, const auto &b) {
            return a->GetSortKey(order) < b->GetSortKey(order);
        });
        QStringList names;
        for (const auto &e : copy)
            names << e->Name();
        return names;
    };
    // Equal dates sort by name, then by path; "N/A" after dates, "ÿ" last. An
    // empty time-code text leaves the name to lead the key.
    EXPECT_EQ(ordered(SortDatecode()), QStringList({"early.avi", "B-late.avi", "b-late.avi",
                                                    "late.avi", "nodate.avi", "failed.avi"}));
    EXPECT_EQ(ordered(SortTimecode()), QStringList({"B-late.avi", "b-late.avi", "late.avi",
                                                    "early.avi", "nodate.avi", "failed.avi"}));
    EXPECT_EQ(ordered(SortDuree()), QStringList({"failed.avi", "late.avi", "nodate.avi",
                                                 "B-late.avi", "b-late.avi", "early.avi"}));
}

} // namespace
} // namespace vidora
