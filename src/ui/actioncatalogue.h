#pragma once

// The main window's command vocabulary: one table holds every action with
// its kind, category, captions, command-line names, keys and start states.
// The action list, the menus, the pop-ups and the toolbars are all made from
// it, so a name, caption or key is written once.
#include "settings/superactions.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace vidora {

enum class TActionKind {
    Plain,
    Toggle
};

// Start states of an action.
enum TActionFlag : unsigned {
    kFlagNone = 0,
    kFlagOn = 1,     // Checked at start
    kFlagAuto = 2,   // flips Checked itself when run from a menu or key
    kFlagHidden = 4, // not visible at start
};

struct TActionRow
{
    const char *name;
    TActionKind kind;
    const char *category;
    const char *caption;     // the false caption of a two-state action
    const char *trueCaption; // two-state actions only
    const char *switchName;
    const char *token;
    const char *key;       // Qt's portable key text; empty for none
    const char *secondary; // the secondary keys, separated by ';'
    unsigned flags;
    const char *icon; // the icon theme's name; empty for none
    // What the action does: the action module's command it hands to the
    // command engine (`TdmAction::FindCommand`), or empty when a handler of
    // the main window runs it. Either way the window binds it at start and
    // refuses to start while a row has no behaviour.
    const char *command;
};

// Every action in list order (the order a command-line or script name is
// looked up in).
const std::vector<TActionRow> &ActionCatalogue();

// A menu, a pop-up or a toolbar: action names in order, "-" a separator and
// ">Caption" a sub-menu whose entries follow up to the next "<".
struct TMenuLayout
{
    const char *objectName;
    const char *title;
    QStringList entries;
};

const std::vector<TMenuLayout> &MainMenuLayout();
const std::vector<TMenuLayout> &PopupLayout();
const std::vector<TMenuLayout> &ToolbarLayout();

// The actions made from the catalogue, owned by `owner`, in list order.
class TActionList
{
public:
    explicit TActionList(QObject *owner);

    const QList<QAction *> &Actions() const { return m_actions; }
    // The action of that name; a name the catalogue does not hold, or an
    // action of the other kind, is a slip in the program: it throws
    // std::out_of_range, so it shows when the window is made, not when a
    // user first reaches the action.
    TCustomSuperAction *Find(const QString &name) const;
    TSuperAction *Plain(const QString &name) const;
    TtoggleAction *Toggle(const QString &name) const;

    // The actions that would do nothing when run: a plain action without
    // `Onexecute`, a two-state action without either of its events.
    QStringList WithoutBehaviour() const;

    // The clashes the catalogue's keys had when it was made.
    const QList<ShortcutClash> &Clashes() const { return m_clashes; }

    void FillMenuBar(QMenuBar *bar) const;
    // A pop-up of the layout with that object name.
    QMenu *MakePopup(const QString &objectName, QWidget *parent) const;
    QToolBar *MakeToolbar(const TMenuLayout &layout, QWidget *parent) const;

private:
    void FillMenu(QMenu *menu, const QStringList &entries, int &at) const;

    QList<QAction *> m_actions;
    QHash<QString, TCustomSuperAction *> m_byName;
    QList<ShortcutClash> m_clashes;
};

} // namespace vidora
