#pragma once

// The main window's display actions: the list shown or hidden, the video
// alone, the list's side, the About and settings panels, the reduced view
// and the toolbars; and the end of a move or size by the user, which lays
// the window out again. The window builds one and keeps it.
#include <cstdint>
#include <functional>

class QMainWindow;
class QTimer;
class QToolBar;
class QWidget;

namespace vidora {

class TActionList;
class TAproposFrame;
class TOptionsFrame;
struct SettingValues;

class DisplayActions
{
public:
    // The parts of the window the actions show, hide and size.
    struct Parts
    {
        QWidget *client = nullptr; // the frames' area
        TAproposFrame *about = nullptr;
        TOptionsFrame *options = nullptr;
        QToolBar *tbOuvrir = nullptr;
        QToolBar *tbVideo = nullptr;
        QToolBar *tbScenes = nullptr;
        QToolBar *tbListe = nullptr;
        QToolBar *tbInterface = nullptr;
    };
    // What they need the window to do.
    struct Hooks
    {
        std::function<std::uint8_t()> displayMode;
        std::function<void(std::uint8_t mode)> setDisplayMode;
        // Lays the About and settings panels over the client.
        std::function<void()> placeOverlays;
        std::function<void()> leaveFullScreen;
    };

    // Binds the actions. `laying` counts the window's own changes of size
    // and state, which no user made. None is owned.
    DisplayActions(QMainWindow &window, int &laying, TActionList &actions, SettingValues &settings,
                   Parts parts, Hooks hooks);
    DisplayActions(const DisplayActions &) = delete;
    DisplayActions &operator=(const DisplayActions &) = delete;

    // A move or size by the user is over once no other follows for a while;
    // the window is then laid out for its mode again.
    void WindowMovedOrSized();
    // Hides the About and settings panels without a new layout.
    void ClosePanels();
    // Hides the About (true) or settings panel and goes back to the mode
    // before it.
    void HidePanel(bool about);

private:
    void ShowPanel(bool about);
    void SetToolbarShown(QToolBar *bar, const char *action, bool shown);

    QMainWindow &m_window;
    int &m_laying;
    TActionList &m_al;
    SettingValues &m_settings;
    Parts m_parts;
    Hooks m_hooks;
    QTimer *m_sizeMoveEnd = nullptr; // the window's child
};

} // namespace vidora
