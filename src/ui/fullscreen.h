#pragma once

// Full screen: the video view over the black backdrop on the window's
// screen, and back. The full-screen action and the window's own leaving of
// it (a change of mode, a panel, closing) come here; the window builds one
// and keeps it.
#include <QRect>

#include <cstdint>
#include <functional>

class QMainWindow;

namespace vidora {

class TActionList;
class TVueFrame;
class Tplaque;

class FullScreen
{
public:
    // What full screen needs of the window.
    struct Hooks
    {
        std::function<bool()> hasActiveFile;
        // Hides the About (true) or settings panel, as its action would.
        std::function<void(bool about)> hidePanel;
        std::function<std::uint8_t()> displayMode;
        std::function<void(std::uint8_t mode)> setDisplayMode;
        std::function<void()> updateActionStates;
    };

    // Binds the full-screen action. `laying` counts the window's own
    // changes of size and state, which no user made. None is owned.
    FullScreen(QMainWindow &window, int &laying, TActionList &actions, TVueFrame &view,
               Hooks hooks);
    FullScreen(const FullScreen &) = delete;
    FullScreen &operator=(const FullScreen &) = delete;

    // The backdrop the view goes onto; none keeps full screen off.
    void SetPlaque(Tplaque *plaque) { m_plaque = plaque; }
    bool IsOn() const { return m_on; }
    // The view comes back into the window; nothing when not on.
    void Leave();

private:
    void Enter();

    QMainWindow &m_window;
    int &m_laying;
    TActionList &m_al;
    TVueFrame &m_view;
    Hooks m_hooks;
    Tplaque *m_plaque = nullptr;
    bool m_on = false;
    // The window as it was before: its mode, its place and size.
    std::uint8_t m_modeBefore = 0;
    QRect m_boundsBefore;
    bool m_wasMaximisedBefore = false;
};

} // namespace vidora
