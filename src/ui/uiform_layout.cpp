// The main window's display modes: SetDisplayMode applies the values of
// displaylayout.h, and a maximise or restore by the user lays the window out
// again. The actions that switch between the modes are DisplayActions'.
#include "scenes/widgets/scenelisteframe.h"
#include "settings/widgets/optionsframe.h"
#include "ui/aproposframe.h"
#include "ui/displayactions.h"
#include "ui/displaylayout.h"
#include "ui/fullscreen.h"
#include "ui/ubaseframe.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"

#include <QAbstractButton>
#include <QIcon>
#include <QTimer>
#include <QToolBar>
#include <QWindowStateChangeEvent>

namespace vidora {

void UseToolbarIconTheme()
{
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

std::uint8_t TUIForm::DisplayMode() const
{
    return m_settings.DisplayMode;
}

void TUIForm::SetDisplayMode(std::uint8_t mode)
{
    const Laying laying(m_laying);
    DisplayModeInput in;
    in.current = m_settings.DisplayMode;
    in.mode = mode;
    in.windowNormal = !(windowState() & kNotNormal);
    in.window = geometry();
    in.stored = QRect(m_settings.Left, m_settings.Top, m_settings.Width, m_settings.Height);
    in.retour = m_settings.ReturnMode;
    const DisplayModePlan plan = PlanDisplayMode(in);

    m_settings.Left = plan.stored.left();
    m_settings.Top = plan.stored.top();
    m_settings.Width = plan.stored.width();
    m_settings.Height = plan.stored.height();
    m_settings.ReturnMode = plan.retour;
    m_settings.DisplayMode = plan.mode;
    if (plan.leaveFullScreen)
        m_fullScreen->Leave();
    if (plan.closePanels)
        m_display->ClosePanels();
    if (plan.maximise) {
        Qt::WindowStates state = windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
        if (*plan.maximise)
            state |= Qt::WindowMaximized;
        setWindowState(state);
    }
    setMinimumSize(plan.minimum);
    setMaximumSize(plan.maximum);
    if (plan.bounds && !(windowState() & kNotNormal))
        setGeometry(*plan.bounds);
    ApplyFrameLayout();
}

void TUIForm::RememberWindowBounds()
{
    DisplayModeInput in;
    in.current = in.mode = m_settings.DisplayMode;
    in.windowNormal = !(windowState() & kNotNormal);
    in.window = geometry();
    in.stored = QRect(m_settings.Left, m_settings.Top, m_settings.Width, m_settings.Height);
    const QRect stored = PlanDisplayMode(in).stored;
    m_settings.Left = stored.left();
    m_settings.Top = stored.top();
    m_settings.Width = stored.width();
    m_settings.Height = stored.height();
}

void TUIForm::ApplyFrameLayout()
{
    FrameLayoutInput in;
    in.mode = m_settings.DisplayMode;
    in.client = m_client->size();
    in.listLeft = m_settings.ListLeft;
    in.scenesEditing = ScenesEditing();
    const FrameLayout layout = LayoutFrames(in);

    VueFrame->setGeometry(layout.video);
    BaseFrame->setGeometry(layout.info);
    BaseFrame->setVisible(layout.infoShown);
    Lframe->setGeometry(layout.list);
    Lframe->setVisible(layout.listShown);
    // The scene editor's frames, once the window has them.
    if (SFrame != nullptr) {
        SFrame->setGeometry(layout.list);
        SFrame->setVisible(layout.sceneListShown);
    }
    if (SceneBase != nullptr) {
        SceneBase->setGeometry(layout.info);
        SceneBase->setVisible(layout.scenesShown);
    }
    if (layout.leftBevel)
        VueFrame->Bevelleft->setVisible(*layout.leftBevel);
    if (layout.rightBevel)
        VueFrame->bevelRight->setVisible(*layout.rightBevel);
    QFont stamp = VueFrame->labTimeStamp->font();
    stamp.setPointSize(layout.timeLabelPoints);
    VueFrame->labTimeStamp->setFont(stamp);
    VueFrame->labTimeStamp->setFixedHeight(layout.timeLabelHeight);
    VueFrame->ArrangeView();
    FitToolbars();
}

void TUIForm::FitToolbars()
{
    int needed = 0;
    for (QToolBar *bar : {tbOuvrir, tbVideo, tbScenes, tbListe, tbInterface})
        if (!bar->isHidden() && toolBarArea(bar) == Qt::TopToolBarArea)
            needed += bar->sizeHint().width();
    const bool wrap = needed > width();
    if (wrap == toolBarBreak(tbInterface))
        return;
    if (wrap)
        insertToolBarBreak(tbInterface);
    else
        removeToolBarBreak(tbInterface);
}

void TUIForm::ApplyEmptyListLayout(int count)
{
    const EmptyListStep step = EmptyListLayout(count, !VideFrame->isHidden(), DisplayMode());
    if (step.hideHelp) {
        VideFrame->HideHelp();
        tbVideo->show();
        tbListe->show();
        m_al->Find(QStringLiteral("saBarreListe"))->setVisible(true);
        m_al->Find(QStringLiteral("saBarreVideo"))->setVisible(true);
        // The next step (the narrow window's mode gives way) follows at
        // once: an opening tells the counts once per group of files, and
        // the first group may be all there is.
        if (VideFrame->isHidden())
            ApplyEmptyListLayout(count);
    }
    if (step.mode)
        SetDisplayMode(*step.mode);
    if (step.showHelp) {
        VideFrame->setGeometry(m_client->rect());
        VideFrame->ShowHelp();
        // Once the window is idle: the help text has the focus, without a caret.
        QTimer::singleShot(0, this, [this] {
            if (VideFrame->isHidden())
                return;
            VideFrame->rxHelp->setFocus();
            VideFrame->rxHelp->setCursorWidth(0);
        });
        tbVideo->hide();
        tbListe->hide();
        m_al->Find(QStringLiteral("saBarreListe"))->setVisible(false);
        m_al->Find(QStringLiteral("saBarreVideo"))->setVisible(false);
    }
}

void TUIForm::WindowStateChanged(Qt::WindowStates before)
{
    const Qt::WindowStates now = windowState();
    if ((now & Qt::WindowMaximized) && !(before & Qt::WindowMaximized)) {
        const std::uint8_t mode = DisplayMode();
        if (mode != displaymode::Panel && mode != displaymode::Maximised)
            m_settings.ReturnMode = mode;
        SetDisplayMode(displaymode::Maximised);
    } else if (!(now & kNotNormal) && (before & Qt::WindowMaximized)) {
        SetDisplayMode(RestoredMode(m_settings.ReturnMode));
    }
}

bool TUIForm::event(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == TPositionEvent::EventType()) {
        WMUpdatePosition(static_cast<TPositionEvent *>(event)->info);
        return true;
    }
    const bool handled = QMainWindow::event(event);
    if (m_laying == 0 && m_shown) {
        if (type == QEvent::Move || type == QEvent::Resize)
            m_display->WindowMovedOrSized();
        else if (type == QEvent::WindowStateChange)
            WindowStateChanged(static_cast<QWindowStateChangeEvent *>(event)->oldState());
    }
    return handled;
}

} // namespace vidora
