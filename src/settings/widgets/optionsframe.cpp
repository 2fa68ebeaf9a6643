#include "settings/widgets/optionsframe.h"

#include "platform/shell/shellroutines.h"
#include "settings/panelvalues.h"
#include "settings/settings.h"
#include "settings/widgets/dialogedits.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vidora {

namespace {

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFrameShape(QFrame::StyledPanel);
    label->setMargin(4);
    return label;
}

QCheckBox *checkBox(const char *name, const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// A titled group of radio buttons whose ids are their item indexes.
QButtonGroup *radioGroup(const char *name, const QString &title, const QStringList &items,
                         QWidget *parent, QGroupBox **boxOut = nullptr)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(QString::fromLatin1(name) + QStringLiteral("Box"));
    auto *layout = new QVBoxLayout(box);
    auto *group = new QButtonGroup(box);
    group->setObjectName(QString::fromLatin1(name));
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items.at(i), box);
        layout->addWidget(button);
        group->addButton(button, i);
    }
    if (boxOut != nullptr)
        *boxOut = box;
    return group;
}

QComboBox *formatBox(const char *name, const QStringList &items, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

void selectRadio(QButtonGroup *group, int id)
{
    const QSignalBlocker blocker(group);
    if (QAbstractButton *button = group->button(id))
        button->setChecked(true);
}

void setCheck(QCheckBox *box, bool checked)
{
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

void setComboText(QComboBox *box, const QString &text)
{
    const QSignalBlocker blocker(box);
    box->setEditText(text);
}

QWidget *pageWithNote(QWidget *page, QLayout *controls, const QString &noteText)
{
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(controls);
    layout->addWidget(note(noteText, page));
    layout->addStretch();
    return page;
}

const QString kFolderMissing =
    QStringLiteral("The folder \"%1\" does not exist: the setting is unchanged.");

} // namespace

TOptionsFrame::TOptionsFrame(Settings &settings, QWidget *parent)
    : QFrame(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("OptionsFrame"));
    // Opaque: the panel is laid over the window's other frames.
    setAutoFillBackground(true);
    OnSavePreferences = [this] {
        m_settings.PortablePath = m_settings.environment().programFolder;
        m_settings.SavePreferences();
    };
    Now = [] { return FromQDateTime(QDateTime::currentDateTime()); };

    PageControl = new QTabWidget(this);
    PageControl->addTab(buildPreferencesPage(), QStringLiteral("Preferences"));
    PageControl->addTab(buildFormatsPage(), QStringLiteral("Formats"));
    PageControl->addTab(buildFoldersPage(), QStringLiteral("Folders"));
    PageControl->addTab(buildFilesPage(), QStringLiteral("Files"));
    PageControl->addTab(buildDvPage(), QStringLiteral("DV"));

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lbMessage"));
    m_message->setWordWrap(true);
    QPalette palette = m_message->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    m_message->setPalette(palette);
    m_message->hide();

    CloseBtn = new QPushButton(QStringLiteral("Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    connect(CloseBtn, &QPushButton::clicked, this, &TOptionsFrame::HidePanel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    layout->addWidget(m_message);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(CloseBtn);
    layout->addLayout(bottom);
    hide();
}

QWidget *TOptionsFrame::buildPreferencesPage()
{
    auto *page = new QWidget;
    SpeedButton1 = new QPushButton(QStringLiteral("Save the preferences now"), page);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton2 = new QPushButton(QStringLiteral("Delete the preferences"), page);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    cbSelection = checkBox("cbSelection", QStringLiteral("Select when opening"), page);
    cbListe = checkBox("cbListe", QStringLiteral("Save the playlist when quit"), page);
    cbSendTo = checkBox("cbSendTo", QStringLiteral("Shortcut in SendTo..."), page);
    rgPrefs = radioGroup("rgPrefs", QString(),
                         {QStringLiteral("Normal Mode (registry)"),
                          QStringLiteral("Portable Mode ( USB key)"),
                          QStringLiteral("Do not save the preferences")},
                         page, &rgPrefsBox);
    cbDeinterlace = checkBox("cbDeinterlace", QStringLiteral("Deinterlace the video"), page);

    connect(SpeedButton1, &QPushButton::clicked, this, &TOptionsFrame::saveNow);
    connect(SpeedButton2, &QPushButton::clicked, this, [this] {
        if (OnDeletePreferences)
            OnDeletePreferences();
    });
    connect(cbSelection, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.SelectWhenOpening = on; });
    connect(cbListe, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.SaveListWhenQuit = on; });
    connect(cbSendTo, &QCheckBox::toggled, this, &TOptionsFrame::sendToClicked);
    connect(rgPrefs, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !m_filling)
            storeModeChanged(id);
    });
    connect(cbDeinterlace, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.Deinterlace = on; });

    auto *controls = new QVBoxLayout;
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    controls->addLayout(buttons);
    controls->addWidget(cbSelection);
    controls->addWidget(cbListe);
    controls->addWidget(cbSendTo);
    controls->addWidget(rgPrefsBox);
    controls->addWidget(cbDeinterlace);
    return pageWithNote(
        page, controls,
        QStringLiteral(
            "In normal mode the preferences are kept in your own settings folder. In portable "
            "mode they are kept in the file Vidora.ini beside the program, so that the "
            "program and its preferences can be carried on a removable drive; the folders "
            "then lie beside the program too. Without a mode nothing is saved, and you are "
            "asked for a mode when the program closes."));
}

QWidget *TOptionsFrame::buildFormatsPage()
{
    auto *page = new QWidget;
    cbAfficherDatecode =
        formatBox("cbAfficherDatecode",
                  {QStringLiteral("ddddd tt"), QStringLiteral("dddddd tt"),
                   QStringLiteral("yyyy mm dd hh nn ss"), QStringLiteral("dddddd")},
                  page);
    cbAjouterDatecode = formatBox("cbAjouterDatecode",
                                  {QStringLiteral("yyyy.mm.dd_hh.nn.ss_am/pm"),
                                   QStringLiteral("yyyy.mm.dd_hh.nn.ss"), QStringLiteral("ddddd"),
                                   QStringLiteral("dddddd"), QStringLiteral("dddddd tt"),
                                   QStringLiteral("yy_mmm_d")},
                                  page);
    cbRenommer = formatBox(
        "cbRenommer",
        {QStringLiteral("yyyymmdd hh.nn.ss"), QStringLiteral("yyyy.mm.dd_hh.nn.ss_am/pm"),
         QStringLiteral("yyyy.mm.dd_hh.nn.ss"), QStringLiteral("ddddd"), QStringLiteral("dddddd"),
         QStringLiteral("dddddd tt"), QStringLiteral("yy_mmm_d")},
        page);
    edRenommer = new QLineEdit(page);
    edRenommer->setObjectName(QStringLiteral("edRenommer"));
    cbDatecodeavant = checkBox("cbDatecodeavant", QStringLiteral("Datecode before the name"), page);
    cbTimecodeavant = checkBox("cbTimecodeavant", QStringLiteral("Timecode before the name"), page);
    formatdefautBtn = new QPushButton(QStringLiteral("Default"), page);
    formatdefautBtn->setObjectName(QStringLiteral("formatdefautBtn"));
    const auto sample = [page](const char *name) {
        auto *label = new QLabel(page);
        label->setObjectName(QString::fromLatin1(name));
        return label;
    };
    lbAfficherSample = sample("lbAfficherSample");
    lbAjouterSample = sample("lbAjouterSample");
    lbTimecodeSample = sample("lbTimecodeSample");
    lbRenommerSample = sample("lbRenommerSample");

    connect(cbAfficherDatecode, &QComboBox::editTextChanged, this, [this](const QString &text) {
        m_settings.FormatShowDatecode = text;
        UpdatePreviews();
    });
    connect(cbAjouterDatecode, &QComboBox::editTextChanged, this, [this](const QString &text) {
        m_settings.FormatAddDatecode = text;
        UpdatePreviews();
    });
    connect(cbRenommer, &QComboBox::editTextChanged, this, [this](const QString &text) {
        m_settings.FormatRename = text;
        UpdatePreviews();
    });
    connect(edRenommer, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_settings.RenameTemplate = text;
        UpdatePreviews();
    });
    connect(cbDatecodeavant, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.DatecodeBefore = on;
        UpdatePreviews();
    });
    connect(cbTimecodeavant, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.TimecodeBefore = on;
        UpdatePreviews();
    });
    connect(formatdefautBtn, &QPushButton::clicked, this, &TOptionsFrame::formatDefaults);

    auto *controls = new QFormLayout;
    controls->addRow(QStringLiteral("Display the datecode"), cbAfficherDatecode);
    controls->addRow(QString(), lbAfficherSample);
    controls->addRow(QStringLiteral("Add the datecode"), cbAjouterDatecode);
    controls->addRow(cbDatecodeavant, lbAjouterSample);
    controls->addRow(cbTimecodeavant, lbTimecodeSample);
    controls->addRow(QStringLiteral("Rename"), cbRenommer);
    controls->addRow(QStringLiteral("Template for rename"), edRenommer);
    controls->addRow(QString(), lbRenommerSample);
    controls->addRow(QString(), formatdefautBtn);
    return pageWithNote(
        page, controls,
        QStringLiteral("Codes of the rename template: %F the file name, %E its "
                       "extension, %D the datecode in the rename format, %T the time "
                       "code, %C the codec, %I the picture size, %A the sound format, "
                       "%U the duration. The formats use d, m, y for the date, h, n, s "
                       "for the time, ddddd and dddddd for your short and long date, t "
                       "and tt for your short and long time."));
}

QWidget *TOptionsFrame::buildFoldersPage()
{
    auto *page = new QWidget;
    const auto folderEdit = [this, page](const char *name, QString Settings::*setting) {
        auto *edit = new TWideDirectoryEdit(page);
        edit->setObjectName(QString::fromLatin1(name));
        edit->CanCreateNew = true;
        edit->OnAfterDialog = [this, setting](TWideDialogEdit *sender, const QString &folder) {
            folderChosen(static_cast<TWideDirectoryEdit *>(sender), m_settings.*setting, folder);
        };
        return edit;
    };
    edDossierOuvrir = folderEdit("edDossierOuvrir", &Settings::FolderToOpenFiles);
    edDossierAuto = folderEdit("edDossierAuto", &Settings::AutoOpenFolder);
    edDossierPlayList = folderEdit("edDossierPlayList", &Settings::PlaylistFolder);
    cbsameFolder = checkBox("cbsameFolder", QStringLiteral("Convert in the same folder"), page);
    edDossierSave = folderEdit("edDossierSave", &Settings::SaveFolder);
    connect(cbsameFolder, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.SaveInSameFolder = on;
        edDossierSave->setEnabled(!on);
    });

    auto *controls = new QFormLayout;
    controls->setRowWrapPolicy(QFormLayout::WrapAllRows);
    controls->addRow(QStringLiteral("Default folder to open videos"), edDossierOuvrir);
    controls->addRow(QStringLiteral("Preferred folder ( open with F7)"), edDossierAuto);
    controls->addRow(QStringLiteral("Default folder for PlayList"), edDossierPlayList);
    controls->addRow(cbsameFolder);
    controls->addRow(QStringLiteral("Convert in the followinf folder:"), edDossierSave);
    return pageWithNote(
        page, controls,
        QStringLiteral("The folder the open dialogs start in, your preferred folder "
                       "(opened with F7), the folder of the playlists, and the folder "
                       "that receives converted videos when they are not written beside "
                       "their source."));
}

QWidget *TOptionsFrame::buildFilesPage()
{
    auto *page = new QWidget;
    const auto fileEdit = [this, page](const char *name, QString Settings::*setting) {
        auto *edit = new TWideFileEdit(page);
        edit->setObjectName(QString::fromLatin1(name));
        edit->OnAfterDialog = [this, setting](TWideDialogEdit *, const QString &file) {
            m_settings.*setting = file;
            showMessage(QString());
        };
        return edit;
    };
    feFichierF3 = fileEdit("feFichierF3", &Settings::FileF3);
    feFichierF4 = fileEdit("feFichierF4", &Settings::FileF4);
    feQuillmark = fileEdit("feQuillmark", &Settings::FileQuillmark);
    cbChargerQuillmark = checkBox("cbChargerQuillmark", QStringLiteral("Load Quillmark"), page);
    connect(cbChargerQuillmark, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.LoadQuillmark = on; });

    auto *controls = new QFormLayout;
    controls->setRowWrapPolicy(QFormLayout::WrapAllRows);
    controls->addRow(QStringLiteral("Application launched with F3"), feFichierF3);
    controls->addRow(QStringLiteral("Application lauched with F4"), feFichierF4);
    controls->addRow(QStringLiteral("File Quillmark or similar launched with F2"), feQuillmark);
    controls->addRow(cbChargerQuillmark);
    return pageWithNote(
        page, controls,
        QStringLiteral("F3 and F4 start these programs with the active video. F2 starts "
                       "the capture program Quillmark, or a similar one; with \"Load "
                       "Quillmark\" the active video is handed to it to be loaded."));
}

QWidget *TOptionsFrame::buildDvPage()
{
    auto *page = new QWidget;
    rgfrequenceDV = radioGroup(
        "rgfrequenceDV", QStringLiteral("DV Frequency"),
        {QStringLiteral("32000"), QStringLiteral("44100"), QStringLiteral("48000")}, page);
    rgStandardDV = radioGroup("rgStandardDV", QStringLiteral("Default standard"),
                              {QStringLiteral("Pal"), QStringLiteral("Ntsc")}, page);
    rgRatioDV = radioGroup("rgRatioDV", QStringLiteral("Image ratio"),
                           {QStringLiteral("4x3"), QStringLiteral("16x9")}, page);
    edIntervalle = new QLineEdit(page);
    edIntervalle->setObjectName(QStringLiteral("edIntervalle"));
    rgFormatDuree = radioGroup("rgFormatDuree", QStringLiteral("Format for duration of scenes"),
                               {QStringLiteral("1:23:45.06"), QStringLiteral("1:23:45:06"),
                                QStringLiteral("1h 23mn 45s 06fr")},
                               page);

    const auto byteSetting = [this](QButtonGroup *group, std::uint8_t Settings::*setting) {
        connect(group, &QButtonGroup::idToggled, this, [this, setting](int id, bool checked) {
            if (checked)
                m_settings.*setting = static_cast<std::uint8_t>(id);
        });
    };
    byteSetting(rgfrequenceDV, &Settings::DvAudioRate);
    byteSetting(rgStandardDV, &Settings::DvStandard);
    byteSetting(rgRatioDV, &Settings::DvRatio);
    byteSetting(rgFormatDuree, &Settings::DurationFormat);
    connect(edIntervalle, &QLineEdit::textEdited, this, &TOptionsFrame::intervalEdited);

    auto *controls = new QVBoxLayout;
    auto *groups = new QHBoxLayout;
    for (QButtonGroup *group : {rgfrequenceDV, rgStandardDV, rgRatioDV})
        groups->addWidget(static_cast<QWidget *>(group->parent()));
    controls->addLayout(groups);
    auto *interval = new QFormLayout;
    interval->addRow(QStringLiteral("interval to create scenes "), edIntervalle);
    controls->addLayout(interval);
    controls->addWidget(static_cast<QWidget *>(rgFormatDuree->parent()));
    return pageWithNote(
        page, controls,
        QStringLiteral("The sound frequency, television standard and picture ratio of "
                       "the DV videos that the conversions make; the interval, in "
                       "seconds, of the scenes cut by interval; and how the durations of "
                       "scenes are written (hours:minutes:seconds then frames)."));
}

void TOptionsFrame::ShowSettings()
{
    m_filling = true;
    const Settings &s = m_settings;
    const int mode = s.PreferencesMode;
    selectRadio(rgPrefs, mode);
    setCheck(cbSelection, s.SelectWhenOpening);
    setCheck(cbListe, s.SaveListWhenQuit);
    setCheck(cbSendTo, s.SendTo);
    setCheck(cbDeinterlace, s.Deinterlace);
    cbListe->setEnabled(mode != kPreferencesNone);
    cbSendTo->setEnabled(mode == kPreferencesRegistry);
    SpeedButton1->setEnabled(mode != kPreferencesNone);
    SpeedButton2->setEnabled(mode != kPreferencesNone);

    setComboText(cbAfficherDatecode, s.FormatShowDatecode);
    setComboText(cbAjouterDatecode, s.FormatAddDatecode);
    setComboText(cbRenommer, s.FormatRename);
    {
        const QSignalBlocker blocker(edRenommer);
        edRenommer->setText(s.RenameTemplate);
    }
    setCheck(cbDatecodeavant, s.DatecodeBefore);
    setCheck(cbTimecodeavant, s.TimecodeBefore);

    showFolders();
    setCheck(cbsameFolder, s.SaveInSameFolder);
    edDossierSave->setEnabled(!s.SaveInSameFolder);
    feFichierF3->setFileName(s.FileF3);
    feFichierF4->setFileName(s.FileF4);
    feQuillmark->setFileName(s.FileQuillmark);
    setCheck(cbChargerQuillmark, s.LoadQuillmark);

    selectRadio(rgfrequenceDV, s.DvAudioRate);
    selectRadio(rgStandardDV, s.DvStandard);
    selectRadio(rgRatioDV, s.DvRatio);
    edIntervalle->setText(QString::number(s.Interval));
    selectRadio(rgFormatDuree, s.DurationFormat);
    m_filling = false;
    UpdatePreviews();
}

void TOptionsFrame::ShowPanel()
{
    if (QWidget *owner = parentWidget())
        setGeometry(owner->rect());
    else
        move(0, 0);
    setContextMenuPolicy(Qt::NoContextMenu);
    show();
    raise();
    setEnabled(true);
}

void TOptionsFrame::HidePanel()
{
    hide();
}

void TOptionsFrame::UpdatePreviews()
{
    const Settings &s = m_settings;
    const DateTimeValue now = Now();
    lbRenommerSample->setText(FormatSampleName(s.RenameTemplate, s.FormatRename, now));
    lbAfficherSample->setText(FormatDateTime(s.FormatShowDatecode, now));
    lbAjouterSample->setText(
        FormatSampleName(s.DatecodeBefore ? QStringLiteral("%D_%F%E") : QStringLiteral("%F_%D%E"),
                         s.FormatAddDatecode, now));
    lbTimecodeSample->setText(FormatSampleName(
        s.TimecodeBefore ? QStringLiteral("%T_%F%E") : QStringLiteral("%F_%T%E"), QString(), now));
}

QString TOptionsFrame::Message() const
{
    return m_message->text();
}

void TOptionsFrame::showMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void TOptionsFrame::saveNow()
{
    try {
        if (OnSavePreferences)
            OnSavePreferences();
        showMessage(QString());
    } catch (const PreferencesSaveError &error) {
        showMessage(QString::fromUtf8(error.what()));
    }
}

void TOptionsFrame::storeModeChanged(int mode)
{
    const std::uint8_t previous = m_settings.PreferencesMode;
    if (mode == previous)
        return;
    const SettingValues before = m_settings;
    m_settings.PreferencesMode = static_cast<std::uint8_t>(mode);

    // Portable: the folders move beside the program, unless they lie there.
    if (mode == kPreferencesPortable) {
        const QString programFolder = m_settings.environment().programFolder;
        for (QString *folder : {&m_settings.FolderToOpenFiles, &m_settings.PlaylistFolder,
                                &m_settings.SaveFolder, &m_settings.AutoOpenFolder}) {
            if (!folder->startsWith(programFolder))
                *folder = programFolder;
        }
    }
    applyStoreModeToControls(mode);

    // The settings move into the new store before the old one goes, so that
    // a store that cannot be written loses nothing.
    if (mode != kPreferencesNone) {
        try {
            if (OnSavePreferences)
                OnSavePreferences();
        } catch (const PreferencesSaveError &error) {
            static_cast<SettingValues &>(m_settings) = before;
            m_settings.PreferencesMode = previous;
            if (m_settings.SendTo)
                CreateSendToShortcut(kProgramName);
            else
                RemoveSendToShortcut(kProgramName);
            ShowSettings();
            showMessage(QStringLiteral("The preferences stay where they were: %1")
                            .arg(QString::fromUtf8(error.what())));
            return;
        }
    }
    if (mode != kPreferencesPortable)
        m_settings.DeleteIniPreferences();
    if (mode != kPreferencesRegistry)
        m_settings.DeleteRegistryPreferences();
    showMessage(QString());
}

void TOptionsFrame::applyStoreModeToControls(int mode)
{
    const bool keepList = mode != kPreferencesNone;
    const bool sendTo = mode == kPreferencesRegistry;
    setCheck(cbListe, keepList);
    cbListe->setEnabled(keepList);
    m_settings.SaveListWhenQuit = keepList;
    setCheck(cbSendTo, sendTo);
    cbSendTo->setEnabled(sendTo);
    sendToClicked(sendTo);
    SpeedButton1->setEnabled(keepList);
    SpeedButton2->setEnabled(keepList);
    showFolders();
}

void TOptionsFrame::sendToClicked(bool checked)
{
    if (!checked) {
        RemoveSendToShortcut(kProgramName);
        m_settings.SendTo = false;
        return;
    }
    if (CreateSendToShortcut(kProgramName)) {
        m_settings.SendTo = true;
        return;
    }
    m_settings.SendTo = false;
    setCheck(cbSendTo, false);
    showMessage(QStringLiteral("The shortcut \"%1\" could not be created.")
                    .arg(SendToShortcutPath(kProgramName)));
}

void TOptionsFrame::formatDefaults()
{
    cbAjouterDatecode->setEditText(QStringLiteral("yyyy.mm.dd_hh.nn.ss_am/pm"));
    cbAfficherDatecode->setEditText(QStringLiteral("ddddd tt"));
    cbRenommer->setEditText(QStringLiteral("yyyymmdd hh.nn.ss"));
    edRenommer->setText(QStringLiteral("video'%D%E"));
    cbDatecodeavant->setChecked(false);
    cbTimecodeavant->setChecked(false);
    UpdatePreviews();
}

void TOptionsFrame::folderChosen(TWideDirectoryEdit *edit, QString &setting, const QString &folder)
{
    if (QFileInfo(folder).isDir()) {
        setting = folder;
        showMessage(QString());
    } else {
        showMessage(kFolderMissing.arg(folder));
    }
    edit->setFolder(setting);
}

void TOptionsFrame::intervalEdited(const QString &text)
{
    if (const std::optional<int> seconds = ParseSecondsText(text)) {
        m_settings.Interval = *seconds;
        showMessage(QString());
    } else {
        showMessage(QStringLiteral("The interval must be a whole number of seconds above 0: "
                                   "the interval stays %1 s.")
                        .arg(m_settings.Interval));
    }
}

void TOptionsFrame::showFolders()
{
    edDossierOuvrir->setFolder(m_settings.FolderToOpenFiles);
    edDossierAuto->setFolder(m_settings.AutoOpenFolder);
    edDossierPlayList->setFolder(m_settings.PlaylistFolder);
    edDossierSave->setFolder(m_settings.SaveFolder);
}

} // namespace vidora
