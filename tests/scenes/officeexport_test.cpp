// The office exports, checked by LibreOffice's own conversions in a profile
// of their own (CSV for the spreadsheets, plain text for the documents) and
// by the zip listing of the package.
#include "scenes/officeexport.h"

#include "support/smalldisk.h"
#include "support/tools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <unistd.h>

#include <signal.h>

namespace vidora {
namespace {

using test::readFileBytes;
using test::runTool;
using test::writeFileBytes;

#ifdef VIDORA_OFFICE_HELPER_PATH
const QString kHelper = QStringLiteral(VIDORA_OFFICE_HELPER_PATH);
#else
const QString kHelper;
#endif

const QString kQuoted = QString::fromUtf8("Plage \"d'été\" =1+1 海辺");

TOfficeSetup ExportSetup()
{
    TOfficeSetup setup;
    setup.helperPath = kHelper;
    setup.appVersionText = "Vidora 7.0.5";
    setup.versionText = "7.0.5";
    setup.locale = QLocale::c();
    setup.timeoutMs = 90000;
    return setup;
}

// Scene k (from 1): its own texts and a thumbnail of its own colour.
TSceneClass Scene(int k)
{
    TSceneContext context;
    TSceneVideo video;
    video.width = 720;
    video.height = 576;
    video.frameRate = 25;
    context.video = video;
    TSceneClass scene(static_cast<std::uint32_t>(100 * (k - 1)),
                      static_cast<std::uint32_t>(100 * k), context);
    scene.Number = k;
    scene.StartText = QStringLiteral("0:00:%1:00").arg(4 * (k - 1), 2, 10, QLatin1Char('0'));
    scene.EndText = QStringLiteral("0:00:%1:24").arg(4 * k - 1, 2, 10, QLatin1Char('0'));
    scene.DurationText = "04.00";
    scene.DatecodeText = QStringLiteral("12/05/2006 10:%1:00").arg(10 + k);
    scene.TimecodeText = QStringLiteral("00.00.%1.00").arg(4 * (k - 1), 2, 10, QLatin1Char('0'));
    scene.Title = k == 2 ? kQuoted : QStringLiteral("Title %1").arg(k);
    scene.Subtitle = QStringLiteral("Sub %1").arg(k);
    scene.Thumbnail = QImage(ThumbnailSize(720, 576), QImage::Format_BGR888);
    scene.Thumbnail.fill(QColor(40 * k % 256, 255 - 30 * k % 256, 90));
    scene.Detailed = true;
    return scene;
}

// LibreOffice's own reading of a file, in a profile of its own (seeded with
// the installed version so that it does not run its first-start checks).
class OfficeReader
{
public:
    OfficeReader() { test::SeedOfficeProfile(m_profile.path()); }

    // The file converted with `filter` ("csv:..." or "txt:Text"), as text.
    QString Convert(const QString &file, const QString &filter, const QString &extension)
    {
        QTemporaryDir out;
        const QStringList arguments = {"-env:UserInstallation=" +
                                           QUrl::fromLocalFile(m_profile.path()).toString(),
                                       "--headless",
                                       "--norestore",
                                       "--convert-to",
                                       filter,
                                       "--outdir",
                                       out.path(),
                                       file};
        const test::ToolResult r = runTool("soffice", arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        const QString converted =
            out.filePath(QFileInfo(file).completeBaseName() + QLatin1Char('.') + extension);
        QString text = QString::fromUtf8(readFileBytes(converted));
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text.replace("\r\n", "\n");
    }

    QString Csv(const QString &file)
    {
        // Comma, double quote, UTF-8.
        return Convert(file, "csv:Text - txt - csv (StarCalc):44,34,76", "csv");
    }
    QString Text(const QString &file) { return Convert(file, "txt:Text (encoded):UTF8", "txt"); }

private:
    QTemporaryDir m_profile;
};

class OfficeExport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (kHelper.isEmpty())
            GTEST_SKIP() << "vidora-office was not built (no LibreOffice SDK)";
        if (FindOfficeProgram().isEmpty())
            GTEST_SKIP() << "LibreOffice is not installed";
    }

    QString Video() const { return m_dir.filePath(QString::fromUtf8("Holiday 2006 #1 été.avi")); }
    QString Out(TOfficeFormat format) const
    {
        return m_dir.filePath(QString::fromUtf8("Holiday 2006 #1 été") + OfficeEnding(format));
    }

    bool Export(TOfficeFormat format, int scenes, QString *error = nullptr,
                TOfficeSetup setup = ExportSetup())
    {
        TOfficeExport writer(format, Video(), Out(format), std::move(setup));
        for (int k = 1; k <= scenes; ++k)
            writer.AddScene(Scene(k));
        const bool ok = writer.Finish();
        if (error)
            *error = writer.ErrorString();
        EXPECT_TRUE(ok || error) << writer.ErrorString().toStdString();
        return ok;
    }

    static QStringList SceneRows(int scenes)
    {
        QStringList rows = {",Number,Start,End,Duration,Datecode,Timecode,%1,Subtitle"};
        for (int k = 1; k <= scenes; ++k) {
            const TSceneClass s = Scene(k);
            QString title = s.Title;
            title.replace("\"", "\"\"");
            if (title.contains(',') || title.contains('"'))
                title = '"' + title + '"';
            rows << QStringLiteral(",%1,%2,%3,%4,%5,%6,%7,%8")
                        .arg(s.Number)
                        .arg(s.StartText, s.EndText, s.DurationText, s.DatecodeText, s.TimecodeText,
                             title, s.Subtitle);
        }
        return rows;
    }

    QTemporaryDir m_dir;
    OfficeReader m_reader;
};

TEST_F(OfficeExport, SpreadsheetHoldsTheHeadingsAndOneRowPerScene)
{
    for (TOfficeFormat format : {TOfficeFormat::Ods, TOfficeFormat::Xls}) {
        ASSERT_TRUE(Export(format, 3));
        const QString csv = m_reader.Csv(Out(format));
        QStringList rows = SceneRows(3);
        rows[0] = rows[0].arg(format == TOfficeFormat::Ods ? "Title" : "Caption");
        EXPECT_TRUE(csv.contains(rows.join('\n'))) << csv.toStdString();
        EXPECT_TRUE(csv.contains(kQuoted.left(6))) << csv.toStdString();
        EXPECT_TRUE(QFileInfo(Out(format)).permissions() & QFile::ReadOther)
            << "a new file's usual permissions";
        if (format == TOfficeFormat::Xls) {
            EXPECT_TRUE(csv.contains("Terminated at ")) << csv.toStdString();
        }
    }
}

TEST_F(OfficeExport, CalcHasOneSheetNamedAfterTheVideoWithEvenRowsShaded)
{
    ASSERT_TRUE(Export(TOfficeFormat::Ods, 4));
    const test::ToolResult content =
        runTool("unzip", {"-p", Out(TOfficeFormat::Ods), "content.xml"});
    const QString xml = QString::fromUtf8(content.out);
    const QRegularExpression table(R"re(<table:table table:name="([^"]*)")re");
    QStringList names;
    for (auto it = table.globalMatch(xml); it.hasNext();)
        names << it.next().captured(1);
    EXPECT_EQ(names, QStringList{QString::fromUtf8("Holiday 2006 #1 été")});

    // The cell styles with the grey background, then the style of the cells
    // of each table row (repeated rows expanded).
    QStringList grey;
    const QRegularExpression style(
        R"re(<style:style style:name="([^"]+)" style:family="table-cell"[^>]*>(?:(?!</style:style>).)*fo:background-color="#e6e6e6")re",
        QRegularExpression::DotMatchesEverythingOption);
    for (auto it = style.globalMatch(xml); it.hasNext();)
        grey << it.next().captured(1);
    ASSERT_FALSE(grey.isEmpty());
    QStringList rowShaded;
    const QRegularExpression row(R"re(<table:table-row([^>]*)>(.*?)</table:table-row>)re",
                                 QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression repeated(R"re(table:number-rows-repeated="(\d+)")re");
    for (auto it = row.globalMatch(xml); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        bool shaded = false;
        for (const QString &name : grey)
            shaded = shaded || m.captured(2).contains("table:style-name=\"" + name + "\"");
        const int times = std::max(1, repeated.match(m.captured(1)).captured(1).toInt());
        for (int n = times; n > 0 && rowShaded.size() < 12; --n)
            rowShaded << (shaded ? "grey" : "-");
    }
    // Rows 8 to 11 hold scenes 1 to 4: 9 and 11 are shaded.
    EXPECT_EQ(rowShaded.mid(7, 4), (QStringList{"-", "grey", "-", "grey"}));
}

TEST_F(OfficeExport, DocumentsHoldTheTitlesTextsAndOnePicturePerScene)
{
    // The text has more scenes than the export holds pictures at a time.
    constexpr int kTextScenes = 70;
    for (TOfficeFormat format : {TOfficeFormat::Odt, TOfficeFormat::Doc}) {
        ASSERT_TRUE(Export(format, format == TOfficeFormat::Odt ? kTextScenes : 5));
        const QString text = m_reader.Text(Out(format));
        EXPECT_TRUE(text.startsWith(QString::fromUtf8("Holiday 2006 #1 été.avi")))
            << text.toStdString();
        for (int k = 1; k <= 5; ++k) {
            const TSceneClass s = Scene(k);
            const QString texts = QStringList{s.StartText + " - " + s.EndText,
                                              "Duration  = " + s.DurationText,
                                              s.DatecodeText,
                                              s.TimecodeText,
                                              s.Title,
                                              s.Subtitle}
                                      .join('\n');
            EXPECT_TRUE(text.contains(QString::fromUtf8("Scene n°%1").arg(k))) << k;
            EXPECT_TRUE(text.contains(texts)) << k << "\n" << text.toStdString();
        }
    }
    const test::ToolResult listing = runTool("unzip", {"-l", Out(TOfficeFormat::Odt)});
    EXPECT_EQ(QString::fromUtf8(listing.out).count(QRegularExpression(R"(Pictures/\S+\.png)")),
              kTextScenes)
        << listing.out.constData();
}

TEST_F(OfficeExport, NoSceneGivesTheHeadingsOnly)
{
    ASSERT_TRUE(Export(TOfficeFormat::Ods, 0));
    const QString csv = m_reader.Csv(Out(TOfficeFormat::Ods));
    EXPECT_TRUE(csv.contains(SceneRows(0).join('\n').arg("Title"))) << csv.toStdString();
    EXPECT_FALSE(csv.contains("Sub ")) << csv.toStdString();
}

TEST_F(OfficeExport, TwoExportsAtOnceBothSucceed)
{
    bool ok[2] = {false, false};
    std::thread a([&] { ok[0] = Export(TOfficeFormat::Ods, 3); });
    std::thread b([&] { ok[1] = Export(TOfficeFormat::Odt, 3); });
    a.join();
    b.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
    EXPECT_TRUE(m_reader.Csv(Out(TOfficeFormat::Ods)).contains("Sub 3"));
    EXPECT_TRUE(m_reader.Text(Out(TOfficeFormat::Odt)).contains("Sub 3"));
}

TEST_F(OfficeExport, WithoutLibreOfficeTheMessageNamesThePackageAndNoFileIsWritten)
{
    writeFileBytes(Out(TOfficeFormat::Ods), "old");
    TOfficeSetup setup = ExportSetup();
    setup.officePath = m_dir.filePath("no-office/soffice.bin");
    QString error;
    EXPECT_FALSE(Export(TOfficeFormat::Ods, 2, &error, setup));
    EXPECT_TRUE(error.contains("libreoffice-calc-nogui")) << error.toStdString();
    EXPECT_EQ(readFileBytes(Out(TOfficeFormat::Ods)), QByteArray("old"));

    setup.officePath.clear();
    setup.helperPath = m_dir.filePath("none/vidora-office");
    EXPECT_FALSE(Export(TOfficeFormat::Odt, 2, &error, setup));
    EXPECT_TRUE(error.contains("vidora-office")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(Out(TOfficeFormat::Odt)));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 1);
}

TEST_F(OfficeExport, AFailedOfficeLeavesTheOldFileAndSaysWhy)
{
    // An "office" that exits at once: the helper reports it, nothing replaces the file.
    const QString fake = m_dir.filePath("program/soffice.bin");
    QDir().mkpath(m_dir.filePath("program"));
    writeFileBytes(fake, "#!/bin/sh\nexit 7\n");
    writeFileBytes(m_dir.filePath("program/libsclo.so"), "");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFileBytes(Out(TOfficeFormat::Ods), "old");
    TOfficeSetup setup = ExportSetup();
    setup.officePath = fake;
    QString error;
    EXPECT_FALSE(Export(TOfficeFormat::Ods, 2, &error, setup));
    EXPECT_TRUE(error.contains("ended before it could be reached")) << error.toStdString();
    EXPECT_EQ(readFileBytes(Out(TOfficeFormat::Ods)), QByteArray("old"));
}

TEST_F(OfficeExport, AnAbortEndsTheHelperAndItsOfficeAtOnce)
{
    // An "office" that never answers: without the abort the helper would
    // wait for it until its time-out.
    QDir().mkpath(m_dir.filePath("program"));
    const QString fake = m_dir.filePath("program/soffice.bin");
    const QString pidFile = m_dir.filePath("office.pid");
    writeFileBytes(fake, ("#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 300\n").toUtf8());
    writeFileBytes(m_dir.filePath("program/libswlo.so"), "");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFileBytes(Out(TOfficeFormat::Odt), "old");
    TOfficeSetup setup = ExportSetup();
    setup.officePath = fake;
    setup.timeoutMs = 60000;
    // Aborted once the office has started.
    setup.aborted = [&] { return QFile::exists(pidFile); };
    QElapsedTimer clock;
    clock.start();
    QString error;
    TOfficeExport writer(TOfficeFormat::Odt, Video(), Out(TOfficeFormat::Odt), setup);
    writer.AddScene(Scene(1));
    EXPECT_FALSE(writer.Finish());
    EXPECT_TRUE(writer.Aborted());
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(writer.ErrorString().contains("aborted")) << writer.ErrorString().toStdString();
    EXPECT_EQ(readFileBytes(Out(TOfficeFormat::Odt)), QByteArray("old"));
    // The office went with the helper.
    const pid_t office = readFileBytes(pidFile).trimmed().toInt();
    ASSERT_GT(office, 0);
    QDeadlineTimer gone(5000);
    while (::kill(office, 0) == 0 && !gone.hasExpired())
        QThread::msleep(20);
    EXPECT_NE(::kill(office, 0), 0);
}

// An output name of the longest length the file system allows is written
// and replaced like any other, and nothing else is left in the folder.
TEST_F(OfficeExport, TheLongestNamesAreExportedAndReplaced)
{
    const long limit = ::pathconf(QFile::encodeName(m_dir.path()).constData(), _PC_NAME_MAX);
    const QString name = QString(int(limit) - 4, QLatin1Char('o')) + ".ods";
    const QString out = m_dir.filePath(name);
    writeFileBytes(out, "old");
    TOfficeExport writer(TOfficeFormat::Ods, Video(), out, ExportSetup());
    writer.AddScene(Scene(1));
    EXPECT_TRUE(writer.Finish()) << writer.ErrorString().toStdString();
    EXPECT_TRUE(readFileBytes(out).startsWith("PK"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

// A full disk: the older file stays, neither the temporary file nor the
// office's lock file is left, and the message gives the system's reason.
TEST_F(OfficeExport, AFullDiskKeepsTheOlderFileAndLeavesNothingBehind)
{
    test::SmallDisk disk(m_dir.filePath("small"), 64 * 1024);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString out = disk.path() + "/scenes.ods";
    writeFileBytes(out, "old");
    disk.fill();
    TOfficeExport writer(TOfficeFormat::Ods, Video(), out, ExportSetup());
    writer.AddScene(Scene(1));
    EXPECT_FALSE(writer.Finish());
    EXPECT_TRUE(writer.ErrorString().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << writer.ErrorString().toStdString();
    EXPECT_EQ(readFileBytes(out), "old");
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".filler", "scenes.ods"}));
}

TEST(OfficeSheetName, DropsWhatASheetNameCannotHold)
{
    struct Case
    {
        const char *video, *sheet;
    };
    for (const Case &c :
         {Case{"/v/clip.avi", "clip"}, Case{"/v/a[1]*?:\\b.avi", "a1b"},
          Case{"/v/'quoted'.avi", "quoted"}, Case{"/v/[].avi", "Scenes"},
          Case{"/v/été 海.avi", "été 海"},
          Case{"/v/0123456789012345678901234567890123.avi", "0123456789012345678901234567890"}})
        EXPECT_EQ(OfficeSheetName(QString::fromUtf8(c.video)), QString::fromUtf8(c.sheet))
            << c.video;
}

} // namespace
} // namespace vidora
