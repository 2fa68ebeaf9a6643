// The main window's display modes: SetDisplayMode applies the values of
// displaylayout.h, the mode, panel, reduced-size and toolbar actions switch
// between them, and a move, size, maximise or restore by the user lays the
// window out again.
#include "scenes/widgets/scenelisteframe.h"
#include "settings/widgets/optionsframe.h"
#include "ui/aproposframe.h"
#include "ui/displaylayout.h"
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

namespace {

// While it lives, the window's changes are the layout's own, not the user's.
class Laying
{
public:
    explicit Laying(int &depth) : m_depth(depth) { ++m_depth; }
    ~Laying() { --m_depth; }
    Laying(const Laying &) = delete;
    Laying &operator=(const Laying &) = delete;

private:
    int &m_depth;
};

// How long after the last move or size event the user is taken to be done.
constexpr int kSizeMoveSettleMs = 250;

constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;

} // namespace

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
    if (plan.leaveFullScreen && m_fullScreen)
        LeaveFullScreen();
    if (plan.closePanels)
        ClosePanels();
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
    in.scenesEditing = ScenesEditing;
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

void TUIForm::ClosePanels()
{
    for (bool about : {true, false})
        if (m_al->Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
                ->Checked()) {
            (about ? static_cast<QWidget *>(AproposFrame) : OptionsFrame)->hide();
            m_al->Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
                ->SetChecked(false);
        }
    for (QToolBar *bar : findChildren<QToolBar *>())
        if (bar->property("hiddenByPanel").toBool()) {
            bar->setProperty("hiddenByPanel", false);
            bar->show();
        }
}

void TUIForm::ShowPanel(bool about)
{
    TtoggleAction *own =
        m_al->Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"));
    TtoggleAction *other =
        m_al->Toggle(about ? QStringLiteral("taOptions") : QStringLiteral("taApropos"));
    if (other->Checked()) {
        (about ? static_cast<QWidget *>(OptionsFrame) : AproposFrame)->hide();
        other->SetChecked(false);
    }
    if (m_fullScreen)
        LeaveFullScreen();
    SetDisplayMode(displaymode::Panel);
    PlaceOverlays();
    if (about) {
        AproposFrame->ShowFrame();
    } else {
        OptionsFrame->ShowSettings();
        OptionsFrame->ShowPanel();
    }
    // The toolbars make way for the panel.
    for (QToolBar *bar : findChildren<QToolBar *>())
        if (bar->isVisible()) {
            bar->setProperty("hiddenByPanel", true);
            bar->hide();
        }
    own->SetChecked(true);
}

void TUIForm::HidePanel(bool about)
{
    m_al->Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
        ->SetChecked(false);
    if (about)
        AproposFrame->HideFrame();
    else
        OptionsFrame->HidePanel();
    SetDisplayMode(m_settings.ReturnMode);
    ClosePanels(); // shows the toolbars again
}

void TUIForm::SetToolbarShown(QToolBar *bar, const char *action, bool shown)
{
    bar->setVisible(shown);
    m_al->Find(QString::fromLatin1(action))->SetChecked(shown);
}

void TUIForm::WindowMovedOrSized()
{
    m_sizeMoveEnd->start();
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
            WindowMovedOrSized();
        else if (type == QEvent::WindowStateChange)
            WindowStateChanged(static_cast<QWindowStateChangeEvent *>(event)->oldState());
    }
    return handled;
}

void TUIForm::BindDisplayActions()
{
    m_sizeMoveEnd = new QTimer(this);
    m_sizeMoveEnd->setSingleShot(true);
    m_sizeMoveEnd->setInterval(kSizeMoveSettleMs);
    connect(m_sizeMoveEnd, &QTimer::timeout, this, [this] {
        if (!(windowState() & kNotNormal))
            SetDisplayMode(DisplayMode());
    });

    TtoggleAction *list = m_al->Toggle(QStringLiteral("taBasculerListe"));
    // Whether the list shows: wider than the narrow window. (Qt's sizes
    // leave the window's frame out, so the narrow client is 304 wide.)
    list->Onprepare = [this, list](QObject *) {
        list->SetChecked(m_client->width() > kNarrowSize.width());
    };
    list->OnfalseExecute = [this, list](QObject *) {
        list->SetChecked(true);
        SetDisplayMode(displaymode::Full);
        SetToolbarShown(tbVideo, "saBarreVideo", true);
        SetToolbarShown(tbListe, "saBarreListe", true);
    };
    list->OnTrueExecute = [this, list](QObject *) {
        list->SetChecked(false);
        SetToolbarShown(tbVideo, "saBarreVideo", false);
        SetToolbarShown(tbListe, "saBarreListe", false);
        SetDisplayMode(displaymode::ListHidden);
    };

    TtoggleAction *videoOnly = m_al->Toggle(QStringLiteral("taVideoSeule"));
    videoOnly->OnfalseExecute = [this, videoOnly](QObject *) {
        videoOnly->SetChecked(true);
        SetDisplayMode(displaymode::VideoOnly);
    };
    videoOnly->OnTrueExecute = [this, videoOnly](QObject *) {
        videoOnly->SetChecked(false);
        SetDisplayMode(displaymode::Full);
    };

    // The caption always names the other side.
    TtoggleAction *side = m_al->Toggle(QStringLiteral("taListeGauche"));
    side->OnfalseExecute = [this, side](QObject *) {
        m_settings.ListLeft = false;
        SetDisplayMode(DisplayMode());
        side->SetChecked(true);
    };
    side->OnTrueExecute = [this, side](QObject *) {
        m_settings.ListLeft = true;
        SetDisplayMode(DisplayMode());
        side->SetChecked(false);
    };

    for (bool about : {true, false}) {
        TtoggleAction *panel =
            m_al->Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"));
        panel->OnfalseExecute = [this, about](QObject *) { ShowPanel(about); };
        panel->OnTrueExecute = [this, about](QObject *) { HidePanel(about); };
    }

    m_al->Plain(QStringLiteral("saVueReduite"))->Onexecute = [this](QObject *) {
        m_settings.DisplayMode = displaymode::Full;
        if (!(windowState() & kNotNormal)) {
            const Laying laying(m_laying);
            setMinimumSize(kMainMinimumSize);
            setMaximumSize(kNoMaximumSize);
            resize(0, 0); // the minimum size applies
        }
        SetDisplayMode(displaymode::Full);
    };

    const std::pair<const char *, QToolBar *> bars[] = {{"saBarreListe", tbListe},
                                                        {"saBarreVideo", tbVideo},
                                                        {"saBarreScenes", tbScenes},
                                                        {"sabarreOuvrir", tbOuvrir},
                                                        {"saBarreInterface", tbInterface}};
    for (const auto &[name, bar] : bars) {
        TSuperAction *action = m_al->Plain(QString::fromLatin1(name));
        action->setCheckable(true);
        action->SetChecked(!bar->isHidden());
        action->Onexecute = [this, name, bar](QObject *) {
            SetToolbarShown(bar, name, bar->isHidden());
        };
    }
    // A list or video toolbar closed from the toolbar area's own menu.
    for (const auto &[name, bar] : {bars[0], bars[1]})
        connect(bar->toggleViewAction(), &QAction::triggered, this, [this, name](bool shown) {
            m_al->Find(QString::fromLatin1(name))->SetChecked(shown);
        });
}

} // namespace vidora
