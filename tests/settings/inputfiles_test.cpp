#include "settings/inputfiles.h"
#include "settings/textcodec.h"

#include "support/tools.h"

#include <QElapsedTimer>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace vidora;
using vidora::test::makeHostileFiles;
using vidora::test::writeFileBytes;

// Each case ends at once: a FIFO with no writer, a link to an endless device
// and a file past the limit are refused without being read.
TEST(ReadRegularFile, ReadsOnlyRegularFilesWithinTheLimit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    constexpr qint64 limit = 1000;
    const auto hostile = makeHostileFiles(dir.path(), QStringLiteral(".txt"), 64 * 1024 * 1024);
    const QString atLimit = dir.filePath(QStringLiteral("at-limit.txt"));
    writeFileBytes(atLimit, QByteArray(limit, 'a'));
    const QString pastLimit = dir.filePath(QStringLiteral("past-limit.txt"));
    writeFileBytes(pastLimit, QByteArray(limit + 1, 'a'));
    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    writeFileBytes(empty, QByteArray());
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(atLimit, link));

    struct Case
    {
        QString path;
        qint64 bytes; // -1: refused
        bool missing;
        const char *reason;
    };
    const Case cases[] = {
        {atLimit, limit, false, ""},
        {link, limit, false, ""}, // a link to a regular file is that file
        {empty, 0, false, ""},
        {pastLimit, -1, false, "the file is larger than 1000 bytes"},
        {hostile.huge, -1, false, "the file is larger than 1000 bytes"},
        {hostile.fifo, -1, false, "it is not a regular file"},
        {hostile.deviceLink, -1, false, "it is not a regular file"},
        {dir.path(), -1, false, "it is not a regular file"},
        {dir.filePath(QStringLiteral("missing.txt")), -1, true, "No such file or directory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QElapsedTimer clock;
        clock.start();
        const TFileRead read = ReadRegularFile(c.path, limit);
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_EQ(read.missing, c.missing);
        if (c.bytes < 0) {
            EXPECT_FALSE(read.bytes.has_value());
            EXPECT_TRUE(read.error.startsWith(c.path + QStringLiteral(": ")))
                << read.error.toStdString();
            EXPECT_TRUE(read.error.endsWith(QString::fromUtf8(c.reason)))
                << read.error.toStdString();
        } else {
            ASSERT_TRUE(read.bytes.has_value()) << read.error.toStdString();
            EXPECT_EQ(read.bytes->size(), c.bytes);
            EXPECT_TRUE(read.error.isEmpty());
        }
    }
}

QByteArray encoded(QStringConverter::Encoding encoding, const QString &text)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

TEST(DecodeTextFile, Utf16WithoutAMarkIsToldByItsZeroBytes)
{
    const QString text = QStringLiteral("+o=/home/u/Vidéos/été.avi\r\nquit\r\n");
    struct Case
    {
        const char *name;
        QByteArray bytes;
        TUtf16Guess guess;
    };
    const Case cases[] = {
        {"UTF-16LE", encoded(QStringConverter::Utf16LE, text), TUtf16Guess::LittleEndian},
        {"UTF-16BE", encoded(QStringConverter::Utf16BE, text), TUtf16Guess::BigEndian},
        // One non-Latin letter among them does not change the guess.
        {"UTF-16LE with a euro sign",
         encoded(QStringConverter::Utf16LE, text + QStringLiteral("€")), TUtf16Guess::LittleEndian},
        {"UTF-8", text.toUtf8(), TUtf16Guess::None},
        {"an odd count of bytes", encoded(QStringConverter::Utf16LE, text) + 'x',
         TUtf16Guess::None},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf16WithoutMark(c.bytes), c.guess);
        const std::optional<QString> decoded = DecodeTextFile(c.bytes);
        if (c.guess != TUtf16Guess::None) {
            ASSERT_TRUE(decoded.has_value());
            EXPECT_TRUE(decoded->startsWith(text));
        }
    }
    EXPECT_EQ(DecodeText(text.toUtf8()), text);
}

TEST(DecodeTextFile, BytesThatAreNoTextAreRefused)
{
    QByteArray avi("RIFF\x10\x00\x00\x00"
                   "AVI LIST\x04\x00\x00\x00hdrl",
                   24);
    QByteArray controls;
    for (int i = 0; i < 64; ++i)
        controls += "ab\x01\x02";
    const QByteArray refused[] = {avi, QByteArray(100, '\0'), controls, QByteArray("a\0b\0c", 5)};
    for (const QByteArray &bytes : refused)
        EXPECT_FALSE(DecodeTextFile(bytes).has_value()) << bytes.toHex().toStdString();

    // Tabs, page breaks and an old end-of-file mark are text.
    const QByteArray kept[] = {QByteArray("a\tb\r\nc\fd\x1A"), QByteArray(),
                               QByteArray("\xE9t\xE9")};
    for (const QByteArray &bytes : kept)
        EXPECT_TRUE(DecodeTextFile(bytes).has_value()) << bytes.toHex().toStdString();
}

} // namespace
