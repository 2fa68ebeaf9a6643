// Entries of the file list: paths, names, keys and the sort orders.
#include "files/avifichier.h"
#include "files/listfichier.h"
#include "listfixtures.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace vidora {
namespace {

using test::WriteText;

QString MakeFile(const QDir &dir, const QString &name, qint64 size)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(file.resize(size)); // a hole: large files take no disk
    return path;
}

// The names of the entries in the order of their keys for the sort order.
template <typename Entry>
QStringList Ordered(std::vector<std::shared_ptr<Entry>> entries, const TSortIndex &order)
{
    std::sort(entries.begin(), entries.end(), [&](const auto &a, const auto &b) {
        return a->GetSortKey(order) < b->GetSortKey(order);
    });
    QStringList names;
    for (const auto &entry : entries)
        names << QDir(QFileInfo(entry->Path()).path()).dirName() + "/" + entry->Name();
    return names;
}

TEST(ListEntries, SortIndexFromKeyGivesAlphaForUnknownAndUnlistedWords)
{
    struct Case
    {
        const char *word;
        const char *expected;
    };
    for (const Case &c :
         {Case{"alpha", "alpha"}, Case{"modify", "modify"}, Case{"taille", "taille"},
          Case{"datecode", "datecode"}, Case{"timecode", "timecode"}, Case{"duree", "duree"},
          Case{"extension", "alpha"}, Case{"chemin", "alpha"}, Case{"", "alpha"},
          Case{"Alpha", "alpha"}}) {
        EXPECT_EQ(SortIndexFromKey(c.word).KeyWord, c.expected) << c.word;
    }
    EXPECT_EQ(SortIndexFromKey("timecode").StatusText, "Sort by timecode");
    EXPECT_EQ(SortIndexFromKey("taille").MenuText, "by file size");
}

TEST(ListEntries, KeysAreLowerCasedTextFollowedByTheCanonicalPath)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QDir dir(tmp.path());
    ASSERT_TRUE(dir.mkdir("Sub"));
    const QString path = MakeFile(QDir(dir.filePath("Sub")), "Clip.AVI", 10);
    // Reached through ".." and a link: the identity is the canonical path.
    ASSERT_TRUE(QFile::link(dir.filePath("Sub"), dir.filePath("link")));
    const auto entry = TSRFichier::Create(dir.filePath("link/../Sub/Clip.AVI"));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    ASSERT_EQ(entry->Path(), canonical);
    EXPECT_EQ(entry->Name(), "Clip.AVI");
    EXPECT_EQ(entry->GetSortKey(SortAlpha()), ("Clip.AVI" + canonical).toLower() + canonical);
    EXPECT_EQ(entry->GetSortKey(SortExtension()), (".AVI" + canonical).toLower() + canonical);
    EXPECT_EQ(entry->GetSortKey(SortChemin()), canonical.toLower() + canonical);
    EXPECT_EQ(entry->GetSortKey(SortTaille()),
              "0000000000000000000000000000000a" + canonical.toLower() + canonical);

    const auto plain = TAbstractListFichier::Create(path);
    EXPECT_EQ(plain->GetSortKey(SortTaille()), "");
    EXPECT_EQ(plain->GetSortKey(SortDatecode()), "");

    const auto missing = TSRFichier::Create(dir.filePath("none.avi"));
    EXPECT_EQ(missing->Path(), "");
    EXPECT_EQ(missing->Name(), "");
    EXPECT_EQ(missing->Size(), 0);
}

TEST(ListEntries, RenamingRecomputesEveryKey)
{
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    const QString path = MakeFile(dir, "b.avi", 4);
    auto reading = TaviReading{std::make_shared<test::FakeProbe>()};
    const auto entry = TaviFichier::Create(path, reading);
    ASSERT_TRUE(QFile::rename(path, dir.filePath("a.avi")));
    entry->SetFileName(dir.filePath("a.avi"));
    for (const TSortIndex &order : {SortAlpha(), SortTaille(), SortDatecode(), SortDuree()}) {
        EXPECT_TRUE(entry->GetSortKey(order).endsWith(dir.filePath("a.avi")))
            << order.KeyWord.toStdString();
        EXPECT_FALSE(entry->GetSortKey(order).contains("b.avi")) << order.KeyWord.toStdString();
    }
}

TEST(ListEntries, FileSystemOrders)
{
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    ASSERT_TRUE(dir.mkdir("x") && dir.mkdir("y"));
    QDir x(dir.filePath("x")), y(dir.filePath("y"));
    std::vector<std::shared_ptr<TSRFichier>> entries;
    struct Spec
    {
        QDir *dir;
        const char *name;
        qint64 size;
        int day; // of the last write
    };
    // Equal sizes in two folders; a file past 4 GiB; "A.avi" beside "a.avi".
    for (const Spec &s :
         {Spec{&x, "a.avi", 100, 3}, Spec{&x, "A.avi", 50, 1}, Spec{&y, "b.txt", 100, 2},
          Spec{&y, "big.mov", 0x100000010LL, 5}, Spec{&x, "c.dv", 4095, 4}}) {
        const QString path = MakeFile(*s.dir, s.name, s.size);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2020, 1, s.day), QTime(12, 0)),
                                     QFileDevice::FileModificationTime));
        file.close();
        entries.push_back(TSRFichier::Create(path));
    }
    EXPECT_EQ(entries[3]->SizeHigh(), 1u);
    EXPECT_EQ(entries[3]->SizeLow(), 0x10u);

    EXPECT_EQ(Ordered(entries, SortAlpha()),
              QStringList({"x/A.avi", "x/a.avi", "y/b.txt", "y/big.mov", "x/c.dv"}));
    EXPECT_EQ(Ordered(entries, SortExtension()),
              QStringList({"x/A.avi", "x/a.avi", "x/c.dv", "y/big.mov", "y/b.txt"}));
    EXPECT_EQ(Ordered(entries, SortChemin()),
              QStringList({"x/A.avi", "x/a.avi", "x/c.dv", "y/b.txt", "y/big.mov"}));
    EXPECT_EQ(Ordered(entries, SortTaille()),
              QStringList({"x/A.avi", "x/a.avi", "y/b.txt", "x/c.dv", "y/big.mov"}));
    EXPECT_EQ(Ordered(entries, SortModify()),
              QStringList({"x/A.avi", "y/b.txt", "x/a.avi", "x/c.dv", "y/big.mov"}));
    // "A.avi" and "a.avi" are two files with two keys.
    EXPECT_NE(entries[0]->GetSortKey(SortAlpha()), entries[1]->GetSortKey(SortAlpha()));
}

} // namespace
} // namespace vidora
