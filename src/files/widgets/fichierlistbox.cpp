#include "files/widgets/fichierlistbox.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

#include <algorithm>

namespace vidora {

TFichierListBox::TFichierListBox(QWidget *parent) : QListView(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // Dragging out is this view's own (the distance rule below).
    setDragEnabled(false);
    setAcceptDrops(false);
}

void TFichierListBox::SetListModel(TFichierListModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    setModel(model);
    if (model) {
        setSelectionModel(model->selectionModel());
        connect(model, &TFichierListModel::hintChanged, this,
                [this](const QString &hint) { setToolTip(hint); });
        setToolTip(model->Hint());
    }
}

void TFichierListBox::SetAcceptFiles(bool accept)
{
    m_acceptFiles = accept;
    setAcceptDrops(accept);
    viewport()->setAcceptDrops(accept);
}

void TFichierListBox::keyReleaseEvent(QKeyEvent *event)
{
    QListView::keyReleaseEvent(event);
    if (!m_model || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return;
    switch (event->key()) {
    case Qt::Key_Delete:
        if (KeyDelete && !(event->modifiers() & Qt::ShiftModifier))
            m_model->RemoveSelected();
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Up:
    case Qt::Key_Down:
        break;
    default:
        return;
    }
    m_model->UpdateCounts();
    m_model->UpdateActive();
}

void TFichierListBox::mousePressEvent(QMouseEvent *event)
{
    m_pressPoint = event->position().toPoint();
    QListView::mousePressEvent(event);
}

void TFichierListBox::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
    if (m_model) {
        m_model->UpdateCounts();
        m_model->UpdateActive();
    }
}

void TFichierListBox::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & (Qt::LeftButton | Qt::RightButton)) {
        const QPoint moved = event->position().toPoint() - m_pressPoint;
        if (std::abs(moved.x()) >= kDragDistance || std::abs(moved.y()) >= kDragDistance) {
            if (StartFileDrag())
                return;
        }
    }
    QListView::mouseMoveEvent(event);
}

bool TFichierListBox::StartFileDrag()
{
    if (!m_model)
        return false;
    const QModelIndexList selected = m_model->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return false;
    emit fileDragStarted();
    RunDrag(m_model->mimeData(selected));
    return true;
}

void TFichierListBox::RunDrag(QMimeData *files)
{
    auto *drag = new QDrag(this); // Qt deletes it when the drag ends
    drag->setMimeData(files);
    drag->exec(Qt::CopyAction);
}

void TFichierListBox::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_acceptFiles && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFichierListBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_acceptFiles && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFichierListBox::dropEvent(QDropEvent *event)
{
    if (!m_acceptFiles || !m_model || !event->mimeData()->hasUrls()) {
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
        m_model->DropFichiers(paths);
}

} // namespace vidora
