#pragma once

// The settings panel: five pages of controls, each writing its setting the
// moment it changes. The main window shows it in place of the list and the
// video, fills it from the settings once they are applied (ShowSettings) and
// binds the save and delete buttons and the Close button to its own handlers.
// A value the panel cannot take (an interval that is not a whole number of
// seconds, a folder that does not exist, a store that cannot be written) is
// refused with a message in the panel and changes nothing.
#include "formats/datetime.h"

#include <QFrame>
#include <QString>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace vidora {

class Settings;
class TWideDirectoryEdit;
class TWideFileEdit;

class TOptionsFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TOptionsFrame(Settings &settings, QWidget *parent = nullptr);

    // Fills every control from the settings, without writing them back.
    void ShowSettings();
    // Covers the parent's client area and comes to the front.
    void ShowPanel();
    void HidePanel();
    // Refreshes the four sample names.
    void UpdatePreviews();

    // "Save the preferences now": the main window collects and saves the
    // settings. Also saves into the new store when the store mode changes.
    // By default the settings are saved as they are. May throw
    // PreferencesSaveError.
    std::function<void()> OnSavePreferences;
    // "Delete the preferences".
    std::function<void()> OnDeletePreferences;
    // The current date and time of the samples.
    std::function<DateTimeValue()> Now;

    // The last message shown; empty when the last change was taken.
    QString Message() const;

    QTabWidget *PageControl = nullptr;
    // "Preferences"
    QPushButton *SpeedButton1 = nullptr;
    QPushButton *SpeedButton2 = nullptr;
    QCheckBox *cbSelection = nullptr;
    QCheckBox *cbListe = nullptr;
    QCheckBox *cbSendTo = nullptr;
    QGroupBox *rgPrefsBox = nullptr;
    QButtonGroup *rgPrefs = nullptr;
    QCheckBox *cbDeinterlace = nullptr;
    // "Formats"
    QComboBox *cbAfficherDatecode = nullptr;
    QComboBox *cbAjouterDatecode = nullptr;
    QComboBox *cbRenommer = nullptr;
    QLineEdit *edRenommer = nullptr;
    QCheckBox *cbDatecodeavant = nullptr;
    QCheckBox *cbTimecodeavant = nullptr;
    QPushButton *formatdefautBtn = nullptr;
    QLabel *lbAfficherSample = nullptr;
    QLabel *lbAjouterSample = nullptr;
    QLabel *lbTimecodeSample = nullptr;
    QLabel *lbRenommerSample = nullptr;
    // "Folders"
    TWideDirectoryEdit *edDossierOuvrir = nullptr;
    TWideDirectoryEdit *edDossierAuto = nullptr;
    TWideDirectoryEdit *edDossierPlayList = nullptr;
    QCheckBox *cbsameFolder = nullptr;
    TWideDirectoryEdit *edDossierSave = nullptr;
    // "Files"
    TWideFileEdit *feFichierF3 = nullptr;
    TWideFileEdit *feFichierF4 = nullptr;
    TWideFileEdit *feQuillmark = nullptr;
    QCheckBox *cbChargerQuillmark = nullptr;
    // "DV"
    QButtonGroup *rgfrequenceDV = nullptr;
    QButtonGroup *rgStandardDV = nullptr;
    QButtonGroup *rgRatioDV = nullptr;
    QLineEdit *edIntervalle = nullptr;
    QButtonGroup *rgFormatDuree = nullptr;
    // Bound to the options toggle by the main window; hides the panel.
    QPushButton *CloseBtn = nullptr;

private:
    QWidget *buildPreferencesPage();
    QWidget *buildFormatsPage();
    QWidget *buildFoldersPage();
    QWidget *buildFilesPage();
    QWidget *buildDvPage();

    void storeModeChanged(int mode);
    void applyStoreModeToControls(int mode);
    void sendToClicked(bool checked);
    void formatDefaults();
    void folderChosen(TWideDirectoryEdit *edit, QString &setting, const QString &folder);
    void intervalEdited(const QString &text);
    void showFolders();
    void showMessage(const QString &text);
    void saveNow();

    Settings &m_settings;
    QLabel *m_message = nullptr;
    bool m_filling = false;
};

} // namespace vidora
