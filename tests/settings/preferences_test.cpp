#include "settings/preferences.h"

#include "settings/inifile.h"
#include "support/isolatedhome.h"
#include "support/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

using namespace vidora;
using vidora::test::IsolatedHome;
using vidora::test::readFileBytes;
using vidora::test::writeFileBytes;

const QString kKeyPath = QStringLiteral("\\Software\\Vesk Tobrek\\Vidora");
const QString kSection = QLatin1Char('[') + kKeyPath + QLatin1Char(']');

class PreferencesStore : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    PreferencesFiles files() const
    {
        return {home.configHome() + QStringLiteral("/Vesk Tobrek/Vidora.conf"),
                home.root() + QStringLiteral("/Vidora.ini")};
    }

    void writeIni(std::initializer_list<const char *> texts) const
    {
        QStringList lines;
        for (const char *text : texts)
            lines.append(QString::fromUtf8(text));
        SaveIniLines(files().iniFile, lines);
    }

    QStringList iniLines() const { return LoadIniLines(files().iniFile).lines; }

    IsolatedHome home;
};

TEST_F(PreferencesStore, EmptyTextIsStoredAsTheMarkerButAFontNameIsNot)
{
    TfontRecord font;
    font.Name.clear();
    font.Size = 20;
    for (const std::uint8_t mode : {kPreferencesRegistry, kPreferencesPortable}) {
        SCOPED_TRACE(mode);
        {
            TWritePreferences writer(kKeyPath, mode, files());
            writer.WriteString(QStringLiteral("Fichier F3"), QString());
            writer.WriteFont(QStringLiteral("IncrustFont"), font);
            writer.Commit();
        }
        TReadPreferences reader(kKeyPath, mode, files());
        EXPECT_EQ(reader.ReadString(QStringLiteral("Fichier F3"), QStringLiteral("default")),
                  QString());
        TfontRecord fallback;
        fallback.Name = QStringLiteral("Arial");
        EXPECT_EQ(reader.ReadFont(QStringLiteral("IncrustFont"), fallback), font);
    }
    const QStringList lines = iniLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Fichier F3=#@vide§#")));
    EXPECT_TRUE(lines.contains(QStringLiteral("IncrustFont\\FontName=")));
    const QSettings registry(files().registryFile, QSettings::NativeFormat);
    EXPECT_EQ(registry.value(QStringLiteral("Fichier F3")).toString(), QStringLiteral("#@vide§#"));
    EXPECT_EQ(registry.value(QStringLiteral("IncrustFont/FontName")).toString(), QString());
}

TEST_F(PreferencesStore, FileValuesFollowTheReadingRules)
{
    writeIni({"SendTo=0", "[Other]", "Deinterlace=0", R"([\Software\Vesk Tobrek\Vidora])",
              "b yes=yes", "b empty=", "b zero= 0 ", "b tab zero=\t0", "b two=2", "i bad=12abc",
              "i blanks= 42 ", "i empty=", "i huge=99999999999", "f comma=0,25", "f bad=x",
              "s blanks=  a b  ", "s marker=#@vide§#", "IncrustFont\\FontSize=big",
              "IncrustFont\\FontBold=1"});
    TReadPreferences reader(kKeyPath, kPreferencesPortable, files());
    EXPECT_FALSE(reader.ReadBool(QStringLiteral("SendTo"), false));
    EXPECT_TRUE(reader.ReadBool(QStringLiteral("Deinterlace"), true));
    EXPECT_TRUE(reader.ReadBool(QStringLiteral("b yes"), false));
    EXPECT_TRUE(reader.ReadBool(QStringLiteral("b empty"), false));
    EXPECT_FALSE(reader.ReadBool(QStringLiteral("b zero"), true));
    EXPECT_FALSE(reader.ReadBool(QStringLiteral("b tab zero"), true));
    EXPECT_TRUE(reader.ReadBool(QStringLiteral("b two"), false));
    EXPECT_TRUE(reader.ReadBool(QStringLiteral("b missing"), true));
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("i bad"), 7), 7);
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("i blanks"), 7), 42);
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("i empty"), 7), 7);
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("i huge"), 7), 7);
    EXPECT_EQ(reader.ReadFloat(QStringLiteral("f comma"), 1.0), 0.25);
    EXPECT_EQ(reader.ReadFloat(QStringLiteral("f bad"), 1.0), 1.0);
    EXPECT_EQ(reader.ReadString(QStringLiteral("s blanks"), QString()), QStringLiteral("  a b  "));
    EXPECT_EQ(reader.ReadString(QStringLiteral("s marker"), QStringLiteral("d")), QString());
    EXPECT_EQ(reader.ReadString(QStringLiteral("s missing"), QStringLiteral("d")),
              QStringLiteral("d"));
    TfontRecord expected = DefaultIncrustFont();
    expected.Bold = 1;
    EXPECT_EQ(reader.ReadFont(QStringLiteral("IncrustFont"), DefaultIncrustFont()), expected);
}

TEST_F(PreferencesStore, WritesKeepOtherProgramsLines)
{
    writeIni({"SendTo=1", "[Other]", "SendTo=1"});
    {
        TWritePreferences writer(kKeyPath, kPreferencesPortable, files());
        writer.WriteBool(QStringLiteral("SendTo"), false);
        writer.Commit();
    }
    EXPECT_EQ(iniLines(),
              (QStringList{QStringLiteral("SendTo=1"), QStringLiteral("[Other]"),
                           QStringLiteral("SendTo=1"), kSection, QStringLiteral("SendTo=0")}));
    TReadPreferences reader(kKeyPath, kPreferencesPortable, files());
    EXPECT_FALSE(reader.ReadBool(QStringLiteral("SendTo"), true));
}

TEST_F(PreferencesStore, ATextWithALineBreakIsNotStoredInTheFile)
{
    writeIni({R"([\Software\Vesk Tobrek\Vidora])", "texte1=old", "[Next]"});
    {
        TWritePreferences writer(kKeyPath, kPreferencesPortable, files());
        writer.WriteString(QStringLiteral("texte1"), QStringLiteral("one\ntwo"));
        writer.WriteString(QStringLiteral("texte2"), QStringLiteral("a\rb"));
        writer.Commit();
    }
    EXPECT_EQ(iniLines(),
              (QStringList{kSection, QStringLiteral("texte1=old"), QStringLiteral("[Next]")}));
}

TEST_F(PreferencesStore, ModeNoneReadsDefaultsAndWritesNothing)
{
    writeIni({R"([\Software\Vesk Tobrek\Vidora])", "Width=1"});
    {
        TReadPreferences reader(kKeyPath, kPreferencesNone, files());
        EXPECT_EQ(reader.ReadInteger(QStringLiteral("Width"), 596), 596);
        EXPECT_EQ(reader.ReadString(QStringLiteral("texte1"), QStringLiteral("d")),
                  QStringLiteral("d"));
        EXPECT_EQ(reader.ReadFloat(QStringLiteral("f"), 0.5), 0.5);
        EXPECT_TRUE(reader.ReadBool(QStringLiteral("b"), true));
    }
    const QByteArray before = readFileBytes(files().iniFile);
    {
        TWritePreferences writer(kKeyPath, kPreferencesNone, files());
        writer.WriteInteger(QStringLiteral("Width"), 2);
        writer.WriteFont(QStringLiteral("IncrustFont"), DefaultIncrustFont());
        writer.Commit();
    }
    EXPECT_EQ(readFileBytes(files().iniFile), before);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(files().registryFile).absolutePath()));
}

TEST_F(PreferencesStore, RegistryValuesAfterTheFontLieInItsGroup)
{
    {
        TWritePreferences writer(kKeyPath, kPreferencesRegistry, files());
        writer.WriteInteger(QStringLiteral("Width"), 640);
        writer.WriteFont(QStringLiteral("IncrustFont"), DefaultIncrustFont());
        writer.WriteInteger(QStringLiteral("Volume"), 100);
        writer.WriteFloat(QStringLiteral("Décalage Horaire"), 0.5);
        writer.Commit();
    }
    const QSettings registry(files().registryFile, QSettings::NativeFormat);
    EXPECT_EQ(registry.childKeys(), QStringList{QStringLiteral("Width")});
    EXPECT_EQ(registry.value(QStringLiteral("IncrustFont/Volume")).toInt(), 100);
    EXPECT_EQ(registry.value(QStringLiteral("IncrustFont/Décalage Horaire")).toString(),
              QStringLiteral("0.5"));

    TReadPreferences reader(kKeyPath, kPreferencesRegistry, files());
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("Width"), 0), 640);
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("Volume"), 0), 0); // not entered the font yet
    EXPECT_EQ(reader.ReadFont(QStringLiteral("IncrustFont"), TfontRecord{}), DefaultIncrustFont());
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("Volume"), 0), 100);
    EXPECT_EQ(reader.ReadFloat(QStringLiteral("Décalage Horaire"), 0), 0.5);
}

TEST_F(PreferencesStore, RegistryWithoutTheFontGroupStaysInTheMainKey)
{
    QDir().mkpath(QFileInfo(files().registryFile).absolutePath());
    writeFileBytes(files().registryFile,
                   "[General]\nVolume=100\nWidth=abc\nSendTo=true\nDeinterlace=0\nList=a, b\n");
    TReadPreferences reader(kKeyPath, kPreferencesRegistry, files());
    TfontRecord fallback;
    fallback.Name = QStringLiteral("Arial");
    EXPECT_EQ(reader.ReadFont(QStringLiteral("IncrustFont"), fallback), fallback);
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("Volume"), 0), 100);
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("Width"), 596), 596);
    EXPECT_TRUE(reader.ReadBool(QStringLiteral("SendTo"), false));
    EXPECT_FALSE(reader.ReadBool(QStringLiteral("Deinterlace"), true));
    EXPECT_EQ(reader.ReadString(QStringLiteral("List"), QStringLiteral("d")), QStringLiteral("d"));
}

TEST_F(PreferencesStore, MissingRegistryKeyGivesDefaultsAndIsNotCreatedByReading)
{
    TReadPreferences reader(kKeyPath, kPreferencesRegistry, files());
    EXPECT_EQ(reader.ReadInteger(QStringLiteral("Width"), 596), 596);
    EXPECT_EQ(reader.ReadFont(QStringLiteral("IncrustFont"), DefaultIncrustFont()),
              DefaultIncrustFont());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(files().registryFile).absolutePath()));
}

TEST_F(PreferencesStore, FailedSavesAreReportedAndLoseNothing)
{
    // The portable file cannot be read (a folder stands there): it is not
    // overwritten with only the values of this save.
    ASSERT_TRUE(QDir().mkpath(files().iniFile));
    {
        TWritePreferences writer(kKeyPath, kPreferencesPortable, files());
        writer.WriteInteger(QStringLiteral("Width"), 1);
        EXPECT_THROW(writer.Commit(), PreferencesSaveError);
    }
    EXPECT_TRUE(QFileInfo(files().iniFile).isDir());

    // The folder of the file is missing.
    PreferencesFiles nowhere = files();
    nowhere.iniFile = home.root() + QStringLiteral("/missing/Vidora.ini");
    TWritePreferences portable(kKeyPath, kPreferencesPortable, nowhere);
    portable.WriteInteger(QStringLiteral("Width"), 1);
    try {
        portable.Commit();
        ADD_FAILURE() << "no error";
    } catch (const PreferencesSaveError &error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains(nowhere.iniFile)) << error.what();
    }

    // The registry folder is a file.
    writeFileBytes(home.root() + QStringLiteral("/maker"), "x");
    PreferencesFiles blocked = files();
    blocked.registryFile = home.root() + QStringLiteral("/maker/Vidora.conf");
    TWritePreferences registry(kKeyPath, kPreferencesRegistry, blocked);
    registry.WriteInteger(QStringLiteral("Width"), 1);
    EXPECT_THROW(registry.Commit(), PreferencesSaveError);
}

} // namespace
