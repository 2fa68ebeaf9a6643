#include "scenes/scenelist.h"

#include "scenes/edittitres.h"
#include "scenes/scenefile.h"
#include "settings/inputfiles.h"

#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace vidora {

TSceneList LoadSceneListOf(const QString &videoName, const TSceneContext &context)
{
    TSceneList list;
    QString readError;
    const QString scnName = CompanionFileName(videoName, QStringLiteral(".scn"));
    if (!LoadScnFile(scnName, list, context, &readError)) {
        if (!readError.isEmpty() && QFileInfo::exists(scnName))
            TellOnStdErr(QStringLiteral("cannot read the scene file %1").arg(readError));
        list.push_back(TSceneItem{kScnErrorCaption, std::make_shared<TSceneClass>(0, 0, context)});
    }
    return list;
}

TSceneList UnanalysedSceneList(std::uint32_t frameCount, const TSceneContext &context)
{
    auto scene = std::make_shared<TSceneClass>(0, frameCount, context);
    scene->Number = 1;
    scene->Title = kUniqueSceneTitle;
    scene->Subtitle = kUniqueSceneSubtitle;
    TSceneList list;
    list.push_back(TSceneItem{QStringLiteral("1: ") + scene->Title, scene});
    return list;
}

bool HasScnFile(const QString &videoName)
{
    return QFileInfo::exists(CompanionFileName(videoName, QStringLiteral(".scn")));
}

bool SaveSceneList(const QString &videoName, const TSceneList &list, QString &error)
{
    TwriteScene writer(videoName);
    try {
        for (const TSceneItem &item : list)
            writer.AddScene(*item.Scene);
    } catch (const std::exception &e) {
        writer.Discard();
        error = QStringLiteral("%1: %2").arg(writer.FileName(), QString::fromUtf8(e.what()));
        return false;
    }
    if (!writer.Close()) {
        error = writer.ErrorString();
        return false;
    }
    return true;
}

std::uint32_t NextSceneStart(const TSceneList &list, std::uint32_t position, std::uint32_t fallback)
{
    for (const TSceneItem &item : list)
        if (item.Scene->StartFrame > position)
            return item.Scene->StartFrame;
    return fallback;
}

std::uint32_t PrevSceneStart(const TSceneList &list, std::uint32_t position)
{
    std::uint32_t result = 0;
    for (const TSceneItem &item : list)
        if (item.Scene->StartFrame < position)
            result = item.Scene->StartFrame;
    return result;
}

void RefreshCaptions(TSceneList &list)
{
    for (TSceneItem &item : list)
        item.Text = item.Scene->GetCaption();
}

namespace {

void TitlesToTemplates(TSceneList &list, const TSceneContext &context)
{
    for (TSceneItem &item : list) {
        item.Scene->Title = TitleToTemplate(item.Scene->Title, item.Scene.get(), context);
        item.Scene->Subtitle = TitleToTemplate(item.Scene->Subtitle, item.Scene.get(), context);
    }
}

void NumberAndExpandTitles(TSceneList &list, const TSceneContext &context)
{
    std::int32_t number = 0;
    for (TSceneItem &item : list) {
        item.Scene->Number = ++number;
        item.Scene->Title = ExpandTitleTemplate(item.Scene->Title, *item.Scene, context);
        item.Scene->Subtitle = ExpandTitleTemplate(item.Scene->Subtitle, *item.Scene, context);
    }
    RefreshCaptions(list);
}

} // namespace

bool InsertSceneAt(TSceneList &list, std::uint32_t position, const TSceneContext &context)
{
    // A position at a scene's start is a boundary already: nothing changes.
    const auto found = std::find_if(list.begin(), list.end(), [position](const TSceneItem &item) {
        return item.Scene->StartFrame <= position && position < item.Scene->EndFrame;
    });
    if (found == list.end() || found->Scene->StartFrame == position)
        return false;
    TitlesToTemplates(list, context);
    TSceneClass &cut = *found->Scene;
    const std::uint32_t oldEnd = cut.EndFrame;
    cut.EndFrame = position;
    // The shortened scene's own texts follow its new end.
    cut.DurationText = FormatDuration(cut.Length(), context);
    if (cut.Detailed && context.video)
        cut.EndText =
            ScenePositionText(static_cast<std::int64_t>(position) - 1, context.video->frameRate);
    auto added = std::make_shared<TSceneClass>(position, oldEnd, context);
    added->FillDetails(context);
    added->Title = cut.Title + QStringLiteral(" <<");
    added->Subtitle = cut.Subtitle;
    list.insert(found + 1, TSceneItem{QString(), added});
    NumberAndExpandTitles(list, context);
    return true;
}

bool MergeWithPreviousScene(TSceneList &list, int index, const TSceneContext &context)
{
    // The first scene has none before it to merge into.
    if (index < 1 || index >= static_cast<int>(list.size()))
        return false;
    TitlesToTemplates(list, context);
    TSceneClass &previous = *list[std::size_t(index - 1)].Scene;
    previous.EndFrame = list[std::size_t(index)].Scene->EndFrame;
    previous.DurationText = FormatDuration(previous.Length(), context);
    previous.EndText = ScenePositionText(static_cast<std::int64_t>(previous.EndFrame) - 1,
                                         context.video ? context.video->frameRate : 0);
    list.erase(list.begin() + index);
    NumberAndExpandTitles(list, context);
    return true;
}

void RenumberScenes(TSceneList &list, const TSceneContext &context)
{
    TitlesToTemplates(list, context);
    NumberAndExpandTitles(list, context);
}

bool ApplyTitleTemplates(std::uint8_t choice, const QString &titleTemplate,
                         const QString &subtitleTemplate, TSceneClass *shown, TSceneList &list,
                         const TSceneContext &context)
{
    const auto apply = [&](TSceneClass &scene) {
        scene.Title = ExpandTitleTemplate(titleTemplate, scene, context);
        scene.Subtitle = ExpandTitleTemplate(subtitleTemplate, scene, context);
    };
    if (choice == kTitlesApplyShown && shown) {
        apply(*shown);
    } else if (choice == kTitlesApplyAll) {
        for (TSceneItem &item : list) {
            // The templates read the texts, not the picture.
            if (!item.Scene->Detailed)
                item.Scene->FillDetails(context, false);
            apply(*item.Scene);
        }
    } else {
        return false;
    }
    RefreshCaptions(list);
    return true;
}

bool ExportSceneText(const QString &videoName, const TSceneList &list, const TListingTexts &texts,
                     QString &error)
{
    TWriteScn_text listing(videoName, texts);
    for (const TSceneItem &item : list)
        listing.AddScene(*item.Scene);
    if (!listing.Finish()) {
        error = QStringLiteral("Error while creating a scn text file: ") + listing.ErrorString();
        return false;
    }
    return true;
}

bool ExportSceneOffice(TOfficeFormat format, const QString &videoName, const QString &outName,
                       const TSceneList &list, const TOfficeSetup &setup, QString &error)
{
    TOfficeExport writer(format, videoName, outName, setup);
    for (const TSceneItem &item : list)
        writer.AddScene(*item.Scene);
    if (!writer.Finish()) {
        error = writer.ErrorString();
        return false;
    }
    return true;
}

} // namespace vidora
