#include "ui/playbackactions.h"

#include "files/avifichier.h"
#include "scenes/scenelist.h"
#include "scenes/widgets/scenelisteframe.h"
#include "ui/actioncatalogue.h"
#include "ui/playbacktexts.h"
#include "ui/ubaseframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QListWidget>
#include <QProgressBar>

namespace vidora {

PlaybackActions::PlaybackActions(TActionList &actions, Tviewdm &viewdm, TVueFrame &view,
                                 TBaseFrame &info, Scenes scenes)
    : m_al(actions), m_viewdm(viewdm), m_view(view), m_info(info), m_scenes(std::move(scenes))
{
    TtoggleAction *play = m_al.Toggle(QStringLiteral("saPlayStop"));
    play->Onprepare = [this, play](QObject *) {
        play->SetChecked(m_viewdm.GraphReady() && m_viewdm.Playing());
    };
    play->OnfalseExecute = [this, play](QObject *) { play->SetChecked(m_viewdm.Run()); };
    play->OnTrueExecute = [this, play](QObject *) {
        // Stopped, then paused: the frame reached stays on show.
        m_viewdm.Stop();
        m_viewdm.Pause();
        play->SetChecked(false);
    };

    auto plain = [this](const char *name, std::function<void()> command) {
        m_al.Plain(QString::fromLatin1(name))->Onexecute = [command](QObject *) { command(); };
    };
    plain("saNextFrame", [this] { m_view.aeAvanceLow(); });
    plain("saPreviousFrame", [this] { m_view.aeReculeLow(); });
    plain("saNextSecond", [this] { m_view.aeAvanceMedium(); });
    plain("saPreviousSecond", [this] { m_view.aeReculeMedium(); });
    plain("saNextMinute", [this] { m_view.aeAvanceHigh(); });
    plain("saPreviousMinute", [this] { m_view.aeReculeHigh(); });
    plain("saAvanceEnd", [this] { m_view.aeAvanceEnd(); });
    plain("saHome", [this] { m_view.aeReculeStart(); });
    plain("saNextScene", [this] { SeekScene(true); });
    plain("saPreviousScene", [this] { SeekScene(false); });

    // The preview keeps the volume and the mute in the settings it reads.
    plain("saIncVolume", [this] { SetVolume(VolumeUp(m_viewdm.Settings().Volume)); });
    plain("saDecVolume", [this] { SetVolume(VolumeDown(m_viewdm.Settings().Volume)); });
    // Keypad keys in place of the catalogue's.
    m_al.Find(QStringLiteral("saIncVolume"))
        ->setShortCut(QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
    m_al.Find(QStringLiteral("saDecVolume"))
        ->setShortCut(QKeySequence(Qt::KeypadModifier | Qt::Key_Minus));

    TtoggleAction *mute = m_al.Toggle(QStringLiteral("taMute"));
    mute->OnfalseExecute = [this, mute](QObject *) {
        m_viewdm.SetMute(true);
        mute->SetChecked(true);
    };
    mute->OnTrueExecute = [this, mute](QObject *) {
        m_viewdm.SetMute(false);
        mute->SetChecked(false);
    };
}

void PlaybackActions::SetVolume(int volume)
{
    m_viewdm.SetVolume(volume);
    m_info.Gauge2->setValue(VolumeGauge(volume));
}

void PlaybackActions::SeekScene(bool next)
{
    const std::shared_ptr<TaviFichier> active = m_scenes.activeFile();
    if (!active || !m_viewdm.GraphReady())
        return;
    TSFrame *list = m_scenes.list();
    const auto frameCount = SceneFrames(active->Data().frameCount);
    if (m_scenes.editing() && list) {
        // The scenes being edited, not the file they were loaded from. The
        // editor plays and seeks within the selected scene, so the scene
        // gone to becomes the selected one.
        m_viewdm.Pause();
        const auto position = std::uint32_t(m_viewdm.CurrentPosition().value_or(0));
        const std::uint32_t target =
            next ? list->NextSceneStart(position, frameCount) : list->PrevSceneStart(position);
        for (int i = 0; i < list->Count(); ++i) {
            if (list->GetScene(i) && list->GetScene(i)->StartFrame == target) {
                m_scenes.select(i);
                return;
            }
        }
        m_viewdm.SeekTo(target);
        m_scenes.showPosition();
        return;
    }
    if (!HasScnFile(active->Path()))
        return;
    const TSceneList scenes = LoadSceneListOf(active->Path(), TSceneContext{});
    m_viewdm.Pause();
    const auto position = std::uint32_t(m_viewdm.CurrentPosition().value_or(0));
    const std::uint32_t target =
        next ? NextSceneStart(scenes, position, frameCount) : PrevSceneStart(scenes, position);
    m_viewdm.SeekTo(target);
    // The scene list, when the window shows one, moves to the scene.
    if (list) {
        for (int i = 0; i < list->Count(); ++i)
            if (list->GetScene(i) && list->GetScene(i)->StartFrame == target)
                list->lb->setCurrentRow(i);
    }
    m_scenes.showPosition();
}

} // namespace vidora
