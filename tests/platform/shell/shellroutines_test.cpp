#include "platform/shell/shellroutines.h"

#include "support/isolatedhome.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

using vidora::test::IsolatedHome;
using vidora::test::readFileBytes;
using vidora::test::writeFileBytes;

// The trash only stays in the temporary folder when the file lies on the
// same file system as the isolated home; both live in the same QTemporaryDir.
TEST(DeleteToRecycleBin, MovesTheFileAndWritesItsInfo)
{
    IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    const QString first = home.root() + QStringLiteral("/a/clip été.avi");
    const QString second = home.root() + QStringLiteral("/b/clip été.avi");
    ASSERT_TRUE(QDir(home.root()).mkpath(QStringLiteral("a")));
    ASSERT_TRUE(QDir(home.root()).mkpath(QStringLiteral("b")));
    writeFileBytes(first, "first");
    writeFileBytes(second, "second");

    ASSERT_TRUE(vidora::DeleteToRecycleBin(first));
    ASSERT_TRUE(vidora::DeleteToRecycleBin(second));

    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
    const QString trash = home.dataHome() + QStringLiteral("/Trash");
    EXPECT_EQ(readFileBytes(trash + QStringLiteral("/files/clip été.avi")), "first");
    EXPECT_EQ(readFileBytes(trash + QStringLiteral("/files/clip été.1.avi")), "second");
    const QByteArray info = readFileBytes(trash + QStringLiteral("/info/clip été.1.avi.trashinfo"));
    const QList<QByteArray> lines = info.split('\n');
    ASSERT_GE(lines.size(), 3) << info.constData();
    EXPECT_EQ(lines[0], "[Trash Info]");
    EXPECT_EQ(lines[1], "Path=" + QUrl::toPercentEncoding(second, "/"));
    EXPECT_TRUE(lines[2].startsWith("DeletionDate=")) << info.constData();
    EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), Qt::ISODate).isValid())
        << info.constData();
    EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("/info/clip été.avi.trashinfo")));
}

TEST(DeleteToRecycleBin, ReportsFailureAndNeverDeletesInstead)
{
    IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    EXPECT_FALSE(vidora::DeleteToRecycleBin(home.root() + QStringLiteral("/missing.avi")));
    EXPECT_FALSE(vidora::DeleteToRecycleBin(QString()));

    // A file where the trash folder should be: the trash cannot be made.
    writeFileBytes(home.dataHome() + QStringLiteral("/Trash"), "not a folder");
    const QString file = home.root() + QStringLiteral("/clip.avi");
    writeFileBytes(file, "DV data");
    EXPECT_FALSE(vidora::DeleteToRecycleBin(file));
    EXPECT_EQ(readFileBytes(file), "DV data");
    // Nothing was made in its place beside the file or in the working folder.
    EXPECT_EQ(QDir(home.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{QStringLiteral("clip.avi"), QStringLiteral("home")}));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("files")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("info")));
}

TEST(ForceDeleteFile, DeletesReadOnlyFilesOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("locked.avi"));
    writeFileBytes(file, "x");
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner));
    EXPECT_TRUE(vidora::ForceDeleteFile(file));
    EXPECT_FALSE(QFileInfo::exists(file));

    EXPECT_FALSE(vidora::ForceDeleteFile(dir.filePath(QStringLiteral("missing.avi"))));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    EXPECT_FALSE(vidora::ForceDeleteFile(dir.filePath(QStringLiteral("folder"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("folder"))).isDir());

    // A link goes; its target and the target's permissions stay.
    const QString target = dir.filePath(QStringLiteral("target.avi"));
    const QString link = dir.filePath(QStringLiteral("link.avi"));
    writeFileBytes(target, "y");
    ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_TRUE(vidora::ForceDeleteFile(link));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(QFile::permissions(target) & QFileDevice::WriteOwner, 0);
}

TEST(ShowInExplorer, AsksForTheFileAndFallsBackToItsFolder)
{
    EXPECT_EQ(vidora::ShowItemsUris(QStringLiteral("/home/u/My Videos/clip #1.avi")),
              QStringList{QStringLiteral("file:///home/u/My%20Videos/clip%20%231.avi")});
    EXPECT_EQ(vidora::ContainingFolderUrl(QStringLiteral("/home/u/My Videos/clip.avi")),
              QUrl::fromLocalFile(QStringLiteral("/home/u/My Videos")));
}

TEST(UserFolders, DocumentsAndVideosOfTheDesktop)
{
    IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    EXPECT_EQ(vidora::GetPersonalFolder(), home.home() + QStringLiteral("/Documents"));
    EXPECT_EQ(vidora::GetMyVideoFolder(), home.home() + QStringLiteral("/Videos"));

    writeFileBytes(home.configHome() + QStringLiteral("/user-dirs.dirs"),
                   "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    EXPECT_EQ(vidora::GetPersonalFolder(), home.home() + QStringLiteral("/Dokumente"));
    EXPECT_EQ(vidora::GetMyVideoFolder(), home.home() + QStringLiteral("/Filme"));
}

TEST(GetWindowsVersionName, NamesTheSystemAndItsBuild)
{
    const QString name = vidora::GetWindowsVersionName();
    const qsizetype build = name.indexOf(QStringLiteral(" - build "));
    EXPECT_GT(build, 0) << name.toStdString();
    EXPECT_GT(name.size(), build + 9) << name.toStdString();
}

TEST(DesktopEntry, ExecArgumentIsQuotedAndEscaped)
{
    const struct
    {
        const char *argument;
        const char *expected;
    } cases[] = {
        {"/usr/bin/vidora", R"("/usr/bin/vidora")"},
        {"/opt/My Tools/vidora", R"("/opt/My Tools/vidora")"},
        // Quoting rule: \" \` \$ \\, then the string escape doubles every
        // backslash, then "%" is doubled.
        {"/opt/a\"b/v", R"("/opt/a\\"b/v")"},
        {"/opt/$x`y`/v", R"("/opt/\\$x\\`y\\`/v")"},
        {"/opt/a\\b/v", R"("/opt/a\\\\b/v")"},
        {"/opt/100%/v", R"("/opt/100%%/v")"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vidora::DesktopExecArgument(QString::fromUtf8(c.argument)),
                  QString::fromUtf8(c.expected))
            << c.argument;
}

TEST(DesktopEntry, SendToShortcutIsWrittenAndRemoved)
{
    IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    const QString entry = home.dataHome() + QStringLiteral("/applications/vidora.desktop");
    EXPECT_EQ(vidora::SendToShortcutPath(QStringLiteral("Vidora")), entry);

    ASSERT_TRUE(vidora::CreateSendToShortcut(QStringLiteral("Vidora")));
    const QString text = QString::fromUtf8(readFileBytes(entry));
    const QStringList lines = text.split(QLatin1Char('\n'));
    EXPECT_EQ(lines.first(), QStringLiteral("[Desktop Entry]"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Name=Vidora")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Comment=Shortcut to Vidora")));
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Exec=") +
                       vidora::DesktopExecArgument(QCoreApplication::applicationFilePath()) +
                       QStringLiteral(" %F")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("video/x-msvideo;")));
    // Written whole: no temporary file is left beside it.
    EXPECT_EQ(QDir(home.dataHome() + QStringLiteral("/applications")).entryList(QDir::Files),
              QStringList{QStringLiteral("vidora.desktop")});

    EXPECT_TRUE(vidora::RemoveSendToShortcut(QStringLiteral("Vidora")));
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_TRUE(vidora::RemoveSendToShortcut(QStringLiteral("Vidora")));
}

TEST(DesktopEntry, ShellLinkNamesItselfAfterItsFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sub/Player.desktop"));
    ASSERT_TRUE(vidora::CreateShellLink(link, QStringLiteral("/opt/player/play"),
                                        QStringLiteral(" /work\\dir"), QStringLiteral("Plays")));
    const QString text = QString::fromUtf8(readFileBytes(link));
    EXPECT_TRUE(text.contains(QStringLiteral("\nName=Player\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nComment=Plays\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nPath=\\s/work\\\\dir\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=\"/opt/player/play\" %F\n")));

    EXPECT_FALSE(vidora::CreateShellLink(link, QString(), QString(), QString()));
    // A link that cannot be written: its folder is a file.
    writeFileBytes(dir.filePath(QStringLiteral("file")), "x");
    EXPECT_FALSE(vidora::CreateShellLink(dir.filePath(QStringLiteral("file/a.desktop")),
                                         QStringLiteral("/bin/true"), QString(), QString()));
}

TEST(OpenURL, AddressesWithoutSchemeAreWebAddresses)
{
    const struct
    {
        const char *address;
        const char *expected;
    } cases[] = {
        {"https://example.org/a?b=c", "https://example.org/a?b=c"},
        {" www.example.org ", "http://www.example.org"},
        {"mailto:someone@example.org", "mailto:someone@example.org"},
        {"/home/u/readme.txt", "file:///home/u/readme.txt"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vidora::AddressUrl(QString::fromUtf8(c.address)).toString(QUrl::FullyEncoded),
                  QString::fromUtf8(c.expected))
            << c.address;
    EXPECT_FALSE(vidora::AddressUrl(QString()).isValid());
}

TEST(SendMailTo, PartsArePercentEncoded)
{
    const struct
    {
        const char *address;
        const char *subject;
        const char *body;
        const char *expected;
    } cases[] = {
        {"someone@example.org", "Vidora", "Hello",
         "mailto:someone@example.org?subject=Vidora&body=Hello"},
        {"someone@example.org", "Vidora 7.0.5", "a & b = c?",
         "mailto:someone@example.org?subject=Vidora%207.0.5&body=a%20%26%20b%20%3D%20c%3F"},
        {"someone@example.org", "#1 100%", "line 1\r\nline 2",
         "mailto:someone@example.org?subject=%231%20100%25&body=line%201%0D%0Aline%202"},
        {"someone@example.org", "", "", "mailto:someone@example.org?subject=&body="},
        {"someone@example.org", "été", "",
         "mailto:someone@example.org?subject=%C3%A9t%C3%A9&body="},
    };
    for (const auto &c : cases) {
        const QUrl url = vidora::MailToUrl(QString::fromUtf8(c.address),
                                           QString::fromUtf8(c.subject), QString::fromUtf8(c.body));
        EXPECT_TRUE(url.isValid()) << c.expected;
        EXPECT_EQ(url.toEncoded(), QByteArray(c.expected));
        // What the mail program reads back is the text as given.
        EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
                  QString::fromUtf8(c.body));
    }
}

} // namespace
