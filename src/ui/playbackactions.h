#pragma once

// The main window's playback actions: play and pause, the frame, second,
// minute, end and start seeks, the next and previous scene, the volume and
// mute. The window builds one with what it needs and keeps it.
#include <functional>
#include <memory>

namespace vidora {

class TActionList;
class TBaseFrame;
class TSFrame;
class TVueFrame;
class TaviFichier;
class Tviewdm;

class PlaybackActions
{
public:
    // What the scene seeks need of the window.
    struct Scenes
    {
        std::function<std::shared_ptr<TaviFichier>()> activeFile;
        // The scene list frame; null until the window has one.
        std::function<TSFrame *()> list;
        // The scene editor is on: the seeks go over the scenes being edited.
        std::function<bool()> editing;
        // Shows scene `index` of the list and moves the preview to it.
        std::function<void(int index)> select;
        // The position texts after a seek.
        std::function<void()> showPosition;
    };

    // Binds the actions; none of the references is owned, all outlive the
    // actions' use of this object.
    PlaybackActions(TActionList &actions, Tviewdm &viewdm, TVueFrame &view, TBaseFrame &info,
                    Scenes scenes);
    PlaybackActions(const PlaybackActions &) = delete;
    PlaybackActions &operator=(const PlaybackActions &) = delete;

private:
    void SeekScene(bool next);
    void SetVolume(int volume);

    TActionList &m_al;
    Tviewdm &m_viewdm;
    TVueFrame &m_view;
    TBaseFrame &m_info;
    Scenes m_scenes;
};

} // namespace vidora
