#pragma once

// What the scene editor does with a whole scene list, apart from its
// windows: loading a video's list, the list of a video not yet analysed,
// saving, moving to the next or previous scene, applying title templates and
// exporting.
#include "scenes/officeexport.h"
#include "scenes/scenemodel.h"
#include "scenes/scnlisting.h"

#include <QString>

#include <cstdint>

namespace vidora {

inline const QString kScnErrorCaption = QStringLiteral("1: Error in the scn file");
inline const QString kUniqueSceneTitle = QStringLiteral("Unique Scene");
inline const QString kUniqueSceneSubtitle = QStringLiteral("representing a video not yet analyzed");

// The scenes of the video's ".scn" file; when the file cannot be read whole,
// the scenes read before the fault followed by an error item, a scene [0, 0)
// captioned kScnErrorCaption.
TSceneList LoadSceneListOf(const QString &videoName, const TSceneContext &context);
// One scene [0, frameCount), number 1, titled kUniqueSceneTitle.
TSceneList UnanalysedSceneList(std::uint32_t frameCount, const TSceneContext &context);
// The video's ".scn" file exists.
bool HasScnFile(const QString &videoName);

// Writes the list to the video's ".scn" file; false with `error` when the
// file could not be written or a scene ends before it starts (the old file
// then stays).
bool SaveSceneList(const QString &videoName, const TSceneList &list, QString &error);

// The start of the first scene (in list order) that starts after `position`,
// else `fallback`; the start of the last scene that starts before `position`,
// else 0. Unsigned comparisons.
std::uint32_t NextSceneStart(const TSceneList &list, std::uint32_t position,
                             std::uint32_t fallback);
std::uint32_t PrevSceneStart(const TSceneList &list, std::uint32_t position);

// Captions again after titles changed.
void RefreshCaptions(TSceneList &list);

// The editor's edits of a list. Each turns the titles back into templates
// first (TitleToTemplate), makes its change, then numbers the scenes from 1
// and expands the templates again, so a title that names its scene's number
// or duration follows the edit; the captions follow too.
// Splits the scene that holds `position` there: it ends at the position, and
// a new scene, its details filled and titled as the cut one with " <<", runs
// on to the old end. False, the list untouched, when no scene holds the
// position or one starts there already.
bool InsertSceneAt(TSceneList &list, std::uint32_t position, const TSceneContext &context);
// Scene `index` joins the one before it, which then ends where it ended.
// False, the list untouched, for the first scene or an index outside the list.
bool MergeWithPreviousScene(TSceneList &list, int index, const TSceneContext &context);
// Numbers the scenes from 1 in list order, their titles following as above.
void RenumberScenes(TSceneList &list, const TSceneContext &context);

// The editor's choices: keep the titles, apply the templates to the shown
// scene, or to every scene (filling details first where missing).
inline constexpr std::uint8_t kTitlesCancel = 0;
inline constexpr std::uint8_t kTitlesApplyShown = 1;
inline constexpr std::uint8_t kTitlesApplyAll = 2;
// True when a scene's titles changed (the list is then modified).
bool ApplyTitleTemplates(std::uint8_t choice, const QString &titleTemplate,
                         const QString &subtitleTemplate, TSceneClass *shown, TSceneList &list,
                         const TSceneContext &context);

// The list as it stands to the "_scn.txt" listing; false with `error`.
bool ExportSceneText(const QString &videoName, const TSceneList &list, const TListingTexts &texts,
                     QString &error);
// The list as it stands to an office file; false with `error`.
bool ExportSceneOffice(TOfficeFormat format, const QString &videoName, const QString &outName,
                       const TSceneList &list, const TOfficeSetup &setup, QString &error);

} // namespace vidora
