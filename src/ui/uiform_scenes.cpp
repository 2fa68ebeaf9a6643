// The main window's scene editor (select, insert, merge, thumbnail, titles,
// save), the overlay display with its position sliders and mouse dragging on
// the video, deinterlacing of the view, and the copy actions (the picture
// and the information texts to the clipboard).
#include "ui/uiform.h"

#include "files/widgets/fichierlistbox.h"
#include "formats/datetime.h"
#include "scenes/edittitres.h"
#include "scenes/scenelist.h"
#include "scenes/viewscenepreview.h"
#include "scenes/widgets/edittitresform.h"
#include "scenes/widgets/scenelisteframe.h"
#include "settings/widgets/optionsframe.h"
#include "ui/ubaseframe.h"
#include "ui/ueditincrust.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/filters/dv_superposer.h"
#include "video/filters/overlaylayout.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolBar>

#include <algorithm>
#include <utility>

namespace vidora {

namespace {

// Hands the events of one object to a function, which returns whether the
// event is used up.
class EventHook final : public QObject
{
public:
    EventHook(QObject *target, std::function<bool(QEvent *)> hook)
        : QObject(target), m_hook(std::move(hook))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return m_hook(event); }

private:
    std::function<bool(QEvent *)> m_hook;
};

// The preview as the scene frames move it.
class PreviewNavigator final : public ISceneNavigator
{
public:
    PreviewNavigator(Tviewdm &viewdm, TVueFrame &view) : m_viewdm(viewdm), m_view(view) {}

    void Pause() override { m_viewdm.Pause(); }
    std::uint32_t CurrentFrame() override
    {
        const std::int64_t position = m_viewdm.CurrentPosition().value_or(0);
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(position, 0, UINT32_MAX));
    }
    void SeekTo(std::uint32_t frame) override
    {
        m_viewdm.SeekTo(frame);
        m_view.Timer1Timer();
    }

private:
    Tviewdm &m_viewdm;
    TVueFrame &m_view;
};

// The actions whose plain keys go to the editors' text fields while an
// editor is open; they take the Ctrl key then.
const char *const kEditorKeyActions[] = {"saPlayStop", "saIncVolume", "saDecVolume",
                                         "saOterFichier"};

QKeySequence WithCtrl(const QKeySequence &key)
{
    if (key.isEmpty())
        return key;
    const QKeyCombination first = key[0];
    return QKeySequence(
        QKeyCombination(first.keyboardModifiers() | Qt::ControlModifier, first.key()));
}

} // namespace

IScenePreview *TUIForm::ScenePreview() const
{
    return m_scenePreview.get();
}

TSceneContext TUIForm::SceneContext() const
{
    TSceneContext context;
    if (ActiveFichier)
        context.video = TSceneVideo::FromEntry(*ActiveFichier);
    context.durationFormat = m_settings.DurationFormat;
    context.datecodeFormat = m_settings.FormatShowDatecode;
    context.preview = m_scenePreview.get();
    return context;
}

void TUIForm::BuildSceneEditor()
{
    m_scenePreview = std::make_shared<TViewScenePreview>(m_viewdm);
    m_sceneNavigator = std::make_shared<PreviewNavigator>(m_viewdm, *VueFrame);

    TSceneFrameServices services;
    services.context = [this] { return SceneContext(); };
    services.navigator = m_sceneNavigator.get();
    services.outputPath = [this](const QString &video, const QString &ending) {
        return m_settings.MakeOutputPath(video, ending);
    };
    services.listing.versionText = VersionNumberText();
    services.office.appVersionText = kProgramName + u' ' + VersionNumberText();
    services.office.versionText = VersionNumberText();
    services.reportError = [this](const QString &message) {
        QMessageBox::critical(this, kProgramName, message);
    };

    // The scene frames take the list column's place while the editor is on:
    // the details the information frame's, the scene list the file list's.
    // ApplyFrameLayout places them.
    SceneBase = new TSceneBase(services, m_client);
    SceneBase->setObjectName(QStringLiteral("SceneBase"));
    SceneBase->hide();
    SFrame = new TSFrame(services, m_client);
    SFrame->setObjectName(QStringLiteral("SFrame"));
    SFrame->hide();

    EditerTitres = new TEditerTitresForm(
        [this]() -> const TSceneClass * { return SceneBase->ShownScene().get(); },
        [this] { return SceneContext(); }, this);
    EditerTitres->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    EditerTitres->hide();

    if (!OnAskSaveScenes)
        OnAskSaveScenes = [this](const QString &question) {
            return QMessageBox::question(this, kProgramName, question,
                                         QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        };

    copiermenu = new QMenu(BaseFrame);
    copiermenu->setObjectName(QStringLiteral("copiermenu"));
    BaseFrame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(BaseFrame, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { copiermenu->popup(BaseFrame->mapToGlobal(at)); });
}

void TUIForm::ShowSceneEditorPanel(bool on)
{
    // The list column shows the scene frames instead of the file list and
    // the information frame, as far as the display mode shows the column.
    ScenesEditing = on;
    ApplyFrameLayout();
    if (on) {
        SceneBase->repaint();
    } else {
        Lframe->raise();
    }
}

void TUIForm::SelectSceneAndSeek(int index)
{
    const std::shared_ptr<TSceneClass> scene = SFrame->GetScene(index);
    if (!scene)
        return;
    {
        const QSignalBlocker quiet(SFrame->lb);
        SFrame->lb->setCurrentRow(index);
    }
    scene->Number = index + 1;
    // The preview plays and seeks in the scene (its end exclusive, as the
    // whole file's).
    m_viewdm.SetRange(scene->StartFrame, scene->EndFrame);
    const TSceneContext context = SceneContext();
    if (!scene->Detailed || scene->Thumbnail.isNull())
        scene->FillDetails(context);
    SceneBase->ShowScene(scene);
    VueFrame->Timer1Timer();
}

void TUIForm::AskAboutUnsavedScenes()
{
    if (!SFrame->Modified)
        return;
    const QString video = SFrame->VideoName;
    const QString question =
        QStringLiteral("Do you want to save the scenes in the scn file associated with ") +
        QFileInfo(video).fileName() + QStringLiteral("?") + QStringLiteral("\r\n") +
        QStringLiteral("If no, then all changes will be lost.");
    // The scenes go to the file of their own video, which may no longer be
    // the active one.
    if (OnAskSaveScenes(question)) {
        if (!SFrame->SaveScn(video))
            return; // the failure was shown; the changes stay
    } else {
        // Back to the list as its file has it (one scene for the whole
        // video when there is none).
        std::uint32_t frames = 0;
        for (const TSceneItem &item : SFrame->Scenes())
            frames = std::max(frames, item.Scene->EndFrame);
        SFrame->ShowScenes(video, frames);
    }
    SFrame->Modified = false;
}

void TUIForm::SceneEditorActiveChanged()
{
    if (!ScenesEditing)
        return;
    if (!ActiveFichier) {
        m_al->Toggle(QStringLiteral("taEditerScenes"))->Execute();
        return;
    }
    if (SFrame->VideoName == ActiveFichier->Path())
        return;
    AskAboutUnsavedScenes();
    SFrame->labSelect->setText(QFileInfo(ActiveFichier->Path()).fileName());
    SFrame->ShowScenes(ActiveFichier->Path(), SceneFrames(ActiveFichier->Data().frameCount));
    if (SFrame->Count() > 0)
        SelectSceneAndSeek(0);
}

void TUIForm::SceneEditorCloseQuery()
{
    // Ended from outside, nobody may be there to answer: the scene file
    // stays as it is, as the answer no would leave it.
    if (ScenesEditing && !m_terminating)
        AskAboutUnsavedScenes();
}

void TUIForm::InsertScene()
{
    const std::optional<std::int64_t> position = m_viewdm.CurrentPosition();
    if (!position || *position < 0 || *position > UINT32_MAX)
        return;
    if (!InsertSceneAt(SFrame->Scenes(), static_cast<std::uint32_t>(*position), SceneContext()))
        return;
    SFrame->Modified = true;
    SFrame->RefreshList();
}

void TUIForm::MergeScene()
{
    const int k = SFrame->lb->currentRow();
    if (!MergeWithPreviousScene(SFrame->Scenes(), k, SceneContext()))
        return;
    SFrame->Modified = true;
    SFrame->RefreshList();
    // The merged scene is the one shown now.
    SelectSceneAndSeek(k - 1);
}

void TUIForm::TakeThumbnail()
{
    const std::shared_ptr<TSceneClass> &scene = SceneBase->ShownScene();
    const std::optional<std::int64_t> position = m_viewdm.CurrentPosition();
    if (!scene || !position)
        return;
    if (scene->Thumbnail.isNull()) {
        // A scene whose picture was never made gets one of its video's size.
        const TSceneContext context = SceneContext();
        const QSize size =
            context.video ? ThumbnailSize(context.video->width, context.video->height) : QSize();
        if (size.isEmpty())
            return;
        scene->Thumbnail = QImage(size, QImage::Format_BGR888);
    }
    const std::int64_t offset = *position - m_viewdm.StartPosition();
    scene->ThumbOffset = static_cast<std::uint32_t>(std::max<std::int64_t>(0, offset));
    m_viewdm.Superposer().CopyPictureDeinterlaced(scene->Thumbnail);
    SceneBase->image->setPixmap(
        QPixmap::fromImage(scene->Thumbnail).scaled(SceneBase->image->size()));
    SFrame->Modified = true;
}

void TUIForm::SetEditorKeys()
{
    const bool ctrl = m_titlesOpen || m_overlayEditorOpen;
    if (ctrl == !m_keysKept.isEmpty())
        return;
    if (ctrl) {
        for (const char *name : kEditorKeyActions) {
            TCustomSuperAction *action = m_al->Find(QString::fromLatin1(name));
            if (!action)
                continue;
            m_keysKept.append(
                {QString::fromLatin1(name), action->ShortCut(), action->SecondaryShortcuts()});
            const QKeySequence key = WithCtrl(action->ShortCut());
            // Qt takes a key that one action holds twice as ambiguous.
            QList<QKeySequence> secondary = action->SecondaryShortcuts();
            secondary.removeAll(key);
            action->setShortCut(key);
            action->setSecondaryShortcuts(secondary);
        }
        return;
    }
    for (const TKeysKept &kept : std::as_const(m_keysKept)) {
        TCustomSuperAction *action = m_al->Find(kept.action);
        if (!action)
            continue;
        action->setShortCut(kept.primary);
        action->setSecondaryShortcuts(kept.secondary);
    }
    m_keysKept.clear();
}

void TUIForm::PassOverlayPosition()
{
    m_viewdm.Superposer().SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                                      m_settings.IncrustAlignment);
    // A paused picture shows the text at its new place.
    if (m_viewdm.GraphReady())
        m_viewdm.Refresh();
}

void TUIForm::ShowOverlay(bool on)
{
    TtoggleAction *action = m_al->Toggle(QStringLiteral("taAfficherIncrustation"));
    Tdv_Superposer &overlay = m_viewdm.Superposer();
    if (on) {
        if (ActiveFichier) {
            overlay.SetOptions(m_settings.Incrust);
            overlay.SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                                m_settings.IncrustAlignment);
            // The editor shows the text on every frame.
            if (m_overlayEditorOpen)
                overlay.SetDisplayMode(0);
            overlay.SetOverlayOn(true);
        }
        m_settings.IsIncrustOn = true;
    } else {
        overlay.SetOverlayOn(false);
        m_settings.IsIncrustOn = false;
    }
    // Refresh redraws the picture unless the preview plays.
    if (m_viewdm.GraphReady())
        m_viewdm.Refresh();
    action->SetChecked(on);
}

void TUIForm::ApplyOverlayPreferences()
{
    Tdv_Superposer &overlay = m_viewdm.Superposer();
    overlay.SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                        m_settings.IncrustAlignment);
    overlay.SetOptions(m_settings.Incrust);
    overlay.SetDeinterlace(m_settings.Deinterlace);
    m_al->Toggle(QStringLiteral("taDeinterlace"))->SetChecked(m_settings.Deinterlace);
    ShowOverlay(m_settings.IsIncrustOn);
    m_settings.IncrustSlidersVisible = false;
}

void TUIForm::OverlaySliderMoved(bool horizontal, int value)
{
    if (horizontal) {
        m_settings.IncrustPositionX = value;
        // The subtitle alignment is centred text at a height of its own; a
        // text moved sideways is centred text.
        if (m_settings.IncrustAlignment == 3)
            m_settings.IncrustAlignment = 1;
    } else {
        m_settings.IncrustPositionY = OverlayFromBottom(value);
    }
    PassOverlayPosition();
}

void TUIForm::OverlayMouse(QEvent *event)
{
    if (!m_settings.IncrustSlidersVisible || !m_viewdm.GraphReady())
        return;
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease) {
        if (!OverlayDragging)
            return;
        OverlayDragging = false;
        if (m_dragState == int(media::FilterState::Paused))
            m_viewdm.Pause();
        else if (m_dragState == int(media::FilterState::Stopped))
            m_viewdm.Stop();
        return;
    }
    if (type == QEvent::MouseMove && !OverlayDragging)
        return;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QWidget *video = VueFrame->vw;
    if (video->width() <= 0 || video->height() <= 0)
        return;
    const QPoint at = mouse->position().toPoint();
    m_settings.IncrustPositionX = OverlayPerMille(at.x(), video->width());
    m_settings.IncrustPositionY = OverlayPerMille(at.y(), video->height());
    {
        const QSignalBlocker quietH(VueFrame->incrustHorz);
        const QSignalBlocker quietV(VueFrame->incrustVert);
        VueFrame->incrustHorz->setValue(m_settings.IncrustPositionX);
        VueFrame->incrustVert->setValue(OverlayFromBottom(m_settings.IncrustPositionY));
    }
    m_viewdm.Superposer().SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                                      m_settings.IncrustAlignment);
    if (type == QEvent::MouseButtonPress) {
        OverlayDragging = true;
        m_dragState = int(m_viewdm.State());
        m_viewdm.Run();
    }
}

void TUIForm::CopyText(const QString &text)
{
    QApplication::clipboard()->setText(text);
}

void TUIForm::BindSceneEditorActions()
{
    BuildSceneEditor();

    // --- the scene list and the scene panel
    connect(SFrame, &TSFrame::sceneChosen, this, [this](int index) { SelectSceneAndSeek(index); });
    // A click or a key that picks a row picks its scene (sceneChosen).
    new EventHook(SFrame->lb->viewport(), [this](QEvent *event) {
        if (event->type() == QEvent::MouseButtonPress)
            SceneShown = false;
        return false;
    });
    new EventHook(SceneBase->image, [this](QEvent *event) {
        const std::shared_ptr<TSceneClass> &scene = SceneBase->ShownScene();
        if (event->type() == QEvent::MouseButtonPress && ScenesEditing && scene)
            m_sceneNavigator->SeekTo(scene->StartFrame + scene->ThumbOffset);
        return false;
    });
    new EventHook(SceneBase->memoTitre->viewport(), [this](QEvent *event) {
        TtoggleAction *titles = m_al->Toggle(QStringLiteral("taEditerTitres"));
        if (event->type() == QEvent::MouseButtonPress && !titles->Checked())
            titles->Execute();
        return false;
    });

    TtoggleAction *editScenes = m_al->Toggle(QStringLiteral("taEditerScenes"));
    editScenes->OnfalseExecute = [this, editScenes](QObject *) {
        if (!ActiveFichier)
            return;
        const QString video = ActiveFichier->Path();
        SFrame->labSelect->setText(QFileInfo(video).fileName());
        SFrame->ShowScenes(video, SceneFrames(ActiveFichier->Data().frameCount));
        ShowSceneEditorPanel(true);
        SceneBase->EditorShown = true;
        if (SFrame->Count() > 0)
            SelectSceneAndSeek(0);
        tbScenes->show();
        tbListe->hide();
        TCustomSuperAction *bar = m_al->Find(QStringLiteral("saBarreScenes"));
        bar->setVisible(true);
        bar->SetChecked(true);
        editScenes->SetChecked(true);
        SFrame->lb->setFocus();
    };
    editScenes->OnTrueExecute = [this, editScenes](QObject *) {
        if (m_titlesOpen)
            m_al->Toggle(QStringLiteral("taEditerTitres"))->Execute();
        AskAboutUnsavedScenes();
        tbScenes->hide();
        tbListe->show();
        TCustomSuperAction *bar = m_al->Find(QStringLiteral("saBarreScenes"));
        bar->SetChecked(false);
        bar->setVisible(false);
        SceneBase->EditorShown = false;
        ShowSceneEditorPanel(false);
        m_viewdm.SetRange(0, m_viewdm.Duration());
        editScenes->SetChecked(false);
        Lframe->lf->setFocus();
    };

    auto plain = [this](const char *name, std::function<void()> command) {
        m_al->Plain(QString::fromUtf8(name))->Onexecute = [command](QObject *) { command(); };
    };
    plain("saEnregistrerScn", [this] {
        if (ScenesEditing)
            SFrame->SaveScn(SFrame->VideoName);
    });
    plain("saInsererScene", [this] {
        if (ScenesEditing)
            InsertScene();
    });
    plain("saSupprimerScene", [this] {
        if (ScenesEditing)
            MergeScene();
    });

    TtoggleAction *titles = m_al->Toggle(QStringLiteral("taEditerTitres"));
    titles->Onprepare = [this, titles](QObject *) {
        titles->SetChecked(EditerTitres->isVisible());
    };
    titles->OnfalseExecute = [this, titles](QObject *) {
        m_titlesOpen = true;
        SetEditorKeys();
        EditerTitres->LoadFromScene(SceneBase->ShownScene().get());
        EditerTitres->show();
        EditerTitres->raise();
        titles->SetChecked(true);
    };
    titles->OnTrueExecute = [this, titles](QObject *) {
        m_titlesOpen = false;
        SetEditorKeys();
        TSceneClass *shown = SceneBase->ShownScene().get();
        if (ApplyTitleTemplates(EditerTitres->Choice, EditerTitres->edTitre->text(),
                                EditerTitres->edSoustitre->text(), shown, SFrame->Scenes(),
                                SceneContext())) {
            if (shown) {
                const QSignalBlocker quiet(SceneBase->memoTitre);
                SceneBase->memoTitre->setPlainText(shown->Title + QLatin1Char('\n') +
                                                   shown->Subtitle);
            }
            SFrame->RefreshList();
            SFrame->Modified = true;
        }
        EditerTitres->hide();
        titles->SetChecked(false);
    };
    connect(EditerTitres, &TEditerTitresForm::closeRequested, this, [titles] {
        if (titles->Checked())
            titles->Execute();
    });

    // --- the overlay
    TtoggleAction *overlay = m_al->Toggle(QStringLiteral("taAfficherIncrustation"));
    overlay->Onprepare = [this, overlay](QObject *) {
        overlay->SetChecked(m_settings.IsIncrustOn);
    };
    overlay->OnfalseExecute = [this](QObject *) { ShowOverlay(true); };
    overlay->OnTrueExecute = [this](QObject *) { ShowOverlay(false); };

    TtoggleAction *editOverlay = m_al->Toggle(QStringLiteral("taEditerIncrust"));
    editOverlay->Onprepare = [this, editOverlay](QObject *) {
        editOverlay->SetChecked(m_settings.IncrustSlidersVisible);
    };
    editOverlay->OnfalseExecute = [this, editOverlay, overlay](QObject *) {
        m_settings.IncrustSlidersVisible = true;
        VueFrame->labTimeStamp->hide();
        m_overlayEditorOpen = true;
        m_viewdm.Superposer().SetDisplayMode(0);
        if (!m_settings.IsIncrustOn)
            overlay->Execute();
        VueFrame->incrustVert->show();
        VueFrame->incrustHorz->show();
        SetEditorKeys();
        m_viewdm.SetCompleteBound(true);
        if (m_editIncrust) {
            m_editIncrust->OnShowOverlay = [overlay] { overlay->Execute(); };
            m_editIncrust->OnToggleEditor = [editOverlay] { editOverlay->Execute(); };
            m_editIncrust->OnHorizontalSlider = [this](int perMille) {
                m_settings.IncrustPositionX = perMille;
                const QSignalBlocker quiet(VueFrame->incrustHorz);
                VueFrame->incrustHorz->setValue(perMille);
                PassOverlayPosition();
            };
            // Filled from the settings, then the samples and the picture's
            // text made from what the form now shows.
            m_editIncrust->FillFromSettings();
            m_editIncrust->SetCurrentFile(ActiveFichier);
            m_editIncrust->show();
            m_editIncrust->raise();
        }
        editOverlay->SetChecked(true);
    };
    editOverlay->OnTrueExecute = [this, editOverlay](QObject *) {
        m_settings.IncrustSlidersVisible = false;
        m_viewdm.SetCompleteBound(false);
        m_viewdm.Superposer().SetDisplayMode(m_settings.Incrust.When);
        VueFrame->incrustVert->hide();
        VueFrame->incrustHorz->hide();
        VueFrame->labTimeStamp->show();
        m_overlayEditorOpen = false;
        SetEditorKeys();
        if (m_editIncrust)
            m_editIncrust->hide();
        editOverlay->SetChecked(false);
    };
    VueFrame->incrustHorz->hide();
    VueFrame->incrustVert->hide();
    new EventHook(VueFrame->Shape1, [editOverlay](QEvent *event) {
        if (event->type() == QEvent::MouseButtonPress)
            editOverlay->Execute();
        return false;
    });

    // Only what the user does moves the text: the settings and the editor
    // set the sliders from code without these.
    for (QSlider *slider : {VueFrame->incrustHorz, VueFrame->incrustVert}) {
        const bool horizontal = slider == VueFrame->incrustHorz;
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider, horizontal](int) {
            OverlaySliderMoved(horizontal, slider->sliderPosition());
        });
        connect(slider, &QAbstractSlider::sliderPressed, this, [this] {
            if (m_viewdm.GraphReady() && !m_viewdm.Playing()) {
                m_viewdm.Silence();
                m_sliderPlaying = m_viewdm.Run();
            }
        });
        connect(slider, &QAbstractSlider::sliderReleased, this, [this] {
            m_viewdm.ApplyVolume();
            if (m_sliderPlaying)
                m_viewdm.Pause();
            m_sliderPlaying = false;
        });
    }

    // The video: a press takes the scene's thumbnail; with the sliders shown,
    // pressing and dragging places the text.
    new EventHook(VueFrame->vw, [this](QEvent *event) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (ScenesEditing)
                TakeThumbnail();
            OverlayMouse(event);
            break;
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            OverlayMouse(event);
            break;
        default:
            break;
        }
        return false;
    });

    // --- deinterlacing
    TtoggleAction *deinterlace = m_al->Toggle(QStringLiteral("taDeinterlace"));
    auto setDeinterlace = [this, deinterlace](bool on) {
        m_settings.Deinterlace = on;
        m_viewdm.Superposer().SetDeinterlace(on);
        deinterlace->SetChecked(on);
    };
    deinterlace->Onprepare = [this, deinterlace](QObject *) {
        deinterlace->SetChecked(m_settings.Deinterlace);
    };
    deinterlace->OnfalseExecute = [setDeinterlace](QObject *) { setDeinterlace(true); };
    deinterlace->OnTrueExecute = [setDeinterlace](QObject *) { setDeinterlace(false); };
    // After the panel's own handler, which writes the setting.
    connect(OptionsFrame->cbDeinterlace, &QCheckBox::toggled, this, [this, deinterlace] {
        m_viewdm.Superposer().SetDeinterlace(m_settings.Deinterlace);
        deinterlace->SetChecked(m_settings.Deinterlace);
    });

    // --- copies to the clipboard
    plain("saCopierImagedansPP", [this] {
        if (!ActiveFichier)
            return;
        const TaviData &fileData = ActiveFichier->Data();
        if (fileData.width <= 0 || fileData.height <= 0)
            return;
        SnapshotBitmap = QImage(fileData.width, fileData.height, QImage::Format_BGR888);
        SnapshotBitmap.fill(Qt::black);
        m_viewdm.Superposer().CopyPictureDeinterlaced(SnapshotBitmap);
        QApplication::clipboard()->setImage(SnapshotBitmap);
    });
    const std::pair<const char *, std::function<QString()>> copies[] = {
        {"Copy the datecode", [this] { return BaseFrame->labDatecode->text(); }},
        {"Copy the timecode", [this] { return BaseFrame->LabTimecode->text(); }},
        {"Copy the codec", [this] { return BaseFrame->LabCodec->text(); }},
        {"Copy the size of image", [this] { return BaseFrame->LabImage->text(); }},
        {"Copy the duration", [this] { return BaseFrame->LabDuree->text(); }},
        {"Copy the framerate", [this] { return BaseFrame->labFPS->text(); }},
        {"Copy audio",
         [this] {
             return BaseFrame->LabAudio1->text() + QLatin1Char('\r') + BaseFrame->LabAudio2->text();
         }},
        // Names as the file system has them: a lower-cased path would name
        // another file, or none.
        {"Copy the full name",
         [this] { return ActiveFichier ? ActiveFichier->FullPath() : QString(); }},
        {"Copy the short name",
         [this] {
             return ActiveFichier ? QFileInfo(ActiveFichier->FullPath()).fileName() : QString();
         }},
        {"Copy the file date",
         [this] {
             if (!ActiveFichier)
                 return QString();
             try {
                 return FormatDateTime(m_settings.FormatShowDatecode,
                                       ActiveFichier->LastWriteDate());
             } catch (const std::exception &) {
                 return QString();
             }
         }},
        {"Copy the size of file",
         [this] {
             return ActiveFichier ? QLocale().toString(qlonglong(ActiveFichier->Size()))
                                  : QString();
         }},
    };
    for (const auto &[caption, text] : copies) {
        QAction *entry = copiermenu->addAction(QString::fromUtf8(caption));
        connect(entry, &QAction::triggered, this, [this, text = text] {
            if (ActiveFichier)
                CopyText(text());
        });
    }
}

} // namespace vidora
