#include "ui/fullscreen.h"

#include "ui/actioncatalogue.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

namespace vidora {

FullScreen::FullScreen(QMainWindow &window, int &laying, TActionList &actions, TVueFrame &view,
                       Hooks hooks)
    : m_window(window), m_laying(laying), m_al(actions), m_view(view), m_hooks(std::move(hooks))
{
    TtoggleAction *full = m_al.Toggle(QStringLiteral("taFullscreen"));
    full->OnfalseExecute = [this, full](QObject *) {
        full->SetChecked(true);
        Enter();
    };
    full->OnTrueExecute = [this, full](QObject *) {
        full->SetChecked(false);
        const bool wasFull = m_on;
        Leave();
        if (!wasFull)
            return;
        // The window comes back as it was: its mode, its size and place.
        ++m_laying;
        if (m_wasMaximisedBefore) {
            m_window.showMaximized();
        } else {
            m_window.showNormal();
            m_window.setGeometry(m_boundsBefore);
        }
        --m_laying;
        m_hooks.setDisplayMode(m_modeBefore);
        m_window.activateWindow();
    };
}

void FullScreen::Enter()
{
    if (!m_hooks.hasActiveFile() || !m_plaque)
        return;
    for (bool about : {true, false})
        if (m_al.Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
                ->Checked())
            m_hooks.hidePanel(about);
    m_modeBefore = m_hooks.displayMode();
    m_wasMaximisedBefore = m_window.isMaximized();
    m_boundsBefore = m_window.geometry();
    // The screen that holds the window.
    const QRect screen =
        (m_window.screen() ? m_window.screen() : QGuiApplication::primaryScreen())->geometry();
    // The actions' keys work while the backdrop has the focus.
    m_plaque->addActions(m_al.Actions());
    m_plaque->setGeometry(screen);
    m_plaque->showFullScreen();
    m_plaque->raise();
    m_plaque->activateWindow();
    const bool videoShown = !m_view.vw->isHidden();
    m_view.vw->setParent(m_plaque);
    // ArrangeView fits the picture, with its aspect, into the backdrop.
    m_view.SetFullScreen(true, QRect(QPoint(0, 0), screen.size()));
    m_view.vw->setVisible(videoShown);
    m_on = true;
    m_hooks.updateActionStates();
}

void FullScreen::Leave()
{
    if (!m_on)
        return;
    m_on = false;
    const bool videoShown = !m_view.vw->isHidden();
    m_view.vw->setParent(&m_view);
    m_view.vw->lower();
    m_view.SetFullScreen(false, QRect());
    m_view.vw->setVisible(videoShown);
    if (m_plaque)
        m_plaque->hide();
    m_al.Toggle(QStringLiteral("taFullscreen"))->SetChecked(false);
    m_hooks.updateActionStates();
}

} // namespace vidora
