#include "platform/sysinfo/mediaversion.h"

#include "support/tools.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// The text names the library the ffmpeg tool on this machine reports, in the
// same three-part form.
TEST(MediaVersion, NamesTheCodecLibraryAsFfmpegReportsIt)
{
    QString text = QStringLiteral("unchanged");
    vidora::GetDirectXVersion(text);
    const QRegularExpressionMatch ours =
        QRegularExpression(QStringLiteral("^libavcodec (\\d+)\\.(\\d+)\\.(\\d+)$")).match(text);
    ASSERT_TRUE(ours.hasMatch()) << text.toStdString();

    const auto tool = vidora::test::runTool(QStringLiteral("ffmpeg"), {QStringLiteral("-version")});
    ASSERT_TRUE(tool.started);
    // "libavcodec     59. 37.100 / 59. 37.100": built-with / running.
    const QRegularExpressionMatch theirs =
        QRegularExpression(QStringLiteral("libavcodec\\s+(\\d+)\\.\\s*(\\d+)\\.\\s*(\\d+)"))
            .match(QString::fromUtf8(tool.out));
    ASSERT_TRUE(theirs.hasMatch()) << tool.out.toStdString();
    for (int field = 1; field <= 3; ++field)
        EXPECT_EQ(ours.captured(field).toInt(), theirs.captured(field).toInt()) << field;
}

} // namespace
