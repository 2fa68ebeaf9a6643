#include "support/isolatedhome.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QtGlobal>

namespace vidora::test {

namespace {

// Where QSettings puts the files of an organisation and application from
// now on (it reads the environment only once per process).
void SetSettingsFolder(const QString &folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

} // namespace

IsolatedHome::IsolatedHome()
    : m_saved{
          {{"HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"XDG_DATA_HOME", {}}, {"XDG_CACHE_HOME", {}}}}
{
    for (auto &[name, value] : m_saved)
        value = qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray();
    if (!m_dir.isValid())
        return;
    m_savedConfigHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString cacheHome = home() + QStringLiteral("/.cache");
    for (const QString &folder : {home(), configHome(), dataHome(), cacheHome})
        QDir().mkpath(folder);
    qputenv("HOME", QFile::encodeName(home()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome));
    SetSettingsFolder(configHome());
}

IsolatedHome::~IsolatedHome()
{
    if (!m_savedConfigHome.isEmpty())
        SetSettingsFolder(m_savedConfigHome);
    for (const auto &[name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

} // namespace vidora::test
