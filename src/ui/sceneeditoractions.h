#pragma once

// The main window's scene editor: the scene list and scene panel in the
// list column, selecting a scene (the preview plays and seeks within it),
// inserting and merging scenes, the thumbnail, the titles editor and saving;
// unsaved edits are asked about once. The window builds one and keeps it.
#include "scenes/scenemodel.h"

#include <QString>

#include <functional>
#include <memory>

class QToolBar;
class QWidget;

namespace vidora {

class EditorKeys;
class ISceneNavigator;
class Settings;
class TActionList;
class TEditerTitresForm;
class TListeFrame;
class TSFrame;
class TSceneBase;
class TVueFrame;
class TaviFichier;
class Tviewdm;

class SceneEditorActions
{
public:
    struct Parts
    {
        QWidget *window = nullptr; // the titles editor's and messages' parent
        QWidget *client = nullptr; // where the scene frames go
        TListeFrame *files = nullptr;
        TVueFrame *view = nullptr;
        QToolBar *tbScenes = nullptr;
        QToolBar *tbListe = nullptr;
    };
    struct Hooks
    {
        std::function<std::shared_ptr<TaviFichier>()> activeFile;
        // Places the frames, the scene frames among them.
        std::function<void()> applyFrameLayout;
        // The question about unsaved scenes; true saves them.
        std::function<bool(const QString &question)> askSaveScenes;
        // The program is ended from outside: nobody may answer.
        std::function<bool()> terminating;
        // A press on the scene list.
        std::function<void()> sceneListPressed;
    };

    // Builds the scene frames and the titles editor and binds the actions;
    // none of the references is owned.
    SceneEditorActions(TActionList &actions, Tviewdm &viewdm, Settings &settings, EditorKeys &keys,
                       Parts parts, Hooks hooks);
    ~SceneEditorActions();
    SceneEditorActions(const SceneEditorActions &) = delete;
    SceneEditorActions &operator=(const SceneEditorActions &) = delete;

    TSFrame *SceneList() const { return m_list; }
    TSceneBase *ScenePanel() const { return m_panel; }
    TEditerTitresForm *TitlesEditor() const { return m_titlesForm; }
    // The editor is on: the scene frames stand in the list column.
    bool Editing() const { return m_editing; }

    // The scene details as the preview gives them; lives as long as this.
    IScenePreview *Preview() const;
    // The scene context of the active entry, with Preview.
    TSceneContext Context() const;
    // Shows scene `index` of the scene list and moves the preview to it.
    void SelectSceneAndSeek(int index);
    // Another file became active: the editor shows its scenes, once the
    // edits of the one before were asked about.
    void ActiveChanged();
    // The window closes.
    void CloseQuery();

private:
    // The scene preview, the scene frames and the titles editor.
    void BuildFrames();
    // Choosing a scene, the thumbnail's and the titles' presses.
    void BindSceneList();
    // The editor on and off; saving, inserting and merging.
    void BindEditorActions();
    void BindTitlesEditor();
    void ShowPanel(bool on);
    void AskAboutUnsavedScenes();
    void InsertScene();
    void MergeScene();
    void TakeThumbnail();

    TActionList &m_al;
    Tviewdm &m_viewdm;
    Settings &m_settings;
    EditorKeys &m_keys;
    Parts m_parts;
    Hooks m_hooks;
    std::shared_ptr<IScenePreview> m_scenePreview;
    std::shared_ptr<ISceneNavigator> m_sceneNavigator;
    TSFrame *m_list = nullptr;
    TSceneBase *m_panel = nullptr;
    TEditerTitresForm *m_titlesForm = nullptr;
    bool m_editing = false;
};

} // namespace vidora
