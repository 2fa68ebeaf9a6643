// The main window's scene editor, overlay and copy actions: the window
// builds their units and hands on what the rest of the program asks of
// them.
#include "ui/uiform.h"

#include "scenes/widgets/scenelisteframe.h"
#include "ui/copyactions.h"
#include "ui/editorkeys.h"
#include "ui/overlayactions.h"
#include "ui/sceneeditoractions.h"
#include "ui/uvideframe.h"

#include <QMessageBox>

namespace vidora {

void TUIForm::BindSceneEditorActions()
{
    m_editorKeys = std::make_unique<EditorKeys>(*m_al);
    // Before the scene editor: a press on the video takes the scene's
    // thumbnail first, then places the overlay's text.
    m_overlay = std::make_unique<OverlayActions>(*m_al, m_viewdm, m_settings, *VueFrame,
                                                 *OptionsFrame, *m_editorKeys,
                                                 OverlayActions::Hooks{
                                                     .activeFile = [this] { return ActiveFichier; },
                                                     .editor = [this] { return m_editIncrust; },
                                                 });
    if (!OnAskSaveScenes)
        OnAskSaveScenes = [this](const QString &question) {
            return QMessageBox::question(this, kProgramName, question,
                                         QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        };
    m_scenes = std::make_unique<SceneEditorActions>(
        *m_al, m_viewdm, m_settings, *m_editorKeys,
        SceneEditorActions::Parts{
            .window = this,
            .client = m_client,
            .files = Lframe,
            .view = VueFrame,
            .tbScenes = tbScenes,
            .tbListe = tbListe,
        },
        SceneEditorActions::Hooks{
            .activeFile = [this] { return ActiveFichier; },
            .applyFrameLayout = [this] { ApplyFrameLayout(); },
            .askSaveScenes = [this](const QString &question) { return OnAskSaveScenes(question); },
            .terminating = [this] { return m_terminating; },
            .sceneListPressed = [this] { SceneShown = false; },
        });
    SFrame = m_scenes->SceneList();
    SceneBase = m_scenes->ScenePanel();
    EditerTitres = m_scenes->TitlesEditor();
    m_copies = std::make_unique<CopyActions>(*m_al, m_viewdm, m_settings, *BaseFrame,
                                             [this] { return ActiveFichier; });
    copiermenu = m_copies->Menu();
}

IScenePreview *TUIForm::ScenePreview() const
{
    return m_scenes->Preview();
}

TSceneContext TUIForm::SceneContext() const
{
    return m_scenes->Context();
}

bool TUIForm::ScenesEditing() const
{
    return m_scenes && m_scenes->Editing();
}

void TUIForm::SelectSceneAndSeek(int index)
{
    m_scenes->SelectSceneAndSeek(index);
}

void TUIForm::SceneEditorActiveChanged()
{
    m_scenes->ActiveChanged();
}

void TUIForm::SceneEditorCloseQuery()
{
    m_scenes->CloseQuery();
}

void TUIForm::ApplyOverlayPreferences()
{
    m_overlay->ApplyPreferences();
}

bool TUIForm::OverlayDragging() const
{
    return m_overlay->Dragging();
}

} // namespace vidora
