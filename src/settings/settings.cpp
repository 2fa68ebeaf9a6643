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

namespace vidora {

namespace {

const QString kIniFileName = kProgramName + QStringLiteral(".ini");
const QString kRegistryFileName = kProgramName + QStringLiteral(".conf");
const QString kSiblingRegistryFileName = kSiblingProgramName + QStringLiteral(".conf");
const QString kExename = QStringLiteral("Exename");

// A byte setting keeps the low byte of the integer stored.
std::uint8_t lowByte(int value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

} // namespace

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

// Catalogue order. The place of "IncrustFont" is part of the registry layout:
// everything after it lies in the font's group.
void Settings::readAll(TReadPreferences &r)
{
    const QString videoFolder = GetMyVideoFolder();
    const QString documentsFolder = GetPersonalFolder();
    const SettingValues defaults;

    Width = r.ReadInteger(QStringLiteral("Width"), defaults.Width);
    Height = r.ReadInteger(QStringLiteral("Height"), defaults.Height);
    Top = r.ReadInteger(QStringLiteral("Top"), (m_environment.screenSize.height() - Height) / 2);
    Left = r.ReadInteger(QStringLiteral("Left"), (m_environment.screenSize.width() - Width) / 2);
    WindowState = lowByte(r.ReadInteger(QStringLiteral("WindoState"), defaults.WindowState));
    SendTo = r.ReadBool(QStringLiteral("SendTo"), defaults.SendTo);
    SelectWhenOpening =
        r.ReadBool(QStringLiteral("Select when opening"), defaults.SelectWhenOpening);
    SaveListWhenQuit = r.ReadBool(QStringLiteral("Save list when quit"), defaults.SaveListWhenQuit);
    FormatAddDatecode =
        r.ReadString(QStringLiteral("Format pour Ajouter Datecode"), defaults.FormatAddDatecode);
    FormatAddTimecode =
        r.ReadString(QStringLiteral("Format pour Ajouter Timecode"), defaults.FormatAddTimecode);
    FormatShowDatecode =
        r.ReadString(QStringLiteral("Format pour Afficher Datecode"), defaults.FormatShowDatecode);
    FormatRename = r.ReadString(QStringLiteral("Format pour Renommer"), defaults.FormatRename);
    FolderToOpenFiles = r.ReadString(QStringLiteral("Folder to open files"), videoFolder);
    AutoOpenFolder = r.ReadString(QStringLiteral("Dossier à ouverture auto"), videoFolder);
    PlaylistFolder = r.ReadString(QStringLiteral("Dossier des PlayList"), documentsFolder);
    SaveInSameFolder =
        r.ReadBool(QStringLiteral("Save in the same folder"), defaults.SaveInSameFolder);
    SaveFolder = r.ReadString(QStringLiteral("Dossier pour Sauver"), videoFolder);
    Incrust.DateFormat1 = r.ReadString(QStringLiteral("formatdate1"), defaults.Incrust.DateFormat1);
    Incrust.DateFormat2 = r.ReadString(QStringLiteral("formatdate2"), defaults.Incrust.DateFormat2);
    Incrust.When = lowByte(r.ReadInteger(QStringLiteral("When Incrust"), defaults.Incrust.When));
    Incrust.Font = r.ReadFont(QStringLiteral("IncrustFont"), DefaultIncrustFont());
    Incrust.Seconds = r.ReadInteger(QStringLiteral("Durée Incrustation"), defaults.Incrust.Seconds);
    Incrust.Outline = r.ReadInteger(QStringLiteral("Border Size"), defaults.Incrust.Outline);
    WhatIncrust = lowByte(r.ReadInteger(QStringLiteral("What Incrust"), defaults.WhatIncrust));
    FileF3 = r.ReadString(QStringLiteral("Fichier F3"), defaults.FileF3);
    FileF4 = r.ReadString(QStringLiteral("Fichier F4"), defaults.FileF4);
    FileQuillmark = r.ReadString(QStringLiteral("Fichier Quillmark"), QuillmarkExePath());
    DvAudioRate = lowByte(r.ReadInteger(QStringLiteral("Frequence DV"), defaults.DvAudioRate));
    DvStandard = lowByte(r.ReadInteger(QStringLiteral("standard DV"), defaults.DvStandard));
    DvRatio = lowByte(r.ReadInteger(QStringLiteral("ratio DV"), defaults.DvRatio));
    SortIndex = r.ReadString(QStringLiteral("Sort index"), defaults.SortIndex);
    ShortcutSortColumn =
        lowByte(r.ReadInteger(QStringLiteral("Tri des raccourcis"), defaults.ShortcutSortColumn));
    PortablePath = r.ReadString(QStringLiteral("Portable Path"), defaults.PortablePath);
    DisplayMode = lowByte(r.ReadInteger(QStringLiteral("Vue"), defaults.DisplayMode));
    ReturnMode = lowByte(r.ReadInteger(QStringLiteral("Retour"), defaults.ReturnMode));
    Volume = r.ReadInteger(QStringLiteral("Volume"), defaults.Volume);
    IsMuteOn = r.ReadBool(QStringLiteral("is Mute on"), defaults.IsMuteOn);
    IncrustPositionX =
        r.ReadInteger(QStringLiteral("Incrust positionX"), defaults.IncrustPositionX);
    IncrustPositionY =
        r.ReadInteger(QStringLiteral("Incrust positionY"), defaults.IncrustPositionY);
    IncrustSlidersVisible =
        r.ReadBool(QStringLiteral("Incrust Sliders Visible"), defaults.IncrustSlidersVisible);
    IncrustAlignment =
        lowByte(r.ReadInteger(QStringLiteral("Alignement"), defaults.IncrustAlignment));
    IsIncrustOn = r.ReadBool(QStringLiteral("is Incrust On"), defaults.IsIncrustOn);
    AdvancedShift = r.ReadBool(QStringLiteral("Decalage avancé"), defaults.AdvancedShift);
    FormatIncrustDatecode1 = r.ReadString(QStringLiteral("Format pour Incruster Datecode1"),
                                          defaults.FormatIncrustDatecode1);
    FormatIncrustDatecode2 = r.ReadString(QStringLiteral("Format pour Incruster Datecode2"),
                                          defaults.FormatIncrustDatecode2);
    TimeOffset = r.ReadFloat(QStringLiteral("Décalage Horaire"), defaults.TimeOffset);
    Text1 = r.ReadString(QStringLiteral("texte1"), defaults.Text1);
    Text2 = r.ReadString(QStringLiteral("texte2"), defaults.Text2);
    ListLeft = r.ReadBool(QStringLiteral("liste gauche"), defaults.ListLeft);
    Interval = r.ReadInteger(QStringLiteral("intervalle"), defaults.Interval);
    RenameTemplate = r.ReadString(QStringLiteral("template renommer"), defaults.RenameTemplate);
    DatecodeBefore = r.ReadBool(QStringLiteral("Datecode avant"), defaults.DatecodeBefore);
    TimecodeBefore = r.ReadBool(QStringLiteral("Timcode avant"), defaults.TimecodeBefore);
    DurationFormat =
        lowByte(r.ReadInteger(QStringLiteral("Format Durée"), defaults.DurationFormat));
    Deinterlace = r.ReadBool(QStringLiteral("Deinterlace"), defaults.Deinterlace);
    LoadQuillmark = r.ReadBool(QStringLiteral("Charger Quillmark"), defaults.LoadQuillmark);
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

// Save order: "Top" and "Left" before "Width" and "Height", "What Incrust"
// after "Alignement"; what matters is that each setting stays on its side of
// "IncrustFont".
void Settings::writeAll(TWritePreferences &w)
{
    w.WriteString(QStringLiteral("version"), AppVersionText + QStringLiteral(" by ") + kMakerName);
    w.WriteString(QStringLiteral("Last saving"),
                  QLocale::c().toString(QDateTime::currentDateTime(),
                                        QStringLiteral("yyyy/MM/dd hh:mm:ss ap")));
    w.WriteString(kExename, m_environment.programFilePath);

    w.WriteInteger(QStringLiteral("Top"), Top);
    w.WriteInteger(QStringLiteral("Left"), Left);
    w.WriteInteger(QStringLiteral("Width"), Width);
    w.WriteInteger(QStringLiteral("Height"), Height);
    w.WriteInteger(QStringLiteral("WindoState"), WindowState);
    w.WriteBool(QStringLiteral("SendTo"), SendTo);
    w.WriteBool(QStringLiteral("Select when opening"), SelectWhenOpening);
    w.WriteBool(QStringLiteral("Save list when quit"), SaveListWhenQuit);
    w.WriteString(QStringLiteral("Format pour Ajouter Datecode"), FormatAddDatecode);
    w.WriteString(QStringLiteral("Format pour Ajouter Timecode"), FormatAddTimecode);
    w.WriteString(QStringLiteral("Format pour Afficher Datecode"), FormatShowDatecode);
    w.WriteString(QStringLiteral("Format pour Renommer"), FormatRename);
    w.WriteString(QStringLiteral("Folder to open files"), FolderToOpenFiles);
    w.WriteString(QStringLiteral("Dossier à ouverture auto"), AutoOpenFolder);
    w.WriteString(QStringLiteral("Dossier des PlayList"), PlaylistFolder);
    w.WriteBool(QStringLiteral("Save in the same folder"), SaveInSameFolder);
    w.WriteString(QStringLiteral("Dossier pour Sauver"), SaveFolder);
    w.WriteString(QStringLiteral("formatdate1"), Incrust.DateFormat1);
    w.WriteString(QStringLiteral("formatdate2"), Incrust.DateFormat2);
    w.WriteInteger(QStringLiteral("When Incrust"), Incrust.When);
    w.WriteFont(QStringLiteral("IncrustFont"), Incrust.Font);

    w.WriteInteger(QStringLiteral("Durée Incrustation"), Incrust.Seconds);
    w.WriteInteger(QStringLiteral("Border Size"), Incrust.Outline);
    w.WriteString(QStringLiteral("Fichier F3"), FileF3);
    w.WriteString(QStringLiteral("Fichier F4"), FileF4);
    w.WriteString(QStringLiteral("Fichier Quillmark"), FileQuillmark);
    w.WriteInteger(QStringLiteral("Frequence DV"), DvAudioRate);
    w.WriteInteger(QStringLiteral("standard DV"), DvStandard);
    w.WriteInteger(QStringLiteral("ratio DV"), DvRatio);
    w.WriteString(QStringLiteral("Sort index"), SortIndex);
    w.WriteInteger(QStringLiteral("Tri des raccourcis"), ShortcutSortColumn);
    w.WriteString(QStringLiteral("Portable Path"), PortablePath);
    w.WriteInteger(QStringLiteral("Vue"), DisplayMode);
    w.WriteInteger(QStringLiteral("Retour"), ReturnMode);
    w.WriteInteger(QStringLiteral("Volume"), Volume);
    w.WriteBool(QStringLiteral("is Mute on"), IsMuteOn);
    w.WriteInteger(QStringLiteral("Incrust positionX"), IncrustPositionX);
    w.WriteInteger(QStringLiteral("Incrust positionY"), IncrustPositionY);
    w.WriteBool(QStringLiteral("Incrust Sliders Visible"), IncrustSlidersVisible);
    w.WriteInteger(QStringLiteral("Alignement"), IncrustAlignment);
    w.WriteInteger(QStringLiteral("What Incrust"), WhatIncrust);
    w.WriteBool(QStringLiteral("is Incrust On"), IsIncrustOn);
    w.WriteBool(QStringLiteral("Decalage avancé"), AdvancedShift);
    w.WriteString(QStringLiteral("Format pour Incruster Datecode1"), FormatIncrustDatecode1);
    w.WriteString(QStringLiteral("Format pour Incruster Datecode2"), FormatIncrustDatecode2);
    w.WriteFloat(QStringLiteral("Décalage Horaire"), TimeOffset);
    w.WriteString(QStringLiteral("texte1"), Text1);
    w.WriteString(QStringLiteral("texte2"), Text2);
    w.WriteBool(QStringLiteral("liste gauche"), ListLeft);
    w.WriteInteger(QStringLiteral("intervalle"), Interval);
    w.WriteString(QStringLiteral("template renommer"), RenameTemplate);
    w.WriteBool(QStringLiteral("Datecode avant"), DatecodeBefore);
    w.WriteBool(QStringLiteral("Timcode avant"), TimecodeBefore);
    w.WriteInteger(QStringLiteral("Format Durée"), DurationFormat);
    w.WriteBool(QStringLiteral("Deinterlace"), Deinterlace);
    w.WriteBool(QStringLiteral("Charger Quillmark"), LoadQuillmark);
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
