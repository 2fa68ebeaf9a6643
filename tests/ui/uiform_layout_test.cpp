// The main window as a person sees it, in each state a person can put it in:
// every display mode with the list at the left and at the right, the scene
// editor on and off, each panel (settings, About, commands and keys) and the
// empty list, at the default size and maximised. In each state every visible
// frame and control lies inside the client area (and inside its parent), no
// two visible frames overlap unless the upper one is an opaque panel, no
// control of the information frame, the scene details, the lists or the video
// view covers another, every label shows its whole text, and every toolbar
// button is in sight (none behind the overflow arrow).
//
// Offscreen the geometry is checked; on a real display (the "ui_layout_x11"
// test under xvfb-run) each state is also photographed, the pictures left in
// the build folder as layout-<state>.png, and the toolbars are checked (only
// there do their buttons have their images). Xvfb has no window manager: a
// maximised window keeps its size there, and other windows open at the
// screen's corner.
#include "uiform_window.h"

#include "scenes/widgets/scenelisteframe.h"
#include "settings/widgets/optionsframe.h"
#include "settings/widgets/raccourcisform.h"
#include "ui/aproposframe.h"
#include "ui/displaylayout.h"
#include "ui/ubaseframe.h"

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace vidora::test {
namespace {

using namespace displaymode;

enum class Panel {
    None,
    Settings,
    About,
    Commands
};

struct LayoutState
{
    const char *name;
    bool file;         // a file in the list (otherwise the empty-list help)
    std::uint8_t mode; // Full, ListHidden or VideoOnly before maximising
    bool maximised;
    bool listLeft;
    bool scenes; // the scene editor
    Panel panel;
};

std::ostream &operator<<(std::ostream &os, const LayoutState &s)
{
    return os << s.name;
}

// The states, empty list first (the file is opened once, after them).
const LayoutState kStates[] = {
    {"empty", false, ListHidden, false, false, false, Panel::None},
    {"empty-maximised", false, ListHidden, true, false, false, Panel::None},
    {"full-right", true, Full, false, false, false, Panel::None},
    {"full-left", true, Full, false, true, false, Panel::None},
    {"full-right-scenes", true, Full, false, false, true, Panel::None},
    {"full-left-scenes", true, Full, false, true, true, Panel::None},
    {"narrow-right", true, ListHidden, false, false, false, Panel::None},
    {"narrow-left", true, ListHidden, false, true, false, Panel::None},
    {"narrow-right-scenes", true, ListHidden, false, false, true, Panel::None},
    {"narrow-left-scenes", true, ListHidden, false, true, true, Panel::None},
    {"video-right", true, VideoOnly, false, false, false, Panel::None},
    {"video-left", true, VideoOnly, false, true, false, Panel::None},
    {"video-right-scenes", true, VideoOnly, false, false, true, Panel::None},
    {"video-left-scenes", true, VideoOnly, false, true, true, Panel::None},
    {"maximised-right", true, Full, true, false, false, Panel::None},
    {"maximised-left", true, Full, true, true, false, Panel::None},
    {"maximised-right-scenes", true, Full, true, false, true, Panel::None},
    {"maximised-left-scenes", true, Full, true, true, true, Panel::None},
    {"settings", true, Full, false, false, false, Panel::Settings},
    {"about", true, Full, false, false, false, Panel::About},
    {"commands", true, Full, false, false, false, Panel::Commands},
    {"maximised-settings", true, Full, true, false, false, Panel::Settings},
    {"maximised-about", true, Full, true, true, false, Panel::About},
    {"maximised-commands", true, Full, true, false, true, Panel::Commands},
};

bool RealDisplay()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// A widget that paints all of its rectangle, hiding what lies beneath.
bool Opaque(const QWidget *w)
{
    if (w->testAttribute(Qt::WA_OpaquePaintEvent))
        return true;
    return w->autoFillBackground() && w->palette().color(w->backgroundRole()).alpha() == 255;
}

QString Describe(const QWidget *w)
{
    QString name = w->objectName();
    if (name.isEmpty())
        if (auto *label = qobject_cast<const QLabel *>(w))
            name = QLatin1Char('"') + label->text() + QLatin1Char('"');
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + name;
}

std::string Str(const QRect &r)
{
    return QStringLiteral("(%1,%2 %3x%4)")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

// Visible children that do not overlap, unless the upper one (later in the
// stacking order) is opaque.
void ExpectNoOverlap(const QWidget *parent)
{
    QList<const QWidget *> shown;
    for (const QObject *child : parent->children())
        if (auto *w = qobject_cast<const QWidget *>(child); w && w->isVisible() && !w->isWindow())
            shown << w;
    for (qsizetype i = 0; i < shown.size(); ++i)
        for (qsizetype j = i + 1; j < shown.size(); ++j) {
            const QRect both = shown[i]->geometry() & shown[j]->geometry();
            if (both.isEmpty() || Opaque(shown[j]))
                continue;
            ADD_FAILURE() << Describe(shown[j]).toStdString() << " " << Str(shown[j]->geometry())
                          << " overlaps " << Describe(shown[i]).toStdString() << " "
                          << Str(shown[i]->geometry()) << " in " << Describe(parent).toStdString()
                          << " and lets it show through";
        }
}

// Whether a later (upper) visible sibling of `w` is opaque and covers it.
bool Covered(const QWidget *w)
{
    const QObjectList &siblings = w->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i)
        if (auto *upper = qobject_cast<const QWidget *>(siblings[i]);
            upper && upper->isVisible() && !upper->isWindow() && Opaque(upper) &&
            upper->geometry().contains(w->geometry()))
            return true;
    return false;
}

// Every visible widget below `w` lies inside its parent, and every label in
// it shows its whole text; what an opaque panel covers is out of sight. A
// scroll area's content is its own affair.
void ExpectInsideAndWhole(const QWidget *w)
{
    for (const QObject *child : w->children()) {
        auto *c = qobject_cast<const QWidget *>(child);
        if (!c || !c->isVisible() || c->isWindow() || Covered(c))
            continue;
        EXPECT_TRUE(w->rect().contains(c->geometry()))
            << Describe(c).toStdString() << " " << Str(c->geometry()) << " is cut by "
            << Describe(w).toStdString() << " " << Str(w->rect());
        if (auto *label = qobject_cast<const QLabel *>(c);
            label && !label->text().isEmpty() && !label->wordWrap() &&
            label->textFormat() != Qt::RichText && !Qt::mightBeRichText(label->text())) {
            const QFontMetrics metrics(label->font());
            const QRect room = label->contentsRect();
            EXPECT_LE(metrics.horizontalAdvance(label->text()), room.width())
                << "label " << Describe(label).toStdString() << " is cut";
            EXPECT_LE(metrics.height(), room.height())
                << "label " << Describe(label).toStdString() << " is cut";
        }
        if (!qobject_cast<const QAbstractScrollArea *>(c))
            ExpectInsideAndWhole(c);
    }
}

void ExpectSeenWhole(TUIForm &form)
{
    QWidget *client = form.centralWidget();
    const QRect window = form.rect();
    EXPECT_TRUE(window.contains(client->geometry())) << Str(client->geometry());
    for (QToolBar *bar : form.findChildren<QToolBar *>()) {
        // Offscreen, the buttons lack their theme's images and show their
        // captions instead: only a real display shows the toolbars' widths.
        if (!bar->isVisible() || !RealDisplay())
            continue;
        EXPECT_TRUE(window.contains(bar->geometry()))
            << bar->objectName().toStdString() << " " << Str(bar->geometry());
        auto *more = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
        EXPECT_FALSE(more && more->isVisible())
            << bar->objectName().toStdString() << " " << Str(bar->geometry()) << " needs "
            << bar->sizeHint().width() << ": it hides buttons behind its arrow";
    }
    ExpectNoOverlap(client);
    ExpectInsideAndWhole(client);
    ExpectInsideAndWhole(form.statusBar());
    for (QWidget *frame :
         {static_cast<QWidget *>(form.BaseFrame), static_cast<QWidget *>(form.SceneBase),
          static_cast<QWidget *>(form.Lframe), static_cast<QWidget *>(form.SFrame)})
        if (frame->isVisible())
            ExpectNoOverlap(frame);
}

// The panel of the state, or the empty list's help, covers the client area
// in front of every other frame and hides them.
void ExpectPanelInFront(TUIForm &form, const LayoutState &s)
{
    QWidget *panel = nullptr;
    if (!s.file)
        panel = form.VideFrame;
    else if (s.panel == Panel::Settings)
        panel = form.OptionsFrame;
    else if (s.panel == Panel::About)
        panel = form.AproposFrame;
    if (panel == nullptr)
        return;
    QWidget *client = form.centralWidget();
    ASSERT_TRUE(panel->isVisible())
        << int(form.DisplayMode()) << " " << int(form.windowState()) << " "
        << form.al().Toggle(QStringLiteral("taApropos"))->Checked() << " " << Str(form.geometry());
    EXPECT_EQ(panel->geometry(), client->rect());
    EXPECT_TRUE(Opaque(panel));
    QWidget *front = nullptr;
    for (QObject *child : client->children())
        if (auto *w = qobject_cast<QWidget *>(child); w && w->isVisible())
            front = w;
    EXPECT_EQ(front, panel) << Describe(front).toStdString() << " is in front";
}

class Walker
{
public:
    Walker(Window &w, TRaccourcisForm &commands) : m_w(w), m_commands(commands) {}

    void Leave()
    {
        for (const char *panel : {"taOptions", "taApropos", "taRaccourcis"})
            if (Toggle(panel)->Checked())
                m_w.Run(panel);
        if (m_w.form->isMaximized()) {
            m_w.form->setWindowState(Qt::WindowNoState);
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_w.form->DisplayMode() != Maximised; }));
        }
    }

    void Enter(const LayoutState &s)
    {
        ASSERT_NO_FATAL_FAILURE(Leave());
        if (s.file) {
            if (m_w.form->ScenesEditing() != s.scenes)
                m_w.Run("taEditerScenes");
            if (m_w.settings.ListLeft != s.listLeft)
                m_w.Run("taListeGauche");
            if (m_w.form->DisplayMode() == ListHidden)
                m_w.Run("taBasculerListe");
            if (m_w.form->DisplayMode() == VideoOnly)
                m_w.Run("taVideoSeule");
            if (s.mode == ListHidden)
                m_w.Run("taBasculerListe");
            else if (s.mode == VideoOnly)
                m_w.Run("taVideoSeule");
            ASSERT_EQ(m_w.form->DisplayMode(), s.mode);
        }
        if (s.maximised) {
            m_w.form->setWindowState(Qt::WindowMaximized);
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_w.form->DisplayMode() == Maximised; }));
            // Offscreen the window takes the screen's size; a display
            // without a window manager (xvfb-run) leaves it at its size.
            // The platform's own news of the change comes a little later.
            QTest::qWait(RealDisplay() ? 400 : 100);
        }
        switch (s.panel) {
        case Panel::None:
            break;
        case Panel::Settings:
            m_w.Run("taOptions");
            ASSERT_TRUE(m_w.form->OptionsFrame->isVisible());
            break;
        case Panel::About:
            m_w.Run("taApropos");
            break;
        case Panel::Commands:
            m_w.Run("taRaccourcis");
            ASSERT_TRUE(m_commands.isVisible());
            break;
        }
        // The window and its frames settle (a real display answers late).
        QTest::qWait(RealDisplay() ? 400 : 50);
    }

private:
    TtoggleAction *Toggle(const char *name) const
    {
        return m_w.form->al().Toggle(QString::fromLatin1(name));
    }

    Window &m_w;
    TRaccourcisForm &m_commands;
};

TEST(MainWindowLayout, EveryStateFitsItsClientAreaAndShowsItsTexts)
{
    IsolatedHome home;
    QTemporaryDir dir;
    UseToolbarIconTheme(); // the toolbars' images as the program shows them
    const QString clip = WriteClip(dir.path(), 3);
    Window w; // the default size: nothing stored
    TRaccourcisForm commands(w.settings, w.form->al().Actions());
    w.form->SetRaccourcisForm(&commands);
    Walker walker(w, commands);
    const QDir shots(qEnvironmentVariable("VIDORA_SCREENSHOT_DIR", QDir::tempPath()));
    bool opened = false;
    for (const LayoutState &state : kStates) {
        SCOPED_TRACE(state.name);
        if (state.file && !opened) {
            ASSERT_NO_FATAL_FAILURE(walker.Leave());
            ASSERT_TRUE(w.Open(clip));
            ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->DisplayMode() == Full; }))
                << int(w.form->DisplayMode()) << " " << int(w.form->windowState()) << " "
                << w.form->VideFrame->isHidden();
            opened = true;
        }
        ASSERT_NO_FATAL_FAILURE(walker.Enter(state));
        EXPECT_EQ(w.form->SFrame->isVisible(), state.scenes && state.mode == Full) << state;
        EXPECT_EQ(w.form->SceneBase->isVisible(), state.scenes && state.mode != VideoOnly) << state;
        ExpectSeenWhole(*w.form);
        ExpectPanelInFront(*w.form, state);
        if (w.form->BaseFrame->isVisible()) {
            EXPECT_TRUE(w.form->BaseFrame->Gauge2->isVisible()) << "the volume";
            EXPECT_EQ(w.form->BaseFrame->Gauge2->value(), w.settings.Volume / 100);
        }
        if (state.panel == Panel::About) {
            const TAproposFrame &about = *w.form->AproposFrame;
            EXPECT_EQ(about.rxApropos->verticalScrollBar()->value(), 0) << "from its first line";
            EXPECT_TRUE(
                about.reSysteme->toPlainText().contains(QStringLiteral("My operating system is: ")))
                << about.reSysteme->toPlainText().toStdString();
        }
        if (RealDisplay()) {
            const QImage shot = w.form->screen()->grabWindow(0).toImage();
            shot.save(shots.filePath(QStringLiteral("layout-%1.png").arg(state.name)));
        }
    }
    ASSERT_NO_FATAL_FAILURE(walker.Leave());
}

} // namespace
} // namespace vidora::test
