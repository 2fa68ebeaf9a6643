#include "platform/shell/shellroutines.h"

#include "platform/shell/pathroutines.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

namespace vidora {

namespace {

// How long ShowInExplorer waits for the file manager before opening the
// folder itself.
constexpr int kFileManagerTimeoutMs = 3000;

// The escapes of a desktop entry's string values: "\\", "\n", "\t", "\r",
// and "\s" for a leading blank.
QString escapeDesktopString(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\'))
            result += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            result += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            result += QLatin1String("\\s");
        else
            result += c;
    }
    return result;
}

bool writeDesktopEntry(const QString &linkFile, const QString &text)
{
    if (linkFile.isEmpty() || !QDir().mkpath(QFileInfo(linkFile).absolutePath()))
        return false;
    QSaveFile file(linkFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace

bool DeleteToRecycleBin(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFile::moveToTrash(path);
}

bool ForceDeleteFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()) || info.isDir())
        return false;
    // Permissions of a link would change its target, which stays untouched.
    if (!info.isSymLink())
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadUser | QFileDevice::WriteUser);
    return QFile::remove(path);
}

QStringList ShowItemsUris(const QString &path)
{
    return {QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)};
}

QUrl ContainingFolderUrl(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absolutePath());
}

void ShowInExplorer(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << ShowItemsUris(path) << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, kFileManagerTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
    }
    QDesktopServices::openUrl(ContainingFolderUrl(path));
}

QString GetPersonalFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder.isEmpty() ? QDir::homePath() : folder;
}

QString GetMyVideoFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return folder.isEmpty() ? GetPersonalFolder() : folder;
}

QString GetWindowsVersionName()
{
    return QSysInfo::prettyProductName() + QStringLiteral(" - build ") + QSysInfo::kernelVersion();
}

QString DesktopExecArgument(const QString &argument)
{
    // Quoting rule first, then the string escapes, then "%" doubled so that
    // no part of the path reads as a field code.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return escapeDesktopString(quoted).replace(QLatin1Char('%'), QLatin1String("%%"));
}

QString DesktopEntryText(const QString &name, const QString &target, const QString &workingFolder,
                         const QString &description)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Version=1.0\n");
    text += QStringLiteral("Name=") + escapeDesktopString(name) + QLatin1Char('\n');
    text += QStringLiteral("Comment=") + escapeDesktopString(description) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + DesktopExecArgument(target) + QStringLiteral(" %F\n");
    if (!workingFolder.isEmpty())
        text += QStringLiteral("Path=") + escapeDesktopString(workingFolder) + QLatin1Char('\n');
    // Offered for the files the program opens: DV and AVI videos, playlists
    // (plain text) and folders.
    text += QStringLiteral("MimeType=video/x-msvideo;video/avi;video/msvideo;video/dv;video/x-dv;"
                           "text/plain;inode/directory;\n"
                           "Terminal=false\n"
                           "NoDisplay=true\n");
    return text;
}

bool CreateShellLink(const QString &linkFile, const QString &target, const QString &workingFolder,
                     const QString &description)
{
    if (target.isEmpty())
        return false;
    return writeDesktopEntry(linkFile, DesktopEntryText(ExtractFileBaseName(linkFile), target,
                                                        workingFolder, description));
}

QString SendToShortcutPath(const QString &programName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    if (folder.isEmpty() || programName.isEmpty())
        return {};
    return folder + QLatin1Char('/') + programName.toLower() + QStringLiteral(".desktop");
}

bool CreateSendToShortcut(const QString &programName)
{
    const QString target = QCoreApplication::applicationFilePath();
    if (target.isEmpty())
        return false;
    return writeDesktopEntry(SendToShortcutPath(programName),
                             DesktopEntryText(programName, target, QDir::homePath(),
                                              QStringLiteral("Shortcut to ") + programName));
}

bool RemoveSendToShortcut(const QString &programName)
{
    const QString path = SendToShortcutPath(programName);
    if (path.isEmpty())
        return false;
    return !QFileInfo::exists(path) || QFile::remove(path);
}

QUrl AddressUrl(const QString &address)
{
    return QUrl::fromUserInput(address.trimmed());
}

bool OpenURL(const QString &address)
{
    const QUrl url = AddressUrl(address);
    return url.isValid() && QDesktopServices::openUrl(url);
}

QUrl MailToUrl(const QString &address, const QString &subject, const QString &body)
{
    QByteArray text = "mailto:";
    text += QUrl::toPercentEncoding(address, "@");
    text += "?subject=";
    text += QUrl::toPercentEncoding(subject);
    text += "&body=";
    text += QUrl::toPercentEncoding(body);
    return QUrl::fromEncoded(text, QUrl::StrictMode);
}

bool SendMailTo(const QString &address, const QString &subject, const QString &body)
{
    const QUrl url = MailToUrl(address, subject, body);
    return url.isValid() && QDesktopServices::openUrl(url);
}

} // namespace vidora
