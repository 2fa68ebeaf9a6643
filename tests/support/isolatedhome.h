#pragma once

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_CACHE_HOME at folders
// of a temporary directory for the lifetime of the object, so that QSettings,
// QStandardPaths, the trash and desktop entries never reach the real home.
// QSettings keeps the user's folder it found first for the whole process: it
// is pointed at the new configuration folder too, and back at the previous
// one afterwards, so each test that makes a home starts from settings of its
// own whatever ran before it. Create it at the start of a test, before
// anything asks for those places; homes nest (the last made is in force).
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <utility>

namespace vidora::test {

class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome &) = delete;
    IsolatedHome &operator=(const IsolatedHome &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    // The temporary directory itself (no trailing "/").
    QString root() const { return m_dir.path(); }
    QString home() const { return root() + QStringLiteral("/home"); }
    QString configHome() const { return home() + QStringLiteral("/.config"); }
    QString dataHome() const { return home() + QStringLiteral("/.local/share"); }

private:
    QTemporaryDir m_dir;
    // Each variable's name and previous value (unset when null).
    std::array<std::pair<const char *, QByteArray>, 4> m_saved;
    QString m_savedConfigHome; // QSettings' user folder before this home
};

} // namespace vidora::test
