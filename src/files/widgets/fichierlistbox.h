#pragma once

// The file list's view: a multi-selection list over a TFichierListModel. Key
// and mouse releases report the counts and the active entry; the Delete key
// removes the selected rows when allowed; the selected files can be dragged
// out to other programs ("text/uri-list"), and files dropped on the list are
// opened when it accepts them.
#include "files/fichierlistmodel.h"

#include <QListView>
#include <QPoint>

namespace vidora {

class TFichierListBox : public QListView
{
    Q_OBJECT
public:
    // A drag starts once the pointer is this far from where the button went
    // down, across or up and down.
    static constexpr int kDragDistance = 10;

    explicit TFichierListBox(QWidget *parent = nullptr);

    // The view shares the model's selection; the model stays the caller's.
    void SetListModel(TFichierListModel *model);
    TFichierListModel *ListModel() const { return m_model; }

    bool AcceptFiles() const { return m_acceptFiles; }
    void SetAcceptFiles(bool accept);
    bool KeyDelete = false;

    // Starts a drag of the selected files; true when there was anything to drag.
    bool StartFileDrag();

signals:
    // A drag was started (before it runs).
    void fileDragStarted();

protected:
    // Runs the drag of these files (takes the data); the program's runs a QDrag.
    virtual void RunDrag(QMimeData *files);

    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    TFichierListModel *m_model = nullptr;
    bool m_acceptFiles = false;
    QPoint m_pressPoint;
};

} // namespace vidora
