// The list model: order by key, one row per file, selection, current row and
// active entry through adds, removals, swaps and resorts, counts and hints.
#include "files/fichierlistmodel.h"
#include "listfixtures.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

namespace vidora {
namespace {

// Entries of paths that need not exist: the keys come from the path alone.
std::shared_ptr<TAbstractListFichier> E(const QString &path)
{
    return TAbstractListFichier::Create(path);
}

struct ModelFixture
{
    TFichierListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};

    QStringList Names() const
    {
        QStringList names;
        for (int row = 0; row < model.Count(); ++row)
            names << model.GetFichier(row)->Name();
        return names;
    }
    void Select(int row)
    {
        model.selectionModel()->select(model.index(row), QItemSelectionModel::Select);
    }
    void SetCurrent(int row)
    {
        model.selectionModel()->setCurrentIndex(model.index(row), QItemSelectionModel::NoUpdate);
    }
};

TEST(ListModel, KeepsRowsInKeyOrderAndOneRowPerFile)
{
    ModelFixture f;
    for (const char *path : {"/v/c.avi", "/v/a.avi", "/v/B.avi", "/v/A.avi", "/w/a.avi"})
        f.model.AddFichier(E(path), false);
    EXPECT_EQ(f.Names(), QStringList({"A.avi", "a.avi", "a.avi", "B.avi", "c.avi"}));
    EXPECT_EQ(f.model.data(f.model.index(1), TFichierListModel::PathRole).toString(), "/v/a.avi");

    // The same file again: one row, carrying the new entry.
    const auto again = E("/v/a.avi");
    const int row = f.model.AddFichier(again, false);
    EXPECT_EQ(f.model.Count(), 5);
    EXPECT_EQ(f.model.GetFichier(row), again);

    // A veto adds nothing.
    f.model.BeforeLister = [](const auto &entry) { return !entry->Name().startsWith("z"); };
    EXPECT_EQ(f.model.AddFichier(E("/v/z.avi"), true), -1);
    EXPECT_EQ(f.model.Count(), 5);
}

TEST(ListModel, FirstEntryBecomesActiveAndAddsKeepTheCurrentEntry)
{
    ModelFixture f;
    QSignalSpy active(&f.model, &TFichierListModel::activeChanged);
    const auto m = E("/v/m.avi");
    f.model.AddFichier(m, false);
    EXPECT_EQ(f.model.ActiveEntry(), m);
    EXPECT_EQ(active.count(), 1);
    EXPECT_EQ(f.model.CurrentRow(), 0);
    f.model.AddFichier(E("/v/a.avi"), false); // above the current row
    f.model.AddFichier(E("/v/z.avi"), true);
    EXPECT_EQ(f.model.GetFichier(f.model.CurrentRow()), m);
    EXPECT_EQ(f.model.SelectedCount(), 2); // m (made current) and z
    EXPECT_EQ(active.count(), 1);
}

TEST(ListModel, ReloadedEntryWithANewKeyIsResorted)
{
    ModelFixture f;
    f.model.SetSortIndex(SortTaille());
    QTemporaryDir tmp;
    const QString a = tmp.filePath("a.avi"), b = tmp.filePath("b.avi");
    test::WriteText(a, "1");
    test::WriteText(b, "22");
    f.model.AddFichier(TSRFichier::Create(a), false);
    const auto bEntry = TSRFichier::Create(b);
    f.model.AddFichier(bEntry, false);
    ASSERT_EQ(f.Names(), QStringList({"a.avi", "b.avi"}));
    f.Select(0);
    f.model.SetActiveIndex(0);
    // "a.avi" grew: its new entry sorts after "b.avi", selected and current still.
    test::WriteText(a, "333");
    const auto reloaded = TSRFichier::Create(a);
    f.model.AddFichier(reloaded, false);
    EXPECT_EQ(f.Names(), QStringList({"b.avi", "a.avi"}));
    EXPECT_EQ(f.model.GetFichier(f.model.CurrentRow()), reloaded);
    EXPECT_EQ(f.model.ActiveEntry(), reloaded);
    EXPECT_EQ(f.model.SelectedEntries(),
              (std::vector<std::shared_ptr<TAbstractListFichier>>{reloaded}));
}

TEST(ListModel, CountsAndHint)
{
    ModelFixture f;
    QSignalSpy counts(&f.model, &TFichierListModel::countsChanged);
    for (const char *name : {"/v/1", "/v/2", "/v/3", "/v/4", "/v/5"})
        f.model.AddFichier(E(name), false);
    f.model.selectionModel()->clearSelection();
    f.Select(2);
    f.model.UpdateCounts();
    EXPECT_EQ(f.model.Hint(), QStringLiteral("1 fichier sélectionné sur 5\n"));
    f.Select(4);
    f.model.UpdateCounts();
    EXPECT_EQ(f.model.Hint(), QStringLiteral("2 fichiers sélectionnés sur 5\n"));
    ASSERT_FALSE(counts.isEmpty());
    EXPECT_EQ(counts.last().at(0).toInt(), 2);
    EXPECT_EQ(counts.last().at(1).toInt(), 5);
    f.model.selectionModel()->clearSelection();
    f.model.UpdateCounts();
    EXPECT_EQ(f.model.Hint(), QStringLiteral("0 fichier sélectionné sur 5\n"));
}

TEST(ListModel, ResortKeepsSelectionAndMakesTheActiveEntryCurrent)
{
    ModelFixture f;
    QTemporaryDir tmp;
    std::vector<std::shared_ptr<TSRFichier>> entries;
    for (auto [name, size] : {std::pair{"a.avi", 3}, {"b.avi", 1}, {"c.avi", 2}, {"d.avi", 0}}) {
        test::WriteText(tmp.filePath(name), QByteArray(size, 'x'));
        entries.push_back(TSRFichier::Create(tmp.filePath(name)));
        f.model.AddFichier(entries.back(), false);
    }
    f.model.selectionModel()->clearSelection();
    f.Select(0);
    f.Select(2);
    f.SetCurrent(1);
    f.model.UpdateActive(); // b.avi active, and selected with it
    f.SetCurrent(3);        // moved, not released: d.avi current, b.avi still active
    QSignalSpy active(&f.model, &TFichierListModel::activeChanged);
    f.model.SetSortIndex(SortTaille());
    f.model.Resort();
    EXPECT_EQ(f.Names(), QStringList({"d.avi", "b.avi", "c.avi", "a.avi"}));
    EXPECT_EQ(f.model.GetFichier(f.model.CurrentRow()), entries[1]);
    EXPECT_EQ(f.model.SelectedEntries(), (std::vector<std::shared_ptr<TAbstractListFichier>>{
                                             entries[1], entries[2], entries[0]}));
    EXPECT_EQ(active.count(), 0);
}

TEST(ListModel, RemoveSelectedMakesTheRowAboveTheTopmostRemovedCurrent)
{
    struct Case
    {
        std::vector<int> selected;
        const char *left;
        int current; // -1 none
    };
    const Case cases[] = {
        {{2, 4}, "0 1 3", 1},
        {{0, 3}, "1 2 4", 0},
        {{0, 1, 2, 3, 4}, "", -1},
        {{4}, "0 1 2 3", 3},
    };
    for (const Case &c : cases) {
        ModelFixture f;
        for (const char *name : {"/v/0", "/v/1", "/v/2", "/v/3", "/v/4"})
            f.model.AddFichier(E(name), false);
        f.model.selectionModel()->clearSelection();
        for (int row : c.selected)
            f.Select(row);
        f.model.RemoveSelected();
        EXPECT_EQ(f.Names().join(' '), c.left);
        EXPECT_EQ(f.model.CurrentRow(), c.current);
        f.model.UpdateActive();
        if (c.current < 0)
            EXPECT_EQ(f.model.ActiveEntry(), nullptr);
        else
            EXPECT_EQ(f.model.ActiveEntry(), f.model.GetFichier(c.current));
    }
}

TEST(ListModel, RemoveSwapReplaceAndClear)
{
    ModelFixture f;
    const auto a = E("/v/a"), b = E("/v/b"), c = E("/v/c");
    for (const auto &e : {a, b, c})
        f.model.AddFichier(e, false);
    f.model.SetActiveIndex(1);
    ASSERT_EQ(f.model.ActiveEntry(), b);

    // Swapping in a renamed entry moves its row and keeps it current and active.
    const auto renamed = E("/v/d");
    EXPECT_EQ(f.model.SwapEntry(b, renamed), 2);
    EXPECT_EQ(f.model.CurrentRow(), 2);
    EXPECT_EQ(f.model.ActiveEntry(), renamed);

    f.model.RemoveEntry(renamed);
    EXPECT_EQ(f.model.ActiveEntry(), nullptr);
    EXPECT_EQ(f.Names(), QStringList({"a", "c"}));

    // With no active entry, a replacement becomes current, active and selected.
    const auto c2 = E("/v/c2");
    f.model.ReplaceEntry(c, c2);
    EXPECT_EQ(f.Names(), QStringList({"a", "c2"}));
    EXPECT_EQ(f.model.ActiveEntry(), c2);
    EXPECT_TRUE(f.model.selectionModel()->isSelected(f.model.index(1)));

    QSignalSpy active(&f.model, &TFichierListModel::activeChanged);
    f.model.ClearFichiers();
    EXPECT_EQ(f.model.Count(), 0);
    EXPECT_EQ(f.model.ActiveEntry(), nullptr);
    EXPECT_EQ(active.count(), 1);
    // Out-of-range indexes are ignored.
    f.model.SetActiveIndex(0);
    f.model.SetActiveIndex(-2);
    EXPECT_EQ(f.model.CurrentRow(), -1);
}

TEST(ListModel, DragDataIsTheSelectedPathsInListOrder)
{
    ModelFixture f;
    for (const char *name : {"/v/c d.avi", "/v/a.avi", "/v/b.avi"})
        f.model.AddFichier(E(name), false);
    std::unique_ptr<QMimeData> mime(
        f.model.mimeData({f.model.index(2), f.model.index(0), f.model.index(2)}));
    ASSERT_TRUE(mime->hasFormat("text/uri-list"));
    EXPECT_EQ(mime->urls(),
              (QList<QUrl>{QUrl::fromLocalFile("/v/a.avi"), QUrl::fromLocalFile("/v/c d.avi")}));
}

} // namespace
} // namespace vidora
