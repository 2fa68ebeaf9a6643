#pragma once

// The main window: the file list, the video view, the information frame,
// the help panel of an empty list, the About and settings panels, the menus
// and toolbars made from the action catalogue, and the command line. It
// applies the settings when it is shown and collects and saves them when it
// closes.
#include "files/avifichier.h"
#include "scenes/scenemodel.h"
#include "settings/scripts.h"
#include "settings/settings.h"
#include "ui/actioncatalogue.h"
#include "ui/playbacktexts.h"

#include <QColor>
#include <QList>
#include <QMainWindow>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;

namespace vidora {

class CopyActions;
class DisplayActions;
class EditorKeys;
class FullScreen;
class ListActions;
class OverlayActions;
class PlaybackActions;
class SceneEditorActions;
class TAproposFrame;
class CommandActions;
class TBaseFrame;
class TEditerTitresForm;
class TSFrame;
class TSceneBase;
class TEditIncrustForm;
class TListeFrame;
class TOptionsFrame;
class TRaccourcisForm;
class TSavePrefsForm;
class TVideFrame;
class TVueFrame;
class Tplaque;
class Tviewdm;

// "7.0.5"
QString VersionNumberText();
// "Vidora 7.0.5 En"
QString AppVersionText();
// The window caption: AppVersionText() + " by " + the maker.
QString MainWindowCaption();
// The size of the toolbars' images.
inline constexpr QSize kToolbarIconSize{16, 16};
// Toolbar images come from the desktop's icon theme; without one, from the
// theme the program is set up with. Call once the application exists.
void UseToolbarIconTheme();

// Colours of the status bar.
inline const QColor kStatusColour = QColor(0xA6, 0xCA, 0xF0);  // a status message
inline const QColor kCommandColour = QColor(0xC0, 0xDC, 0xC0); // a command's message

class TUIForm : public QMainWindow
{
    Q_OBJECT
public:
    // Neither is owned; both outlive the window. Runs FormCreate.
    TUIForm(Settings &settings, Tviewdm &viewdm, QWidget *parent = nullptr);
    ~TUIForm() override;

    // The windows made after this one; not owned, each may stay unset.
    void SetEditIncrustForm(TEditIncrustForm *form) { m_editIncrust = form; }
    void SetPlaque(Tplaque *plaque);
    void SetRaccourcisForm(TRaccourcisForm *form);
    void SetSavePrefsForm(TSavePrefsForm *form) { m_savePrefs = form; }

    void FormCreate();
    void FormShow();
    void ApplyPreferences();
    // Copies the window into the settings and saves them; nothing in store
    // mode none. May throw (a store that cannot be written).
    void CollectPreferences();
    // False keeps the window open.
    bool FormCloseQuery();
    // A request to end the program from outside (SIGTERM, SIGINT, the
    // session ending): closes the window as Quit does, but waits for no
    // answer: a question open is closed as its close box would, and with no
    // settings store chosen nothing is saved and nothing asked.
    void Terminate();
    // Run once the window has accepted to close; the program entry ends the
    // program there, whatever other windows are open.
    std::function<void()> OnClosed;
    void FormDestroy();
    void FormResize();

    void SetStatusText(const QString &text);
    // A running command's message; an empty one ends it.
    void SetCommandMessage(const QString &text);
    void script1NoCommandLine();
    void ApplicationActivate();
    // The counts label and the empty-list layout.
    void lfCountsChange(int selectedCount, int count);

    const TActionList &al() const { return *m_al; }
    TListeFrame *Lframe = nullptr;
    TVueFrame *VueFrame = nullptr;
    TBaseFrame *BaseFrame = nullptr;
    TVideFrame *VideFrame = nullptr;
    TAproposFrame *AproposFrame = nullptr;
    TOptionsFrame *OptionsFrame = nullptr;
    QLabel *StatusPanel = nullptr; // panel 0 of the status bar
    QToolBar *tbOuvrir = nullptr;
    QToolBar *tbVideo = nullptr;
    QToolBar *tbScenes = nullptr;
    QToolBar *tbListe = nullptr;
    QToolBar *tbInterface = nullptr;
    QMenu *mainPopup = nullptr;
    QMenu *pmWindow = nullptr;
    TScript *script1 = nullptr;
    TSwitch *Switch1 = nullptr;

    // Scene editor, overlay and copy
    // The scene list of the active video and its scene panel, shown in the
    // list column while the scene editor is on; the titles editor.
    TSFrame *SFrame = nullptr;
    TSceneBase *SceneBase = nullptr;
    TEditerTitresForm *EditerTitres = nullptr;
    // The information frame's pop-up of copy entries.
    QMenu *copiermenu = nullptr;
    // A drag on the video places the overlay's text.
    bool OverlayDragging() const;
    // The question about unsaved scenes; true saves them. By default a
    // message box with Yes and No.
    std::function<bool(const QString &question)> OnAskSaveScenes;
    // The scene details as the preview gives them (for the action module's
    // scene commands too); lives as long as the window.
    IScenePreview *ScenePreview() const;
    // The scene context of the active entry, with ScenePreview.
    TSceneContext SceneContext() const;
    // Shows scene `index` of the scene list and moves the preview to it.
    void SelectSceneAndSeek(int index);
    // The overlay settings into the preview's overlay filter and the two
    // overlay actions (part of applying the settings).
    void ApplyOverlayPreferences();
    // Unsaved scene edits are asked about once: when the editor closes,
    // when another file becomes active (the scenes go to their own video's
    // file) and when the window closes.
    void SceneEditorActiveChanged();
    void SceneEditorCloseQuery();

    QString CommandMessage;
    QString StatusMessage;
    std::shared_ptr<TaviFichier> ActiveFichier;
    bool StandardVerification = true;
    bool SceneShown = false;

    // Commands
    // The command actions, their module and engine; they live as long as the
    // window.
    CommandActions &Commands() const { return *m_commands; }
    // Shows and enables every action for the panels shown and the list.
    void UpdateActionStates();

    // Display and playback
    // Lays the window out for a display mode (displaylayout.h).
    void SetDisplayMode(std::uint8_t mode);
    // "Vue": the mode the window is in.
    std::uint8_t DisplayMode() const;
    // The scene editor is on: the scene frames (the client's children named
    // "SFrame" and "SceneBase") stand in the list column.
    bool ScenesEditing() const;
    // The 40 ms position tick: the video view's texts, then the position
    // text, handed on as a copy in a posted event.
    void Timerproc();
    void WMUpdatePosition(const TPositionInfo &info);
    bool IsFullScreen() const;

protected:
    bool event(QEvent *event) override;

private:
    // The frames' places for the mode and the client's size.
    void ApplyFrameLayout();
    // The interface toolbar starts a second row when one row would hide
    // buttons behind the toolbars' overflow arrows.
    void FitToolbars();
    void ApplyEmptyListLayout(int count);
    // "Width", "Height", "Top", "Left" from the window, as a change of mode
    // keeps them.
    void RememberWindowBounds();
    void WindowStateChanged(Qt::WindowStates before);
    int m_laying = 0; // SetDisplayMode runs: the window's own changes are no user's

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildWindow();
    void BindActions();
    void SetStatusColour(const QColor &colour);
    void SetIdle();
    void PlaceOverlays();
    void StartOpening(const QString &status);

    Settings &m_settings;
    Tviewdm &m_viewdm;
    std::unique_ptr<TActionList> m_al;
    QWidget *m_client = nullptr;
    TEditIncrustForm *m_editIncrust = nullptr;
    TRaccourcisForm *m_raccourcis = nullptr;
    TSavePrefsForm *m_savePrefs = nullptr;
    bool m_shown = false;
    bool m_closing = false;
    bool m_inCloseQuery = false;
    bool m_terminating = false; // closing asks nothing
    // The groups of actions that keep their own state.
    std::unique_ptr<DisplayActions> m_display;
    std::unique_ptr<PlaybackActions> m_playback;
    std::unique_ptr<FullScreen> m_fullScreen;
    std::unique_ptr<ListActions> m_lists;

    // Lists
public:
    // Shows the active entry everywhere after it changed.
    void ShowActiveFile();
    void lfActiveChange(const std::shared_ptr<TAbstractListFichier> &entry);

private:
    // Files dropped anywhere on the window go to the list.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // The one-line ready notice a start benchmark waits for (only with
    // VIDORA_READY_NOTICE set in the environment).
    void StartReadyNotice();

    // Scene editor, overlay and copy (uiform_scenes.cpp)
    void BindSceneEditorActions();
    std::unique_ptr<EditorKeys> m_editorKeys;
    std::unique_ptr<OverlayActions> m_overlay;
    std::unique_ptr<SceneEditorActions> m_scenes;
    std::unique_ptr<CopyActions> m_copies;

    // Commands (last: the engine ends before the rest of the window goes)
    friend class CommandActions;
    std::unique_ptr<CommandActions> m_commands;
};

} // namespace vidora
