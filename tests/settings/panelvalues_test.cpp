#include "settings/panelvalues.h"

#include "settings/superactions.h"
#include "support/testactions.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

using namespace vidora;

TEST(FormatSampleName, TemplatesExpandOnSampleValues)
{
    // 2026-03-07 14:05:09
    const DateTimeValue now = EncodeDateTime(DateTimeParts{{2026, 3, 7}, {14, 5, 9, 0}});
    struct Case
    {
        const char *templateText;
        const char *format;
        const char *expected;
    } cases[] = {
        {"video'%D%E", "yyyymmdd hh.nn.ss", "video'20260307 14.05.09.avi"},
        {"%f%e", "", "video.avi"},
        {"%D_%F%E", "yyyy.mm.dd_hh.nn.ss", "2026.03.07_14.05.09_video.avi"},
        {"%F_%T%E", "", "video_0.54.32.10.avi"},
        {"%c %i %a %u", "", "dvsd 640x480 48000Hz 16bits stereo 30s 12fr"},
        {"a:b<c>d\"e/f\\g|h", "", "a.b_c_d_e_f_g_h"},
        {"%D", "hh:nn", "14.05"},
        {"no codes", "yyyy", "no codes"},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.templateText);
        EXPECT_EQ(FormatSampleName(QString::fromUtf8(row.templateText),
                                   QString::fromUtf8(row.format), now),
                  QString::fromUtf8(row.expected));
    }
}

TEST(ParseSecondsText, WholeSecondsWithADotInAnyLocale)
{
    struct Case
    {
        const char *text;
        std::optional<int> expected;
    } cases[] = {
        {"30", 30},
        {" 45 ", 45},
        {"30.0", 30},
        {"+12", 12},
        {"1", 1},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"0", std::nullopt},
        {"-5", std::nullopt},
        {"2.5", std::nullopt},
        {"1e3", 1000},
        {"99999999999", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
    };
    for (const char *localeName : {"en_US", "de_DE", "fr_FR"}) {
        SCOPED_TRACE(localeName);
        const QLocale saved;
        QLocale::setDefault(QLocale(QString::fromLatin1(localeName)));
        for (const Case &row : cases) {
            SCOPED_TRACE(row.text);
            EXPECT_EQ(ParseSecondsText(QString::fromUtf8(row.text)), row.expected);
        }
        // "," is the decimal separator or a group separator, never ignored.
        const bool commaIsDecimal = QLocale().decimalPoint() == QStringLiteral(",");
        EXPECT_EQ(ParseSecondsText(QStringLiteral("30,0")),
                  commaIsDecimal ? std::optional<int>(30) : std::nullopt);
        EXPECT_EQ(ParseSecondsText(QStringLiteral("1,000")),
                  commaIsDecimal ? std::optional<int>(1) : std::nullopt);
        QLocale::setDefault(saved);
    }
}

TEST(CommandRows, EachCaptionedActionOnceSortedByTheChosenColumn)
{
    QObject owner;
    const auto make = [&](const char *name, const char *caption, const char *key, const char *sw,
                          const char *token) {
        return static_cast<QAction *>(test::MakeSuperAction(
            &owner, QString::fromUtf8(name), QString::fromUtf8(caption), QString::fromUtf8(key),
            QString::fromUtf8(sw), QString::fromUtf8(token)));
    };
    QAction *open = make("saOpen", "Open files", "Ctrl+O", "o", "openfiles");
    QAction *play = make("saPlay", "play", "Space", "p", "play");
    QAction *about = make("saAbout", "About", "", "ab", "about");
    QAction *hidden = make("saHidden", "", "F9", "h", "hidden");
    QAction *twin = make("saTwin", "About", "F1", "tw", "twin");
    QAction foreign(QStringLiteral("Foreign"), &owner);
    const QList<QAction *> actions{open, play, about, hidden, &foreign, twin, open};

    const auto names = [&](std::uint8_t column) {
        QStringList list;
        for (const CommandRow &row : CommandRows(actions, column))
            list << row.action->objectName();
        return list;
    };
    EXPECT_EQ(names(0), (QStringList{"saAbout", "saTwin", "saOpen", "saPlay"}));
    // No key: the caption alone sorts among the key texts ("About" < "Ctrl+O"
    // < "F1About" < "Spaceplay").
    EXPECT_EQ(names(1), (QStringList{"saAbout", "saOpen", "saTwin", "saPlay"}));
    EXPECT_EQ(names(2), (QStringList{"saAbout", "saOpen", "saPlay", "saTwin"}));
    EXPECT_EQ(names(3), (QStringList{"saAbout", "saOpen", "saPlay", "saTwin"}));

    const QList<CommandRow> rows = CommandRows(actions, 0);
    EXPECT_EQ(rows[2].caption, QStringLiteral("Open files"));
    EXPECT_EQ(rows[2].keys, ShortcutText(QKeySequence(QStringLiteral("Ctrl+O"))));
    EXPECT_EQ(rows[2].switchName, QStringLiteral("o"));
    EXPECT_EQ(rows[2].token, QStringLiteral("openfiles"));
    EXPECT_TRUE(rows[0].keys.isEmpty());
}

} // namespace
