#pragma once

// The overlay text editor ("Edit the inlay"): what the overlay burns into the
// picture and how. Every control writes the settings' overlay record (and
// the overlay settings) the moment it changes, then hands a copy of the
// record to the preview's overlay filter and redraws the paused picture.
#include "files/avifichier.h"
#include "settings/settings.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTime>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>

namespace vidora {

class Tviewdm;

// A personal template line for the current file (none: unchanged): "%D"
// becomes "%D1" in line 1 and "%D2" in line 2, then "%F" the file's name
// without extension, "%E" its extension (with the dot), "%P" its folder
// (with the separator), "%C" the codec code, "%I" the picture size, "%A" the
// audio format, "%U" the duration; every occurrence, any letter case.
QString ExpandTemplate(const QString &line, int lineNumber, const TaviFichier *file);

// A template line as it will look: "%D1" and "%D2" the file's recording date
// (the present moment `now` without one) in the two formats, "%T" the file's
// time code, or "0:54:32:10" when it has none.
QString PreviewText(const QString &line, const TaviFichier *file, const QString &format1,
                    const QString &format2, double now);

// The overlay lines for the content choice (0 date, 1 time code, 2 the
// personal lines expanded for the file).
std::pair<QString, QString> IncrustLines(std::uint8_t whatIncrust, const QString &perso1,
                                         const QString &perso2, const TaviFichier *file);

class TEditIncrustForm : public QWidget
{
    Q_OBJECT
public:
    // The settings are read and written; `viewdm` gets the options and
    // redraws; neither is owned, both must outlive the form.
    TEditIncrustForm(SettingValues *settings, Tviewdm *viewdm, QWidget *parent = nullptr);

    // The actions of the main window this form runs: show the overlay
    // (taAfficherIncrustation) and show or hide the editor (taEditerIncrust);
    // the subtitle alignment sets the horizontal overlay slider.
    std::function<void()> OnShowOverlay;
    std::function<void()> OnToggleEditor;
    std::function<void(int perMille)> OnHorizontalSlider;

    // The file the samples and personal lines are made for (the main window
    // sets it when the active file changes), then the samples are refreshed.
    void SetCurrentFile(std::shared_ptr<const TaviFichier> file);
    // Fills every control from the settings.
    void FillFromSettings();
    void RefreshSamples();
    void UpdateIncrustText();

    QToolButton *tbDatecode;
    QToolButton *tbTimecode;
    QToolButton *tbTexte;
    QToolButton *ToolbarButton971;
    QToolButton *ToolbarButton972;
    QToolButton *ToolbarButton973;
    QLineEdit *edPerso1;
    QLineEdit *edPerso2;
    QComboBox *cbDatecode1;
    QComboBox *cbDatecode2;
    QFontComboBox *FontComboBox1;
    QComboBox *cbSize;
    QToolButton *tbBold;
    QToolButton *tbItalic;
    QToolButton *tbUnderline;
    QToolButton *ColorButton;
    QToolButton *tbLeftAlign;
    QToolButton *tbCenter;
    QToolButton *tbRightAlign;
    QToolButton *tbSousTitre;
    QToolButton *tbBorder;
    QRadioButton *rbPermanent;
    QRadioButton *rbUnique;
    QRadioButton *rbScene;
    QRadioButton *rbJour;
    QLineEdit *edDuree;
    QLabel *labDatecode;
    QLabel *LabTimecode;
    QLabel *LabTexte;
    QToolButton *btShowOverlay;
    QToolButton *btClose;

    // The handlers the controls run (also for tests and the main window).
    void ChooseContent(std::uint8_t what);
    void SizeChanged(const QString &text);
    void DurationChanged(const QString &text);
    void AlignmentChosen(std::uint8_t alignment);
    void BorderChosen(int pixels);
    void ColourChosen(const QColor &colour);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Runs a change unless the controls are being filled.
    template <class F>
    void Change(F change);

    SettingValues *m_settings;
    Tviewdm *m_viewdm;
    std::shared_ptr<const TaviFichier> m_file;
    bool m_filling = false;
};

} // namespace vidora
