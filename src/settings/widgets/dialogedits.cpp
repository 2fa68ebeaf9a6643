#include "settings/widgets/dialogedits.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>

namespace vidora {

bool WideSelectDirectory(const QString &caption, const QString &root, QString &folder,
                         bool allowNew, QWidget *parent)
{
    QString start = QFileInfo(folder).isDir() ? folder : QString();
    if (start.isEmpty())
        start = QFileInfo(root).isDir() ? root : QDir::homePath();
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!allowNew)
        options |= QFileDialog::ReadOnly;
    const QString chosen = QFileDialog::getExistingDirectory(parent, caption, start, options);
    if (chosen.isEmpty())
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
    if (RunDialog && RunDialog(DialogTitle, QString(), folder, CanCreateNew)) {
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
