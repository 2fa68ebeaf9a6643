// The AVI structure report: whole reports of the file kinds against stored
// texts, and the ways a walk ends early, on files built byte by byte.
#include "formats/riffanalysis.h"
#include "support/riffbuilder.h"
#include "support/tools.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace vidora::test {
namespace {

// 2026-03-04 09:05:07: a day and hour without leading zero.
TRiffAnalysisContext FixedContext()
{
    TRiffAnalysisContext context;
    context.analysedAt = EncodeDateTime({{2026, 3, 4}, {9, 5, 7, 0}});
    context.programName = QStringLiteral("Vidora");
    context.locale = QLocale::c();
    return context;
}

QByteArray Build(const std::function<void(RiffBuilder &)> &write)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RiffBuilder builder(buffer);
    write(builder);
    return bytes;
}

QString ExpectedFolder()
{
    // The test library's definition: the tests' source folder, absolute.
    return QStringLiteral(QT_TESTCASE_SOURCEDIR "/formats/riffanalysis");
}

class RiffAnalysis : public ::testing::Test
{
protected:
    // The report of `bytes` written as `name`; the banner of the full path is
    // marked, so that stored texts do not depend on where tests run.
    QStringList Report(const QByteArray &bytes, const QString &name = QStringLiteral("clip.avi"),
                       TRiffAnalysisContext context = FixedContext())
    {
        const QString path = dir.filePath(name);
        writeFileBytes(path, bytes);
        last = AnalyseAviFile(path, context);
        EXPECT_EQ(readFileBytes(path), bytes) << "the analyser only reads";
        QStringList lines = last.lines;
        for (QString &line : lines)
            if (line.trimmed() == path)
                line = QStringLiteral("<full path banner>");
        return lines;
    }

    QTemporaryDir dir;
    TRiffAnalysis last;
};

struct StoredCase
{
    const char *file; // in tests/formats/riffanalysis
    std::function<QByteArray()> bytes;
};

void PrintTo(const StoredCase &c, std::ostream *os)
{
    *os << c.file;
}

class RiffAnalysisStored : public RiffAnalysis, public ::testing::WithParamInterface<StoredCase>
{};

// Set VIDORA_WRITE_EXPECTED=1 to write the stored texts anew (then read them
// through before committing).
TEST_P(RiffAnalysisStored, MatchesTheStoredText)
{
    const StoredCase &c = GetParam();
    const QByteArray report = RiffReportBytes(Report(c.bytes()));
    const QString stored = QDir(ExpectedFolder()).filePath(QString::fromLatin1(c.file));
    if (qEnvironmentVariableIsSet("VIDORA_WRITE_EXPECTED"))
        writeFileBytes(stored, report);
    EXPECT_EQ(QString::fromUtf8(report), QString::fromUtf8(readFileBytes(stored)));
}

QByteArray TruncatedType2()
{
    const BuiltAvi avi = buildAvi(dvType2Layout());
    // Cut inside the "movi" list, after its first frame chunk's header.
    for (const BuiltChunk &chunk : avi.chunks)
        if (chunk.id == "LIST" && chunk.listType == "movi")
            return avi.bytes.left(chunk.dataOffset + 4 + 8 + 3);
    return {};
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RiffAnalysisStored,
    ::testing::Values(StoredCase{"type1.txt", [] { return buildAvi(dvType1Layout()).bytes; }},
                      StoredCase{"type2.txt", [] { return buildAvi(dvType2Layout()).bytes; }},
                      StoredCase{"opendml.txt", [] { return buildAvi(openDmlLayout()).bytes; }},
                      StoredCase{"truncated.txt", TruncatedType2}));

TEST_F(RiffAnalysis, AChunkClaimingFourGigabytesIsCutToTheFile)
{
    // A "RIFF" form of 0xFFFFFFFF bytes (4 GiB once rounded to even) around a
    // list claiming as much, in a file of a few dozen bytes.
    const QByteArray bytes = Build([](RiffBuilder &b) {
        auto form = b.list("RIFF", "AVI ");
        auto list = b.list("LIST", "hdrl");
        b.leaf("JUNK", QByteArray(6, 'j'));
        list.declareSize(0xFFFFFFFF);
        list.close();
        form.declareSize(0xFFFFFFFF);
    });
    const QStringList lines = Report(bytes);
    const qint64 afterForm = bytes.size() - 8;
    const qint64 afterList = bytes.size() - 20;
    EXPECT_TRUE(lines.contains(QStringLiteral("RIFF  FFFFFFFF")));
    const auto hex = [](qint64 v) {
        return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
    };
    EXPECT_TRUE(lines.contains(">>> 100000000 instead of " + hex(afterForm)));
    EXPECT_TRUE(lines.contains("    >>> 100000000 instead of " + hex(afterList)));
    EXPECT_TRUE(lines.contains(QStringLiteral("        JUNK  00000006")));
    EXPECT_FALSE(last.unexpectedEnd);
    EXPECT_FALSE(lines.contains(RiffBannerLine({}, QStringLiteral(" "), "Unexpected end")));
}

TEST_F(RiffAnalysis, StrayBytesAfterTheLastFormAreGarbageOrAnUnexpectedEnd)
{
    const QByteArray avi = buildAvi(dvType1Layout()).bytes;
    const QStringList garbage = Report(avi + QByteArray(20, 'x'));
    EXPECT_TRUE(garbage.contains(
        QStringLiteral(">>> There are 00000014 bytes of garbage at the end of the file")));
    EXPECT_FALSE(last.unexpectedEnd);

    const QStringList shortTail = Report(avi + QByteArray(5, 'x'));
    EXPECT_TRUE(last.unexpectedEnd);
    EXPECT_TRUE(shortTail.filter(QStringLiteral("garbage")).isEmpty());
    EXPECT_TRUE(shortTail.contains(RiffBannerLine({}, QStringLiteral(" "), "Unexpected end")));
}

TEST_F(RiffAnalysis, DeepListsAreShownButNotEnteredBeyondTheCap)
{
    const QByteArray bytes = Build([](RiffBuilder &b) {
        auto form = b.list("RIFF", "AVI ");
        std::vector<RiffBuilder::Scope> lists;
        for (int i = 0; i < 40; ++i)
            lists.push_back(b.list("LIST", "deep"));
        b.leaf("JUNK", QByteArray(2, 'j'));
        while (!lists.empty())
            lists.pop_back();
    });
    const QStringList lines = Report(bytes);
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^ *deep$"))).size(),
              kRiffAnalysisMaxDepth);
    EXPECT_EQ(lines.filter(QStringLiteral(">>> Lists nested too deeply")).size(), 1);
    EXPECT_TRUE(lines.filter(QStringLiteral("JUNK")).isEmpty());
}

TEST_F(RiffAnalysis, AChildLongerThanItsListEndsTheListAndTheNextChunkFollowsTheList)
{
    const QByteArray bytes = Build([](RiffBuilder &b) {
        auto form = b.list("RIFF", "AVI ");
        {
            auto hdrl = b.list("LIST", "hdrl");
            auto child = b.chunk("JUNK");
            b.zeros(4);
            child.declareSize(64); // passes its list's end, not the file's
        }
        b.leaf("JUNK", QByteArray(30, 'j'));
        b.leaf("LAST", QByteArray(2, 'l'));
    });
    const QStringList lines = Report(bytes);
    EXPECT_TRUE(lines.contains(QStringLiteral("        JUNK  00000040")));
    EXPECT_TRUE(lines.contains(QStringLiteral("    LAST  00000002")))
        << lines.join(u'\n').toStdString();
}

TEST_F(RiffAnalysis, CancellingStopsBeforeTheNextChunk)
{
    TRiffAnalysisContext context = FixedContext();
    int chunks = 0;
    context.keepGoing = [&chunks] { return ++chunks <= 3; };
    const QStringList lines = Report(buildAvi(dvType2Layout()).bytes, "clip.avi", context);
    EXPECT_TRUE(last.cancelled);
    EXPECT_TRUE(lines.contains(RiffBannerLine({}, QStringLiteral("-"), "Canceled by user")));
    EXPECT_EQ(chunks, 4);
}

// A structure is shown as far as its chunk holds it: the fields past its end
// would come from the next chunk ("JUNK" here). A short chunk is no
// unexpected end, also as the last one in the file.
TEST_F(RiffAnalysis, AShortStructureShowsOnlyTheFieldsItsChunkHolds)
{
    const QByteArray filler = QByteArray("JUNK") + QByteArray(60, 'J');
    struct Case
    {
        const char *name;
        const char *kind; // the stream header's type
        const char *id;   // the short chunk
        int bytes;        // its size
        const char *lastShown;
        const char *firstHidden;
    };
    const Case cases[] = {
        {"a 16-byte audio format", "auds", "strf", 16, "BitsPerSample = 0", "cbSize = "},
        {"a 48-byte stream header", "vids", "strh", 48, "SampleSize = 0", "rcFrame.Left = "},
        {"a 20-byte video format", "vids", "strf", 20, "biCompression = ", "biSizeImage = "},
        {"a 30-byte main header", "vids", "avih", 30, "Streams = 0", "SuggestedBufferSize = "},
        {"a 10-byte DV format", "iavs", "strf", 10, "DVAAuxCtl = ", "DVAAuxSrc1 = "},
    };
    for (const bool atEnd : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (atEnd ? ", last in the file" : ""));
            const QByteArray bytes = Build([&](RiffBuilder &b) {
                auto form = b.list("RIFF", "AVI ");
                auto list = b.list("LIST", "strl");
                if (QByteArray(c.id) == "strf") {
                    QByteArray header(56, '\0');
                    header.replace(0, 4, c.kind);
                    b.leaf("strh", header);
                }
                QByteArray data(c.bytes, '\0');
                if (QByteArray(c.id) == "strh")
                    data.replace(0, 4, c.kind);
                b.leaf(c.id, data);
                if (!atEnd)
                    b.leaf("JUNK", filler);
            });
            const QStringList lines = Report(bytes);
            const QString joined = lines.join(u'\n');
            EXPECT_TRUE(joined.contains(QString::fromLatin1(c.lastShown))) << joined.toStdString();
            EXPECT_FALSE(joined.contains(QString::fromLatin1(c.firstHidden)))
                << joined.toStdString();
            EXPECT_FALSE(last.unexpectedEnd);
        }
    }
}

// A zero-filled list holds an empty chunk every 8 bytes: a run of them, or of
// chunks whose identifier is no text, is one line, and the walk goes on after
// it. 64 MiB of zeros (a hole in the file) take a moment, not a minute.
TEST_F(RiffAnalysis, ARunOfEmptyOrInvalidChunksIsOneLine)
{
    constexpr qint64 zeros = 64 * 1024 * 1024;
    const QString path = dir.filePath(QStringLiteral("zeros.avi"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        RiffBuilder b(file);
        auto form = b.list("RIFF", "AVI ");
        {
            auto list = b.list("LIST", "hdrl");
            b.skip(zeros);
        }
        {
            auto list = b.list("LIST", "odml");
            for (int i = 0; i < 3; ++i)
                b.leaf("\x01\x02\x03\x04", QByteArray(2, 'x'));
            b.leaf("MID ", QByteArray(2, 'm'));
            b.leaf("JUNK", QByteArray()); // one empty chunk alone keeps its line
            b.leaf("LAST", QByteArray(2, 'l'));
        }
    }
    QElapsedTimer clock;
    clock.start();
    const TRiffAnalysis report = AnalyseAviFile(path, FixedContext());
    EXPECT_LT(clock.elapsed(), 20000);
    const QStringList &lines = report.lines;
    ASSERT_LT(lines.size(), 60) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("        >>> %1 empty or invalid chunks in a row (%2 "
                                              "bytes): not shown one by one")
                                   .arg(zeros / 8)
                                   .arg(zeros)));
    EXPECT_TRUE(lines.contains(QStringLiteral("        >>> 3 empty or invalid chunks in a row (30 "
                                              "bytes): not shown one by one")));
    EXPECT_TRUE(lines.contains(QStringLiteral("        MID   00000002")));
    EXPECT_TRUE(lines.contains(QStringLiteral("        JUNK  00000000")));
    EXPECT_TRUE(lines.contains(QStringLiteral("        LAST  00000002")));
    EXPECT_FALSE(report.unexpectedEnd);
}

// Many small chunks that each say something: the report stops at its limit
// with a line that says so.
TEST_F(RiffAnalysis, TheReportStopsAtItsLineLimit)
{
    const QByteArray bytes = Build([](RiffBuilder &b) {
        auto form = b.list("RIFF", "AVI ");
        auto list = b.list("LIST", "hdrl");
        for (int i = 0; i < kRiffAnalysisMaxLines + 10; ++i)
            b.leaf("JUNK", QByteArray(2, 'j'));
    });
    const QStringList lines = Report(bytes);
    EXPECT_LT(lines.size(), kRiffAnalysisMaxLines + 20);
    EXPECT_EQ(lines.filter(QStringLiteral(">>> The report stops here")).size(), 1);
    EXPECT_TRUE(lines.contains(RiffBannerLine({}, QStringLiteral("-"), " End of Header ")));
}

TEST_F(RiffAnalysis, AMissingFileGivesAnEmptyReport)
{
    EXPECT_TRUE(AnalyseAviFile(dir.filePath("none.avi"), FixedContext()).lines.isEmpty());
    EXPECT_TRUE(AnalyseAviFile(dir.path(), FixedContext()).lines.isEmpty());
}

TEST(RiffBanner, TitlesAreCentredOnFiftyCharacters)
{
    const QString title(30, u't');
    EXPECT_EQ(RiffBannerLine({}, "-", title), QString(10, u'-') + title + QString(10, u'-'));
    EXPECT_EQ(RiffBannerLine("    ", "-", title),
              "    " + QString(8, u'-') + title + QString(8, u'-'));
    EXPECT_EQ(RiffBannerLine({}, "*", QString(31, u't')).size(), 49);
    EXPECT_EQ(RiffBannerLine({}, "*", QString(60, u't')), QString(60, u't'));
}

TEST(RiffReport, IsSavedAsUtf8WithCrLf)
{
    EXPECT_EQ(RiffReportBytes({QStringLiteral("a"), QString(), QStringLiteral("\u00e9")}),
              QByteArray("a\r\n\r\n\xc3\xa9\r\n"));
}

} // namespace
} // namespace vidora::test
