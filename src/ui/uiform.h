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

#include <QColor>
#include <QImage>
#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QToolBar;

namespace vidora {

class ISceneNavigator;
class TAproposFrame;
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
// The maker's home page.
QString HomePageAddress();

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
    bool ScenesEditing = false;
    bool OverlayDragging = false;
    // The picture the copy-image action puts on the clipboard.
    QImage SnapshotBitmap;
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

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildWindow();
    void BindActions();
    void ShowActive(const std::shared_ptr<TAbstractListFichier> &entry);
    void SetStatusColour(const QColor &colour);
    void SetIdle();
    void PlaceOverlays();
    void StartOpening(const QString &status);
    void OpeningEnded();
    void SortBy(const TSortIndex &order);
    void OpenFilesCommand();

    Settings &m_settings;
    Tviewdm &m_viewdm;
    std::unique_ptr<TActionList> m_al;
    QWidget *m_client = nullptr;
    TEditIncrustForm *m_editIncrust = nullptr;
    Tplaque *m_plaque = nullptr;
    TRaccourcisForm *m_raccourcis = nullptr;
    TSavePrefsForm *m_savePrefs = nullptr;
    bool m_shown = false;
    bool m_closing = false;

    // Scene editor, overlay and copy (uiform_scenes.cpp)
    void BindSceneEditorActions();
    void BuildSceneEditor();
    void ShowSceneEditorPanel(bool on);
    void AskAboutUnsavedScenes();
    void InsertScene();
    void MergeScene();
    void TakeThumbnail();
    void SetEditorKeys();
    void ShowOverlay(bool on);
    void PassOverlayPosition();
    void OverlaySliderMoved(bool horizontal, int value);
    void OverlayMouse(QEvent *event);
    void SetPreviewVolume(int linear);
    void CopyText(const QString &text);
    std::shared_ptr<IScenePreview> m_scenePreview;
    std::shared_ptr<ISceneNavigator> m_sceneNavigator;
    // The keys the editors give the Ctrl key while they are open.
    struct TKeysKept
    {
        QString action;
        QKeySequence primary;
        QList<QKeySequence> secondary;
    };
    QList<TKeysKept> m_keysKept;
    bool m_titlesOpen = false;
    bool m_overlayEditorOpen = false;
    int m_dragState = 0;          // the graph's state when the drag began
    bool m_sliderPlaying = false; // a slider press started playback
};

} // namespace vidora
