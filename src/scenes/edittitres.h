#pragma once

// Duration texts of scenes and the title templates of the titles editor.
// The window itself is TEditerTitresForm (scenes/widgets).
#include "scenes/scenemodel.h"

#include <QString>

#include <cstdint>

namespace vidora {

// The duration of `frames` in the context's style ("Format Durée") at the
// active video's frame rate: kDurationDotted, kDurationClock (the time-code
// text) or kDurationHMSF; empty without an active video or for another style.
QString FormatDuration(std::int64_t frames, const TSceneContext &context);

// With s the whole seconds of frames ÷ fps and f the frames left over, rounded
// half to even: "h:mm:ss.ff", "mm:ss.ff" or "ss.ff". "??" when fps is not a
// number above 0.
QString FormatDurationDotted(std::int64_t frames, double fps);
// "1h 02mn 03s 04fr", "2mn 03s 04fr", "3s 04fr" or "4fr", as above.
QString FormatDurationHMSF(std::int64_t frames, double fps);

// The template with its codes replaced (without regard to case, in this
// order): %N number, %F file name without folder and extension, %P folder
// with its closing "/", %E extension with its point, %D datecode, %T time
// code, %C codec, %I picture and aspect texts, %A audio text, %U duration.
// Without an active video the template comes back unchanged.
QString ExpandTitleTemplate(const QString &lineTemplate, const TSceneClass &scene,
                            const TSceneContext &context);

// A caption line turned back into a template: the scene's number as a whole
// word becomes %N ("Scene3" becomes "Scene%N"), its duration texts %U, its
// date texts %D, the file's name, folder and extension %F, %P and %E, its
// time code %T, codec %C, picture text %I and audio text %A; each found
// without regard to case, an empty value replacing nothing. Without a scene
// or an active video the title comes back unchanged.
QString TitleToTemplate(const QString &title, const TSceneClass *scene,
                        const TSceneContext &context);

// The templates of the editor's "Studio" button.
inline const QString kStudioTitleTemplate = QStringLiteral("Scene %N: %D");
inline const QString kStudioSubtitleTemplate = QStringLiteral("Duration = %U");

} // namespace vidora
