#include "ui/uvideframe.h"

#include "platform/shell/widgets/prepareform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace vidora {

QString EmptyListHelpMarkup(const QString &extension)
{
    return QStringLiteral("Drag and drop one or several files to this window.<br><br>") +
           QStringLiteral(
               "You may also open or paste files with speed buttons or menus. <br><br>") +
           QStringLiteral("Open all avi files from your computer with Ctrl+F7.<br><br>") +
           QStringLiteral("Only the files with extension %1 will be processed. <br><br>")
               .arg(EscapeLinkMarkup(QStringLiteral("*.") + extension + QLatin1Char(' '))) +
           QStringLiteral(
               "Type F10 to change the Settings, F1 to show the \"About\" panel.<br><br>") +
           QStringLiteral("Type F11 to display the list of available commands with all keyboard "
                          "shortcuts and switches.");
}

TVideFrame::TVideFrame(QWidget *parent)
    : QWidget(parent), Image1(new QLabel(this)), rxHelp(new TLinkEdit(this))
{
    // Opaque: the help is laid over the list and the video while the list
    // is empty.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    Image1->setScaledContents(true);
    rxHelp->setFrameShape(QFrame::NoFrame);
    QPalette face = rxHelp->palette();
    face.setColor(QPalette::Base, palette().color(QPalette::Button));
    rxHelp->setPalette(face);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    layout->addWidget(rxHelp, 1);
}

void TVideFrame::ShowHelp()
{
    rxHelp->SetRichText(EmptyListHelpMarkup());
    move(0, y());
    show();
    raise();
}

Tplaque::Tplaque(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    PrepareForm(this);
    setWindowTitle(QStringLiteral("plaque"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void Tplaque::forward(QKeyEvent *event)
{
    if (!m_list) {
        event->ignore();
        return;
    }
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                   event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                   event->isAutoRepeat(), ushort(event->count()));
    QCoreApplication::sendEvent(m_list, &copy);
    event->setAccepted(copy.isAccepted());
}

void Tplaque::keyPressEvent(QKeyEvent *event)
{
    forward(event);
}

void Tplaque::keyReleaseEvent(QKeyEvent *event)
{
    forward(event);
}

void Tplaque::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

TListeFrame::TListeFrame(QWidget *parent)
    : QWidget(parent), labSelect(new QLabel(this)), lf(new TFichierListBox(this))
{
    labSelect->setAlignment(Qt::AlignCenter);
    lf->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lf->setUniformItemSizes(true);
    lf->SetAcceptFiles(false);
    lf->KeyDelete = false;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(labSelect);
    layout->addWidget(lf, 1);
}

} // namespace vidora
