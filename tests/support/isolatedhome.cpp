#include "support/isolatedhome.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

namespace vidora::test {

IsolatedHome::IsolatedHome()
    : m_saved{
          {{"HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"XDG_DATA_HOME", {}}, {"XDG_CACHE_HOME", {}}}}
{
    for (auto &[name, value] : m_saved)
        value = qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray();
    if (!m_dir.isValid())
        return;
    const QString cacheHome = home() + QStringLiteral("/.cache");
    for (const QString &folder : {home(), configHome(), dataHome(), cacheHome})
        QDir().mkpath(folder);
    qputenv("HOME", QFile::encodeName(home()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome));
}

IsolatedHome::~IsolatedHome()
{
    for (const auto &[name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

} // namespace vidora::test
