// Opening in the background: folders with subfolders, lists of files,
// dropped and pasted names, found entries handed over in groups on one
// reused thread, the queue of requests and aborting it. Every wait
// is bounded; aborts are made from the list's own events (gates), never timed.
#include "files/avifichier.h"
#include "files/fichierlistmodel.h"
#include "formats/dsfunctions.h"
#include "listfixtures.h"
#include "platform/gui_thread.h"
#include "support/media_hang_guard.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

#include <sys/stat.h>

namespace vidora {
namespace {

using namespace vidora::test;

struct OpenFixture
{
    QTemporaryDir tmp;
    TFichierListModel model;
    QStringList events;
    int ends = 0;
    int lastCount = -1;

    OpenFixture()
    {
        model.SetFichierClass([](const QString &folder, const QFileInfo &found) {
            return TSRFichier::CreateFromSearchRec(folder, found);
        });
        model.SetOpenTestExtension([](const QString &name) { return IsAviFile(name); });
        QObject::connect(&model, &TFichierListModel::openStart, [this] { events << "start"; });
        QObject::connect(&model, &TFichierListModel::openFolderFound,
                         [this](const QString &folder) { events << "folder " + Rel(folder); });
        QObject::connect(&model, &TFichierListModel::openEnd, [this](int count) {
            events << QStringLiteral("end %1").arg(count);
            ++ends;
            lastCount = count;
        });
    }
    QString Path(const QString &rel) const { return QDir(tmp.path()).filePath(rel); }
    QString Rel(const QString &path) const
    {
        return QDir(tmp.path()).relativeFilePath(path) + (path.endsWith('/') ? "/" : "");
    }
    void File(const QString &rel)
    {
        QDir().mkpath(QFileInfo(Path(rel)).path());
        WriteText(Path(rel), "x");
    }
    // The listed paths, relative to the temporary folder, in list order.
    QStringList Listed() const
    {
        QStringList rels;
        for (int row = 0; row < model.Count(); ++row)
            rels << Rel(model.GetFichier(row)->Path());
        return rels;
    }
    bool WaitEnds(int count)
    {
        return WaitUntil([&] { return ends >= count; });
    }
};

TEST(OpenFolder, RecursesListsRegularFilesOnlyAndNeverFollowsFolderLinks)
{
    OpenFixture f;
    f.File("a.avi");
    f.File("notes.txt");
    f.File("sub/b.avi");
    f.File("sub/deep/c.AVI");
    f.File(".hidden/d.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.Path("pipe.avi")).constData(), 0600), 0);
    // A folder link back to the top (a loop) and a file link to a listed file.
    ASSERT_TRUE(QFile::link(f.tmp.path(), f.Path("sub/loop")));
    ASSERT_TRUE(QFile::link(f.Path("a.avi"), f.Path("sub/link.avi")));

    f.model.OpenFolder(f.tmp.path());
    EXPECT_TRUE(f.model.Opening()); // set before the opening thread starts
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_FALSE(f.model.Opening());
    EXPECT_EQ(f.Listed(), QStringList({"a.avi", "sub/b.avi", "sub/deep/c.AVI", ".hidden/d.avi"}));
    EXPECT_EQ(f.lastCount, 5); // the file link made an entry of "a.avi" again
    EXPECT_EQ(f.events, QStringList({"start", "folder ./", "folder .hidden/", "folder sub/",
                                     "folder sub/deep/", "end 5"}));
}

TEST(OpenFolder, ListsOfFilesDoNotDescend)
{
    OpenFixture f;
    f.File("a.avi");
    f.File("b.avi");
    f.File("sub/c.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.Path("pipe.avi")).constData(), 0600), 0);
    f.model.OpenFichiers({f.Path("a.avi"), f.Path("sub"), f.Path("missing.avi"), f.Path("pipe.avi"),
                          f.Path("b.avi")});
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_EQ(f.Listed(), QStringList({"a.avi", "b.avi"}));
    EXPECT_EQ(f.events, QStringList({"start", "end 2"}));
}

TEST(OpenFolder, DroppedNamesAndPastedNames)
{
    OpenFixture f;
    f.model.SetOpenTestExtension({}); // every file
    f.File("folder/x.avi");
    f.File("folder/sub/y.avi");
    f.File("in-list.avi");
    f.File("other/LIST.TXT");
    WriteText(f.Path("list.txt"), ("# Playlist\r\n" + f.Path("in-list.avi") + "\r\n").toUtf8());

    f.model.DropFichiers({f.Path("folder"), f.Path("list.txt"), f.Path("other/LIST.TXT")});
    ASSERT_TRUE(f.WaitEnds(1));
    // "list.txt" is read as a playlist; "LIST.TXT" is a file like any other.
    EXPECT_EQ(f.Listed(),
              QStringList({"in-list.avi", "other/LIST.TXT", "folder/x.avi", "folder/sub/y.avi"}));
    EXPECT_EQ(f.lastCount, 4);

    f.model.ClearFichiers();
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(f.Path("folder")), QUrl("https://example.org/a.avi")});
    QGuiApplication::clipboard()->setMimeData(mime);
    f.model.PasteFichiers();
    ASSERT_TRUE(f.WaitEnds(2));
    EXPECT_EQ(f.Listed(), QStringList({"folder/x.avi", "folder/sub/y.avi"}));
}

TEST(OpenFolder, VideoEntriesAreReadOnTheOpeningThread)
{
    OpenFixture f;
    auto probe = std::make_shared<FakeProbe>();
    probe->Set("one.avi", Type1Values(true));
    probe->Set("two.avi", Type2Values(false));
    const TaviReading reading{probe};
    f.model.SetFichierClass([reading](const QString &folder, const QFileInfo &found) {
        return TaviFichier::CreateFromSearchRec(folder, found, reading);
    });
    f.model.SetSortIndex(SortDatecode());
    WriteDvAvi(f.Path("one.avi"), 1);
    WriteDvAvi(f.Path("two.avi"), 2);
    f.File("broken.avi");
    f.model.OpenFolder(f.tmp.path());
    ASSERT_TRUE(f.WaitEnds(1));
    ASSERT_EQ(f.Listed(), QStringList({"one.avi", "two.avi", "broken.avi"}));
    EXPECT_EQ(probe->Calls(), 3);
    const auto two = std::dynamic_pointer_cast<TaviFichier>(f.model.GetFichier(1));
    ASSERT_TRUE(two);
    EXPECT_EQ(two->Data().pictureText, "720 x 480 (NTSC");
}

// Many files: each is listed, in order, but the counts are told once per
// group, and the list holds every file when the end is reported. The next
// request runs on the same thread.
TEST(OpenFolder, ManyFilesAreListedInGroupsOnOneThread)
{
    OpenFixture f;
    constexpr int kFiles = 300;
    QStringList paths;
    QStringList expected;
    for (int i = 0; i < kFiles; ++i) {
        const QString rel = QStringLiteral("many/%1.avi").arg(i, 3, 10, QChar('0'));
        f.File(rel);
        paths << f.Path(rel);
        expected << rel;
    }
    std::mutex lock;
    std::set<std::thread::id> threads;
    f.model.SetFichierClass([&](const QString &folder, const QFileInfo &found) {
        {
            const std::lock_guard guard(lock);
            threads.insert(std::this_thread::get_id());
        }
        return TSRFichier::CreateFromSearchRec(folder, found);
    });
    int found = 0;
    int counts = 0;
    int countAtEnd = -1;
    QObject::connect(&f.model, &TFichierListModel::openFileFound, [&] { ++found; });
    QObject::connect(&f.model, &TFichierListModel::countsChanged, [&] { ++counts; });
    QObject::connect(&f.model, &TFichierListModel::openEnd,
                     [&](int) { countAtEnd = f.model.Count(); });
    f.model.OpenFichiers(paths);
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_EQ(f.Listed(), expected);
    EXPECT_EQ(found, kFiles);
    EXPECT_EQ(f.lastCount, kFiles);
    EXPECT_EQ(countAtEnd, kFiles);
    // Groups are cut short by time on a slow machine: far fewer still.
    EXPECT_LT(counts, kFiles / 4) << "one count per group, not per file";

    f.model.ClearFichiers();
    f.model.OpenFichiers(paths.mid(0, 2));
    ASSERT_TRUE(f.WaitEnds(2));
    EXPECT_EQ(f.model.Count(), 2);
    EXPECT_EQ(threads.size(), 1u);
}

TEST(OpenFolder, RequestsRunOneAfterAnotherInOrder)
{
    OpenFixture f;
    f.File("one/a.avi");
    f.File("two/b.avi");
    bool openingAtFirstEnd = false;
    QObject::connect(&f.model, &TFichierListModel::openEnd, [&](int) {
        if (f.ends == 1)
            openingAtFirstEnd = f.model.Opening();
    });
    f.model.OpenFolder(f.Path("one"));
    f.model.OpenFolder(f.Path("two"));
    ASSERT_TRUE(f.WaitEnds(2));
    EXPECT_TRUE(openingAtFirstEnd);
    EXPECT_FALSE(f.model.Opening());
    EXPECT_EQ(f.events,
              QStringList({"start", "folder one/", "end 1", "start", "folder two/", "end 1"}));
}

TEST(OpenFolder, AbortFromAGateKeepsWhatWasFoundAndDropsTheQueue)
{
    OpenFixture f;
    for (int i = 0; i < 10; ++i)
        f.File(QStringLiteral("many/%1.avi").arg(i));
    f.File("queued/q.avi");
    int found = 0;
    bool abortReturnedAfterEnd = false;
    QObject::connect(&f.model, &TFichierListModel::openFileFound, [&] {
        if (++found == 3) {
            f.model.AbortOpen();
            abortReturnedAfterEnd = f.ends == 1 && !f.model.Opening();
        }
    });
    f.model.OpenFolder(f.Path("many"));
    f.model.OpenFolder(f.Path("queued"));
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_TRUE(abortReturnedAfterEnd);
    EXPECT_EQ(f.Listed(), QStringList({"many/0.avi", "many/1.avi", "many/2.avi"}));
    EXPECT_EQ(f.lastCount, 3);
    // Nothing of the dropped request runs later.
    QCoreApplication::processEvents();
    EXPECT_EQ(f.events, QStringList({"start", "folder many/", "end 3"}));

    // The next request runs as usual.
    f.model.OpenFolder(f.Path("queued"));
    ASSERT_TRUE(f.WaitEnds(2));
    EXPECT_EQ(f.model.Count(), 4);
}

TEST(OpenFolder, ClosingTheListDuringAnOpeningEndsIt)
{
    QTemporaryDir tmp;
    for (int i = 0; i < 50; ++i)
        WriteText(QDir(tmp.path()).filePath(QStringLiteral("%1.avi").arg(i)), "x");
    auto model = std::make_unique<TFichierListModel>();
    model->SetFichierClass([](const QString &folder, const QFileInfo &found) {
        return TSRFichier::CreateFromSearchRec(folder, found);
    });
    model->OpenFolder(tmp.path());
    QCoreApplication::processEvents();
    model.reset(); // must neither hang nor touch the destroyed list
    QCoreApplication::processEvents();
    SUCCEED();
}

// Aborted between two queued requests (from the first one's end report):
// the queued one never runs and the opening is over.
TEST(OpenAbort, BetweenTwoQueuedRequestsEndsTheOpening)
{
    OpenFixture f;
    f.File("one/a.avi");
    f.File("two/b.avi");
    bool openingAfterAbort = true;
    QObject::connect(&f.model, &TFichierListModel::openEnd, [&](int) {
        if (f.ends == 1) {
            f.model.AbortOpen();
            openingAfterAbort = f.model.Opening();
        }
    });
    f.model.OpenFolder(f.Path("one"));
    f.model.OpenFolder(f.Path("two"));
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_FALSE(openingAfterAbort);
    EXPECT_TRUE(WaitUntil([&] { return !f.model.Opening(); }, 2000))
        << "a script would wait forever";
    EXPECT_EQ(f.Listed(), QStringList{"one/a.avi"});
    EXPECT_EQ(f.ends, 1);
}

// A request made from the aborted request's end report is not part of the
// abort: it runs.
TEST(OpenAbort, ARequestFromTheEndHandlerOfAnAbortedOneRuns)
{
    OpenFixture f;
    for (int i = 0; i < 5; ++i)
        f.File(QStringLiteral("many/%1.avi").arg(i));
    f.File("next/n.avi");
    int found = 0;
    QObject::connect(&f.model, &TFichierListModel::openFileFound, [&] {
        if (++found == 1)
            f.model.AbortOpen();
    });
    QObject::connect(&f.model, &TFichierListModel::openEnd, [&](int) {
        if (f.ends == 1) {
            f.model.OpenFolder(f.Path("next"));
            // The handler goes on a while: the request must not depend on
            // how soon the abort ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    f.model.OpenFolder(f.Path("many"));
    ASSERT_TRUE(f.WaitEnds(2)) << "the request was parked";
    EXPECT_EQ(f.Listed(), (QStringList{"many/0.avi", "next/n.avi"}));
    EXPECT_FALSE(f.model.Opening());
}

// An entry whose reading throws is not listed; the opening goes on and ends
// as usual (the exception never reaches the thread's end, which would end
// the program).
TEST(OpenAbort, AnEntryThatThrowsIsSkipped)
{
    OpenFixture f;
    f.File("a.avi");
    f.File("bad.avi");
    f.File("c.avi");
    f.model.SetFichierClass([](const QString &folder, const QFileInfo &found) {
        if (found.fileName() == "bad.avi")
            throw std::runtime_error("unreadable");
        return TSRFichier::CreateFromSearchRec(folder, found);
    });
    f.model.OpenFolder(f.tmp.path());
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_EQ(f.Listed(), (QStringList{"a.avi", "c.avi"}));
    EXPECT_EQ(f.lastCount, 2);
    EXPECT_FALSE(f.model.Opening());
}

// The opening thread may wait for the GUI thread while it reads an entry
// (another worker holds what the reading needs and calls into the GUI):
// an abort keeps serving the GUI's calls instead of blocking in a join.
TEST(OpenAbort, KeepsServingTheGuiWhileTheOpeningThreadWaitsForIt)
{
    test::HangGuard guard(std::chrono::seconds(20), "AbortOpen");
    OpenFixture f;
    f.File("a.avi");
    f.File("b.avi");
    bool served = false;
    f.model.SetFichierClass([&](const QString &folder, const QFileInfo &found) {
        if (found.fileName() == "b.avi") {
            // The abort reaches the GUI thread first, then the call.
            postToGui([&] { f.model.AbortOpen(); });
            runOnGui([&] { served = true; });
        }
        return TSRFichier::CreateFromSearchRec(folder, found);
    });
    f.model.OpenFolder(f.tmp.path());
    ASSERT_TRUE(f.WaitEnds(1));
    EXPECT_TRUE(served);
    EXPECT_FALSE(f.model.Opening());
    // The entry being read when the abort came is still handed over.
    EXPECT_EQ(f.Listed(), (QStringList{"a.avi", "b.avi"}));
}

} // namespace
} // namespace vidora
