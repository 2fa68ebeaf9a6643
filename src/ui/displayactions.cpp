#include "ui/displayactions.h"

#include "settings/settings.h"
#include "settings/widgets/optionsframe.h"
#include "ui/actioncatalogue.h"
#include "ui/aproposframe.h"
#include "ui/displaylayout.h"

#include <QMainWindow>
#include <QTimer>
#include <QToolBar>

namespace vidora {

namespace {

// How long after the last move or size event the user is taken to be done.
constexpr int kSizeMoveSettleMs = 250;

} // namespace

DisplayActions::DisplayActions(QMainWindow &window, int &laying, TActionList &actions,
                               SettingValues &settings, Parts parts, Hooks hooks)
    : m_window(window), m_laying(laying), m_al(actions), m_settings(settings), m_parts(parts),
      m_hooks(std::move(hooks))
{
    m_sizeMoveEnd = new QTimer(&m_window);
    m_sizeMoveEnd->setSingleShot(true);
    m_sizeMoveEnd->setInterval(kSizeMoveSettleMs);
    QObject::connect(m_sizeMoveEnd, &QTimer::timeout, &m_window, [this] {
        if (!(m_window.windowState() & kNotNormal))
            m_hooks.setDisplayMode(m_hooks.displayMode());
    });

    TtoggleAction *list = m_al.Toggle(QStringLiteral("taBasculerListe"));
    // Whether the list shows: wider than the narrow window. (Qt's sizes
    // leave the window's frame out, so the narrow client is 304 wide.)
    list->Onprepare = [this, list](QObject *) {
        list->SetChecked(m_parts.client->width() > kNarrowSize.width());
    };
    list->OnfalseExecute = [this, list](QObject *) {
        list->SetChecked(true);
        m_hooks.setDisplayMode(displaymode::Full);
        SetToolbarShown(m_parts.tbVideo, "saBarreVideo", true);
        SetToolbarShown(m_parts.tbListe, "saBarreListe", true);
    };
    list->OnTrueExecute = [this, list](QObject *) {
        list->SetChecked(false);
        SetToolbarShown(m_parts.tbVideo, "saBarreVideo", false);
        SetToolbarShown(m_parts.tbListe, "saBarreListe", false);
        m_hooks.setDisplayMode(displaymode::ListHidden);
    };

    TtoggleAction *videoOnly = m_al.Toggle(QStringLiteral("taVideoSeule"));
    videoOnly->OnfalseExecute = [this, videoOnly](QObject *) {
        videoOnly->SetChecked(true);
        m_hooks.setDisplayMode(displaymode::VideoOnly);
    };
    videoOnly->OnTrueExecute = [this, videoOnly](QObject *) {
        videoOnly->SetChecked(false);
        m_hooks.setDisplayMode(displaymode::Full);
    };

    // The caption always names the other side.
    TtoggleAction *side = m_al.Toggle(QStringLiteral("taListeGauche"));
    side->OnfalseExecute = [this, side](QObject *) {
        m_settings.ListLeft = false;
        m_hooks.setDisplayMode(m_hooks.displayMode());
        side->SetChecked(true);
    };
    side->OnTrueExecute = [this, side](QObject *) {
        m_settings.ListLeft = true;
        m_hooks.setDisplayMode(m_hooks.displayMode());
        side->SetChecked(false);
    };

    for (bool about : {true, false}) {
        TtoggleAction *panel =
            m_al.Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"));
        panel->OnfalseExecute = [this, about](QObject *) { ShowPanel(about); };
        panel->OnTrueExecute = [this, about](QObject *) { HidePanel(about); };
    }

    m_al.Plain(QStringLiteral("saVueReduite"))->Onexecute = [this](QObject *) {
        m_settings.DisplayMode = displaymode::Full;
        if (!(m_window.windowState() & kNotNormal)) {
            const Laying ownChange(m_laying);
            m_window.setMinimumSize(kMainMinimumSize);
            m_window.setMaximumSize(kNoMaximumSize);
            m_window.resize(0, 0); // the minimum size applies
        }
        m_hooks.setDisplayMode(displaymode::Full);
    };

    const std::pair<const char *, QToolBar *> bars[] = {{"saBarreListe", m_parts.tbListe},
                                                        {"saBarreVideo", m_parts.tbVideo},
                                                        {"saBarreScenes", m_parts.tbScenes},
                                                        {"sabarreOuvrir", m_parts.tbOuvrir},
                                                        {"saBarreInterface", m_parts.tbInterface}};
    for (const auto &[name, bar] : bars) {
        TSuperAction *action = m_al.Plain(QString::fromLatin1(name));
        action->setCheckable(true);
        action->SetChecked(!bar->isHidden());
        action->Onexecute = [this, name, bar](QObject *) {
            SetToolbarShown(bar, name, bar->isHidden());
        };
    }
    // A list or video toolbar closed from the toolbar area's own menu.
    for (const auto &[name, bar] : {bars[0], bars[1]})
        QObject::connect(
            bar->toggleViewAction(), &QAction::triggered, &m_window,
            [this, name](bool shown) { m_al.Find(QString::fromLatin1(name))->SetChecked(shown); });
}

void DisplayActions::WindowMovedOrSized()
{
    m_sizeMoveEnd->start();
}

void DisplayActions::ClosePanels()
{
    for (bool about : {true, false})
        if (m_al.Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
                ->Checked()) {
            (about ? static_cast<QWidget *>(m_parts.about) : m_parts.options)->hide();
            m_al.Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
                ->SetChecked(false);
        }
    for (QToolBar *bar : m_window.findChildren<QToolBar *>())
        if (bar->property("hiddenByPanel").toBool()) {
            bar->setProperty("hiddenByPanel", false);
            bar->show();
        }
}

void DisplayActions::ShowPanel(bool about)
{
    TtoggleAction *own =
        m_al.Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"));
    TtoggleAction *other =
        m_al.Toggle(about ? QStringLiteral("taOptions") : QStringLiteral("taApropos"));
    if (other->Checked()) {
        (about ? static_cast<QWidget *>(m_parts.options) : m_parts.about)->hide();
        other->SetChecked(false);
    }
    m_hooks.leaveFullScreen();
    m_hooks.setDisplayMode(displaymode::Panel);
    m_hooks.placeOverlays();
    if (about) {
        m_parts.about->ShowFrame();
    } else {
        m_parts.options->ShowSettings();
        m_parts.options->ShowPanel();
    }
    // The toolbars make way for the panel.
    for (QToolBar *bar : m_window.findChildren<QToolBar *>())
        if (bar->isVisible()) {
            bar->setProperty("hiddenByPanel", true);
            bar->hide();
        }
    own->SetChecked(true);
}

void DisplayActions::HidePanel(bool about)
{
    m_al.Toggle(about ? QStringLiteral("taApropos") : QStringLiteral("taOptions"))
        ->SetChecked(false);
    if (about)
        m_parts.about->HideFrame();
    else
        m_parts.options->HidePanel();
    m_hooks.setDisplayMode(m_settings.ReturnMode);
    ClosePanels(); // shows the toolbars again
}

void DisplayActions::SetToolbarShown(QToolBar *bar, const char *action, bool shown)
{
    bar->setVisible(shown);
    m_al.Find(QString::fromLatin1(action))->SetChecked(shown);
}

} // namespace vidora
