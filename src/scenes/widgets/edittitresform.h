#pragma once

// The small window in which the user edits the two caption templates of a
// scene (title and subtitle) with a live preview, and chooses to apply them
// to the shown scene or to every scene of the list.
#include "scenes/scenelist.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QToolButton;

namespace vidora {

class TEditerTitresForm : public QWidget
{
    Q_OBJECT
public:
    // `shownScene` gives the scene of the scene editor for the preview;
    // `context` the active video's values.
    TEditerTitresForm(std::function<const TSceneClass *()> shownScene,
                      std::function<TSceneContext()> context, QWidget *parent = nullptr);

    // kTitlesCancel, kTitlesApplyShown or kTitlesApplyAll: set by the three
    // buttons that close the window, kept between uses.
    std::uint8_t Choice = kTitlesCancel;

    // Fills the templates from the shown scene's captions (TitleToTemplate).
    void LoadFromScene(const TSceneClass *scene);
    void RefreshPreview();

    QLineEdit *edTitre = nullptr;
    QLineEdit *edSoustitre = nullptr;
    QLabel *LabTitres = nullptr;
    QToolButton *btnEmpty = nullptr;
    QToolButton *btnStudio = nullptr;
    QToolButton *btnCancel = nullptr;
    QToolButton *btnAll = nullptr;
    QToolButton *btnApply = nullptr;

signals:
    // The window is to close, by a button or by its title bar: the main
    // window's titles action applies Choice and hides it.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Close(std::uint8_t choice);

    std::function<const TSceneClass *()> m_shownScene;
    std::function<TSceneContext()> m_context;
};

} // namespace vidora
