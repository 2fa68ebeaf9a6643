#pragma once

// The main window's overlay and picture actions: the date overlay shown or
// not, its editor with the position sliders and the drag on the video that
// place the text, and deinterlacing of the view. The window builds one and
// keeps it.
#include <functional>
#include <memory>

class QEvent;

namespace vidora {

class EditorKeys;
class TActionList;
class TEditIncrustForm;
class TOptionsFrame;
class TVueFrame;
class TaviFichier;
class Tviewdm;
struct SettingValues;

class OverlayActions
{
public:
    struct Hooks
    {
        std::function<std::shared_ptr<TaviFichier>()> activeFile;
        // The overlay's editor window; none until the program gave it.
        std::function<TEditIncrustForm *()> editor;
    };

    // Binds the actions, the sliders and the drag; none is owned.
    OverlayActions(TActionList &actions, Tviewdm &viewdm, SettingValues &settings, TVueFrame &view,
                   TOptionsFrame &options, EditorKeys &keys, Hooks hooks);
    OverlayActions(const OverlayActions &) = delete;
    OverlayActions &operator=(const OverlayActions &) = delete;

    // The overlay settings into the preview's overlay filter and the two
    // overlay actions (part of applying the settings).
    void ApplyPreferences();
    // A drag on the video places the text.
    bool Dragging() const { return m_dragging; }

private:
    // The overlay shown or not, and its editor on and off.
    void BindOverlayActions();
    // The position sliders: only what the user does moves the text.
    void BindSliders();
    // With the sliders shown, pressing and dragging on the video places the
    // text.
    void BindVideoDrag();
    void BindDeinterlace(TOptionsFrame &options);
    void ShowOverlay(bool on);
    // The settings' position to the overlay filter, shown on a paused picture.
    void PassPosition();
    void SliderMoved(bool horizontal, int value);
    void Mouse(QEvent *event);

    TActionList &m_al;
    Tviewdm &m_viewdm;
    SettingValues &m_settings;
    TVueFrame &m_view;
    EditorKeys &m_keys;
    Hooks m_hooks;
    bool m_dragging = false;
    int m_dragState = 0;          // the graph's state when the drag began
    bool m_sliderPlaying = false; // a slider press started playback
};

} // namespace vidora
