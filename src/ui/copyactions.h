#pragma once

// The main window's copies to the clipboard: the picture shown, and the
// information frame's texts from its pop-up menu. The window builds one and
// keeps it.
#include <QImage>

#include <functional>
#include <memory>

class QMenu;

namespace vidora {

class TActionList;
class TBaseFrame;
class TaviFichier;
class Tviewdm;
struct SettingValues;

class CopyActions
{
public:
    // Binds the picture's action and gives the information frame its
    // pop-up of copies; none is owned.
    CopyActions(TActionList &actions, Tviewdm &viewdm, const SettingValues &settings,
                TBaseFrame &info, std::function<std::shared_ptr<TaviFichier>()> activeFile);
    CopyActions(const CopyActions &) = delete;
    CopyActions &operator=(const CopyActions &) = delete;

    // The information frame's pop-up of copy entries.
    QMenu *Menu() const { return m_menu; }

private:
    TActionList &m_al;
    Tviewdm &m_viewdm;
    const SettingValues &m_settings;
    TBaseFrame &m_info;
    std::function<std::shared_ptr<TaviFichier>()> m_activeFile;
    QMenu *m_menu = nullptr; // the information frame's child
    // The picture the copy-image action puts on the clipboard.
    QImage m_snapshot;
};

} // namespace vidora
