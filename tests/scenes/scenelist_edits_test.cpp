// The scene editor's edits of a list: inserting a scene at a position,
// merging a scene into the one before it, and renumbering, with the titles
// that name a scene's number or duration following each edit.
#include "scenes/edittitres.h"
#include "scenes/scenelist.h"

#include <gtest/gtest.h>

#include <vector>

namespace vidora {
namespace {

TSceneContext PalContext()
{
    TSceneContext context;
    TSceneVideo video;
    video.path = QStringLiteral("/films/2006/beach.avi");
    video.width = 720;
    video.height = 576;
    video.frameRate = 25;
    video.frameCount = 400;
    video.codec = QStringLiteral("dvsd");
    context.video = video;
    context.locale = QLocale::c();
    return context;
}

// Scenes [0, 100), [100, 250), [250, 400), titled "Part n" and "Duration =
// " their duration, as the editor shows them.
TSceneList ThreeScenes(const TSceneContext &context)
{
    TSceneList list;
    for (const auto &[start, end] : {std::pair{0u, 100u}, {100u, 250u}, {250u, 400u}}) {
        auto scene = std::make_shared<TSceneClass>(start, end, context);
        scene->Title = QStringLiteral("Part %N");
        scene->Subtitle = QStringLiteral("Duration = %U");
        list.push_back(TSceneItem{QString(), scene});
    }
    RenumberScenes(list, context);
    return list;
}

struct Bounds
{
    std::uint32_t start;
    std::uint32_t end;
    bool operator==(const Bounds &) const = default;
};

std::vector<Bounds> BoundsOf(const TSceneList &list)
{
    std::vector<Bounds> bounds;
    for (const TSceneItem &item : list)
        bounds.push_back({item.Scene->StartFrame, item.Scene->EndFrame});
    return bounds;
}

// Numbers from 1, titles and captions that name each scene's own number
// and duration.
void ExpectNumberedTitles(const TSceneList &list, const TSceneContext &context)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TSceneClass &scene = *list[i].Scene;
        SCOPED_TRACE(i);
        EXPECT_EQ(scene.Number, int(i + 1));
        EXPECT_TRUE(scene.Title.startsWith(QStringLiteral("Part %1").arg(i + 1)))
            << scene.Title.toStdString();
        EXPECT_EQ(scene.Subtitle,
                  QStringLiteral("Duration = ") + FormatDuration(scene.Length(), context));
        EXPECT_EQ(scene.DurationText, FormatDuration(scene.Length(), context));
        EXPECT_EQ(list[i].Text, scene.GetCaption());
    }
}

void PrintTo(const Bounds &b, std::ostream *os)
{
    *os << '[' << b.start << ", " << b.end << ')';
}

TEST(SceneListEdits, InsertSplitsTheSceneThatHoldsThePosition)
{
    struct Case
    {
        const char *name;
        std::uint32_t position;
        bool changed;
        std::vector<Bounds> bounds;
        int added; // index of the new scene, -1 for none
    };
    const std::vector<Case> cases = {
        {"inside the first scene", 40, true, {{0, 40}, {40, 100}, {100, 250}, {250, 400}}, 1},
        {"inside the middle one", 101, true, {{0, 100}, {100, 101}, {101, 250}, {250, 400}}, 2},
        {"on the last frame", 399, true, {{0, 100}, {100, 250}, {250, 399}, {399, 400}}, 3},
        {"at the first start", 0, false, {{0, 100}, {100, 250}, {250, 400}}, -1},
        {"at a boundary", 250, false, {{0, 100}, {100, 250}, {250, 400}}, -1},
        {"at the end", 400, false, {{0, 100}, {100, 250}, {250, 400}}, -1},
        {"past the end", 5000, false, {{0, 100}, {100, 250}, {250, 400}}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TSceneContext context = PalContext();
        TSceneList list = ThreeScenes(context);
        // A title of its own goes with the cut scene and its new half.
        list[1].Scene->Title = QStringLiteral("Part 2 beach");
        RefreshCaptions(list);
        EXPECT_EQ(InsertSceneAt(list, c.position, context), c.changed);
        EXPECT_EQ(BoundsOf(list), c.bounds);
        ExpectNumberedTitles(list, context);
        if (c.added > 0) {
            const TSceneClass &cut = *list[std::size_t(c.added - 1)].Scene;
            const TSceneClass &added = *list[std::size_t(c.added)].Scene;
            EXPECT_EQ(added.Title,
                      QString(cut.Title).replace(QStringLiteral("Part %1").arg(c.added),
                                                 QStringLiteral("Part %1").arg(c.added + 1)) +
                          QStringLiteral(" <<"));
            EXPECT_FALSE(added.StartText.isEmpty()) << "its position texts are filled";
            EXPECT_EQ(added.Title.contains(QStringLiteral(" beach")), c.added == 2);
        }
    }
}

TEST(SceneListEdits, InsertIntoAnEmptyListChangesNothing)
{
    TSceneList list;
    EXPECT_FALSE(InsertSceneAt(list, 0, PalContext()));
    EXPECT_TRUE(list.empty());
}

TEST(SceneListEdits, MergeJoinsASceneToTheOneBefore)
{
    struct Case
    {
        int index;
        bool changed;
        std::vector<Bounds> bounds;
    };
    const std::vector<Case> cases = {
        {1, true, {{0, 250}, {250, 400}}},
        {2, true, {{0, 100}, {100, 400}}},
        {0, false, {{0, 100}, {100, 250}, {250, 400}}},
        {3, false, {{0, 100}, {100, 250}, {250, 400}}},
        {-1, false, {{0, 100}, {100, 250}, {250, 400}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        const TSceneContext context = PalContext();
        TSceneList list = ThreeScenes(context);
        const auto kept = c.changed ? list[std::size_t(c.index - 1)].Scene : nullptr;
        EXPECT_EQ(MergeWithPreviousScene(list, c.index, context), c.changed);
        EXPECT_EQ(BoundsOf(list), c.bounds);
        ExpectNumberedTitles(list, context);
        if (c.changed) {
            EXPECT_EQ(list[std::size_t(c.index - 1)].Scene, kept) << "the earlier scene stays";
            EXPECT_EQ(kept->EndText, ScenePositionText(kept->EndFrame - 1, 25));
        }
    }
}

TEST(SceneListEdits, RenumberFollowsTheListOrder)
{
    const TSceneContext context = PalContext();
    TSceneList list = ThreeScenes(context);
    std::swap(list[0], list[2]);
    RenumberScenes(list, context);
    EXPECT_EQ(BoundsOf(list), (std::vector<Bounds>{{250, 400}, {100, 250}, {0, 100}}));
    ExpectNumberedTitles(list, context);
}

} // namespace
} // namespace vidora
