// The main window's side of the file list: showing the active entry
// everywhere, files dropped on the window, and the ready notice. The list
// actions are ListActions'.
#include "files/widgets/fichierlistbox.h"
#include "ui/ubaseframe.h"
#include "ui/ueditincrust.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

namespace vidora {

void TUIForm::lfActiveChange(const std::shared_ptr<TAbstractListFichier> &entry)
{
    ActiveFichier = std::dynamic_pointer_cast<TaviFichier>(entry);
    ShowActiveFile();
}

void TUIForm::ShowActiveFile()
{
    TFichierListModel *model = Lframe->lf->ListModel();
    const int row = model->CurrentRow();
    if (row >= 0 && row < model->Count())
        ActiveFichier = std::dynamic_pointer_cast<TaviFichier>(model->GetFichier(row));
    else if (model->Count() == 0)
        ActiveFichier.reset();
    if (ActiveFichier) {
        BaseFrame->ShowFile(ActiveFichier);
        VueFrame->SetCurrentFile(ActiveFichier);
        if (!m_closing) {
            const TPreviewEntry preview = PreviewEntryOf(*ActiveFichier);
            m_viewdm.OpenFile(&preview, VueFrame);
        }
        VueFrame->ArrangeView();
    } else {
        BaseFrame->Clear();
        m_viewdm.CloseGraph();
        VueFrame->ShowVideoUnavailable(videomessage::TakenByCommand);
        VueFrame->SetCurrentFile(nullptr);
    }
    if (m_editIncrust)
        m_editIncrust->SetCurrentFile(ActiveFichier);
    SceneEditorActiveChanged();
}

void TUIForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (Lframe->lf->AcceptFiles() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TUIForm::dropEvent(QDropEvent *event)
{
    if (!Lframe->lf->AcceptFiles() || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    if (!paths.isEmpty())
        Lframe->lf->ListModel()->DropFichiers(paths);
}

void TUIForm::StartReadyNotice()
{
    if (qEnvironmentVariableIsEmpty("VIDORA_READY_NOTICE"))
        return;
    // "listed N": the list holds N entries, no opening runs, and the video
    // view shows the active entry's first picture.
    auto *timer = new QTimer(this);
    timer->setInterval(5);
    connect(timer, &QTimer::timeout, this, [this, last = -1]() mutable {
        TFichierListModel *model = Lframe->lf->ListModel();
        if (model->Opening() || ScriptWaiting || model->Count() == last ||
            VueFrame->vw->currentPicture().isNull())
            return;
        last = model->Count();
        std::fprintf(stderr, "vidora: listed %d, first frame shown\n", last);
        std::fflush(stderr);
    });
    timer->start();
}

} // namespace vidora
