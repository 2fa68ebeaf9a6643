#pragma once

// The commands-and-keys window: every command of the main window with its
// key, command-line switch and script word, sorted by the column whose header
// was clicked last (kept in "Tri des raccourcis"); a double-click on a
// command runs it as a menu click would. Closing the window hides it.
#include <QAction>
#include <QList>
#include <QWidget>

class QTableWidget;

namespace vidora {

class Settings;
class TLinkEdit;

class TRaccourcisForm : public QWidget
{
    Q_OBJECT
public:
    TRaccourcisForm(Settings &settings, const QList<QAction *> &actions, QWidget *parent = nullptr);

    // Rebuilds the list from the actions in the chosen sort order; nothing
    // without actions.
    void FillGrid(const QList<QAction *> &actions);

    TLinkEdit *leHeader = nullptr;
    QTableWidget *StringGrid1 = nullptr;

private:
    void headerClicked(int column);
    void rowDoubleClicked(int row);

    Settings &m_settings;
    QList<QAction *> m_actions;
};

} // namespace vidora
