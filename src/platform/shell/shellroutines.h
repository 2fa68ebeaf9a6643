#pragma once

// The desktop's services as the program uses them: the trash, the file
// manager, the user's folders, the system's name, desktop entries (the
// program's entry in "Open With" stands for a Send To shortcut), web
// addresses and e-mail. The parts that decide what is passed to another
// program are pure functions of their own, so they can be checked without
// starting anything.
#include <QString>
#include <QStringList>
#include <QUrl>

namespace vidora {

// Moves the file to the user's trash (freedesktop.org trash: the file under
// Trash/files, its origin and date under Trash/info), without a question.
// False when it could not be moved; the file is then left where it was and is
// never deleted in its place.
bool DeleteToRecycleBin(const QString &path);

// Makes the file writable for its owner, then deletes it; true when deleted.
bool ForceDeleteFile(const QString &path);

// Shows the file selected in the desktop's file manager (D-Bus
// org.freedesktop.FileManager1.ShowItems); when no file manager answers, opens
// its folder instead.
void ShowInExplorer(const QString &path);
// The URIs ShowItems is given for `path`: one file URL of the absolute path.
QStringList ShowItemsUris(const QString &path);
// The URL of the folder that holds `path`, opened when ShowItems fails.
QUrl ContainingFolderUrl(const QString &path);

// The user's documents folder; the home folder when the desktop names none.
QString GetPersonalFolder();
// The user's video folder; the documents folder when the desktop names none.
QString GetMyVideoFolder();

// The running system's name and version, then " - build " and the kernel's
// version ("Debian GNU/Linux 12 (bookworm) - build 6.1.0-13-amd64").
QString GetWindowsVersionName();

// Writes a desktop entry at `linkFile` that starts `target` with the files
// given to it, in `workingFolder`, with `description` as its comment; the file
// is written whole or not at all. False on any failure.
bool CreateShellLink(const QString &linkFile, const QString &target, const QString &workingFolder,
                     const QString &description);
// The text of that desktop entry; `name` is its "Name".
QString DesktopEntryText(const QString &name, const QString &target, const QString &workingFolder,
                         const QString &description);
// One argument of a desktop entry's Exec key, quoted and escaped as the
// desktop entry format asks (and "%" doubled), ready for the file.
QString DesktopExecArgument(const QString &argument);

// The desktop entry that offers the running program in the file manager's
// "Open With": <applications folder>/<program name in lower case>.desktop.
QString SendToShortcutPath(const QString &programName);
// Creates that entry for the running program ("Shortcut to " + program name);
// false on failure.
bool CreateSendToShortcut(const QString &programName);
// Deletes that entry; true when no entry is left.
bool RemoveSendToShortcut(const QString &programName);

// Opens a web address (or any URL) with the desktop's handler; false when
// none could be started.
bool OpenURL(const QString &address);
// Opens a file with the desktop's handler for its type (GUI thread); false
// when none could be started, and without a desktop (the offscreen and
// minimal platforms), where nothing is shown.
bool OpenDocumentFile(const QString &path);
// The URL that OpenURL opens: an address without a scheme is taken as a web
// address ("www.example.org" -> "http://www.example.org").
QUrl AddressUrl(const QString &address);

// Starts a new message in the desktop's e-mail program; false when none
// could be started.
bool SendMailTo(const QString &address, const QString &subject, const QString &body);
// "mailto:" + address + "?subject=" + subject + "&body=" + body, each part
// percent-encoded so that "&", "?", "#", "%" and line breaks in the subject
// or body reach the mail program as written.
QUrl MailToUrl(const QString &address, const QString &subject, const QString &body);

} // namespace vidora
