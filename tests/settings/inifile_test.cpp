#include "settings/inifile.h"
#include "settings/textcodec.h"

#include "platform/durablefile.h"
#include "support/smalldisk.h"
#include "support/tools.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <stdexcept>

namespace {

using vidora::IniLookup;
using vidora::IniWrite;
using vidora::test::readFileBytes;
using vidora::test::writeFileBytes;

const QString kSection = QStringLiteral("[\\Software\\Vesk Tobrek\\Vidora]");

QStringList lines(std::initializer_list<const char *> texts)
{
    QStringList result;
    for (const char *text : texts)
        result.append(QString::fromUtf8(text));
    return result;
}

TEST(IniLookup, ReadsOnlyTheNamedLineOfTheSection)
{
    const struct
    {
        QStringList file;
        const char *name;
        std::optional<QString> expected;
    } cases[] = {
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "Width=640"}), "Width", QStringLiteral("640")},
        // Headers compare after trimming characters below 33, exactly.
        {lines({"  \t[\\Software\\Vesk Tobrek\\Vidora] \t", "Width=640"}), "Width",
         QStringLiteral("640")},
        {lines({R"([\software\vesk tobrek\vidora])", "Width=640"}), "Width", std::nullopt},
        // Lines before the first header and under other headers are never read.
        {lines({"Width=1", R"([\Software\Vesk Tobrek\Vidora])"}), "Width", std::nullopt},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "[Other]", "Width=2"}), "Width", std::nullopt},
        {lines({"[Other]", "Width=2", R"([\Software\Vesk Tobrek\Vidora])", "Width=3"}), "Width",
         QStringLiteral("3")},
        // Names compare exactly: case and blanks count.
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "width=640"}), "Width", std::nullopt},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "Width =640"}), "Width", std::nullopt},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", " Width=640"}), "Width", std::nullopt},
        // The value is everything after the first "=", untrimmed.
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "texte1=a=b "}), "texte1",
         QStringLiteral("a=b ")},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "texte1="}), "texte1", QString()},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "Width"}), "Width", std::nullopt},
        // The first line of the name wins.
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "Width=1", "Width=2"}), "Width",
         QStringLiteral("1")},
        {{}, "Width", std::nullopt},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(IniLookup(c.file, kSection, QString::fromUtf8(c.name)), c.expected)
            << c.file.join(QLatin1Char('|')).toStdString();
    }
}

TEST(IniWrite, ReplacesOrAddsAtTheEndOfTheSection)
{
    const struct
    {
        QStringList before;
        QStringList after;
    } cases[] = {
        {{}, lines({R"([\Software\Vesk Tobrek\Vidora])", "Width=640"})},
        {lines({R"([\Software\Vesk Tobrek\Vidora])"}),
         lines({R"([\Software\Vesk Tobrek\Vidora])", "Width=640"})},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "Width=1", "Height=2"}),
         lines({R"([\Software\Vesk Tobrek\Vidora])", "Width=640", "Height=2"})},
        {lines({R"([\Software\Vesk Tobrek\Vidora])", "Height=2", "", "[Next]", "a=b"}),
         lines(
             {R"([\Software\Vesk Tobrek\Vidora])", "Height=2", "", "Width=640", "[Next]", "a=b"})},
        // Another program's line of that name stays; ours is added.
        {lines({"Width=1", "[Other]", "Width=2"}),
         lines(
             {"Width=1", "[Other]", "Width=2", R"([\Software\Vesk Tobrek\Vidora])", "Width=640"})},
        {lines({"; note", R"( [\Software\Vesk Tobrek\Vidora] )", "[Other]", "Width=2"}),
         lines(
             {"; note", R"( [\Software\Vesk Tobrek\Vidora] )", "Width=640", "[Other]", "Width=2"})},
    };
    for (const auto &c : cases) {
        QStringList file = c.before;
        IniWrite(file, kSection, QStringLiteral("Width"), QStringLiteral("640"));
        EXPECT_EQ(file, c.after) << c.before.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(IniLookup(file, kSection, QStringLiteral("Width")), QStringLiteral("640"));
    }
}

TEST(IniFile, SavesUtf16WithBomAndCrLf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Vidora.ini"));
    vidora::SaveIniLines(path, lines({"[S]", "a=é€"}));
    const QByteArray expected("\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0\xE9\0\xAC\x20\r\0\n\0", 24);
    EXPECT_EQ(readFileBytes(path), expected);
    // Replaced whole: nothing is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Vidora.ini")});

    const vidora::IniLoadResult loaded = vidora::LoadIniLines(path);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.lines, lines({"[S]", "a=é€"}));
}

// The settings file on a full disk, or when the last flush fails: the save
// fails with the system's reason and the older file stays whole.
TEST(IniFile, ASaveThatCannotBeCompletedKeepsTheOlderFile)
{
    QTemporaryDir dir;
    QStringList many = lines({"[S]"});
    for (int i = 0; i < 5000; ++i)
        many << QStringLiteral("value%1=%1").arg(i);
    const auto expectKept = [&](const QString &path, int error) {
        try {
            vidora::SaveIniLines(path, many);
            ADD_FAILURE() << "the save reported success";
        } catch (const std::exception &failure) {
            EXPECT_EQ(QString::fromUtf8(failure.what()),
                      "Cannot write the settings file " + path + ": " +
                          QString::fromLocal8Bit(std::strerror(error)));
        }
        EXPECT_EQ(readFileBytes(path), "older");
    };
    {
        const QString path = dir.filePath("Vidora.ini");
        writeFileBytes(path, "older");
        vidora::DurableWriteFaultsScope faults({.syncError = EIO});
        expectKept(path, EIO);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Vidora.ini"});

    vidora::test::SmallDisk disk(dir.filePath("small"), 64 * 1024);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString path = disk.path() + "/Vidora.ini";
    writeFileBytes(path, "older");
    disk.fill();
    expectKept(path, ENOSPC);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".filler", "Vidora.ini"}));
}

TEST(IniFile, LoadsAnyLineBreakAndEncoding)
{
    const struct
    {
        QByteArray bytes;
        QStringList expected;
    } cases[] = {
        {QByteArray("a\r\nb\rc\nd"), lines({"a", "b", "c", "d"})},
        {QByteArray("a\r\n\r\nb\r\n"), lines({"a", "", "b"})},
        {QByteArray("\n"), lines({""})},
        {QByteArray(), {}},
        {QByteArray("\xEF\xBB\xBFx=\xC3\xA9t\xC3\xA9"), lines({"x=été"})},
        {QByteArray("x=\xC3\xA9t\xC3\xA9"), lines({"x=été"})},
        // Not UTF-8: the 8-bit code page of Windows.
        {QByteArray("D\xE9\x63\x61lage=\x80"), lines({"Décalage=€"})},
        {QByteArray("\xFE\xFF\0x\0=\0\x31", 8), lines({"x=1"})},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Vidora.ini"));
    for (const auto &c : cases) {
        writeFileBytes(path, c.bytes);
        const vidora::IniLoadResult loaded = vidora::LoadIniLines(path);
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.lines, c.expected) << c.bytes.toHex().constData();
    }
    const vidora::IniLoadResult missing =
        vidora::LoadIniLines(dir.filePath(QStringLiteral("none.ini")));
    EXPECT_TRUE(missing.ok);
    EXPECT_TRUE(missing.lines.isEmpty());
    const vidora::IniLoadResult folder = vidora::LoadIniLines(dir.path());
    EXPECT_FALSE(folder.ok);
    EXPECT_TRUE(folder.error.contains(dir.path())) << folder.error.toStdString();
}

TEST(IniFile, RefusesAFileBeyondTheSizeLimit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Vidora.ini"));
    writeFileBytes(path, "\xFF\xFE");
    {
        QFile file(path);
        ASSERT_TRUE(file.resize(vidora::kMaxIniFileBytes + 2));
    }
    const vidora::IniLoadResult loaded = vidora::LoadIniLines(path);
    EXPECT_FALSE(loaded.ok);
    EXPECT_TRUE(loaded.lines.isEmpty());
    EXPECT_TRUE(loaded.error.contains(path)) << loaded.error.toStdString();
}

TEST(IniReal, WrittenWithPointReadWithPointOrComma)
{
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(vidora::FormatIniReal(0.125), QStringLiteral("0.125"));
    EXPECT_EQ(vidora::FormatIniReal(-1.5), QStringLiteral("-1.5"));
    EXPECT_EQ(vidora::ParseIniReal(vidora::FormatIniReal(1.0 / 24.0)), 1.0 / 24.0);

    const struct
    {
        const char *text;
        std::optional<double> expected;
    } cases[] = {
        {"0.5", 0.5},
        {" 0,5 ", 0.5},
        {"-2", -2.0},
        {"1e-3", 0.001},
        {"1E20", 1e20},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"1.000,5", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"1e999", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vidora::ParseIniReal(QString::fromUtf8(c.text)), c.expected) << c.text;
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");
}

} // namespace
