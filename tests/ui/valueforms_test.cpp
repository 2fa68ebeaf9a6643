// The value dialogs: what they make of the user's choice and text (tables of
// the conversions), and the dialogs driven as a person uses them, offscreen.
#include "commands/dialogvalues.h"
#include "formats/datetime.h"
#include "ui/valueforms.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace vidora {
namespace {

// Sets the default locale for the scope.
class DefaultLocale
{
public:
    explicit DefaultLocale(const QLocale &locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

TEST(CodecValue, ChoicesAndPersonalizedCodesArePaddedAndChecked)
{
    const struct
    {
        TCodecChoice choice;
        QString text;
        std::optional<QString> code;
    } cases[] = {
        {TCodecChoice::Dvsd, "ignored", "dvsd"},
        {TCodecChoice::Dsvd, "", "dsvd"},
        {TCodecChoice::Cdvc, "", "CDVC"},
        {TCodecChoice::Personalized, "ab", "ab  "},
        {TCodecChoice::Personalized, "MJPG", "MJPG"},
        {TCodecChoice::Personalized, "abcdef", "abcd"},
        {TCodecChoice::Personalized, "", "    "},
        {TCodecChoice::Personalized, "a\tb", std::nullopt},
        {TCodecChoice::Personalized, "\u00e9t\u00e9", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CodecFromChoice(c.choice, c.text), c.code) << c.text.toStdString();
    EXPECT_EQ(CodecChoiceFor("DVSD"), TCodecChoice::Dvsd);
    EXPECT_EQ(CodecChoiceFor("dsvd"), TCodecChoice::Dsvd);
    EXPECT_EQ(CodecChoiceFor("cdvc"), TCodecChoice::Cdvc);
    EXPECT_EQ(CodecChoiceFor("dv25"), TCodecChoice::Personalized);
}

TEST(FrameRateValue, IsANumberAboveZeroInTheUsersLocale)
{
    const struct
    {
        const char *text;
        const QLocale &locale;
        std::optional<double> rate;
    } cases[] = {
        {"29,97", kGerman, 29.97},        {"29,97", kEnglish, std::nullopt},
        {"29.97", kEnglish, 29.97},       {" 12.5 ", kEnglish, 12.5},
        {"1.000", kGerman, std::nullopt}, {"0", kEnglish, std::nullopt},
        {"-25", kEnglish, std::nullopt},  {"abc", kEnglish, std::nullopt},
        {"inf", kEnglish, std::nullopt},  {"", kEnglish, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FrameRateFromText(c.text, c.locale), c.rate)
            << c.text << " in " << c.locale.name().toStdString();
    EXPECT_EQ(FrameRateFromChoice(TFrequenceChoice::Pal, "x"), 25.0);
    EXPECT_EQ(FrameRateFromChoice(TFrequenceChoice::Ntsc, "x"), 29.97);
}

TEST(IntervalValue, IsAWholeNumberAboveZero)
{
    EXPECT_EQ(IntervalFromText(" 12 "), 12);
    for (const char *refused : {"0", "-3", "abc", "", "1.5"})
        EXPECT_EQ(IntervalFromText(refused), std::nullopt) << refused;
}

TEST(OffsetText, ShowsHoursAloneOrDaysHoursMinutesAndSeconds)
{
    const struct
    {
        double offset;
        const char *text;
        double rounded;
    } cases[] = {
        {3.0 / 24, "3 hours", 3.0 / 24},
        {3.0 / 24 + 30.0 / 86400, "0 days 03h 00m 30s", 3.0 / 24 + 30.0 / 86400},
        {26.0 / 24, "1 days 02h 00m 00s", 26.0 / 24},
        {-3.0 / 24, "-3 hours", -3.0 / 24},
        {-(1 + 2.0 / 24 + 30.0 / 86400), "-1 days -02h 00m -30s", -(1 + 2.0 / 24 + 30.0 / 86400)},
        {0.5 / 86400, "0 hours", 0}, // half a second rounds to the even 0
        {1.5 / 86400, "0 days 00h 00m 02s", 2.0 / 86400},
        {0, "0 hours", 0},
    };
    for (const auto &c : cases) {
        double offset = c.offset;
        EXPECT_EQ(FormatOffsetText(offset).toStdString(), c.text) << c.offset;
        EXPECT_NEAR(offset, c.rounded, 1e-12) << c.offset;
    }
    double huge = 1e300;
    EXPECT_FALSE(FormatOffsetText(huge).isEmpty());
}

// The simple mode counts whole hours of the offset, however the day turns.
TEST(OffsetHoursValue, CountsTheOffsetNotHoursOfTheDay)
{
    const struct
    {
        double offset;
        int hours;
    } cases[] = {
        {1.0 / 24, 1},
        {2.0 / 24, 2},
        {-3.0 / 24, -3},
        {1.0, 24},
        {26.0 / 24, 26},
        {-(1 + 2.0 / 24), -26},
        {1.5 / 24, 2},
        {0.5 / 24, 0},
        {0, 0}, // halves to even
        {40.0 / 1440, 1},
        {1e9, kOffsetHoursLimit},
        {-1e9, -kOffsetHoursLimit},
        {std::nan(""), 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OffsetHours(c.offset), c.hours) << c.offset;

    // The offset the spin gives: the current one while it shows as the
    // spin's hours, the spin's whole hours once stepped.
    const double ninety = 1.5 / 24;
    EXPECT_DOUBLE_EQ(SimpleModeOffset(2, ninety), ninety);
    EXPECT_DOUBLE_EQ(SimpleModeOffset(3, ninety), 3.0 / 24);
    EXPECT_DOUBLE_EQ(SimpleModeOffset(24, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(SimpleModeOffset(-1, 0), -1.0 / 24);
}

TEST(CodecForm, PresetsFromTheFileAndGivesThePaddedCode)
{
    TCodecForm form;
    form.SetCodec("dvsd");
    EXPECT_EQ(form.rgCodec->checkedId(), int(TCodecChoice::Dvsd));
    EXPECT_FALSE(form.le->isEnabled());
    form.SetCodec("MJPG");
    EXPECT_EQ(form.rgCodec->checkedId(), int(TCodecChoice::Personalized));
    EXPECT_TRUE(form.le->isEnabled());
    EXPECT_EQ(form.le->text(), "MJPG");
    form.show();
    form.le->clear();
    QTest::keyClicks(form.le, "ab");
    QTest::mouseClick(form.OkBtn, Qt::LeftButton);
    EXPECT_TRUE(form.CodecAccepted);
    EXPECT_EQ(form.NewFourCC, "ab  ");
    EXPECT_FALSE(form.isVisible());

    form.show();
    QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(form.CodecAccepted);
}

TEST(FrequenceForm, ReadsThePersonalizedRateInTheUsersLocale)
{
    for (const bool german : {true, false}) {
        const DefaultLocale locale(german ? kGerman : kEnglish);
        TFrequenceForm form;
        form.show();
        form.rgFreq->button(int(TFrequenceChoice::Personalized))->click();
        EXPECT_TRUE(form.le->isEnabled());
        QTest::keyClicks(form.le, "29,97");
        QTest::mouseClick(form.OkBtn, Qt::LeftButton);
        EXPECT_EQ(form.FrameRateAccepted, german);
        if (german) {
            EXPECT_DOUBLE_EQ(form.NewFrameRate, 29.97);
        }
    }
}

TEST(IntervalleForm, StaysOpenUntilTheIntervalIsAboveZero)
{
    TIntervalleForm form;
    form.show();
    for (const char *refused : {"0", "abc"}) {
        form.Edit->setText(refused);
        QTest::mouseClick(form.ApplyBtn, Qt::LeftButton);
        EXPECT_TRUE(form.isVisible()) << refused;
        EXPECT_FALSE(form.IntervalAccepted);
    }
    form.Edit->setText("45");
    QTest::mouseClick(form.ApplyBtn, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.IntervalAccepted);
    EXPECT_EQ(form.SceneInterval, 45);
}

TEST(DecalageForm, FollowsTheEditsAndCancelGivesThePreviewTheStoredOffset)
{
    TDecalageForm form;
    std::vector<double> previewed;
    form.OnPreviewOffset = [&previewed](double offset) { previewed.push_back(offset); };
    form.RecordedDate = EncodeDateTime({{2005, 6, 7}, {8, 9, 10, 0}});
    form.NewDate = AddDateOffset(form.RecordedDate, 3.0 / 24);
    form.StoredOffset = 1.0 / 24;
    form.show();
    EXPECT_EQ(form.LabResultat->text(), "3 hours");
    EXPECT_NEAR(form.Offset, 3.0 / 24, 1e-9);
    ASSERT_FALSE(previewed.empty());
    EXPECT_NEAR(previewed.back(), 3.0 / 24, 1e-9) << "the preview shows the date being set";

    form.rxHeureSolo->setValue(-2);
    EXPECT_EQ(form.LabResultat->text(), "-2 hours");
    EXPECT_NEAR(form.NewDate, form.RecordedDate - 2.0 / 24, 1e-9);

    QTest::mouseClick(form.ToZeroBtn, Qt::LeftButton);
    EXPECT_EQ(form.LabResultat->text(), "0 hours");

    form.AdvancedBox->click();
    EXPECT_TRUE(form.gbFin->isVisible());
    EXPECT_FALSE(form.SimplePanel->isVisible());
    EXPECT_EQ(form.RxSpinEdit4->value(), 8);
    form.RxSpinEdit6->setValue(40);
    EXPECT_EQ(form.LabResultat->text(), "0 days 00h 00m 30s");
    form.RxSpinEdit4->setValue(7);
    EXPECT_EQ(form.LabResultat->text(), "0 days 00h -59m -30s");

    QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(form.Accepted);
    EXPECT_DOUBLE_EQ(form.Offset, 1.0 / 24);
    EXPECT_DOUBLE_EQ(previewed.back(), 1.0 / 24);
    EXPECT_FALSE(form.isVisible());

    form.show();
    QTest::mouseClick(form.OkBtn, Qt::LeftButton);
    EXPECT_TRUE(form.Accepted);
}

// A recording in the evening: the simple mode steps and reopens whole
// offsets, across midnight and by whole days.
TEST(DecalageForm, TheSimpleModeKeepsWholeOffsetsForAnEveningRecording)
{
    const DateTimeValue recorded = EncodeDateTime({{2005, 6, 7}, {23, 30, 0, 0}});
    TDecalageForm form;
    form.RecordedDate = recorded;
    form.NewDate = recorded;
    form.show();
    form.rxHeureSolo->setValue(1);
    EXPECT_EQ(form.rxHeureSolo->value(), 1);
    EXPECT_EQ(form.LabResultat->text(), "1 hours");
    EXPECT_NEAR(form.Offset, 1.0 / 24, 1e-9);
    form.hide();

    const struct
    {
        double stored;
        int hours;
        const char *text;
    } reopened[] = {
        {2.0 / 24, 2, "2 hours"},
        {1.0, 24, "1 days 00h 00m 00s"},
        {-(1 + 1.0 / 24), -25, "-1 days -01h 00m 00s"},
        {1.5 / 24, 2, "0 days 01h 30m 00s"}, // kept as it is until stepped
    };
    for (const auto &c : reopened) {
        form.NewDate = AddDateOffset(recorded, c.stored);
        form.show();
        EXPECT_EQ(form.rxHeureSolo->value(), c.hours) << c.stored;
        EXPECT_EQ(form.LabResultat->text().toStdString(), c.text) << c.stored;
        QTest::mouseClick(form.OkBtn, Qt::LeftButton);
        EXPECT_TRUE(form.Accepted);
        EXPECT_NEAR(form.Offset, c.stored, 1e-9) << "OK applies the offset that was stored";
    }
}

// Every value dialog is prepared as the program's windows are: its font.
TEST(ValueForms, ArePrepared)
{
    TCodecForm codec;
    TFrequenceForm frequence;
    TIntervalleForm interval;
    TDecalageForm offset;
    for (QWidget *form : std::initializer_list<QWidget *>{&codec, &frequence, &interval, &offset})
        EXPECT_EQ(form->font().family(), QStringLiteral("Arial"))
            << form->metaObject()->className();
}

} // namespace
} // namespace vidora
