// The overlay text editor: its template texts, each control writing the
// overlay record and the settings at once, and the paused picture changing
// inside the overlay's text box only.
#include "platform/media/graph.h"
#include "support/dvfiles.h"
#include "support/media_filters.h"
#include "support/tools.h"
#include "ui/ueditincrust.h"
#include "ui/uvueframe.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vidora {
namespace {

using namespace vidora::test;
using namespace std::chrono_literals;

class EditIncrust : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("VIDORA_AUDIO_OUTPUT", "null");
        s_dir = std::make_unique<QTemporaryDir>();
        s_dv = QDir(s_dir->path()).filePath("holiday.avi");
        writeFileBytes(s_dv, dvType1Avi(ffmpegRawDv(s_dir->path(), {false, false, 10})));
        s_text = QDir(s_dir->path()).filePath("notes.avi");
        writeFileBytes(s_text, "not a video");
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static std::unique_ptr<QTemporaryDir> s_dir;
    static QString s_dv, s_text;
};

std::unique_ptr<QTemporaryDir> EditIncrust::s_dir;
QString EditIncrust::s_dv, EditIncrust::s_text;

TEST_F(EditIncrust, TemplatesForTheCurrentFile)
{
    const auto dv = TAfficherFichier::Create(s_dv, TaviReading{});
    // No file: only "%D" becomes the per-frame date.
    EXPECT_EQ(ExpandTemplate("%F on %D", 1, nullptr), "%F on %D");
    EXPECT_EQ(ExpandTemplate("%f on %d", 2, dv.get()), "holiday on %D2");
    EXPECT_EQ(ExpandTemplate("%F%e in %P: %C, %I, %U, %T", 1, dv.get()),
              "holiday.avi in " + s_dir->path() + "/: dvsd, " + dv->Data().pictureText +
                  dv->Data().aspectText + ", " + dv->Data().videoDurationText + ", %T");

    const double now = 40000.5; // 2009-07-06 12:00
    EXPECT_EQ(PreviewText("%D1|%d2|%T", nullptr, "yyyy-mm-dd", "hh:nn", now),
              "2009-07-06|12:00|0:54:32:10");
    EXPECT_EQ(PreviewText("%D1|%D2|%T", dv.get(), "yyyy-mm-dd", "hh:nn:ss", now),
              "2005-06-07|08:09:10|01.02.03.04");
    const auto text = TAfficherFichier::Create(s_text, TaviReading{});
    EXPECT_TRUE(text->Data().timecodeText.isEmpty());
    EXPECT_EQ(PreviewText("%T", text.get(), "", "", now), "0:54:32:10");

    using Lines = std::pair<QString, QString>;
    EXPECT_EQ(IncrustLines(0, "a", "b", nullptr), Lines("%D1", "%D2"));
    EXPECT_EQ(IncrustLines(1, "a", "b", nullptr), Lines("", "%T"));
    EXPECT_EQ(IncrustLines(2, "%D %F", "%D", dv.get()), Lines("%D1 holiday", "%D2"));
}

TEST_F(EditIncrust, EachControlWritesTheRecordAtOnce)
{
    SettingValues settings;
    settings.Incrust.Font.Name = QStringLiteral("No Such Font Anywhere");
    Tviewdm viewdm;
    TEditIncrustForm form(&settings, &viewdm);
    int shown = 0;
    int slider = -1;
    form.OnShowOverlay = [&] {
        ++shown;
        settings.IsIncrustOn = true;
    };
    form.OnHorizontalSlider = [&](int perMille) { slider = perMille; };
    form.show();
    EXPECT_EQ(form.FontComboBox1->currentIndex(), -1) << "an unlisted font selects nothing";
    EXPECT_EQ(settings.Incrust.Font.Name, "No Such Font Anywhere");
    EXPECT_TRUE(form.rbScene->isChecked());
    EXPECT_EQ(form.tbBorder->text(), "2");

    form.tbTimecode->click();
    EXPECT_EQ(settings.WhatIncrust, 1);
    EXPECT_EQ(shown, 1) << "the overlay is shown when it was hidden";
    EXPECT_EQ(settings.Incrust.Line1, "");
    EXPECT_EQ(settings.Incrust.Line2, "%T");
    form.ToolbarButton971->click();
    EXPECT_EQ(settings.WhatIncrust, 0);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(settings.Incrust.Line1, "%D1");

    struct Case
    {
        const char *name;
        std::function<void()> act;
        std::function<bool()> holds;
    };
    const std::vector<Case> cases = {
        {"size", [&] { form.cbSize->setCurrentText("14"); },
         [&] { return settings.Incrust.Font.Size == 14 && settings.Incrust.AutoSize == 0; }},
        {"auto size", [&] { form.cbSize->setCurrentText("auto"); },
         [&] { return settings.Incrust.AutoSize == 1 && settings.Incrust.Font.Size == 14; }},
        {"size 0 keeps the size", [&] { form.cbSize->setCurrentText("0"); },
         [&] { return settings.Incrust.AutoSize == 0 && settings.Incrust.Font.Size == 14; }},
        {"duration", [&] { form.edDuree->setText("7"); },
         [&] { return settings.Incrust.Seconds == 7; }},
        {"duration not a number", [&] { form.edDuree->setText("12x"); },
         [&] { return settings.Incrust.Seconds == 5; }},
        {"bold", [&] { form.tbBold->click(); }, [&] { return settings.Incrust.Font.Bold == 1; }},
        {"italic", [&] { form.tbItalic->click(); },
         [&] { return settings.Incrust.Font.Italic == 1; }},
        {"underline", [&] { form.tbUnderline->click(); },
         [&] { return settings.Incrust.Font.Underline == 1; }},
        {"first date format", [&] { form.cbDatecode1->setCurrentText("yyyy"); },
         [&] { return settings.Incrust.DateFormat1 == "yyyy"; }},
        {"second date format", [&] { form.cbDatecode2->setCurrentIndex(3); },
         [&] { return settings.Incrust.DateFormat2 == "ddddd t"; }},
        {"each new day", [&] { form.rbJour->click(); }, [&] { return settings.Incrust.When == 3; }},
        {"permanently", [&] { form.rbPermanent->click(); },
         [&] { return settings.Incrust.When == 0; }},
        {"border", [&] { form.tbBorder->menu()->actions()[3]->trigger(); },
         [&] { return settings.Incrust.Outline == 3 && form.tbBorder->text() == "3"; }},
        {"no border", [&] { form.tbBorder->menu()->actions()[0]->trigger(); },
         [&] { return settings.Incrust.Outline == 0 && form.tbBorder->text().isEmpty(); }},
        {"colour", [&] { form.ColourChosen(QColor(0x11, 0x22, 0x33)); },
         [&] { return settings.Incrust.Font.Color == 0x332211; }},
        {"centre", [&] { form.tbCenter->click(); },
         [&] { return settings.IncrustAlignment == 1 && slider == -1; }},
        {"subtitle", [&] { form.tbSousTitre->click(); },
         [&] { return settings.IncrustAlignment == 3 && slider == 500; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        EXPECT_TRUE(c.holds());
        // The overlay filter has the same record.
        EXPECT_EQ(viewdm.Superposer().Settings().Options, settings.Incrust);
    }
    EXPECT_EQ(viewdm.Superposer().Settings().Alignment, 3);

    // The close box runs the editor's action instead of closing the form.
    int toggled = 0;
    form.OnToggleEditor = [&] { ++toggled; };
    form.close();
    EXPECT_EQ(toggled, 1);
}

TEST_F(EditIncrust, ThePausedPictureChangesInsideTheTextBoxOnly)
{
    SettingValues settings;
    settings.IsIncrustOn = true;
    settings.Incrust.When = 0; // always shown
    settings.Incrust.Line1 = "%D1";
    settings.Incrust.Line2 = "%D2";
    Tviewdm viewdm;
    viewdm.SetSettings(&settings);
    struct View final : IPreviewView
    {
        std::shared_ptr<RecordingVideoSink> sink = std::make_shared<RecordingVideoSink>();
        void ShowVideoUnavailable(TVideoMessageCode) override {}
        void ShowAudioOnly(TVideoMessageCode) override {}
        void ShowVideo() override {}
        void SetPositionSlider(int) override {}
        std::shared_ptr<media::IVideoSink> VideoSink() override { return sink; }
    } view;
    const auto entry = TAfficherFichier::Create(s_dv, TaviReading{});
    const TPreviewEntry preview = PreviewEntryOf(*entry);
    ASSERT_TRUE(viewdm.OpenFile(&preview, &view));
    viewdm.SeekTo(5);
    TEditIncrustForm form(&settings, &viewdm);
    form.SetCurrentFile(entry);

    // Waits for the picture a change redraws.
    auto redrawn = [&](const std::function<void()> &change) {
        const std::size_t before = view.sink->frames().size();
        change();
        EXPECT_TRUE(view.sink->waitForFrames(before + 1, 3000ms));
        QApplication::processEvents();
        return view.sink->frames().back().frame.picture;
    };
    const QImage first = redrawn([&] { form.cbSize->setCurrentText("20"); });
    const QRect firstBox = viewdm.Superposer().LastLayout().textBox;
    const QImage second = redrawn([&] { form.cbSize->setCurrentText("40"); });
    const QRect box = firstBox.united(viewdm.Superposer().LastLayout().textBox);
    ASSERT_FALSE(box.isEmpty());
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            if (first.pixel(x, y) != second.pixel(x, y))
                ++(box.contains(x, y) ? inside : outside);
    EXPECT_GT(inside, 100) << "the bigger text shows";
    EXPECT_EQ(outside, 0) << "nothing changes outside the text";
    EXPECT_EQ(viewdm.CurrentPosition(), 5) << "the same frame";
}

} // namespace
} // namespace vidora
