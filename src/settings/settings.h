#pragma once

// Every setting of the program with its stored name and default, where the
// settings live (the store mode), and loading, saving and deleting them all.
// One Settings object is made at start and passed to whoever reads or writes
// a setting; its values hold their defaults until LoadPreferences runs.
#include "settings/incrustrec.h"
#include "settings/preferences.h"

#include <QSize>
#include <QString>

#include <QStringView>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <variant>

namespace vidora {

inline const QString kProgramName = QStringLiteral("Vidora");
inline const QString kMakerName = QStringLiteral("Vesk Tobrek");
inline const QString kSiblingProgramName = QStringLiteral("Quillmark");
// The maker's home page: the one address the home-page command opens, the
// About page links to and playlists name.
inline const QString HomePageAddress =
    QStringLiteral("https://www.%1.example.org/").arg(kProgramName).toLower();
// The program's key under HKEY_CURRENT_USER; also names the portable file's
// section.
inline const QString kPreferencesKeyPath = QStringLiteral("\\Software\\Vesk Tobrek\\Vidora");

// Where the settings live and what the running program is.
struct SettingsEnvironment
{
    QString programFilePath; // full path of the running program, stored as "Exename"
    QString programFolder;   // its folder with a trailing "/"; holds the portable file
    // The folder that stands for the maker's key (HKEY_CURRENT_USER, key
    // Software, Vesk Tobrek): it holds "Vidora.conf" (the program's key) and
    // "Quillmark.conf" (the sibling program's key), the files that QSettings
    // gives to organisation "Vesk Tobrek" and those applications.
    QString registryFolder;
    QSize screenSize; // centres the main window of a fresh installation

    QString iniFilePath() const;             // programFolder + "Vidora.ini"
    QString registryFilePath() const;        // registryFolder + "/Vidora.conf"
    QString siblingRegistryFilePath() const; // registryFolder + "/Quillmark.conf"
    PreferencesFiles preferencesFiles() const;

    // The running program, the user's QSettings location and the primary
    // screen (none under a core application).
    static SettingsEnvironment forRunningProgram();
};

// The values of every setting, with their stored names. Defaults that depend
// on the machine (window place, folders, the sibling program) are set by
// LoadPreferences.
struct SettingValues
{
    // "Width"
    int Width = 596;
    // "Height"
    int Height = 546;
    // "Top"
    int Top = 0;
    // "Left"
    int Left = 0;
    // "WindoState": 0 normal, 1 minimized, 2 maximized
    std::uint8_t WindowState = 0;
    // "SendTo": the Open With entry exists
    bool SendTo = false;
    // "Select when opening"
    bool SelectWhenOpening = false;
    // "Save list when quit"
    bool SaveListWhenQuit = false;
    // "Format pour Ajouter Datecode"
    QString FormatAddDatecode = QStringLiteral("yyyy.mm.dd_hh.nn.ss_am/pm");
    // "Format pour Ajouter Timecode"
    QString FormatAddTimecode = QStringLiteral("ddddd tt");
    // "Format pour Afficher Datecode"
    QString FormatShowDatecode = QStringLiteral("ddddd tt");
    // "Format pour Renommer"
    QString FormatRename = QStringLiteral("yyyymmdd_hh.nn.ss_am/pm");
    // "Folder to open files"
    QString FolderToOpenFiles;
    // "Dossier à ouverture auto"
    QString AutoOpenFolder;
    // "Dossier des PlayList"
    QString PlaylistFolder;
    // "Save in the same folder"
    bool SaveInSameFolder = true;
    // "Dossier pour Sauver"
    QString SaveFolder;
    // "formatdate1", "formatdate2", "When Incrust", "IncrustFont",
    // "Durée Incrustation", "Border Size"
    TincrustRec Incrust;
    // "What Incrust": 0 datecode, 1 time code, 2 personal lines
    std::uint8_t WhatIncrust = 0;
    // "Fichier F3"
    QString FileF3;
    // "Fichier F4"
    QString FileF4;
    // "Fichier Quillmark"
    QString FileQuillmark;
    // "Frequence DV": 0 32000, 1 44100, 2 48000 Hz
    std::uint8_t DvAudioRate = 2;
    // "standard DV": 0 PAL, 1 NTSC
    std::uint8_t DvStandard = 0;
    // "ratio DV": 0 4:3, 1 16:9
    std::uint8_t DvRatio = 0;
    // "Sort index"
    QString SortIndex = QStringLiteral("alpha");
    // "Tri des raccourcis": 0 name, 1 key, 2 switch, 3 script word
    std::uint8_t ShortcutSortColumn = 0;
    // "Portable Path": program folder at the last save
    QString PortablePath;
    // "Vue"
    std::uint8_t DisplayMode = 0;
    // "Retour": 1 after every load
    std::uint8_t ReturnMode = 0;
    // "Volume"
    int Volume = 5000;
    // "is Mute on"
    bool IsMuteOn = false;
    // "Incrust positionX": per mille of the picture width
    int IncrustPositionX = 920;
    // "Incrust positionY": per mille of the picture height
    int IncrustPositionY = 920;
    // "Incrust Sliders Visible"
    bool IncrustSlidersVisible = false;
    // "Alignement": 0 left, 1 centre, 2 right, 3 subtitle
    std::uint8_t IncrustAlignment = 2;
    // "is Incrust On"
    bool IsIncrustOn = false;
    // "Decalage avancé"
    bool AdvancedShift = false;
    // "Format pour Incruster Datecode1"
    QString FormatIncrustDatecode1 = QStringLiteral("ddddd");
    // "Format pour Incruster Datecode2"
    QString FormatIncrustDatecode2 = QStringLiteral("tt");
    // "Décalage Horaire": days
    double TimeOffset = 0.0;
    // "texte1"
    QString Text1 = QStringLiteral("Your template here");
    // "texte2"
    QString Text2 = QStringLiteral("with datecode=%D, timecode=%T, etc...");
    // "liste gauche"
    bool ListLeft = false;
    // "intervalle": seconds
    int Interval = 30;
    // "template renommer"
    QString RenameTemplate = QStringLiteral("video'%D.avi");
    // "Datecode avant"
    bool DatecodeBefore = false;
    // "Timcode avant"
    bool TimecodeBefore = false;
    // "Format Durée"
    std::uint8_t DurationFormat = 0;
    // "Deinterlace"
    bool Deinterlace = true;
    // "Charger Quillmark"
    bool LoadQuillmark = true;

    bool operator==(const SettingValues &) const = default;
};

// The catalogue of stored settings: one row per setting, in the order they are
// saved. Loading, saving and the settings tests all go through it.

// The member a setting is kept in. Its type is the stored kind: int an
// integer, std::uint8_t an integer whose low byte is kept, bool a boolean,
// QString a text, double a real, TfontRecord a font.
template <class T>
using SettingMember = T &(*)(SettingValues &);
using SettingAccess =
    std::variant<SettingMember<int>, SettingMember<std::uint8_t>, SettingMember<bool>,
                 SettingMember<QString>, SettingMember<double>, SettingMember<TfontRecord>>;

// What a setting that the store lacks (or cannot read) takes.
enum class SettingDefault : std::uint8_t {
    Fixed,           // the member's value in SettingValues{}
    CentredTop,      // (screen height - "Height") / 2
    CentredLeft,     // (screen width - "Width") / 2
    VideoFolder,     // the user's video folder
    DocumentsFolder, // the user's documents folder
    QuillmarkPath,   // the sibling program's "Exename"
    IncrustFont,     // DefaultIncrustFont()
};

// Where a setting lies in the registry layout: the program's key, or the
// font's group that the store stays in once the font is read or written.
enum class SettingGroup : std::uint8_t {
    Main,
    Font,
};

// What a numeric setting read outside its range becomes.
enum class OutOfRange : std::uint8_t {
    Clamp,   // the nearest bound (sizes, places, levels)
    Default, // the setting's default (a choice among numbered values)
};

// The values a numeric setting may take. A "b" setting is checked before its
// low byte is kept, so 513 is out of range rather than 1.
struct SettingRange
{
    double min;
    double max;
    OutOfRange outside;
};

struct SettingDefinition
{
    QStringView name; // stored name
    SettingAccess member;
    SettingDefault fallback;
    SettingGroup group;
    std::optional<SettingRange> range = std::nullopt; // every numeric setting has one
};

// The overlay font's size in points.
inline constexpr SettingRange kIncrustFontSizeRange{1, 500, OutOfRange::Default};

// `value` brought into `range`: the nearest bound or `fallback`. A value
// that is not a number (NaN) takes `fallback`.
double BringIntoRange(double value, const SettingRange &range, double fallback);

std::span<const SettingDefinition> SettingsCatalogue();

class Settings : public SettingValues
{
public:
    explicit Settings(SettingsEnvironment environment);

    const SettingsEnvironment &environment() const { return m_environment; }

    // The store in use: kPreferencesRegistry, kPreferencesPortable or
    // kPreferencesNone. None until LoadPreferences chooses, so nothing is
    // written before the settings were read.
    std::uint8_t PreferencesMode = kPreferencesNone;
    // Product name and version, set by the main window; saved in "version".
    QString AppVersionText;

    // The store the settings are in: the portable file when it lies beside the
    // program; else the registry when its "Exename" names the running program
    // (letter case aside); else none.
    std::uint8_t ChoosePreferencesMode() const;

    // Chooses the store mode and reads every setting from it; what is missing
    // or unreadable takes its default. Sets "Retour" to 1. In portable mode,
    // the seven stored paths under "Portable Path" move to the program's
    // folder. Never fails.
    void LoadPreferences();

    // Writes every setting, with "version", "Last saving" and "Exename", in
    // the store mode in use; mode none writes nothing. Throws
    // PreferencesSaveError when the file or key cannot be written.
    void SavePreferences();

    // Asks `confirm` with "Do you really want to delete the Preferences of
    // Vidora"; on yes deletes the portable file and the registry key and
    // gives `report` the outcome's text, `found` telling which of the two
    // messages it is. Returns whether anything was found and deleted. The
    // values themselves stay.
    bool DeletePreferences(const std::function<bool(const QString &question)> &confirm,
                           const std::function<void(const QString &text, bool found)> &report);
    // Deletes the program's key, and the maker's key when no other program's
    // key is left in it; true when the program's key existed.
    bool DeleteRegistryPreferences() const;
    // Deletes the portable file; true when it existed and is gone.
    bool DeleteIniPreferences() const;

    // The output file for `sourcePath`: see the free MakeOutputPath, with
    // "Save in the same folder" and "Dossier pour Sauver".
    QString MakeOutputPath(const QString &sourcePath, const QString &ending) const;

    // The sibling capture program: "Exename" of its own key; empty when absent.
    QString QuillmarkExePath() const;

private:
    void readAll(TReadPreferences &reader);
    void writeAll(TWritePreferences &writer);

    SettingsEnvironment m_environment;
};

// The output file for a source file: beside the source when `sameFolder`,
// else in `saveFolder`; the source's extension (from the last "." of its
// file name on) is replaced by `ending`, which carries its own dot
// ("_type2.avi", ".wav"); a name without extension gets `ending` appended.
QString MakeOutputPath(const QString &sourcePath, const QString &ending, bool sameFolder,
                       const QString &saveFolder);

// The first and the second line of `text` (split at CR LF, CR or LF); empty
// when there is none.
void SplitFirstTwoLines(const QString &text, QString &first, QString &second);

// A text value of a QSettings file, read without creating the file; empty
// when the file or value is missing or not a text.
QString ReadRegString(const QString &settingsFile, const QString &valueName);

} // namespace vidora
