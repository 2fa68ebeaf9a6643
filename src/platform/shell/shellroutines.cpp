#include "platform/shell/shellroutines.h"

#include "platform/durablefile.h"
#include "platform/shell/pathroutines.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vidora {

namespace {

// How long ShowInExplorer waits for the file manager before opening the
// folder itself.
constexpr int kFileManagerTimeoutMs = 3000;

// Names tried for one file in the trash before giving up ("clip.avi",
// "clip.1.avi", ...).
constexpr int kMaxTrashNameAttempts = 10000;

// The device of `path`, or of its nearest existing parent folder.
std::optional<dev_t> deviceOfNearestExisting(const QString &path)
{
    QString current = QDir::cleanPath(path);
    for (;;) {
        struct stat status = {};
        if (::stat(QFile::encodeName(current).constData(), &status) == 0)
            return status.st_dev;
        const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return std::nullopt;
        current.truncate(slash);
    }
}

// Makes `path` a folder of mode 0700 when it is missing; true when it is a
// real folder (not a link to one).
bool ensurePrivateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat status = {};
    return ::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Moves `source` into the freedesktop.org trash folder `trash`: first an
// info file, created exclusively so that no other program's entry is
// overwritten, then the file itself by rename (never a copy). `topDir` is
// empty for the home trash (the info gives the absolute path) and the file
// system's top folder otherwise (the info gives the path below it).
bool trashInto(const QString &trash, const QString &source, const QString &topDir)
{
    const QString files = trash + QStringLiteral("/files");
    const QString infos = trash + QStringLiteral("/info");
    if (!ensurePrivateFolder(trash) || !ensurePrivateFolder(files) || !ensurePrivateFolder(infos))
        return false;

    QString origin = source;
    if (!topDir.isEmpty() && topDir != QLatin1String("/"))
        origin = source.mid(topDir.size() + 1);
    else if (!topDir.isEmpty())
        origin = source.mid(1);
    const QByteArray info =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(origin, "/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
        "\n";

    const QString fileName = QFileInfo(source).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    for (int attempt = 0; attempt < kMaxTrashNameAttempts; ++attempt) {
        const QString name = attempt == 0
                                 ? fileName
                                 : stem + QLatin1Char('.') + QString::number(attempt) + extension;
        const QByteArray infoName =
            QFile::encodeName(infos + QLatin1Char('/') + name + QStringLiteral(".trashinfo"));
        const int fd = ::open(infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written = ::write(fd, info.constData(), static_cast<size_t>(info.size())) ==
                             static_cast<ssize_t>(info.size());
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlink(infoName.constData());
            return false;
        }
        // A file of that name without its info (left by someone else): next name.
        const QByteArray target = QFile::encodeName(files + QLatin1Char('/') + name);
        struct stat existing = {};
        if (::lstat(target.constData(), &existing) == 0) {
            ::unlink(infoName.constData());
            continue;
        }
        if (::rename(QFile::encodeName(source).constData(), target.constData()) == 0)
            return true;
        ::unlink(infoName.constData());
        return false;
    }
    return false;
}

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
    return WriteFileDurably(linkFile, text.toUtf8());
}

} // namespace

bool DeleteToRecycleBin(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    struct stat source = {};
    const QByteArray sourceName = QFile::encodeName(info.absoluteFilePath());
    if (::lstat(sourceName.constData(), &source) != 0)
        return false;
    // The home trash takes every file of its own file system, and only those:
    // a file there that cannot go to the home trash stays where it is.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty()) {
        const QString homeTrash = dataHome + QStringLiteral("/Trash");
        const std::optional<dev_t> homeDevice = deviceOfNearestExisting(homeTrash);
        if (homeDevice && *homeDevice == source.st_dev)
            return trashInto(homeTrash, info.absoluteFilePath(), QString());
    }
    // Another file system: its own trash at its top folder.
    const QString topDir = QStorageInfo(info.absolutePath()).rootPath();
    if (topDir.isEmpty())
        return false;
    const QString uid = QString::number(::getuid());
    const QString shared = topDir + QStringLiteral("/.Trash");
    struct stat sharedStat = {};
    if (::lstat(QFile::encodeName(shared).constData(), &sharedStat) == 0 &&
        S_ISDIR(sharedStat.st_mode) && (sharedStat.st_mode & S_ISVTX) != 0 &&
        trashInto(shared + QLatin1Char('/') + uid, info.absoluteFilePath(), topDir))
        return true;
    return trashInto(topDir + QStringLiteral("/.Trash-") + uid, info.absoluteFilePath(), topDir);
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

bool OpenDocumentFile(const QString &path)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
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
