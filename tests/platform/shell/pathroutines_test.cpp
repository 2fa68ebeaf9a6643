#include "platform/shell/pathroutines.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <clocale>

namespace {

using vidora::CenterInRect;
using vidora::ExtractFileBaseName;
using vidora::FitRectKeepAspect;
using vidora::ReplacePathPrefix;
using vidora::SafeStrToFloat;
using vidora::SafeStrToInt;

TEST(ReplacePathPrefix, MovesWholeComponentsOnly)
{
    const struct
    {
        const char *path;
        const char *oldRoot;
        const char *newRoot;
        const char *expected;
    } cases[] = {
        {"/media/E/Tools/Player/play", "/media/E/Tools/", "/media/F/Tools/",
         "/media/F/Tools/Player/play"},
        {"/media/E/Tools/play", "/media/E/Tools", "/media/F/Tools", "/media/F/Tools/play"},
        {"/media/E/Tools/play", "/media/E/Tools/", "/media/F/Tools", "/media/F/Tools/play"},
        {"/media/E/Tools/play", "/media/E/Tools", "/media/F/Tools/", "/media/F/Tools/play"},
        // A folder path with its trailing separator moves too.
        {"/media/E/Tools/Out/", "/media/E/Tools/", "/opt/v/", "/opt/v/Out/"},
        {"/media/E/Tools/", "/media/E/Tools/", "/opt/v/", "/opt/v/"},
        // No match inside a component.
        {"/media/E/ToolsX/play", "/media/E/Tools", "/media/F/Tools", "/media/E/ToolsX/play"},
        {"/media/E/Toolbox/play", "/media/E/Tool", "/x", "/media/E/Toolbox/play"},
        // The root must cover the folder, not the file name.
        {"/media/E/Tools", "/media/E/Tools", "/x", "/media/E/Tools"},
        // Letter case matters on Linux.
        {"/media/E/Video/clip.avi", "/media/E/video", "/media/D/Clips", "/media/E/Video/clip.avi"},
        {"/media/E/Video/clip.avi", "/media/E/Video", "/media/D/Clips", "/media/D/Clips/clip.avi"},
        // Another place, relative paths, empty arguments: unchanged.
        {"/other/play", "/media/E/Tools/", "/media/F/", "/other/play"},
        {"Tools/play", "/media/E/Tools/", "/media/F/", "Tools/play"},
        {"", "/media/E/", "/media/F/", ""},
        {"/media/E/play", "", "/media/F/", "/media/E/play"},
        {"/media/E/play", "/media/E/", "", "/media/E/play"},
        // The root "/" on either side.
        {"/a/b", "/", "/mnt/usb/", "/mnt/usb/a/b"},
        {"/mnt/usb/a/b", "/mnt/usb", "/", "/a/b"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ReplacePathPrefix(QString::fromUtf8(c.path), QString::fromUtf8(c.oldRoot),
                                    QString::fromUtf8(c.newRoot)),
                  QString::fromUtf8(c.expected))
            << c.path << " from " << c.oldRoot << " to " << c.newRoot;
    }
}

TEST(SafeStrToInt, TrimsAndRefusesWhatIsNotAnInteger)
{
    const struct
    {
        const char *text;
        int expected;
    } cases[] = {
        {" 42 ", 42},      {"\t-17\r\n", -17}, {"+8", 8},    {"4x2", 0},
        {"", 0},           {"   ", 0},         {"1.5", 0},   {"2147483647", 2147483647},
        {"2147483648", 0}, {"0x10", 0},        {"1 000", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SafeStrToInt(QString::fromUtf8(c.text)), c.expected) << '"' << c.text << '"';
}

// Reads numbers in the form of the default locale, as typed by the user.
TEST(SafeStrToFloat, FollowsTheDefaultLocale)
{
    const struct
    {
        QLocale locale;
        const char *text;
        double expected;
    } cases[] = {
        {QLocale::c(), " 1.5 ", 1.5},
        {QLocale::c(), "-0.25", -0.25},
        {QLocale::c(), "1,5", 0.0},
        {QLocale::c(), "1,000.5", 0.0},
        {QLocale::c(), "abc", 0.0},
        {QLocale::c(), "", 0.0},
        {QLocale::c(), "inf", 0.0},
        {QLocale::c(), "nan", 0.0},
        {QLocale(QLocale::German, QLocale::Germany), " 1,5 ", 1.5},
        {QLocale(QLocale::German, QLocale::Germany), "-0,25", -0.25},
        {QLocale(QLocale::German, QLocale::Germany), "1.000,5", 0.0},
        {QLocale(QLocale::German, QLocale::Germany), "x", 0.0},
    };
    const QLocale saved;
    for (const auto &c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_DOUBLE_EQ(SafeStrToFloat(QString::fromUtf8(c.text)), c.expected)
            << c.locale.name().toStdString() << " \"" << c.text << '"';
    }
    QLocale::setDefault(saved);
}

TEST(CenterInRect, CentresWithHalvesTruncated)
{
    const struct
    {
        QRect control;
        QRect bounds;
        QPoint expectedTopLeft;
    } cases[] = {
        {QRect(0, 0, 100, 50), QRect(0, 0, 400, 300), QPoint(150, 125)},
        {QRect(7, 9, 101, 51), QRect(10, 20, 400, 300), QPoint(159, 144)},
        // Larger than the bounds: sticks out evenly, truncated toward zero.
        {QRect(0, 0, 401, 300), QRect(0, 0, 400, 300), QPoint(0, 0)},
        {QRect(0, 0, 403, 305), QRect(0, 0, 400, 300), QPoint(-1, -2)},
    };
    for (const auto &c : cases) {
        const QRect result = CenterInRect(c.control, c.bounds);
        EXPECT_EQ(result.topLeft(), c.expectedTopLeft);
        EXPECT_EQ(result.size(), c.control.size());
    }
}

TEST(FitRectKeepAspect, LargestCentredRectangleOfTheProportions)
{
    const struct
    {
        int w;
        int h;
        QRect bounds;
        QRect expected;
    } cases[] = {
        {4, 3, QRect(0, 0, 400, 400), QRect(0, 50, 400, 300)},
        {16, 9, QRect(0, 0, 720, 576), QRect(0, 85, 720, 405)},
        {4, 3, QRect(0, 0, 800, 300), QRect(200, 0, 400, 300)},
        {4, 3, QRect(10, 20, 400, 300), QRect(10, 20, 400, 300)},
        {3, 4, QRect(5, 5, 100, 100), QRect(17, 5, 75, 100)},
        // Picture sizes far beyond any screen do not overflow.
        {1000000, 999999, QRect(0, 0, 30000, 30000), QRect(0, 0, 30000, 29999)},
    };
    for (const auto &c : cases) {
        const std::optional<QRect> result = FitRectKeepAspect(c.w, c.h, c.bounds);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, c.expected) << c.w << ':' << c.h;
    }
    EXPECT_FALSE(FitRectKeepAspect(0, 3, QRect(0, 0, 10, 10)));
    EXPECT_FALSE(FitRectKeepAspect(4, -1, QRect(0, 0, 10, 10)));
}

TEST(ExtractFileBaseName, NameWithoutFolderAndLastExtension)
{
    const struct
    {
        const char *path;
        const char *expected;
    } cases[] = {
        {"/v/clip.avi", "clip"},
        {"/v/clip.take2.avi", "clip.take2"},
        {"/v.d/clip", "clip"},
        {"clip.avi", "clip"},
        {"/v/", ""},
        {"/v/.hidden", ""},
        {"/v/été 2004.AVI", "été 2004"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ExtractFileBaseName(QString::fromUtf8(c.path)), QString::fromUtf8(c.expected))
            << c.path;
}

} // namespace
