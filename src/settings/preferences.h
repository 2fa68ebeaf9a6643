#pragma once

// The settings store: named values of five kinds (boolean, integer, text,
// real, font) read from or written to one of three places chosen by a store
// mode. One reader or writer serves one whole load or save.
//
// Registry mode keeps the values in a QSettings file standing for the key
// HKEY_CURRENT_USER\Software\Vesk Tobrek\Vidora (on Linux
// "~/.config/Vesk Tobrek/Vidora.conf"); a font is a group named after the
// value, holding "FontName", "FontSize", "FontColor", "FontBold",
// "FontItalic", "FontUnderline" and "FontStrikeOut". The store never leaves a
// font's group once it has entered it: every value read or written after a
// font lies in that group. The settings read and write in one fixed order
// around their one font, so this layout is part of the stored format.
//
// Portable mode keeps the values in the one section "[" + key path + "]" of
// the portable settings file (see inifile.h); a font there is seven lines
// named "<font>\FontName" and so on.
//
// Mode none reads every default and writes nothing.
//
// A text that is empty is stored as kEmptyTextMarker and reads back empty;
// the name inside a font is stored as it is. A value that is missing or cannot
// be read reads as the default given.
#include "settings/incrustrec.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

class QSettings;

namespace vidora {

inline constexpr std::uint8_t kPreferencesRegistry = 0;
inline constexpr std::uint8_t kPreferencesPortable = 1;
inline constexpr std::uint8_t kPreferencesNone = 2;

inline const QString kEmptyTextMarker = QStringLiteral("#@vide§#");

// The files that stand for the two stores.
struct PreferencesFiles
{
    QString registryFile; // the QSettings file of the program's key
    QString iniFile;      // the portable settings file
};

// A store that could not be written at the end of a save.
class PreferencesSaveError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TReadPreferences
{
public:
    // Registry mode opens the key without creating it (no key: every read
    // gives its default); portable mode loads the whole file (a file that
    // cannot be read gives every default); mode none prepares nothing.
    TReadPreferences(const QString &keyPath, std::uint8_t mode, const PreferencesFiles &files);
    ~TReadPreferences();
    TReadPreferences(const TReadPreferences &) = delete;
    TReadPreferences &operator=(const TReadPreferences &) = delete;

    // Registry: any stored integer other than 0, or "true", is true. File: the
    // trimmed value "0" is false, any other value (the empty one too) is true.
    bool ReadBool(const QString &name, bool defaultValue);
    int ReadInteger(const QString &name, int defaultValue);
    QString ReadString(const QString &name, const QString &defaultValue);
    double ReadFloat(const QString &name, double defaultValue);
    // Each of the seven fields defaults to the matching field of
    // `defaultValue`; without the font's group (registry), all of it.
    TfontRecord ReadFont(const QString &name, const TfontRecord &defaultValue);

private:
    std::optional<QString> fileValue(const QString &name) const;

    QString m_section;
    std::uint8_t m_mode;
    std::unique_ptr<QSettings> m_registry; // mode 0, when the key exists
    QStringList m_lines;                   // mode 1
};

class TWritePreferences
{
public:
    // Registry mode opens the key, creating it when written; portable mode
    // loads the existing file so that lines it does not know survive the save;
    // mode none prepares nothing.
    TWritePreferences(const QString &keyPath, std::uint8_t mode, const PreferencesFiles &files);
    ~TWritePreferences();
    TWritePreferences(const TWritePreferences &) = delete;
    TWritePreferences &operator=(const TWritePreferences &) = delete;

    // A value that cannot be stored is left out: a text with a line break in
    // portable mode (it would split its line), anything after a failed load.
    void WriteBool(const QString &name, bool value);
    void WriteInteger(const QString &name, int value);
    void WriteString(const QString &name, const QString &value);
    void WriteFloat(const QString &name, double value);
    void WriteFont(const QString &name, const TfontRecord &value);

    // Makes the writes durable: registry mode flushes the key, portable mode
    // writes the whole file (replacing it whole or not at all). Throws
    // PreferencesSaveError naming the place and the reason when that fails,
    // also when the existing file could not be read at the start, which is
    // then left as it was. Without Commit, portable writes are discarded.
    void Commit();

private:
    QString m_section;
    std::uint8_t m_mode;
    PreferencesFiles m_files;
    std::unique_ptr<QSettings> m_registry; // mode 0
    QStringList m_lines;                   // mode 1
    QString m_loadError;                   // mode 1: the existing file could not be read
};

} // namespace vidora
