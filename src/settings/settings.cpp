#include "settings/settings.h"

#include "platform/shell/pathroutines.h"
#include "platform/shell/shellroutines.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QSettings>

#include <cmath>
#include <type_traits>

namespace vidora {

namespace {

const QString kIniFileName = kProgramName + QStringLiteral(".ini");
const QString kRegistryFileName = kProgramName + QStringLiteral(".conf");
const QString kSiblingRegistryFileName = kSiblingProgramName + QStringLiteral(".conf");
const QString kExename = QStringLiteral("Exename");

// Save order, which is the stored layout: everything after "IncrustFont" lies
// in the font's group of the registry. Within a group the order only sets the
// order of the portable file's lines.
template <class T, auto... Path>
T &member(SettingValues &values)
{
    return (values.*....*Path);
}

const SettingDefinition kCatalogue[] = {
    {u"Top", &member<int, &SettingValues::Top>, SettingDefault::CentredTop, SettingGroup::Main,
     SettingRange{-16384, 16384, OutOfRange::Clamp}},
    {u"Left", &member<int, &SettingValues::Left>, SettingDefault::CentredLeft, SettingGroup::Main,
     SettingRange{-16384, 16384, OutOfRange::Clamp}},
    {u"Width", &member<int, &SettingValues::Width>, SettingDefault::Fixed, SettingGroup::Main,
     SettingRange{1, 16384, OutOfRange::Clamp}},
    {u"Height", &member<int, &SettingValues::Height>, SettingDefault::Fixed, SettingGroup::Main,
     SettingRange{1, 16384, OutOfRange::Clamp}},
    {u"WindoState", &member<std::uint8_t, &SettingValues::WindowState>, SettingDefault::Fixed,
     SettingGroup::Main, SettingRange{0, 2, OutOfRange::Default}},
    {u"SendTo", &member<bool, &SettingValues::SendTo>, SettingDefault::Fixed, SettingGroup::Main},
    {u"Select when opening", &member<bool, &SettingValues::SelectWhenOpening>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"Save list when quit", &member<bool, &SettingValues::SaveListWhenQuit>, SettingDefault::Fixed,
     SettingGroup::Main},
    {u"Format pour Ajouter Datecode", &member<QString, &SettingValues::FormatAddDatecode>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"Format pour Ajouter Timecode", &member<QString, &SettingValues::FormatAddTimecode>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"Format pour Afficher Datecode", &member<QString, &SettingValues::FormatShowDatecode>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"Format pour Renommer", &member<QString, &SettingValues::FormatRename>, SettingDefault::Fixed,
     SettingGroup::Main},
    {u"Folder to open files", &member<QString, &SettingValues::FolderToOpenFiles>,
     SettingDefault::VideoFolder, SettingGroup::Main},
    {u"Dossier à ouverture auto", &member<QString, &SettingValues::AutoOpenFolder>,
     SettingDefault::VideoFolder, SettingGroup::Main},
    {u"Dossier des PlayList", &member<QString, &SettingValues::PlaylistFolder>,
     SettingDefault::DocumentsFolder, SettingGroup::Main},
    {u"Save in the same folder", &member<bool, &SettingValues::SaveInSameFolder>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"Dossier pour Sauver", &member<QString, &SettingValues::SaveFolder>,
     SettingDefault::VideoFolder, SettingGroup::Main},
    {u"formatdate1", &member<QString, &SettingValues::Incrust, &TincrustRec::DateFormat1>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"formatdate2", &member<QString, &SettingValues::Incrust, &TincrustRec::DateFormat2>,
     SettingDefault::Fixed, SettingGroup::Main},
    {u"When Incrust", &member<std::uint8_t, &SettingValues::Incrust, &TincrustRec::When>,
     SettingDefault::Fixed, SettingGroup::Main, SettingRange{0, 3, OutOfRange::Default}},
    {u"IncrustFont", &member<TfontRecord, &SettingValues::Incrust, &TincrustRec::Font>,
     SettingDefault::IncrustFont, SettingGroup::Font},
    {u"Durée Incrustation", &member<int, &SettingValues::Incrust, &TincrustRec::Seconds>,
     SettingDefault::Fixed, SettingGroup::Font, SettingRange{0, 3600, OutOfRange::Clamp}},
    {u"Border Size", &member<int, &SettingValues::Incrust, &TincrustRec::Outline>,
     SettingDefault::Fixed, SettingGroup::Font, SettingRange{0, 5, OutOfRange::Clamp}},
    {u"Fichier F3", &member<QString, &SettingValues::FileF3>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Fichier F4", &member<QString, &SettingValues::FileF4>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Fichier Quillmark", &member<QString, &SettingValues::FileQuillmark>,
     SettingDefault::QuillmarkPath, SettingGroup::Font},
    {u"Frequence DV", &member<std::uint8_t, &SettingValues::DvAudioRate>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 2, OutOfRange::Default}},
    {u"standard DV", &member<std::uint8_t, &SettingValues::DvStandard>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 1, OutOfRange::Default}},
    {u"ratio DV", &member<std::uint8_t, &SettingValues::DvRatio>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 1, OutOfRange::Default}},
    {u"Sort index", &member<QString, &SettingValues::SortIndex>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Tri des raccourcis", &member<std::uint8_t, &SettingValues::ShortcutSortColumn>,
     SettingDefault::Fixed, SettingGroup::Font, SettingRange{0, 3, OutOfRange::Default}},
    {u"Portable Path", &member<QString, &SettingValues::PortablePath>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Vue", &member<std::uint8_t, &SettingValues::DisplayMode>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 4, OutOfRange::Default}},
    {u"Retour", &member<std::uint8_t, &SettingValues::ReturnMode>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 4, OutOfRange::Default}},
    {u"Volume", &member<int, &SettingValues::Volume>, SettingDefault::Fixed, SettingGroup::Font,
     SettingRange{0, 10000, OutOfRange::Clamp}},
    {u"is Mute on", &member<bool, &SettingValues::IsMuteOn>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Incrust positionX", &member<int, &SettingValues::IncrustPositionX>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 1000, OutOfRange::Clamp}},
    {u"Incrust positionY", &member<int, &SettingValues::IncrustPositionY>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 1000, OutOfRange::Clamp}},
    {u"Incrust Sliders Visible", &member<bool, &SettingValues::IncrustSlidersVisible>,
     SettingDefault::Fixed, SettingGroup::Font},
    {u"Alignement", &member<std::uint8_t, &SettingValues::IncrustAlignment>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 3, OutOfRange::Default}},
    {u"What Incrust", &member<std::uint8_t, &SettingValues::WhatIncrust>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 2, OutOfRange::Default}},
    {u"is Incrust On", &member<bool, &SettingValues::IsIncrustOn>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Decalage avancé", &member<bool, &SettingValues::AdvancedShift>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Format pour Incruster Datecode1", &member<QString, &SettingValues::FormatIncrustDatecode1>,
     SettingDefault::Fixed, SettingGroup::Font},
    {u"Format pour Incruster Datecode2", &member<QString, &SettingValues::FormatIncrustDatecode2>,
     SettingDefault::Fixed, SettingGroup::Font},
    {u"Décalage Horaire", &member<double, &SettingValues::TimeOffset>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{-36525, 36525, OutOfRange::Default}},
    {u"texte1", &member<QString, &SettingValues::Text1>, SettingDefault::Fixed, SettingGroup::Font},
    {u"texte2", &member<QString, &SettingValues::Text2>, SettingDefault::Fixed, SettingGroup::Font},
    {u"liste gauche", &member<bool, &SettingValues::ListLeft>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"intervalle", &member<int, &SettingValues::Interval>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 86400, OutOfRange::Clamp}},
    {u"template renommer", &member<QString, &SettingValues::RenameTemplate>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Datecode avant", &member<bool, &SettingValues::DatecodeBefore>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Timcode avant", &member<bool, &SettingValues::TimecodeBefore>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Format Durée", &member<std::uint8_t, &SettingValues::DurationFormat>, SettingDefault::Fixed,
     SettingGroup::Font, SettingRange{0, 2, OutOfRange::Default}},
    {u"Deinterlace", &member<bool, &SettingValues::Deinterlace>, SettingDefault::Fixed,
     SettingGroup::Font},
    {u"Charger Quillmark", &member<bool, &SettingValues::LoadQuillmark>, SettingDefault::Fixed,
     SettingGroup::Font},
};

} // namespace

double BringIntoRange(double value, const SettingRange &range, double fallback)
{
    if (value >= range.min && value <= range.max)
        return value;
    if (range.outside == OutOfRange::Default || std::isnan(value))
        return fallback;
    return value < range.min ? range.min : range.max;
}

// ---------------------------------------------------------------- environment

QString SettingsEnvironment::iniFilePath() const
{
    return programFolder + kIniFileName;
}

QString SettingsEnvironment::registryFilePath() const
{
    return registryFolder + QLatin1Char('/') + kRegistryFileName;
}

QString SettingsEnvironment::siblingRegistryFilePath() const
{
    return registryFolder + QLatin1Char('/') + kSiblingRegistryFileName;
}

PreferencesFiles SettingsEnvironment::preferencesFiles() const
{
    return PreferencesFiles{registryFilePath(), iniFilePath()};
}

SettingsEnvironment SettingsEnvironment::forRunningProgram()
{
    SettingsEnvironment environment;
    environment.programFilePath = QCoreApplication::applicationFilePath();
    environment.programFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    // Only asks for the file name; nothing is created.
    const QSettings native(QSettings::NativeFormat, QSettings::UserScope, kMakerName, kProgramName);
    environment.registryFolder = QFileInfo(native.fileName()).absolutePath();
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            environment.screenSize = screen->size();
    }
    return environment;
}

// ---------------------------------------------------------------- settings

std::span<const SettingDefinition> SettingsCatalogue()
{
    return kCatalogue;
}

Settings::Settings(SettingsEnvironment environment) : m_environment(std::move(environment)) {}

std::uint8_t Settings::ChoosePreferencesMode() const
{
    if (QFileInfo(m_environment.iniFilePath()).isFile())
        return kPreferencesPortable;
    const QString exename = ReadRegString(m_environment.registryFilePath(), kExename);
    if (!exename.isEmpty() && exename.toLower() == m_environment.programFilePath.toLower())
        return kPreferencesRegistry;
    return kPreferencesNone;
}

void Settings::LoadPreferences()
{
    PreferencesMode = ChoosePreferencesMode();
    {
        TReadPreferences reader(kPreferencesKeyPath, PreferencesMode,
                                m_environment.preferencesFiles());
        readAll(reader);
    }
    ReturnMode = 1;
    if (PreferencesMode == kPreferencesPortable) {
        // A portable set moved with the program to another place still points
        // at the programs and folders that moved with it.
        const QString &folder = m_environment.programFolder;
        for (QString *path : {&AutoOpenFolder, &FolderToOpenFiles, &SaveFolder, &PlaylistFolder,
                              &FileF3, &FileF4, &FileQuillmark})
            *path = ReplacePathPrefix(*path, PortablePath, folder);
    }
}

void Settings::readAll(TReadPreferences &r)
{
    SettingValues defaults;
    const auto readOne = [&](const SettingDefinition &setting) {
        const QString name = setting.name.toString();
        std::visit(
            [&](auto member) {
                auto &value = member(*this);
                using T = std::remove_reference_t<decltype(value)>;
                T fallback = member(defaults);
                if constexpr (std::is_same_v<T, int>) {
                    if (setting.fallback == SettingDefault::CentredTop)
                        fallback = (m_environment.screenSize.height() - Height) / 2;
                    else if (setting.fallback == SettingDefault::CentredLeft)
                        fallback = (m_environment.screenSize.width() - Width) / 2;
                    value = r.ReadInteger(name, fallback);
                    if (setting.range)
                        value = static_cast<int>(BringIntoRange(value, *setting.range, fallback));
                } else if constexpr (std::is_same_v<T, std::uint8_t>) {
                    // In range, the integer is its own low byte.
                    const int read = r.ReadInteger(name, fallback);
                    value = setting.range ? static_cast<std::uint8_t>(
                                                BringIntoRange(read, *setting.range, fallback))
                                          : static_cast<std::uint8_t>(read & 0xFF);
                } else if constexpr (std::is_same_v<T, bool>) {
                    value = r.ReadBool(name, fallback);
                } else if constexpr (std::is_same_v<T, QString>) {
                    if (setting.fallback == SettingDefault::VideoFolder)
                        fallback = GetMyVideoFolder();
                    else if (setting.fallback == SettingDefault::DocumentsFolder)
                        fallback = GetPersonalFolder();
                    else if (setting.fallback == SettingDefault::QuillmarkPath)
                        fallback = QuillmarkExePath();
                    value = r.ReadString(name, fallback);
                } else if constexpr (std::is_same_v<T, double>) {
                    value = r.ReadFloat(name, fallback);
                    if (setting.range)
                        value = BringIntoRange(value, *setting.range, fallback);
                } else {
                    static_assert(std::is_same_v<T, TfontRecord>);
                    if (setting.fallback == SettingDefault::IncrustFont)
                        fallback = DefaultIncrustFont();
                    value = r.ReadFont(name, fallback);
                    value.Size = static_cast<std::int32_t>(
                        BringIntoRange(value.Size, kIncrustFontSizeRange, fallback.Size));
                }
            },
            setting.member);
    };
    // Group by group, as the store enters the font's group for good. A centred
    // window place is read after the size it is centred on.
    const auto centred = [](const SettingDefinition &setting) {
        return setting.fallback == SettingDefault::CentredTop ||
               setting.fallback == SettingDefault::CentredLeft;
    };
    for (const SettingGroup group : {SettingGroup::Main, SettingGroup::Font})
        for (const bool late : {false, true})
            for (const SettingDefinition &setting : SettingsCatalogue())
                if (setting.group == group && centred(setting) == late)
                    readOne(setting);
}

void Settings::SavePreferences()
{
    if (PreferencesMode != kPreferencesRegistry && PreferencesMode != kPreferencesPortable)
        return;
    TWritePreferences writer(kPreferencesKeyPath, PreferencesMode,
                             m_environment.preferencesFiles());
    writeAll(writer);
    writer.Commit();
}

void Settings::writeAll(TWritePreferences &w)
{
    w.WriteString(QStringLiteral("version"), AppVersionText + QStringLiteral(" by ") + kMakerName);
    w.WriteString(QStringLiteral("Last saving"),
                  QLocale::c().toString(QDateTime::currentDateTime(),
                                        QStringLiteral("yyyy/MM/dd hh:mm:ss ap")));
    w.WriteString(kExename, m_environment.programFilePath);

    for (const SettingDefinition &setting : SettingsCatalogue()) {
        const QString name = setting.name.toString();
        std::visit(
            [&](auto member) {
                const auto &value = member(*this);
                using T = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::uint8_t>)
                    w.WriteInteger(name, value);
                else if constexpr (std::is_same_v<T, bool>)
                    w.WriteBool(name, value);
                else if constexpr (std::is_same_v<T, QString>)
                    w.WriteString(name, value);
                else if constexpr (std::is_same_v<T, double>)
                    w.WriteFloat(name, value);
                else
                    w.WriteFont(name, value);
            },
            setting.member);
    }
}

bool Settings::DeletePreferences(const std::function<bool(const QString &)> &confirm,
                                 const std::function<void(const QString &, bool)> &report)
{
    if (!confirm(
            QStringLiteral("Do you really want to delete the Preferences of %1").arg(kProgramName)))
        return false;
    const bool iniFound = DeleteIniPreferences();
    const bool registryFound = DeleteRegistryPreferences();
    const bool found = iniFound || registryFound;
    if (found)
        report(QStringLiteral("%1 has been completely deleted from your system.").arg(kProgramName),
               true);
    else
        report(QStringLiteral("The preferences of %1 were not found on your system.")
                   .arg(kProgramName),
               false);
    return found;
}

bool Settings::DeleteRegistryPreferences() const
{
    const QString file = m_environment.registryFilePath();
    bool removed = false;
    if (QFileInfo(file).isFile()) {
        {
            // Emptied through QSettings first so that no QSettings object of
            // this process keeps serving the deleted values from its cache.
            QSettings key(file, QSettings::NativeFormat);
            key.clear();
            key.sync();
        }
        removed = QFile::remove(file);
    }
    // The maker's key goes with the last program's key in it.
    QDir maker(m_environment.registryFolder);
    if (maker.exists() &&
        maker.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        maker.rmdir(m_environment.registryFolder);
    return removed;
}

bool Settings::DeleteIniPreferences() const
{
    const QString file = m_environment.iniFilePath();
    if (!QFileInfo(file).isFile())
        return false;
    return ForceDeleteFile(file);
}

QString Settings::MakeOutputPath(const QString &sourcePath, const QString &ending) const
{
    return vidora::MakeOutputPath(sourcePath, ending, SaveInSameFolder, SaveFolder);
}

QString Settings::QuillmarkExePath() const
{
    return ReadRegString(m_environment.siblingRegistryFilePath(), kExename);
}

// ---------------------------------------------------------------- free routines

QString MakeOutputPath(const QString &sourcePath, const QString &ending, bool sameFolder,
                       const QString &saveFolder)
{
    const qsizetype nameStart = sourcePath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = sourcePath.lastIndexOf(QLatin1Char('.'));
    const QString withoutExtension = dot >= nameStart ? sourcePath.left(dot) : sourcePath;
    if (sameFolder)
        return withoutExtension + ending;
    QString folder = saveFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + withoutExtension.mid(nameStart) + ending;
}

void SplitFirstTwoLines(const QString &text, QString &first, QString &second)
{
    first.clear();
    second.clear();
    qsizetype start = 0;
    for (QString *line : {&first, &second}) {
        if (start >= text.size())
            return;
        qsizetype end = start;
        while (end < text.size() && text.at(end) != QLatin1Char('\r') &&
               text.at(end) != QLatin1Char('\n'))
            ++end;
        *line = text.mid(start, end - start);
        if (end < text.size() && text.at(end) == QLatin1Char('\r') && end + 1 < text.size() &&
            text.at(end + 1) == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
}

QString ReadRegString(const QString &settingsFile, const QString &valueName)
{
    if (!QFileInfo(settingsFile).isFile())
        return {};
    const QSettings key(settingsFile, QSettings::NativeFormat);
    const QVariant value = key.value(valueName);
    if (value.typeId() != QMetaType::QString)
        return {};
    return value.toString();
}

} // namespace vidora
