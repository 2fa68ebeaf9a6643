#include "ui/sceneeditoractions.h"

#include "files/avifichier.h"
#include "files/widgets/fichierlistbox.h"
#include "scenes/edittitres.h"
#include "scenes/scenelist.h"
#include "scenes/viewscenepreview.h"
#include "scenes/widgets/edittitresform.h"
#include "scenes/widgets/scenelisteframe.h"
#include "settings/settings.h"
#include "ui/actioncatalogue.h"
#include "ui/editorkeys.h"
#include "ui/eventhook.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QToolBar>

#include <algorithm>

namespace vidora {

namespace {

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

} // namespace

SceneEditorActions::SceneEditorActions(TActionList &actions, Tviewdm &viewdm, Settings &settings,
                                       EditorKeys &keys, Parts parts, Hooks hooks)
    : m_al(actions), m_viewdm(viewdm), m_settings(settings), m_keys(keys), m_parts(parts),
      m_hooks(std::move(hooks))
{
    BuildFrames();
    BindSceneList();
    BindEditorActions();
    BindTitlesEditor();
}

SceneEditorActions::~SceneEditorActions() = default;

void SceneEditorActions::BuildFrames()
{
    m_scenePreview = std::make_shared<TViewScenePreview>(m_viewdm);
    m_sceneNavigator = std::make_shared<PreviewNavigator>(m_viewdm, *m_parts.view);

    TSceneFrameServices services;
    services.context = [this] { return Context(); };
    services.navigator = m_sceneNavigator.get();
    services.outputPath = [this](const QString &video, const QString &ending) {
        return m_settings.MakeOutputPath(video, ending);
    };
    services.listing.versionText = VersionNumberText();
    services.office.appVersionText = kProgramName + u' ' + VersionNumberText();
    services.office.versionText = VersionNumberText();
    services.reportError = [this](const QString &message) {
        QMessageBox::critical(m_parts.window, kProgramName, message);
    };

    // The scene frames take the list column's place while the editor is on:
    // the details the information frame's, the scene list the file list's.
    // ApplyFrameLayout places them.
    m_panel = new TSceneBase(services, m_parts.client);
    m_panel->setObjectName(QStringLiteral("SceneBase"));
    m_panel->hide();
    m_list = new TSFrame(services, m_parts.client);
    m_list->setObjectName(QStringLiteral("SFrame"));
    m_list->hide();

    m_titlesForm = new TEditerTitresForm(
        [this]() -> const TSceneClass * { return m_panel->ShownScene().get(); },
        [this] { return Context(); }, m_parts.window);
    m_titlesForm->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    m_titlesForm->hide();
}

void SceneEditorActions::BindSceneList()
{
    QObject::connect(m_list, &TSFrame::sceneChosen, m_list,
                     [this](int index) { SelectSceneAndSeek(index); });
    // A click or a key that picks a row picks its scene (sceneChosen).
    new EventHook(m_list->lb->viewport(), [this](QEvent *event) {
        if (event->type() == QEvent::MouseButtonPress)
            m_hooks.sceneListPressed();
        return false;
    });
    new EventHook(m_panel->image, [this](QEvent *event) {
        const std::shared_ptr<TSceneClass> &scene = m_panel->ShownScene();
        if (event->type() == QEvent::MouseButtonPress && m_editing && scene)
            m_sceneNavigator->SeekTo(scene->StartFrame + scene->ThumbOffset);
        return false;
    });
    new EventHook(m_panel->memoTitre->viewport(), [this](QEvent *event) {
        TtoggleAction *titles = m_al.Toggle(QStringLiteral("taEditerTitres"));
        if (event->type() == QEvent::MouseButtonPress && !titles->Checked())
            titles->Execute();
        return false;
    });

    // A press on the video takes the scene's thumbnail.
    new EventHook(m_parts.view->vw, [this](QEvent *event) {
        if (event->type() == QEvent::MouseButtonPress && m_editing)
            TakeThumbnail();
        return false;
    });
}

void SceneEditorActions::BindEditorActions()
{
    TtoggleAction *editScenes = m_al.Toggle(QStringLiteral("taEditerScenes"));
    editScenes->OnfalseExecute = [this, editScenes](QObject *) {
        const std::shared_ptr<TaviFichier> active = m_hooks.activeFile();
        if (!active)
            return;
        const QString video = active->Path();
        m_list->labSelect->setText(QFileInfo(video).fileName());
        m_list->ShowScenes(video, SceneFrames(active->Data().frameCount));
        ShowPanel(true);
        m_panel->EditorShown = true;
        if (m_list->Count() > 0)
            SelectSceneAndSeek(0);
        m_parts.tbScenes->show();
        m_parts.tbListe->hide();
        TCustomSuperAction *bar = m_al.Find(QStringLiteral("saBarreScenes"));
        bar->setVisible(true);
        bar->SetChecked(true);
        editScenes->SetChecked(true);
        m_list->lb->setFocus();
    };
    editScenes->OnTrueExecute = [this, editScenes](QObject *) {
        if (m_keys.TitlesOpen())
            m_al.Toggle(QStringLiteral("taEditerTitres"))->Execute();
        AskAboutUnsavedScenes();
        m_parts.tbScenes->hide();
        m_parts.tbListe->show();
        TCustomSuperAction *bar = m_al.Find(QStringLiteral("saBarreScenes"));
        bar->SetChecked(false);
        bar->setVisible(false);
        m_panel->EditorShown = false;
        ShowPanel(false);
        m_viewdm.SetRange(0, m_viewdm.Duration());
        editScenes->SetChecked(false);
        m_parts.files->lf->setFocus();
    };

    auto plain = [this](const char *name, std::function<void()> command) {
        m_al.Plain(QString::fromUtf8(name))->Onexecute = [command](QObject *) { command(); };
    };
    plain("saEnregistrerScn", [this] {
        if (m_editing)
            m_list->SaveScn(m_list->VideoName);
    });
    plain("saInsererScene", [this] {
        if (m_editing)
            InsertScene();
    });
    plain("saSupprimerScene", [this] {
        if (m_editing)
            MergeScene();
    });
}

void SceneEditorActions::BindTitlesEditor()
{
    TtoggleAction *titles = m_al.Toggle(QStringLiteral("taEditerTitres"));
    titles->Onprepare = [this, titles](QObject *) {
        titles->SetChecked(m_titlesForm->isVisible());
    };
    titles->OnfalseExecute = [this, titles](QObject *) {
        m_keys.SetTitlesOpen(true);
        m_titlesForm->LoadFromScene(m_panel->ShownScene().get());
        m_titlesForm->show();
        m_titlesForm->raise();
        titles->SetChecked(true);
    };
    titles->OnTrueExecute = [this, titles](QObject *) {
        m_keys.SetTitlesOpen(false);
        TSceneClass *shown = m_panel->ShownScene().get();
        if (ApplyTitleTemplates(m_titlesForm->Choice, m_titlesForm->edTitre->text(),
                                m_titlesForm->edSoustitre->text(), shown, m_list->Scenes(),
                                Context())) {
            if (shown) {
                const QSignalBlocker quiet(m_panel->memoTitre);
                m_panel->memoTitre->setPlainText(shown->Title + QLatin1Char('\n') +
                                                 shown->Subtitle);
            }
            m_list->RefreshList();
            m_list->Modified = true;
        }
        m_titlesForm->hide();
        titles->SetChecked(false);
    };
    QObject::connect(m_titlesForm, &TEditerTitresForm::closeRequested, m_titlesForm, [titles] {
        if (titles->Checked())
            titles->Execute();
    });
}

IScenePreview *SceneEditorActions::Preview() const
{
    return m_scenePreview.get();
}

TSceneContext SceneEditorActions::Context() const
{
    TSceneContext context;
    if (const std::shared_ptr<TaviFichier> active = m_hooks.activeFile())
        context.video = TSceneVideo::FromEntry(*active);
    context.durationFormat = m_settings.DurationFormat;
    context.datecodeFormat = m_settings.FormatShowDatecode;
    context.preview = m_scenePreview.get();
    return context;
}

void SceneEditorActions::ShowPanel(bool on)
{
    // The list column shows the scene frames instead of the file list and
    // the information frame, as far as the display mode shows the column.
    m_editing = on;
    m_hooks.applyFrameLayout();
    if (on) {
        m_panel->repaint();
    } else {
        m_parts.files->raise();
    }
}

void SceneEditorActions::SelectSceneAndSeek(int index)
{
    const std::shared_ptr<TSceneClass> scene = m_list->GetScene(index);
    if (!scene)
        return;
    {
        const QSignalBlocker quiet(m_list->lb);
        m_list->lb->setCurrentRow(index);
    }
    scene->Number = index + 1;
    // The preview plays and seeks in the scene (its end exclusive, as the
    // whole file's).
    m_viewdm.SetRange(scene->StartFrame, scene->EndFrame);
    const TSceneContext context = Context();
    if (!scene->Detailed || scene->Thumbnail.isNull())
        scene->FillDetails(context);
    m_panel->ShowScene(scene);
    m_parts.view->Timer1Timer();
}

void SceneEditorActions::AskAboutUnsavedScenes()
{
    if (!m_list->Modified)
        return;
    const QString video = m_list->VideoName;
    const QString question =
        QStringLiteral("Do you want to save the scenes in the scn file associated with ") +
        QFileInfo(video).fileName() + QStringLiteral("?") + QStringLiteral("\r\n") +
        QStringLiteral("If no, then all changes will be lost.");
    // The scenes go to the file of their own video, which may no longer be
    // the active one.
    if (m_hooks.askSaveScenes(question)) {
        if (!m_list->SaveScn(video))
            return; // the failure was shown; the changes stay
    } else {
        // Back to the list as its file has it (one scene for the whole
        // video when there is none).
        std::uint32_t frames = 0;
        for (const TSceneItem &item : m_list->Scenes())
            frames = std::max(frames, item.Scene->EndFrame);
        m_list->ShowScenes(video, frames);
    }
    m_list->Modified = false;
}

void SceneEditorActions::ActiveChanged()
{
    if (!m_editing)
        return;
    const std::shared_ptr<TaviFichier> active = m_hooks.activeFile();
    if (!active) {
        m_al.Toggle(QStringLiteral("taEditerScenes"))->Execute();
        return;
    }
    if (m_list->VideoName == active->Path())
        return;
    AskAboutUnsavedScenes();
    m_list->labSelect->setText(QFileInfo(active->Path()).fileName());
    m_list->ShowScenes(active->Path(), SceneFrames(active->Data().frameCount));
    if (m_list->Count() > 0)
        SelectSceneAndSeek(0);
}

void SceneEditorActions::CloseQuery()
{
    // Ended from outside, nobody may be there to answer: the scene file
    // stays as it is, as the answer no would leave it.
    if (m_editing && !m_hooks.terminating())
        AskAboutUnsavedScenes();
}

void SceneEditorActions::InsertScene()
{
    const std::optional<std::int64_t> position = m_viewdm.CurrentPosition();
    if (!position || *position < 0 || *position > UINT32_MAX)
        return;
    if (!InsertSceneAt(m_list->Scenes(), static_cast<std::uint32_t>(*position), Context()))
        return;
    m_list->Modified = true;
    m_list->RefreshList();
}

void SceneEditorActions::MergeScene()
{
    const int k = m_list->lb->currentRow();
    if (!MergeWithPreviousScene(m_list->Scenes(), k, Context()))
        return;
    m_list->Modified = true;
    m_list->RefreshList();
    // The merged scene is the one shown now.
    SelectSceneAndSeek(k - 1);
}

void SceneEditorActions::TakeThumbnail()
{
    const std::shared_ptr<TSceneClass> &scene = m_panel->ShownScene();
    const std::optional<std::int64_t> position = m_viewdm.CurrentPosition();
    if (!scene || !position)
        return;
    if (scene->Thumbnail.isNull()) {
        // A scene whose picture was never made gets one of its video's size.
        const TSceneContext context = Context();
        const QSize size =
            context.video ? ThumbnailSize(context.video->width, context.video->height) : QSize();
        if (size.isEmpty())
            return;
        scene->Thumbnail = QImage(size, QImage::Format_BGR888);
    }
    const std::int64_t offset = *position - m_viewdm.StartPosition();
    scene->ThumbOffset = static_cast<std::uint32_t>(std::max<std::int64_t>(0, offset));
    m_viewdm.Superposer().CopyPictureDeinterlaced(scene->Thumbnail);
    m_panel->image->setPixmap(QPixmap::fromImage(scene->Thumbnail).scaled(m_panel->image->size()));
    m_list->Modified = true;
}

} // namespace vidora
