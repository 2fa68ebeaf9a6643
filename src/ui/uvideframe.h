#pragma once

// Three small views of the main window: the help panel shown in place of
// list and video while the file list is empty, the black backdrop behind the
// video in full-screen mode, and the frame that holds the file list.
#include "files/widgets/fichierlistbox.h"
#include "ui/linkedit.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace vidora {

// The help text of an empty list, for the accepted extension ("avi").
QString EmptyListHelpMarkup(const QString &extension = QStringLiteral("avi"));

class TVideFrame : public QWidget
{
    Q_OBJECT
public:
    explicit TVideFrame(QWidget *parent = nullptr);

    // Fills and shows the help text, at the left edge and in front.
    void ShowHelp();
    void HideHelp() { hide(); }

    QLabel *Image1;
    TLinkEdit *rxHelp;
};

// The full-screen backdrop: borderless and black. The keys it receives go
// to the file list, so the list and playback keys work while it has the
// focus; closing it only hides it.
class Tplaque : public QWidget
{
    Q_OBJECT
public:
    explicit Tplaque(QWidget *parent = nullptr);

    // The file list that gets the keys; not owned (may go away first).
    void SetKeyTarget(QWidget *list) { m_list = list; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void forward(QKeyEvent *event);
    QPointer<QWidget> m_list;
};

// The file list with its selection label above it. The main window handles
// drops and the Delete key itself, so the list's own are off.
class TListeFrame : public QWidget
{
    Q_OBJECT
public:
    explicit TListeFrame(QWidget *parent = nullptr);

    QLabel *labSelect;
    TFichierListBox *lf;
};

} // namespace vidora
