// The command engine on the program's own list: the list model behind the
// engine's list interface, and new entries read with the probe graph on the
// engine's worker thread. One row per kind of list update.
#include "files/commandengine.h"
#include "files/enginelist.h"
#include "support/dvfiles.h"
#include "support/tools.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace vidora {
namespace {

using namespace vidora::test;

struct UpdateCase
{
    const char *name;
    TUpdateFile update;
    const char *current;     // the entry the command runs on
    const char *destination; // empty: none
    bool writes;             // the step writes a DV file at the destination
    // expected
    QStringList listed;
    const char *currentAfter;
    QStringList selectedAfter;
    const char *newDvEntry; // an entry made by the engine, read as DV; empty: none
};

void PrintTo(const UpdateCase &row, std::ostream *os)
{
    *os << row.name;
}

class EngineOnTheList : public ::testing::TestWithParam<UpdateCase>
{
protected:
    QString Path(const QString &name) const { return QDir(tmp.path()).filePath(name); }

    std::shared_ptr<TaviFichier> Listed(const QString &name) const
    {
        for (int row = 0; row < model.Count(); ++row)
            if (model.GetFichier(row)->Name() == name)
                return std::dynamic_pointer_cast<TaviFichier>(model.GetFichier(row));
        return nullptr;
    }

    QStringList Names(const std::vector<EngineEntryPtr> &entries) const
    {
        QStringList names;
        for (const auto &e : entries)
            names << e->FileName();
        return names;
    }

    QTemporaryDir tmp;
    TFichierListModel model;
    TEngineFichierList list{model};
};

TEST_P(EngineOnTheList, UpdatesTheModel)
{
    const UpdateCase &row = GetParam();
    const QString raw = Path("clip.dv");
    writeFileBytes(raw, ffmpegRawDv(tmp.path(), {}));
    ASSERT_TRUE(ffmpegDvType2Avi(raw, Path("a.avi")));
    const QByteArray dv = readFileBytes(Path("a.avi"));
    writeFileBytes(Path("b.avi"), dv);
    const TaviReading reading;
    for (const char *name : {"a.avi", "b.avi"})
        model.AddFichier(TaviFichier::Create(Path(name), reading), false);
    // Only the entry the command runs on is selected, and it is current.
    model.selectionModel()->clearSelection();
    model.SetActiveIndex(model.IndexOf(Listed(row.current).get()));
    const auto before = Listed(row.current);

    TCommandEngine engine;
    engine.SourceFichierListbox = &list;
    engine.DestFichierListbox = &list;
    engine.SetFichierClass(TaviEntryFactory());
    std::vector<bool> enabledStates;
    list.OnSetEnabled = [&](bool enabled) { enabledStates.push_back(enabled); };
    QEventLoop loop;
    bool ended = false;
    engine.OnEndCommand = [&] {
        ended = true;
        loop.quit();
    };

    Tcmd command;
    command.Nombre = TcmdNombre::fnSingle;
    command.UpdateFile = row.update;
    const QString destination = *row.destination ? Path(row.destination) : QString();
    if (!destination.isEmpty())
        command.OnDestination = [&](const EngineEntryPtr &, const QStringList &, int) {
            return destination;
        };
    command.OnExecution = [&](const EngineEntryPtr &entry, const QString &, const QStringList &,
                              TCommandEngine &, int) {
        if (row.writes)
            writeFileBytes(destination, dv);
        if (row.update == TUpdateFile::ufReload) // the file is no longer a video
            writeFileBytes(entry->FullPath(), "text");
    };
    ASSERT_TRUE(engine.Execute(command));
    if (!ended) {
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    ASSERT_TRUE(ended);

    QStringList names;
    for (int r = 0; r < model.Count(); ++r)
        names << model.GetFichier(r)->Name();
    EXPECT_EQ(names, row.listed);
    const EngineEntryPtr current = list.CurrentEntry();
    EXPECT_EQ(current ? current->FileName() : QString(), row.currentAfter);
    EXPECT_EQ(Names(list.SelectedEntries()), row.selectedAfter);
    EXPECT_TRUE(list.Enabled());

    if (*row.newDvEntry) {
        const auto made = Listed(row.newDvEntry);
        ASSERT_TRUE(made);
        EXPECT_TRUE(dynamic_cast<TAfficherFichier *>(made.get()));
        EXPECT_TRUE(made->Data().isDv);
        EXPECT_EQ(made->Data().timecodeText, "01.02.03.04");
    }
    if (row.update == TUpdateFile::ufRename) {
        EXPECT_EQ(Listed(row.listed.back()), before); // the same entry, renamed
    }
    if (row.update == TUpdateFile::ufReload) {
        const auto reread = Listed(row.current);
        ASSERT_TRUE(reread);
        EXPECT_NE(reread, before);
        EXPECT_EQ(reread->Data().datecodeSort, kDatecodeUnreadable);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Updates, EngineOnTheList,
    ::testing::Values(
        UpdateCase{"AddReadsTheNewFile",
                   TUpdateFile::ufAdd,
                   "a.avi",
                   "c.avi",
                   true,
                   {"a.avi", "b.avi", "c.avi"},
                   "a.avi",
                   {"a.avi"},
                   "c.avi"},
        UpdateCase{"ReplaceTakesTheCurrentPlace",
                   TUpdateFile::ufReplace,
                   "b.avi",
                   "0.avi",
                   true,
                   {"0.avi", "a.avi"},
                   "0.avi",
                   {"0.avi"},
                   "0.avi"},
        UpdateCase{"RenameMovesTheEntry",
                   TUpdateFile::ufRename,
                   "a.avi",
                   "z.avi",
                   false,
                   {"b.avi", "z.avi"},
                   "z.avi",
                   {"z.avi"},
                   ""},
        UpdateCase{"ReloadReadsTheFileAgain",
                   TUpdateFile::ufReload,
                   "a.avi",
                   "",
                   false,
                   {"a.avi", "b.avi"},
                   "a.avi",
                   {"a.avi"},
                   ""},
        UpdateCase{
            "RemoveTakesItOut", TUpdateFile::ufRemove, "a.avi", "", false, {"b.avi"}, "", {}, ""}),
    [](const auto &caseInfo) { return std::string(caseInfo.param.name); });

} // namespace
} // namespace vidora
