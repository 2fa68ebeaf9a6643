#include "settings/preferences.h"

#include "platform/shell/pathroutines.h"
#include "settings/inifile.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace vidora {

namespace {

const QString kFontName = QStringLiteral("FontName");
const QString kFontSize = QStringLiteral("FontSize");
const QString kFontColor = QStringLiteral("FontColor");
const QString kFontBold = QStringLiteral("FontBold");
const QString kFontItalic = QStringLiteral("FontItalic");
const QString kFontUnderline = QStringLiteral("FontUnderline");
const QString kFontStrikeOut = QStringLiteral("FontStrikeOut");

QString sectionFor(const QString &keyPath)
{
    return QLatin1Char('[') + keyPath + QLatin1Char(']');
}

QString fontFieldName(const QString &font, const QString &field)
{
    return font + QLatin1Char('\\') + field;
}

std::optional<int> parseInteger(const QString &text)
{
    bool ok = false;
    const int value = TrimControlChars(text).toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// A registry value as text, or nothing when it is missing or is a list (an
// unquoted value with commas in a hand-edited file).
std::optional<QString> registryText(const QSettings &registry, const QString &name)
{
    if (!registry.contains(name))
        return std::nullopt;
    const QVariant value = registry.value(name);
    if (value.typeId() == QMetaType::QStringList || !value.canConvert<QString>())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> registryBool(const QSettings &registry, const QString &name)
{
    const std::optional<QString> text = registryText(registry, name);
    if (!text)
        return std::nullopt;
    if (const std::optional<int> number = parseInteger(*text))
        return *number != 0;
    const QString word = TrimControlChars(*text).toLower();
    if (word == QLatin1String("true"))
        return true;
    if (word == QLatin1String("false"))
        return false;
    return std::nullopt;
}

} // namespace

// ---------------------------------------------------------------- reader

TReadPreferences::TReadPreferences(const QString &keyPath, std::uint8_t mode,
                                   const PreferencesFiles &files)
    : m_section(sectionFor(keyPath)), m_mode(mode)
{
    if (m_mode == kPreferencesRegistry) {
        // Opening a QSettings file that does not exist would not create it,
        // but a missing key must not be invented either way.
        if (QFileInfo(files.registryFile).isFile()) {
            m_registry = std::make_unique<QSettings>(files.registryFile, QSettings::NativeFormat);
            if (m_registry->status() != QSettings::NoError)
                m_registry.reset();
        }
    } else if (m_mode == kPreferencesPortable) {
        IniLoadResult loaded = LoadIniLines(files.iniFile);
        if (loaded.ok)
            m_lines = std::move(loaded.lines);
    }
}

TReadPreferences::~TReadPreferences() = default;

std::optional<QString> TReadPreferences::fileValue(const QString &name) const
{
    return IniLookup(m_lines, m_section, name);
}

bool TReadPreferences::ReadBool(const QString &name, bool defaultValue)
{
    if (m_mode == kPreferencesRegistry && m_registry)
        return registryBool(*m_registry, name).value_or(defaultValue);
    if (m_mode == kPreferencesPortable) {
        if (const std::optional<QString> text = fileValue(name))
            return TrimControlChars(*text) != QLatin1String("0");
    }
    return defaultValue;
}

int TReadPreferences::ReadInteger(const QString &name, int defaultValue)
{
    std::optional<QString> text;
    if (m_mode == kPreferencesRegistry && m_registry)
        text = registryText(*m_registry, name);
    else if (m_mode == kPreferencesPortable)
        text = fileValue(name);
    if (!text)
        return defaultValue;
    return parseInteger(*text).value_or(defaultValue);
}

QString TReadPreferences::ReadString(const QString &name, const QString &defaultValue)
{
    std::optional<QString> text;
    if (m_mode == kPreferencesRegistry && m_registry)
        text = registryText(*m_registry, name);
    else if (m_mode == kPreferencesPortable)
        text = fileValue(name);
    if (!text)
        return defaultValue;
    return *text == kEmptyTextMarker ? QString() : *text;
}

double TReadPreferences::ReadFloat(const QString &name, double defaultValue)
{
    std::optional<QString> text;
    if (m_mode == kPreferencesRegistry && m_registry)
        text = registryText(*m_registry, name);
    else if (m_mode == kPreferencesPortable)
        text = fileValue(name);
    if (!text)
        return defaultValue;
    return ParseIniReal(*text).value_or(defaultValue);
}

TfontRecord TReadPreferences::ReadFont(const QString &name, const TfontRecord &defaultValue)
{
    if (m_mode == kPreferencesRegistry) {
        if (!m_registry || !m_registry->childGroups().contains(name))
            return defaultValue;
        // Entered for good: the values after the font lie in its group.
        m_registry->beginGroup(name);
        TfontRecord font;
        font.Name = registryText(*m_registry, kFontName).value_or(defaultValue.Name);
        font.Size = ReadInteger(kFontSize, defaultValue.Size);
        font.Color = ReadInteger(kFontColor, defaultValue.Color);
        font.Bold = ReadBool(kFontBold, defaultValue.Bold != 0) ? 1 : 0;
        font.Italic = ReadBool(kFontItalic, defaultValue.Italic != 0) ? 1 : 0;
        font.Underline = ReadBool(kFontUnderline, defaultValue.Underline != 0) ? 1 : 0;
        font.StrikeOut = ReadBool(kFontStrikeOut, defaultValue.StrikeOut != 0) ? 1 : 0;
        return font;
    }
    if (m_mode == kPreferencesPortable) {
        TfontRecord font;
        font.Name = fileValue(fontFieldName(name, kFontName)).value_or(defaultValue.Name);
        font.Size = ReadInteger(fontFieldName(name, kFontSize), defaultValue.Size);
        font.Color = ReadInteger(fontFieldName(name, kFontColor), defaultValue.Color);
        font.Bold = ReadBool(fontFieldName(name, kFontBold), defaultValue.Bold != 0) ? 1 : 0;
        font.Italic = ReadBool(fontFieldName(name, kFontItalic), defaultValue.Italic != 0) ? 1 : 0;
        font.Underline =
            ReadBool(fontFieldName(name, kFontUnderline), defaultValue.Underline != 0) ? 1 : 0;
        font.StrikeOut =
            ReadBool(fontFieldName(name, kFontStrikeOut), defaultValue.StrikeOut != 0) ? 1 : 0;
        return font;
    }
    return defaultValue;
}

// ---------------------------------------------------------------- writer

TWritePreferences::TWritePreferences(const QString &keyPath, std::uint8_t mode,
                                     const PreferencesFiles &files)
    : m_section(sectionFor(keyPath)), m_mode(mode), m_files(files)
{
    if (m_mode == kPreferencesRegistry) {
        m_registry = std::make_unique<QSettings>(files.registryFile, QSettings::NativeFormat);
    } else if (m_mode == kPreferencesPortable) {
        IniLoadResult loaded = LoadIniLines(files.iniFile);
        if (loaded.ok)
            m_lines = std::move(loaded.lines);
        else
            m_loadError = loaded.error;
    }
}

TWritePreferences::~TWritePreferences() = default;

void TWritePreferences::WriteBool(const QString &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TWritePreferences::WriteInteger(const QString &name, int value)
{
    if (m_mode == kPreferencesRegistry)
        m_registry->setValue(name, value);
    else if (m_mode == kPreferencesPortable && m_loadError.isEmpty())
        IniWrite(m_lines, m_section, name, QString::number(value));
}

void TWritePreferences::WriteString(const QString &name, const QString &value)
{
    const QString stored = value.isEmpty() ? kEmptyTextMarker : value;
    if (m_mode == kPreferencesRegistry) {
        m_registry->setValue(name, stored);
    } else if (m_mode == kPreferencesPortable && m_loadError.isEmpty()) {
        if (stored.contains(QLatin1Char('\r')) || stored.contains(QLatin1Char('\n')))
            return;
        IniWrite(m_lines, m_section, name, stored);
    }
}

void TWritePreferences::WriteFloat(const QString &name, double value)
{
    // The same text in both stores: "." as the decimal separator whatever the
    // locale, so a file written under one locale reads back under another.
    if (m_mode == kPreferencesRegistry)
        m_registry->setValue(name, FormatIniReal(value));
    else if (m_mode == kPreferencesPortable && m_loadError.isEmpty())
        IniWrite(m_lines, m_section, name, FormatIniReal(value));
}

void TWritePreferences::WriteFont(const QString &name, const TfontRecord &value)
{
    if (m_mode == kPreferencesRegistry) {
        // Entered for good: the values after the font lie in its group.
        m_registry->beginGroup(name);
        m_registry->setValue(kFontName, value.Name);
        WriteInteger(kFontSize, value.Size);
        WriteInteger(kFontColor, value.Color);
        WriteBool(kFontBold, value.Bold != 0);
        WriteBool(kFontItalic, value.Italic != 0);
        WriteBool(kFontUnderline, value.Underline != 0);
        WriteBool(kFontStrikeOut, value.StrikeOut != 0);
    } else if (m_mode == kPreferencesPortable && m_loadError.isEmpty()) {
        if (!value.Name.contains(QLatin1Char('\r')) && !value.Name.contains(QLatin1Char('\n')))
            IniWrite(m_lines, m_section, fontFieldName(name, kFontName), value.Name);
        WriteInteger(fontFieldName(name, kFontSize), value.Size);
        WriteInteger(fontFieldName(name, kFontColor), value.Color);
        WriteBool(fontFieldName(name, kFontBold), value.Bold != 0);
        WriteBool(fontFieldName(name, kFontItalic), value.Italic != 0);
        WriteBool(fontFieldName(name, kFontUnderline), value.Underline != 0);
        WriteBool(fontFieldName(name, kFontStrikeOut), value.StrikeOut != 0);
    }
}

void TWritePreferences::Commit()
{
    if (m_mode == kPreferencesRegistry) {
        m_registry->sync();
        if (m_registry->status() != QSettings::NoError) {
            throw PreferencesSaveError(
                QStringLiteral("Cannot write the settings to %1: %2")
                    .arg(m_files.registryFile,
                         m_registry->status() == QSettings::AccessError
                             ? QStringLiteral("access denied")
                             : QStringLiteral("the file is not in settings format"))
                    .toStdString());
        }
    } else if (m_mode == kPreferencesPortable) {
        if (!m_loadError.isEmpty()) {
            throw PreferencesSaveError(
                QStringLiteral("Cannot read the settings file before saving it, left as it was: %1")
                    .arg(m_loadError)
                    .toStdString());
        }
        try {
            SaveIniLines(m_files.iniFile, m_lines);
        } catch (const std::runtime_error &error) {
            throw PreferencesSaveError(error.what());
        }
    }
}

} // namespace vidora
