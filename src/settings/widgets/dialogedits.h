#pragma once

// A read-only field with a button at its right end that opens a file dialog
// or a folder chooser; the settings panel shows the program paths and the
// folders in them.
#include <QFileDialog>
#include <QFrame>
#include <QString>

#include <functional>

class QLineEdit;
class QToolButton;

namespace vidora {

// Asks for a folder under the title `caption`, opening on `folder` when it
// exists; the choice comes back in `folder` (without a trailing "/"). New
// folders can be made in the chooser only when `allowNew`. False when the
// user cancelled; `folder` is then unchanged. `root` names where the chooser
// starts when `folder` is empty or missing, and the volume it keeps to (none
// when empty): a folder chosen on another volume is no choice.
bool WideSelectDirectory(const QString &caption, const QString &root, QString &folder,
                         bool allowNew, QWidget *parent = nullptr);

// The mount point of the volume that holds `path` (its nearest folder that
// exists), as the folder chooser's root: "/" or "/media/disk/"; empty when
// `path` is empty. A chooser given a root stays on that volume.
QString VolumeRootOf(const QString &path);

class TWideDialogEdit : public QFrame
{
    Q_OBJECT
public:
    explicit TWideDialogEdit(QWidget *parent = nullptr);

    int ButtonWidth() const { return m_buttonWidth; }
    void setButtonWidth(int width);
    QString ButtonHint() const;
    void setButtonHint(const QString &hint);
    QString DialogTitle;
    // Whether the field's selection is hidden while it has no focus (the
    // default); false keeps it shown.
    bool HideSelection() const { return m_hideSelection; }
    void setHideSelection(bool hide) { m_hideSelection = hide; }

    // Run after the user confirmed the dialog, with the chosen name, and
    // after a cancel, with the current one.
    std::function<void(TWideDialogEdit *sender, const QString &name)> OnAfterDialog;
    std::function<void(TWideDialogEdit *sender, const QString &name)> OnAbortDialog;

    QLineEdit *edit() const { return m_edit; }
    QToolButton *button() const { return m_button; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Opens the dialog; the field's own code runs it when the button is clicked.
    virtual void ButtonClick() = 0;
    void showText(const QString &text);

private:
    void layOut();

    QLineEdit *m_edit = nullptr;
    QToolButton *m_button = nullptr;
    int m_buttonWidth = 21;
    bool m_hideSelection = true;
};

class TWideFileEdit : public TWideDialogEdit
{
    Q_OBJECT
public:
    explicit TWideFileEdit(QWidget *parent = nullptr);

    QString InitialDir;
    QString Filter;      // Qt's filter text: "Programs (*)"; one filter per ";;"
    int FilterIndex = 1; // 1-based, as the filter list counts
    QString DefaultExt;
    QFileDialog::Options DialogOptions;

    QString FileName() const { return m_fileName; }
    void setFileName(const QString &name);

    // Runs the dialog; the chosen file in `name`, false on cancel. The open
    // dialog by default; tests put their own here.
    std::function<bool(TWideFileEdit &edit, QString &name)> RunDialog;

protected:
    void ButtonClick() override;

private:
    QString m_fileName;
};

class TWideDirectoryEdit : public TWideDialogEdit
{
    Q_OBJECT
public:
    explicit TWideDirectoryEdit(QWidget *parent = nullptr);

    bool CanCreateNew = false;

    // With a trailing "/" once chosen in the dialog.
    QString Folder() const { return m_folder; }
    void setFolder(const QString &folder);

    // Runs the chooser: WideSelectDirectory by default.
    std::function<bool(const QString &caption, const QString &root, QString &folder, bool allowNew)>
        RunDialog;

protected:
    void ButtonClick() override;

private:
    QString m_folder;
};

} // namespace vidora
