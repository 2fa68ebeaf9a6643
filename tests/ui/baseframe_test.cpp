// The information frame, the empty-list help panel, the full-screen backdrop
// and the list frame.
#include "support/dvfiles.h"
#include "support/tools.h"
#include "ui/displaylayout.h"
#include "ui/ubaseframe.h"
#include "ui/uvideframe.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vidora {
namespace {

using namespace vidora::test;

TEST(BaseFrame, FileNameFontShrinksButNotBelow8Points)
{
    const std::vector<std::tuple<int, int, int>> cases = {
        {100, 200, 13}, {200, 200, 13}, {210, 200, 12}, {260, 200, 11}, {1000, 200, 11},
    };
    for (const auto &[width, room, pixels] : cases)
        EXPECT_EQ(FileNameFontPixels(width, room), pixels) << width << " in " << room;
}

TEST(BaseFrame, ShowFileAndClear)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("holiday.avi");
    writeFileBytes(path, dvType1Avi(ffmpegRawDv(dir.path(), {false, true, 3})));
    auto entry = TAfficherFichier::Create(path, TaviReading{});
    ASSERT_TRUE(entry->Data().isDv);

    SettingValues settings;
    settings.FormatShowDatecode = QStringLiteral("yyyy-mm-dd hh:nn:ss");
    TBaseFrame frame;
    frame.SetSettings(&settings);
    frame.Setup();
    EXPECT_EQ(frame.Captions[0]->text(), "Datecode");
    EXPECT_EQ(frame.Captions[7]->text(), "scn");
    EXPECT_EQ(frame.Captions[3]->font().family(), "Arial");
    frame.show();

    frame.ShowFile(entry);
    EXPECT_EQ(frame.CurrentFile(), entry);
    EXPECT_EQ(frame.LabNom->text(), "holiday.avi");
    EXPECT_EQ(frame.labDatecode->text(), "2005-06-07 08:09:10");
    EXPECT_EQ(frame.LabTimecode->text(), "01.02.03.04");
    EXPECT_EQ(frame.LabCodec->text(), "dvsd (type 1)");
    EXPECT_EQ(frame.LabImage->text(), "720 x 576 (Pal 16x9)");
    EXPECT_EQ(frame.labFPS->text(), "25");
    EXPECT_FALSE(frame.labDecalage->isVisible()) << "no offset";
    EXPECT_FALSE(frame.LabDuree->text().contains('(')) << "equal durations show once";
    EXPECT_TRUE(frame.toolTip().startsWith("File     : " + path + "\nSize     : "));
    EXPECT_TRUE(frame.toolTip().contains("\nModified : "));

    entry->SetTimeOffset(1.0 / 24, QStringLiteral("1h"));
    frame.ShowFile(entry);
    EXPECT_TRUE(frame.labDecalage->isVisible());
    EXPECT_EQ(frame.labDecalage->text(), "+1h");
    entry->SetTimeOffset(-1.0 / 24, QStringLiteral("-1h"));
    frame.ShowFile(entry);
    EXPECT_EQ(frame.labDecalage->text(), "-1h");

    // A long name shrinks its font, not below 8 points.
    const QRect bevel = frame.BevelNom->geometry();
    frame.BevelNom->resize(60, 22);
    frame.ShowFile(entry);
    EXPECT_EQ(frame.LabNom->font().pixelSize(), 11);

    // Every text has a place of its own, inside the frame, and fits it.
    frame.resize(kListColumnWidth, kInfoFrameHeight);
    const QList<QLabel *> labels =
        frame.Captions + QList<QLabel *>{frame.labDatecode, frame.LabTimecode, frame.LabCodec,
                                         frame.LabImage,    frame.LabDuree,    frame.labFPS,
                                         frame.LabAudio1,   frame.LabAudio2,   frame.labscn,
                                         frame.labsrt,      frame.labDecalage};
    for (qsizetype i = 0; i < labels.size(); ++i) {
        EXPECT_TRUE(frame.rect().contains(labels[i]->geometry()))
            << labels[i]->text().toStdString();
        EXPECT_GE(labels[i]->width(), labels[i]->sizeHint().width())
            << labels[i]->text().toStdString();
        for (qsizetype j = 0; j < i; ++j)
            EXPECT_FALSE(labels[i]->geometry().intersects(labels[j]->geometry()))
                << labels[i]->text().toStdString() << " / " << labels[j]->text().toStdString();
    }
    // The name's bevel and the two gauges too: inside, clear of every text
    // and of each other.
    frame.BevelNom->setGeometry(bevel);
    frame.Gauge1->show(); // as while a command runs
    const QList<QWidget *> boxes = {frame.BevelNom, frame.Gauge1, frame.Gauge2};
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        EXPECT_TRUE(boxes[i]->isVisible()) << i;
        EXPECT_TRUE(frame.rect().contains(boxes[i]->geometry())) << i;
        for (qsizetype j = 0; j < i; ++j)
            EXPECT_FALSE(boxes[i]->geometry().intersects(boxes[j]->geometry())) << i << "/" << j;
        for (const QLabel *label : labels)
            EXPECT_FALSE(boxes[i]->geometry().intersects(label->geometry()))
                << i << " / " << label->text().toStdString();
    }

    frame.Clear();
    EXPECT_EQ(frame.LabNom->text(), "---");
    EXPECT_EQ(frame.LabCodec->text(), "---");
    EXPECT_FALSE(frame.labscn->isVisible());
    EXPECT_FALSE(frame.labDecalage->isVisible()) << "no file, no offset";
    EXPECT_EQ(frame.CurrentFile(), nullptr);
}

TEST(VideFrame, HelpText)
{
    EXPECT_EQ(EmptyListHelpMarkup(),
              "Drag and drop one or several files to this window.<br><br>"
              "You may also open or paste files with speed buttons or menus. <br><br>"
              "Open all avi files from your computer with Ctrl+F7.<br><br>"
              "Only the files with extension *.avi  will be processed. <br><br>"
              "Type F10 to change the Settings, F1 to show the \"About\" panel.<br><br>"
              "Type F11 to display the list of available commands with all keyboard shortcuts "
              "and switches.");
    QWidget window;
    TVideFrame help(&window);
    help.hide();
    window.show();
    help.ShowHelp();
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.x(), 0);
    EXPECT_TRUE(help.rxHelp->toPlainText().contains("Ctrl+F7"));
    help.HideHelp();
    EXPECT_FALSE(help.isVisible());
}

TEST(Plaque, KeysGoToTheListAndClosingHides)
{
    QLineEdit list;
    Tplaque plaque;
    plaque.SetKeyTarget(&list);
    EXPECT_EQ(plaque.windowTitle(), "plaque");
    EXPECT_TRUE(plaque.windowFlags() & Qt::FramelessWindowHint);
    plaque.show();
    QTest::keyClicks(&plaque, "ab");
    QTest::keyClick(&plaque, Qt::Key_Backspace);
    EXPECT_EQ(list.text(), "a");
    plaque.close();
    EXPECT_FALSE(plaque.isVisible());
}

TEST(ListeFrame, TheListLeavesDropsAndDeleteToTheMainWindow)
{
    TListeFrame frame;
    EXPECT_FALSE(frame.lf->AcceptFiles());
    EXPECT_FALSE(frame.lf->KeyDelete);
    EXPECT_EQ(frame.lf->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(frame.labSelect->alignment(), Qt::AlignCenter);
}

} // namespace
} // namespace vidora
