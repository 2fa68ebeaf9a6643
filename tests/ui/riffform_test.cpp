// The AVI analyser's window: the report in its list, saved as a ".log" file
// in UTF-8 with CR LF, and opened by the analyse command.
#include "commands/dmaction_stage.h"

#include "formats/widgets/riffform.h"
#include "platform/durablefile.h"
#include "support/riffbuilder.h"
#include "support/smalldisk.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace vidora::test {
namespace {

class RiffWindow : public DmActionStage
{};

TEST_F(RiffWindow, ShowsTheReportAndSavesItAsALogFile)
{
    const QString avi = Path("clip.avi");
    writeFileBytes(avi, buildAvi(dvType2Layout()).bytes);
    TRiffForm form;
    form.AnalyseAviFile(avi);
    ASSERT_GT(form.ListBox1->count(), 20);
    EXPECT_TRUE(form.SauverBtn->isEnabled());
    EXPECT_EQ(form.ListBox1->item(8)->text(), "RIFF  00000206");

    QString proposed;
    form.AskSaveFileName = [&](const QString &p) {
        proposed = p;
        return p;
    };
    QTest::mouseClick(form.SauverBtn, Qt::LeftButton);
    EXPECT_EQ(proposed, Path("clip.log"));
    const QByteArray saved = readFileBytes(Path("clip.log"));
    QStringList lines;
    for (int i = 0; i < form.ListBox1->count(); ++i)
        lines << form.ListBox1->item(i)->text();
    EXPECT_EQ(saved, RiffReportBytes(lines));
    EXPECT_TRUE(saved.endsWith("--------------------------------------------------\r\n"));
    EXPECT_EQ(saved.count("\r\n"), form.ListBox1->count());

    // Cancelled: nothing written.
    form.AskSaveFileName = [](const QString &) { return QString(); };
    QFile::remove(Path("clip.log"));
    QTest::mouseClick(form.SauverBtn, Qt::LeftButton);
    EXPECT_FALSE(QFileInfo::exists(Path("clip.log")));

    form.AnalyseAviFile(Path("missing.avi"));
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_FALSE(form.SauverBtn->isEnabled());
}

// A report that cannot be written whole keeps the older file and says why.
TEST_F(RiffWindow, AReportThatCannotBeSavedKeepsTheOlderFile)
{
    const QString avi = Path("clip.avi");
    writeFileBytes(avi, buildAvi(dvType2Layout()).bytes);
    TRiffForm form;
    form.AnalyseAviFile(avi);
    const QString report = Path("clip.log");
    writeFileBytes(report, "older");
    {
        DurableWriteFaultsScope faults({.spaceLimit = 100});
        QString error;
        EXPECT_FALSE(form.SaveReport(report, &error));
        EXPECT_EQ(error, report + ": " + QString::fromLocal8Bit(std::strerror(ENOSPC)));
    }
    EXPECT_EQ(readFileBytes(report), "older");

    SmallDisk disk(Path("small"), 16 * 1024);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString onDisk = disk.path() + "/clip.log";
    writeFileBytes(onDisk, "older");
    disk.fill();
    QString error;
    EXPECT_FALSE(form.SaveReport(onDisk, &error));
    EXPECT_EQ(error, onDisk + ": " + QString::fromLocal8Bit(std::strerror(ENOSPC)));
    EXPECT_EQ(readFileBytes(onDisk), "older");
}

TEST_F(RiffWindow, TheAnalyseCommandShowsTheActiveFilesReport)
{
    const QString avi = Path("clip.avi");
    writeFileBytes(avi, buildAvi(dvType1Layout()).bytes);
    AddEntry(avi);
    TRiffForm form;
    QStringList shown;
    action.OnShowRiffAnalysis = [&](const QString &path) {
        // Closed by the user once it shows.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, &form, [&] {
            if (!form.isVisible())
                return;
            closer.stop();
            for (int i = 0; i < form.ListBox1->count(); ++i)
                shown << form.ListBox1->item(i)->text();
            QTest::mouseClick(form.FermerBtn, Qt::LeftButton);
        });
        closer.start(10);
        form.ShowRiffAnalysis(path);
    };
    ASSERT_TRUE(Run("RiffHeader"));
    EXPECT_EQ(form.windowTitle(), "Header of the file " + avi);
    EXPECT_TRUE(shown.contains("            ------------(Interleaved)------------"));
    EXPECT_FALSE(form.isVisible());
}

} // namespace
} // namespace vidora::test
