// The file list's view: key and mouse releases, the Delete key, the drag
// distance and the dragged data, and files dropped on it.
#include "files/widgets/fichierlistbox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace vidora {
namespace {

class RecordingListBox : public TFichierListBox
{
public:
    using TFichierListBox::TFichierListBox;
    std::vector<QList<QUrl>> drags;

    void Drop(const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        dropEvent(&event);
    }

protected:
    void RunDrag(QMimeData *files) override
    {
        drags.push_back(files->urls());
        delete files;
    }
};

struct ViewFixture
{
    TFichierListModel model;
    RecordingListBox view;

    ViewFixture()
    {
        view.SetListModel(&model);
        view.resize(200, 200);
        for (const char *path : {"/v/a.avi", "/v/b.avi", "/v/c.avi", "/v/d.avi"})
            model.AddFichier(TAbstractListFichier::Create(path), false);
        model.selectionModel()->clearSelection();
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent release(QEvent::KeyRelease, key, modifiers);
        QApplication::sendEvent(&view, &release);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    }
    QPoint RowPoint(int row) const { return view.visualRect(model.index(row)).center(); }
};

TEST(ListView, DeleteRemovesSelectedRowsOnlyWhenAllowedAndWithoutShift)
{
    ViewFixture f;
    f.model.selectionModel()->select(f.model.index(1), QItemSelectionModel::Select);
    f.Key(Qt::Key_Delete); // KeyDelete is off
    EXPECT_EQ(f.model.Count(), 4);
    EXPECT_EQ(f.view.toolTip(), QStringLiteral("1 fichier sélectionné sur 4\n"));
    f.view.KeyDelete = true;
    f.Key(Qt::Key_Delete, Qt::ShiftModifier);
    f.Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(f.model.Count(), 4);
    f.Key(Qt::Key_Delete);
    EXPECT_EQ(f.model.Count(), 3);
    // The row above the removed one is current and, after the release, active.
    EXPECT_EQ(f.model.ActiveEntry()->Name(), "a.avi");
}

TEST(ListView, ActiveEntryChangesOnReleaseOnly)
{
    ViewFixture f;
    ASSERT_EQ(f.model.ActiveEntry()->Name(), "a.avi");
    f.model.selectionModel()->setCurrentIndex(f.model.index(2), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(f.model.ActiveEntry()->Name(), "a.avi");
    f.Key(Qt::Key_Left); // not one of the list's keys
    EXPECT_EQ(f.model.ActiveEntry()->Name(), "a.avi");
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.model.ActiveEntry()->Name(), "c.avi");

    f.Mouse(QEvent::MouseButtonPress, f.RowPoint(3), Qt::LeftButton);
    f.Mouse(QEvent::MouseButtonRelease, f.RowPoint(3), Qt::NoButton);
    EXPECT_EQ(f.model.ActiveEntry()->Name(), "d.avi");
}

TEST(ListView, DragStartsAtTenPixelsWithTheSelectedFiles)
{
    ViewFixture f;
    const QPoint start = f.RowPoint(1);
    f.Mouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
    f.Mouse(QEvent::MouseMove, start + QPoint(9, 0), Qt::LeftButton);
    f.Mouse(QEvent::MouseMove, start + QPoint(0, -9), Qt::LeftButton);
    EXPECT_TRUE(f.view.drags.empty());
    f.model.selectionModel()->clearSelection();
    for (int row : {3, 1})
        f.model.selectionModel()->select(f.model.index(row), QItemSelectionModel::Select);
    f.Mouse(QEvent::MouseMove, start + QPoint(10, 0), Qt::LeftButton);
    ASSERT_EQ(f.view.drags.size(), 1u);
    EXPECT_EQ(f.view.drags[0],
              (QList<QUrl>{QUrl::fromLocalFile("/v/b.avi"), QUrl::fromLocalFile("/v/d.avi")}));
}

TEST(ListView, DroppedFilesAreOpenedWhenAccepted)
{
    QTemporaryDir tmp;
    const QString file = QDir(tmp.path()).filePath("dropped.avi");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.close();
    ViewFixture f;
    f.model.SetFichierClass([](const QString &folder, const QFileInfo &found) {
        return TSRFichier::CreateFromSearchRec(folder, found);
    });
    int ends = 0;
    QObject::connect(&f.model, &TFichierListModel::openEnd, [&](int) { ++ends; });
    f.view.Drop({QUrl::fromLocalFile(file)}); // not accepting: ignored
    EXPECT_FALSE(f.model.Opening());
    f.view.SetAcceptFiles(true);
    f.view.Drop({QUrl::fromLocalFile(file)});
    QDeadlineTimer deadline(30000);
    while (ends == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(ends, 1);
    EXPECT_EQ(f.model.Count(), 5);
}

} // namespace
} // namespace vidora
