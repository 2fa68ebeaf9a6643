#include "settings/settings.h"

#include "settings/inifile.h"
#include "support/isolatedhome.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <type_traits>
#include <variant>

namespace {

using namespace vidora;
using vidora::test::IsolatedHome;
using vidora::test::readFileBytes;
using vidora::test::writeFileBytes;

const QString kSection = QStringLiteral("[\\Software\\Vesk Tobrek\\Vidora]");

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(home.root() + QStringLiteral("/prog")));
        environment.programFolder = home.root() + QStringLiteral("/prog/");
        environment.programFilePath = environment.programFolder + QStringLiteral("vidora");
        environment.registryFolder = home.configHome() + QStringLiteral("/Vesk Tobrek");
        environment.screenSize = QSize(1920, 1080);
    }

    void writeIni(const QStringList &lines) const
    {
        SaveIniLines(environment.iniFilePath(), lines);
    }
    QStringList iniLines() const { return LoadIniLines(environment.iniFilePath()).lines; }

    void writeRegistry(const QString &file, const QString &name, const QString &value) const
    {
        QSettings key(file, QSettings::NativeFormat);
        key.setValue(name, value);
        key.sync();
        ASSERT_EQ(key.status(), QSettings::NoError);
    }

    // Every setting away from its default; texts that test the stores'
    // quoting and escapes.
    SettingValues nonDefaultValues() const
    {
        SettingValues v;
        v.Width = 800;
        v.Height = 600;
        v.Top = -3;
        v.Left = -8;
        v.WindowState = 2;
        v.SendTo = true;
        v.SelectWhenOpening = true;
        v.SaveListWhenQuit = true;
        v.FormatAddDatecode = QString(); // stored as the empty-text marker
        v.FormatAddTimecode = QStringLiteral("hh:nn:ss");
        v.FormatShowDatecode = QStringLiteral("dddddd 'à' t");
        v.FormatRename = QStringLiteral("yyyy-mm-dd");
        v.FolderToOpenFiles = environment.programFolder + QStringLiteral("open, here/");
        v.AutoOpenFolder = QStringLiteral("/srv/Vidéos/auto/");
        v.PlaylistFolder = QStringLiteral("/srv/lists;x/");
        v.SaveInSameFolder = false;
        v.SaveFolder = QStringLiteral("/srv/out=put/");
        v.Incrust.DateFormat1 = QStringLiteral("dd/mm/yyyy");
        v.Incrust.DateFormat2 = QStringLiteral("hh:nn");
        v.Incrust.When = 3;
        v.Incrust.Font = {QStringLiteral("DejaVu Sans"), 24, 0x00123456, 1, 1, 1, 1};
        v.Incrust.Seconds = 9;
        v.Incrust.Outline = 5;
        v.WhatIncrust = 2;
        v.FileF3 = QStringLiteral("/opt/My Player, v2/play");
        v.FileF4 = QStringLiteral("  /opt/padded  ");
        v.FileQuillmark = QStringLiteral("/opt/quillmark/quillmark");
        v.DvAudioRate = 0;
        v.DvStandard = 1;
        v.DvRatio = 1;
        v.SortIndex = QStringLiteral("date");
        v.ShortcutSortColumn = 3;
        v.PortablePath = environment.programFolder;
        v.DisplayMode = 4;
        v.ReturnMode = 1; // every load sets it to 1
        v.Volume = 1200;
        v.IsMuteOn = true;
        v.IncrustPositionX = 10;
        v.IncrustPositionY = 999;
        v.IncrustSlidersVisible = true;
        v.IncrustAlignment = 3;
        v.IsIncrustOn = true;
        v.AdvancedShift = true;
        v.FormatIncrustDatecode1 = QStringLiteral("d1");
        v.FormatIncrustDatecode2 = QStringLiteral("d2");
        v.TimeOffset = -2.0 / 24.0 + 0.1;
        v.Text1 = QStringLiteral("Ça = ; # [x] \\ \"q\" %D");
        v.Text2 = QStringLiteral("#@vide§");
        v.ListLeft = true;
        v.Interval = 45;
        v.RenameTemplate = QStringLiteral("%F_%D.avi");
        v.DatecodeBefore = true;
        v.TimecodeBefore = true;
        v.DurationFormat = 1;
        v.Deinterlace = false;
        v.LoadQuillmark = false;
        return v;
    }

    IsolatedHome home;
    SettingsEnvironment environment;
};

TEST_F(SettingsTest, EverySettingSurvivesASaveAndALoad)
{
    const struct
    {
        std::uint8_t mode;
        const char *locale;
    } cases[] = {
        {kPreferencesRegistry, "C"},
        {kPreferencesRegistry, "de_DE.UTF-8"},
        {kPreferencesPortable, "C"},
        {kPreferencesPortable, "de_DE.UTF-8"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << ", locale " << c.locale);
        ASSERT_NE(std::setlocale(LC_ALL, c.locale), nullptr);
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale).section(QLatin1Char('.'), 0, 0)));
        QFile::remove(environment.iniFilePath());
        QDir(environment.registryFolder).removeRecursively();

        Settings saved(environment);
        static_cast<SettingValues &>(saved) = nonDefaultValues();
        saved.PreferencesMode = c.mode;
        saved.AppVersionText = QStringLiteral("Vidora 7.0.5");
        saved.SavePreferences();

        Settings loaded(environment);
        loaded.LoadPreferences();
        EXPECT_EQ(loaded.PreferencesMode, c.mode);
        EXPECT_TRUE(static_cast<const SettingValues &>(loaded) == nonDefaultValues());
        EXPECT_EQ(loaded.Incrust, nonDefaultValues().Incrust);
        EXPECT_EQ(loaded.TimeOffset, nonDefaultValues().TimeOffset);
        EXPECT_EQ(loaded.FileF3, nonDefaultValues().FileF3);
        EXPECT_EQ(loaded.FileF4, nonDefaultValues().FileF4);
        EXPECT_EQ(loaded.Text1, nonDefaultValues().Text1);
        EXPECT_EQ(loaded.FormatAddDatecode, QString());
    }
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");
}

// The round trip above proves every row only when the test values move each
// one away from its default; the registry layout needs the rows grouped, the
// font opening its group.
TEST_F(SettingsTest, TheCatalogueHoldsEachSettingOnceGroupedAroundTheFont)
{
    const SettingValues changed = nonDefaultValues();
    QStringList names;
    bool inFont = false;
    for (const SettingDefinition &setting : SettingsCatalogue()) {
        const QString name = setting.name.toString();
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(names.contains(name));
        names << name;
        std::visit(
            [&](auto member) {
                SettingValues defaults;
                SettingValues values = changed;
                EXPECT_FALSE(member(values) == member(defaults));
                using T = std::remove_reference_t<decltype(member(values))>;
                if (setting.group == SettingGroup::Font && !inFont) {
                    EXPECT_TRUE((std::is_same_v<T, TfontRecord>));
                }
            },
            setting.member);
        if (inFont) {
            EXPECT_EQ(setting.group, SettingGroup::Font);
        }
        inFont = setting.group == SettingGroup::Font;
    }
    EXPECT_TRUE(inFont);
}

TEST_F(SettingsTest, NothingStoredMeansDefaultsAndNothingIsSaved)
{
    Settings settings(environment);
    settings.LoadPreferences();
    EXPECT_EQ(settings.PreferencesMode, kPreferencesNone);

    SettingValues expected;
    expected.Top = (1080 - 546) / 2;
    expected.Left = (1920 - 596) / 2;
    expected.FolderToOpenFiles = home.home() + QStringLiteral("/Videos");
    expected.AutoOpenFolder = expected.FolderToOpenFiles;
    expected.SaveFolder = expected.FolderToOpenFiles;
    expected.PlaylistFolder = home.home() + QStringLiteral("/Documents");
    expected.ReturnMode = 1;
    EXPECT_TRUE(static_cast<const SettingValues &>(settings) == expected);

    static_cast<SettingValues &>(settings) = nonDefaultValues();
    settings.SavePreferences();
    EXPECT_EQ(QDir(environment.programFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_FALSE(QFileInfo::exists(environment.registryFolder));
    EXPECT_EQ(QDir(home.configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(SettingsTest, TheStoreIsChosenByTheFileBesideTheProgramThenExename)
{
    const struct
    {
        bool iniBesideProgram;
        const char *exename; // nullptr: no registry key
        std::uint8_t expected;
    } cases[] = {
        {false, nullptr, kPreferencesNone},
        {false, "<program>", kPreferencesRegistry},
        {false, "<PROGRAM>", kPreferencesRegistry},
        {false, "/elsewhere/vidora", kPreferencesNone},
        {false, "", kPreferencesNone},
        {true, nullptr, kPreferencesPortable},
        {true, "<program>", kPreferencesPortable},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.iniBesideProgram << ' ' << (c.exename ? c.exename : "no key"));
        QFile::remove(environment.iniFilePath());
        QDir(environment.registryFolder).removeRecursively();
        if (c.iniBesideProgram)
            writeIni({kSection});
        if (c.exename) {
            QString exename = QString::fromUtf8(c.exename);
            if (exename == QLatin1String("<program>"))
                exename = environment.programFilePath;
            else if (exename == QLatin1String("<PROGRAM>"))
                exename = environment.programFilePath.toUpper();
            writeRegistry(environment.registryFilePath(), QStringLiteral("Exename"), exename);
        }
        EXPECT_EQ(Settings(environment).ChoosePreferencesMode(), c.expected);
    }
}

TEST_F(SettingsTest, PortableFileBytesAndNames)
{
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Settings settings(environment);
    settings.LoadPreferences();
    settings.PreferencesMode = kPreferencesPortable;
    settings.TimeOffset = 0.125;
    settings.AppVersionText = QStringLiteral("Vidora 7.0.5");
    settings.Incrust.Font.Name = QStringLiteral("Arial");
    settings.SavePreferences();

    const QByteArray bytes = readFileBytes(environment.iniFilePath());
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    ASSERT_EQ(bytes.size() % 2, 0);
    QString text;
    for (qsizetype i = 2; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8)));
    EXPECT_TRUE(text.endsWith(QLatin1String("\r\n")));
    EXPECT_EQ(text.count(QLatin1Char('\n')), text.count(QLatin1String("\r\n")));
    EXPECT_EQ(text.count(QLatin1Char('\r')), text.count(QLatin1String("\r\n")));

    const QStringList lines = text.split(QLatin1String("\r\n"));
    auto index = [&](const QString &prefix) {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).startsWith(prefix + QLatin1Char('=')))
                return i;
        }
        return qsizetype(-1);
    };
    EXPECT_EQ(lines.first(), kSection);
    EXPECT_EQ(lines.at(1), QStringLiteral("version=Vidora 7.0.5 by Vesk Tobrek"));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral(R"(^Last saving=\d{4}/\d\d/\d\d \d\d:\d\d:\d\d [ap]m$)"))
            .match(lines.at(2))
            .hasMatch())
        << lines.at(2).toStdString();
    EXPECT_EQ(lines.at(3), QStringLiteral("Exename=") + environment.programFilePath);
    EXPECT_EQ(lines.at(4), QStringLiteral("Top=267"));
    EXPECT_EQ(lines.at(5), QStringLiteral("Left=662"));
    EXPECT_EQ(lines.at(6), QStringLiteral("Width=596"));
    EXPECT_EQ(lines.at(7), QStringLiteral("Height=546"));
    const qsizetype when = index(QStringLiteral("When Incrust"));
    ASSERT_GT(when, 0);
    EXPECT_EQ(lines.mid(when + 1, 8),
              (QStringList{QStringLiteral("IncrustFont\\FontName=Arial"),
                           QStringLiteral("IncrustFont\\FontSize=16"),
                           QStringLiteral("IncrustFont\\FontColor=16777215"),
                           QStringLiteral("IncrustFont\\FontBold=0"),
                           QStringLiteral("IncrustFont\\FontItalic=0"),
                           QStringLiteral("IncrustFont\\FontUnderline=0"),
                           QStringLiteral("IncrustFont\\FontStrikeOut=0"),
                           QStringLiteral("Durée Incrustation=5")}));
    EXPECT_EQ(index(QStringLiteral("What Incrust")), index(QStringLiteral("Alignement")) + 1);
    EXPECT_TRUE(lines.contains(QStringLiteral("Décalage Horaire=0.125")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Save in the same folder=1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Fichier F3=#@vide§#")));
    EXPECT_EQ(lines.last(), QString()); // after the final CR LF
    EXPECT_EQ(lines.size(), 1 + 3 + 56 + 6 + 1);

    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");
}

TEST_F(SettingsTest, OtherLinesOfThePortableFileSurviveASave)
{
    writeIni({QStringLiteral("; written by hand"), QStringLiteral("SendTo=1"),
              QStringLiteral("[Other program]"), QStringLiteral("Width=1"), kSection,
              QStringLiteral("Unknown=keep"), QStringLiteral("Width=100"), QStringLiteral("[Last]"),
              QStringLiteral("x=y")});
    Settings settings(environment);
    settings.LoadPreferences();
    ASSERT_EQ(settings.PreferencesMode, kPreferencesPortable);
    EXPECT_FALSE(settings.SendTo);
    EXPECT_EQ(settings.Width, 100);
    settings.Width = 700;
    settings.SavePreferences();

    const QStringList lines = iniLines();
    EXPECT_EQ(lines.mid(0, 7),
              (QStringList{QStringLiteral("; written by hand"), QStringLiteral("SendTo=1"),
                           QStringLiteral("[Other program]"), QStringLiteral("Width=1"), kSection,
                           QStringLiteral("Unknown=keep"), QStringLiteral("Width=700")}));
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{QStringLiteral("[Last]"), QStringLiteral("x=y")}));
    EXPECT_EQ(lines.count(QStringLiteral("Width=700")), 1);
}

TEST_F(SettingsTest, RegistryLayoutPutsTheLaterSettingsInTheFontKey)
{
    Settings settings(environment);
    settings.PreferencesMode = kPreferencesRegistry;
    settings.Volume = 1234;
    settings.SavePreferences();

    QSettings key(environment.registryFilePath(), QSettings::NativeFormat);
    for (const char *name : {"version", "Last saving", "Exename", "Top", "Left", "Width", "Height",
                             "WindoState", "Dossier pour Sauver", "When Incrust"})
        EXPECT_TRUE(key.contains(QString::fromUtf8(name))) << name;
    EXPECT_FALSE(key.contains(QStringLiteral("Volume")));
    EXPECT_EQ(key.childGroups(), QStringList{QStringLiteral("IncrustFont")});
    key.beginGroup(QStringLiteral("IncrustFont"));
    for (const char *name : {"FontName", "FontStrikeOut", "Durée Incrustation", "Border Size",
                             "Volume", "What Incrust", "Charger Quillmark"})
        EXPECT_TRUE(key.contains(QString::fromUtf8(name))) << name;
    EXPECT_EQ(key.value(QStringLiteral("Volume")).toInt(), 1234);
    key.endGroup();
    for (const SettingDefinition &setting : SettingsCatalogue()) {
        const QString name = setting.name.toString();
        if (setting.group == SettingGroup::Main) {
            EXPECT_TRUE(key.contains(name)) << name.toStdString();
        } else if (!std::holds_alternative<SettingMember<TfontRecord>>(setting.member)) {
            EXPECT_TRUE(key.contains(QStringLiteral("IncrustFont/") + name)) << name.toStdString();
        }
    }
}

TEST_F(SettingsTest, UnreadableValuesLoadAsDefaultsAndRetourIsOne)
{
    writeIni({kSection, QStringLiteral("Width=abc"), QStringLiteral("Height= 600 "),
              QStringLiteral("Décalage Horaire=0,5"), QStringLiteral("Volume="),
              QStringLiteral("SendTo=yes"), QStringLiteral("is Mute on="),
              QStringLiteral("Deinterlace= 0 "), QStringLiteral("intervalle=12abc"),
              QStringLiteral("Alignement=258"), QStringLiteral("Retour=3"),
              QStringLiteral("IncrustFont\\FontSize=big")});
    Settings settings(environment);
    settings.LoadPreferences();
    EXPECT_EQ(settings.Width, 596);
    EXPECT_EQ(settings.Height, 600);
    EXPECT_EQ(settings.Top, (1080 - 600) / 2);
    EXPECT_EQ(settings.TimeOffset, 0.5);
    EXPECT_EQ(settings.Volume, 5000);
    EXPECT_TRUE(settings.SendTo);
    EXPECT_TRUE(settings.IsMuteOn);
    EXPECT_FALSE(settings.Deinterlace);
    EXPECT_EQ(settings.Interval, 30);
    EXPECT_EQ(settings.IncrustAlignment, 2); // 258 is out of range: the default
    EXPECT_EQ(settings.ReturnMode, 1);
    EXPECT_EQ(settings.Incrust.Font.Size, 16);
}

// Each numeric setting read is brought into its range: sizes, places and
// levels to the nearest bound, numbered choices to their default; integer
// limits neither overflow nor pass through.
TEST_F(SettingsTest, ValuesOutOfRangeAreBroughtIntoRangeOrTheirDefault)
{
    struct Case
    {
        const char *line;
        std::function<double(const Settings &)> value;
        double expected;
    };
    const Case cases[] = {
        {"Width=2147483647", [](const Settings &s) { return s.Width; }, 16384},
        {"Height=-2147483648", [](const Settings &s) { return s.Height; }, 1},
        {"Top=-2147483648", [](const Settings &s) { return s.Top; }, -16384},
        {"Left=2147483647", [](const Settings &s) { return s.Left; }, 16384},
        {"WindoState=7", [](const Settings &s) { return s.WindowState; }, 0},
        {"WindoState=2", [](const Settings &s) { return s.WindowState; }, 2},
        {"Volume=-5", [](const Settings &s) { return s.Volume; }, 0},
        {"Volume=2147483647", [](const Settings &s) { return s.Volume; }, 10000},
        {"Volume=7000", [](const Settings &s) { return s.Volume; }, 7000},
        {"Incrust positionX=5000", [](const Settings &s) { return s.IncrustPositionX; }, 1000},
        {"Incrust positionY=-2147483648", [](const Settings &s) { return s.IncrustPositionY; }, 0},
        {"IncrustFont\\FontSize=-5", [](const Settings &s) { return s.Incrust.Font.Size; }, 16},
        {"IncrustFont\\FontSize=2147483647", [](const Settings &s) { return s.Incrust.Font.Size; },
         16},
        {"IncrustFont\\FontSize=30", [](const Settings &s) { return s.Incrust.Font.Size; }, 30},
        {"Frequence DV=513", [](const Settings &s) { return s.DvAudioRate; }, 2},
        {"Frequence DV=1", [](const Settings &s) { return s.DvAudioRate; }, 1},
        {"standard DV=2", [](const Settings &s) { return s.DvStandard; }, 0},
        {"ratio DV=-1", [](const Settings &s) { return s.DvRatio; }, 0},
        {"When Incrust=4", [](const Settings &s) { return s.Incrust.When; }, 2},
        {"Durée Incrustation=-1", [](const Settings &s) { return s.Incrust.Seconds; }, 0},
        {"Border Size=9", [](const Settings &s) { return s.Incrust.Outline; }, 5},
        {"What Incrust=3", [](const Settings &s) { return s.WhatIncrust; }, 0},
        {"Tri des raccourcis=4", [](const Settings &s) { return s.ShortcutSortColumn; }, 0},
        {"Vue=5", [](const Settings &s) { return s.DisplayMode; }, 0},
        {"Alignement=4", [](const Settings &s) { return s.IncrustAlignment; }, 2},
        {"Format Durée=3", [](const Settings &s) { return s.DurationFormat; }, 0},
        {"intervalle=-30", [](const Settings &s) { return s.Interval; }, 0},
        {"intervalle=2147483647", [](const Settings &s) { return s.Interval; }, 86400},
        {"Décalage Horaire=1e300", [](const Settings &s) { return s.TimeOffset; }, 0.0},
        {"Décalage Horaire=nan", [](const Settings &s) { return s.TimeOffset; }, 0.0},
        {"Décalage Horaire=-1.5", [](const Settings &s) { return s.TimeOffset; }, -1.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        writeIni({kSection, QString::fromUtf8(c.line)});
        Settings settings(environment);
        settings.LoadPreferences();
        EXPECT_EQ(c.value(settings), c.expected);
    }
}

// The window centred on the screen from a stored size at the limits.
TEST_F(SettingsTest, TheCentredPlaceOfAHugeWindowDoesNotOverflow)
{
    writeIni({kSection, QStringLiteral("Width=2147483647"), QStringLiteral("Height=-2147483648")});
    Settings settings(environment);
    settings.LoadPreferences();
    EXPECT_EQ(settings.Left, (1920 - 16384) / 2);
    EXPECT_EQ(settings.Top, (1080 - 1) / 2);
}

// No numeric setting is read without a range.
TEST_F(SettingsTest, EveryNumericSettingHasARange)
{
    for (const SettingDefinition &setting : SettingsCatalogue()) {
        const bool numeric = std::holds_alternative<SettingMember<int>>(setting.member) ||
                             std::holds_alternative<SettingMember<std::uint8_t>>(setting.member) ||
                             std::holds_alternative<SettingMember<double>>(setting.member);
        EXPECT_EQ(setting.range.has_value(), numeric) << setting.name.toString().toStdString();
    }
}

TEST_F(SettingsTest, PortablePathsMoveWithTheProgram)
{
    const QString prog = environment.programFolder;
    const struct
    {
        const char *stored;
        QString expected;
    } cases[] = {
        {"/media/E/Tools/Player/play", prog + QStringLiteral("Player/play")},
        {"/media/E/Tools/", prog},
        {"/media/E/Tools/Out/", prog + QStringLiteral("Out/")},
        {"/media/E/ToolsX/q", QStringLiteral("/media/E/ToolsX/q")},
        {"/media/e/tools/v", QStringLiteral("/media/e/tools/v")},
        {"/other/x", QStringLiteral("/other/x")},
        {"relative/x", QStringLiteral("relative/x")},
    };
    const char *names[] = {
        "Dossier à ouverture auto", "Folder to open files", "Dossier pour Sauver",
        "Dossier des PlayList",     "Fichier F3",           "Fichier F4",
        "Fichier Quillmark"};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        QStringList lines{kSection, QStringLiteral("Portable Path=/media/E/Tools/")};
        for (const char *name : names)
            lines.append(QString::fromUtf8(name) + QLatin1Char('=') + QString::fromUtf8(c.stored));
        writeIni(lines);
        Settings settings(environment);
        settings.LoadPreferences();
        for (const QString *path : {&settings.AutoOpenFolder, &settings.FolderToOpenFiles,
                                    &settings.SaveFolder, &settings.PlaylistFolder,
                                    &settings.FileF3, &settings.FileF4, &settings.FileQuillmark})
            EXPECT_EQ(*path, c.expected);
        // Other texts are not paths.
        EXPECT_EQ(settings.PortablePath, QStringLiteral("/media/E/Tools/"));
    }

    // Registry settings stay where they point.
    QFile::remove(environment.iniFilePath());
    Settings registry(environment);
    registry.PreferencesMode = kPreferencesRegistry;
    registry.PortablePath = QStringLiteral("/media/E/Tools/");
    registry.FileF3 = QStringLiteral("/media/E/Tools/Player/play");
    registry.SavePreferences();
    Settings loaded(environment);
    loaded.LoadPreferences();
    ASSERT_EQ(loaded.PreferencesMode, kPreferencesRegistry);
    EXPECT_EQ(loaded.FileF3, QStringLiteral("/media/E/Tools/Player/play"));
}

TEST_F(SettingsTest, DeletingAsksThenRemovesFileAndKeys)
{
    const struct
    {
        bool ini;
        bool registry;
        bool sibling;
        bool answer;
        bool found;
        const char *message; // nullptr: none
    } cases[] = {
        {true, false, false, true, true, "Vidora has been completely deleted from your system."},
        {false, true, false, true, true, "Vidora has been completely deleted from your system."},
        {true, true, true, true, true, "Vidora has been completely deleted from your system."},
        {false, false, false, true, false,
         "The preferences of Vidora were not found on your system."},
        {false, false, true, true, false,
         "The preferences of Vidora were not found on your system."},
        {true, true, false, false, false, nullptr},
    };
    const QString sibling = environment.siblingRegistryFilePath();
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.ini << c.registry << c.sibling << c.answer);
        QFile::remove(environment.iniFilePath());
        QDir(environment.registryFolder).removeRecursively();
        if (c.ini)
            writeIni({kSection, QStringLiteral("Width=1")});
        if (c.registry)
            writeRegistry(environment.registryFilePath(), QStringLiteral("Width"),
                          QStringLiteral("1"));
        if (c.sibling)
            writeRegistry(sibling, QStringLiteral("Exename"), QStringLiteral("/opt/q"));
        else
            QDir().mkpath(environment.registryFolder); // an empty maker's key goes too

        Settings settings(environment);
        QString question;
        QString message;
        bool reportedFound = false;
        const bool found = settings.DeletePreferences(
            [&](const QString &text) {
                question = text;
                return c.answer;
            },
            [&](const QString &text, bool wasFound) {
                message = text;
                reportedFound = wasFound;
            });
        EXPECT_EQ(question,
                  QStringLiteral("Do you really want to delete the Preferences of Vidora"));
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(message, c.message ? QString::fromUtf8(c.message) : QString());
        EXPECT_EQ(reportedFound, c.found);
        if (c.answer) {
            EXPECT_FALSE(QFileInfo::exists(environment.iniFilePath()));
            EXPECT_FALSE(QFileInfo::exists(environment.registryFilePath()));
            // The maker's key goes only with its last program.
            EXPECT_EQ(QFileInfo::exists(environment.registryFolder), c.sibling);
            EXPECT_EQ(QFileInfo::exists(sibling), c.sibling);
        } else {
            EXPECT_TRUE(QFileInfo::exists(environment.iniFilePath()));
            EXPECT_TRUE(QFileInfo::exists(environment.registryFilePath()));
        }
        // No stale value is served from a cache after the key was deleted.
        EXPECT_EQ(ReadRegString(environment.registryFilePath(), QStringLiteral("Width")),
                  c.answer ? QString() : QStringLiteral("1"));
    }
}

TEST_F(SettingsTest, SiblingProgramPathComesFromItsOwnKey)
{
    Settings settings(environment);
    EXPECT_EQ(settings.QuillmarkExePath(), QString());
    EXPECT_FALSE(QFileInfo::exists(environment.siblingRegistryFilePath()));

    writeRegistry(environment.siblingRegistryFilePath(), QStringLiteral("Exename"),
                  QStringLiteral("/opt/quillmark/quillmark"));
    EXPECT_EQ(settings.QuillmarkExePath(), QStringLiteral("/opt/quillmark/quillmark"));
    settings.LoadPreferences();
    EXPECT_EQ(settings.FileQuillmark, QStringLiteral("/opt/quillmark/quillmark"));
}

TEST(MakeOutputPath, ReplacesTheExtensionBesideTheSourceOrInTheSaveFolder)
{
    const struct
    {
        const char *source;
        const char *ending;
        bool sameFolder;
        const char *saveFolder;
        const char *expected;
    } cases[] = {
        {"/v/clip.avi", "_type2.avi", true, "/out/", "/v/clip_type2.avi"},
        {"/v/clip.avi", "_type2.avi", false, "/out/", "/out/clip_type2.avi"},
        {"/v/clip.avi", ".wav", false, "/out", "/out/clip.wav"},
        {"/v/clip.take2.avi", ".scn", true, "", "/v/clip.take2.scn"},
        {"/v/clip", "_scn.txt", true, "", "/v/clip_scn.txt"},
        {"/v.d/clip", "_16x9.avi", true, "", "/v.d/clip_16x9.avi"},
        {"/v.d/clip", "_16x9.avi", false, "/out/", "/out/clip_16x9.avi"},
        {"/v/été.AVI", ".wav", false, "/sortie/", "/sortie/été.wav"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MakeOutputPath(QString::fromUtf8(c.source), QString::fromUtf8(c.ending),
                                 c.sameFolder, QString::fromUtf8(c.saveFolder)),
                  QString::fromUtf8(c.expected))
            << c.source << ' ' << c.ending;
    }
}

TEST(SplitFirstTwoLines, FirstTwoLinesAtAnyLineBreak)
{
    const struct
    {
        const char *text;
        const char *first;
        const char *second;
    } cases[] = {
        {"", "", ""},
        {"one", "one", ""},
        {"one\r\ntwo\r\nthree", "one", "two"},
        {"one\ntwo", "one", "two"},
        {"one\rtwo\n", "one", "two"},
        {"\r\ntwo", "", "two"},
        {"one\n\nthree", "one", ""},
        {"one\r\n", "one", ""},
    };
    for (const auto &c : cases) {
        QString first = QStringLiteral("stale");
        QString second = QStringLiteral("stale");
        SplitFirstTwoLines(QString::fromUtf8(c.text), first, second);
        EXPECT_EQ(first, QString::fromUtf8(c.first)) << c.text;
        EXPECT_EQ(second, QString::fromUtf8(c.second)) << c.text;
    }
}

} // namespace

namespace {

TEST(SettingsEnvironment, RunningProgramAndTheUsersSettingsFolder)
{
    vidora::test::IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    const vidora::SettingsEnvironment environment =
        vidora::SettingsEnvironment::forRunningProgram();
    EXPECT_EQ(environment.programFilePath, QCoreApplication::applicationFilePath());
    EXPECT_EQ(environment.programFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    EXPECT_EQ(environment.iniFilePath(), environment.programFolder + QStringLiteral("Vidora.ini"));
    EXPECT_EQ(environment.registryFilePath(),
              home.configHome() + QStringLiteral("/Vesk Tobrek/Vidora.conf"));
    EXPECT_EQ(environment.siblingRegistryFilePath(),
              home.configHome() + QStringLiteral("/Vesk Tobrek/Quillmark.conf"));
    // The tests run under a QGuiApplication (the actions need one).
    const QScreen *screen = QGuiApplication::primaryScreen();
    EXPECT_EQ(environment.screenSize, screen != nullptr ? screen->size() : QSize());
    EXPECT_FALSE(QFileInfo::exists(environment.registryFolder));
}

} // namespace
