// The main window's side of playing the active video: play and pause, the
// position tick and its texts, the seek actions, the volume and mute, and
// full screen over the black backdrop.
#include "platform/shell/pathroutines.h"
#include "scenes/scenelist.h"
#include "scenes/widgets/scenelisteframe.h"
#include "ui/aproposframe.h"
#include "ui/displaylayout.h"
#include "ui/ubaseframe.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QTimer>

namespace vidora {

void TUIForm::Timerproc()
{
    if (!ActiveFichier)
        return;
    VueFrame->Timer1Timer();
    const TDisplayRecord &record = BaseFrame->DisplayRecord();
    TPositionInfo info;
    info.datecode = record.datecode;
    info.timecode = record.timecode;
    info.sliderPosition = record.sliderPosition;
    // The preview counts in frames when it has a frame rate, else in 100 ns.
    info.position = PositionText(VueFrame->CurrentPosition(), m_viewdm.FrameRate());
    info.audio = record.audio;
    info.audioRate = record.audioRate;
    info.picture = record.codec;
    QCoreApplication::postEvent(this, new TPositionEvent(std::move(info)));
}

void TUIForm::WMUpdatePosition(const TPositionInfo &info)
{
    BaseFrame->labDatecode->setText(info.datecode);
    BaseFrame->LabTimecode->setText(info.timecode);
    VueFrame->SetPositionSlider(info.sliderPosition);
    VueFrame->ShowTimeStamp(info.position);
    if (!ActiveFichier)
        return;
    const TaviData &fileData = ActiveFichier->Data();
    if (fileData.isDv && fileData.dvType == 1 && !info.audio.isEmpty()) {
        BaseFrame->LabAudio1->setText(info.audio);
        BaseFrame->LabAudio2->setText(info.audioRate);
        if (!fileData.aspectText.isEmpty())
            BaseFrame->LabImage->setText(info.picture);
    }
}

void TUIForm::SeekScene(bool next)
{
    if (!ActiveFichier || !m_viewdm.GraphReady())
        return;
    TSFrame *list = SFrame;
    const auto frameCount = SceneFrames(ActiveFichier->Data().frameCount);
    if (ScenesEditing && list) {
        // The scenes being edited, not the file they were loaded from. The
        // editor plays and seeks within the selected scene, so the scene
        // gone to becomes the selected one.
        m_viewdm.Pause();
        const auto position = std::uint32_t(m_viewdm.CurrentPosition().value_or(0));
        const std::uint32_t target =
            next ? list->NextSceneStart(position, frameCount) : list->PrevSceneStart(position);
        for (int i = 0; i < list->Count(); ++i) {
            if (list->GetScene(i) && list->GetScene(i)->StartFrame == target) {
                SelectSceneAndSeek(i);
                return;
            }
        }
        m_viewdm.SeekTo(target);
        Timerproc();
        return;
    }
    if (!HasScnFile(ActiveFichier->Path()))
        return;
    const TSceneList scenes = LoadSceneListOf(ActiveFichier->Path(), TSceneContext{});
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
    Timerproc();
}

void TUIForm::EnterFullScreen()
{
    if (!ActiveFichier || !m_plaque)
        return;
    for (bool about : {true, false})
        if (m_al->Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
                ->Checked())
            HidePanel(about);
    m_modeBeforeFullScreen = DisplayMode();
    m_wasMaximisedBeforeFullScreen = isMaximized();
    m_boundsBeforeFullScreen = geometry();
    // The screen that holds the window.
    const QRect screen =
        (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->geometry();
    // The actions' keys work while the backdrop has the focus.
    m_plaque->addActions(m_al->Actions());
    m_plaque->setGeometry(screen);
    m_plaque->showFullScreen();
    m_plaque->raise();
    m_plaque->activateWindow();
    const bool videoShown = !VueFrame->vw->isHidden();
    VueFrame->vw->setParent(m_plaque);
    // ArrangeView fits the picture, with its aspect, into the backdrop.
    VueFrame->SetFullScreen(true, QRect(QPoint(0, 0), screen.size()));
    VueFrame->vw->setVisible(videoShown);
    m_fullScreen = true;
    UpdateActionStates();
}

void TUIForm::LeaveFullScreen()
{
    if (!m_fullScreen)
        return;
    m_fullScreen = false;
    const bool videoShown = !VueFrame->vw->isHidden();
    VueFrame->vw->setParent(VueFrame);
    VueFrame->vw->lower();
    VueFrame->SetFullScreen(false, QRect());
    VueFrame->vw->setVisible(videoShown);
    if (m_plaque)
        m_plaque->hide();
    m_al->Toggle(QStringLiteral("taFullscreen"))->SetChecked(false);
    UpdateActionStates();
}

void TUIForm::BindPlaybackActions()
{
    // The view's tick runs through the window's, which adds the position.
    VueFrame->SetTickHandler([this] { Timerproc(); });

    TtoggleAction *play = m_al->Toggle(QStringLiteral("saPlayStop"));
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
        m_al->Plain(QString::fromLatin1(name))->Onexecute = [command](QObject *) { command(); };
    };
    plain("saNextFrame", [this] { VueFrame->aeAvanceLow(); });
    plain("saPreviousFrame", [this] { VueFrame->aeReculeLow(); });
    plain("saNextSecond", [this] { VueFrame->aeAvanceMedium(); });
    plain("saPreviousSecond", [this] { VueFrame->aeReculeMedium(); });
    plain("saNextMinute", [this] { VueFrame->aeAvanceHigh(); });
    plain("saPreviousMinute", [this] { VueFrame->aeReculeHigh(); });
    plain("saAvanceEnd", [this] { VueFrame->aeAvanceEnd(); });
    plain("saHome", [this] { VueFrame->aeReculeStart(); });
    plain("saNextScene", [this] { SeekScene(true); });
    plain("saPreviousScene", [this] { SeekScene(false); });

    // The preview keeps the volume and the mute in the window's settings.
    auto setVolume = [this](int volume) {
        m_viewdm.SetVolume(volume);
        BaseFrame->Gauge2->setValue(VolumeGauge(volume));
    };
    plain("saIncVolume", [this, setVolume] { setVolume(VolumeUp(m_settings.Volume)); });
    plain("saDecVolume", [this, setVolume] { setVolume(VolumeDown(m_settings.Volume)); });
    // Keypad keys in place of the catalogue's.
    m_al->Find(QStringLiteral("saIncVolume"))
        ->setShortCut(QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
    m_al->Find(QStringLiteral("saDecVolume"))
        ->setShortCut(QKeySequence(Qt::KeypadModifier | Qt::Key_Minus));

    TtoggleAction *mute = m_al->Toggle(QStringLiteral("taMute"));
    mute->OnfalseExecute = [this, mute](QObject *) {
        m_viewdm.SetMute(true);
        mute->SetChecked(true);
    };
    mute->OnTrueExecute = [this, mute](QObject *) {
        m_viewdm.SetMute(false);
        mute->SetChecked(false);
    };

    TtoggleAction *full = m_al->Toggle(QStringLiteral("taFullscreen"));
    full->OnfalseExecute = [this, full](QObject *) {
        full->SetChecked(true);
        EnterFullScreen();
    };
    full->OnTrueExecute = [this, full](QObject *) {
        full->SetChecked(false);
        const bool wasFull = m_fullScreen;
        LeaveFullScreen();
        if (!wasFull)
            return;
        // The window comes back as it was: its mode, its size and place.
        ++m_laying;
        if (m_wasMaximisedBeforeFullScreen) {
            showMaximized();
        } else {
            showNormal();
            setGeometry(m_boundsBeforeFullScreen);
        }
        --m_laying;
        SetDisplayMode(m_modeBeforeFullScreen);
        activateWindow();
    };
}

} // namespace vidora
