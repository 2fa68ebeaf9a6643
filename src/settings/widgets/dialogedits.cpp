#include "settings/widgets/dialogedits.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLineEdit>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace vidora {

QString VolumeRootOf(const QString &path)
{
    if (path.isEmpty())
        return QString();
    // QStorageInfo needs a path that exists: the nearest existing ancestor.
    QString existing = QDir::cleanPath(QDir(path).absolutePath());
    while (!QFileInfo(existing).isDir()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return QString();
        existing = parent;
    }
    QString root = QStorageInfo(existing).rootPath();
    if (root.isEmpty())
        return QString();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

bool WideSelectDirectory(const QString &caption, const QString &root, QString &folder,
                         bool allowNew, QWidget *parent)
{
    QString start = QFileInfo(folder).isDir() ? folder : QString();
    if (start.isEmpty())
        start = QFileInfo(root).isDir() ? root : QDir::homePath();
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!allowNew)
        options |= QFileDialog::ReadOnly;
    QFileDialog dialog(parent, caption, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(options);
    const QString volume = VolumeRootOf(root);
    const auto onVolume = [&volume](const QString &dir) {
        return volume.isEmpty() || VolumeRootOf(dir) == volume;
    };
    // The chooser stays on the root's volume: a folder entered elsewhere
    // takes it back to the root, and a choice elsewhere is no choice.
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                     [&dialog, &onVolume, &volume](const QString &dir) {
                         if (!onVolume(dir))
                             dialog.setDirectory(volume);
                     });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString chosen = dialog.selectedFiles().constFirst();
    if (chosen.isEmpty() || !onVolume(chosen))
        return false;
    folder = QDir::cleanPath(chosen);
    return true;
}

// ---------------------------------------------------------------- TWideDialogEdit

TWideDialogEdit::TWideDialogEdit(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    m_edit = new QLineEdit(this);
    m_edit->setReadOnly(true);
    m_edit->setFrame(false);
    m_edit->installEventFilter(this);
    m_button = new QToolButton(this);
    m_button->setAutoRaise(false);
    m_button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    connect(m_button, &QToolButton::clicked, this, [this] { ButtonClick(); });
    resize(121, 21);
    setMinimumHeight(21);
    layOut();
}

void TWideDialogEdit::setButtonWidth(int width)
{
    m_buttonWidth = width;
    layOut();
}

QString TWideDialogEdit::ButtonHint() const
{
    return m_button->toolTip();
}

void TWideDialogEdit::setButtonHint(const QString &hint)
{
    m_button->setToolTip(hint);
}

void TWideDialogEdit::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    layOut();
}

bool TWideDialogEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut) {
        if (m_hideSelection) {
            // Hidden whatever took the focus (the edit itself keeps its
            // selection when another window or a popup takes it).
            m_edit->deselect();
        } else if (m_edit->hasSelectedText()) {
            // The edit drops its selection when the focus moves on within
            // the window: it is put back once the focus has moved.
            const int start = m_edit->selectionStart();
            const int length = m_edit->selectionLength();
            QTimer::singleShot(0, m_edit, [edit = m_edit, start, length] {
                if (!edit->hasFocus())
                    edit->setSelection(start, length);
            });
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TWideDialogEdit::layOut()
{
    const int left = width() - m_buttonWidth - 4;
    m_edit->setGeometry(0, 1, left, height() - 2);
    m_button->setGeometry(left, 1, m_buttonWidth, height() - 4);
}

void TWideDialogEdit::showText(const QString &text)
{
    m_edit->setText(text);
    m_edit->setCursorPosition(0);
}

// ---------------------------------------------------------------- TWideFileEdit

TWideFileEdit::TWideFileEdit(QWidget *parent) : TWideDialogEdit(parent)
{
    RunDialog = [](TWideFileEdit &edit, QString &name) {
        QFileDialog dialog(&edit, edit.DialogTitle, edit.InitialDir);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOptions(edit.DialogOptions);
        if (!edit.Filter.isEmpty()) {
            const QStringList filters = edit.Filter.split(QStringLiteral(";;"));
            dialog.setNameFilters(filters);
            if (edit.FilterIndex >= 1 && edit.FilterIndex <= filters.size())
                dialog.selectNameFilter(filters.at(edit.FilterIndex - 1));
        }
        dialog.setDefaultSuffix(edit.DefaultExt);
        if (!edit.FileName().isEmpty())
            dialog.selectFile(edit.FileName());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        name = dialog.selectedFiles().constFirst();
        return true;
    };
}

void TWideFileEdit::setFileName(const QString &name)
{
    m_fileName = name;
    showText(name);
}

void TWideFileEdit::ButtonClick()
{
    QString chosen;
    if (RunDialog && RunDialog(*this, chosen)) {
        setFileName(chosen);
        if (OnAfterDialog)
            OnAfterDialog(this, m_fileName);
    } else if (OnAbortDialog) {
        OnAbortDialog(this, m_fileName);
    }
}

// ---------------------------------------------------------------- TWideDirectoryEdit

TWideDirectoryEdit::TWideDirectoryEdit(QWidget *parent) : TWideDialogEdit(parent)
{
    RunDialog = [this](const QString &caption, const QString &root, QString &folder,
                       bool allowNew) {
        return WideSelectDirectory(caption, root, folder, allowNew, this);
    };
}

void TWideDirectoryEdit::setFolder(const QString &folder)
{
    m_folder = folder;
    showText(folder);
}

void TWideDirectoryEdit::ButtonClick()
{
    // A folder that no longer exists is not preselected.
    QString folder = QFileInfo(m_folder).isDir() ? m_folder : QString();
    // The chooser is rooted at the volume the folder is on.
    if (RunDialog && RunDialog(DialogTitle, VolumeRootOf(m_folder), folder, CanCreateNew)) {
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        setFolder(folder);
        if (OnAfterDialog)
            OnAfterDialog(this, m_folder);
    } else if (OnAbortDialog) {
        OnAbortDialog(this, m_folder);
    }
}

} // namespace vidora
