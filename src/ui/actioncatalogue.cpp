#include "ui/actioncatalogue.h"

#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <stdexcept>

namespace vidora {

namespace {

constexpr TActionKind S = TActionKind::Plain;
constexpr TActionKind T = TActionKind::Toggle;

} // namespace

const std::vector<TActionRow> &ActionCatalogue()
{
    // clang-format off
    static const std::vector<TActionRow> rows = {
        {"saQuitter", S, "permanent", "Quit", "", "qt", "quit", "Alt+F4", "Ctrl+Q", kFlagNone, "application-exit", ""},
        {"saCollerFichiers", S, "open", "Paste files", "", "v", "paste", "Ctrl+V", "", kFlagNone, "edit-paste", ""},
        {"saOuvrirFichiers", S, "open", "Open...", "", "o", "openfiles", "Ctrl+O", "", kFlagNone, "document-open", ""},
        {"saInterrompre", S, "permanent", "Abort", "", "", "", "Esc", "", kFlagNone, "process-stop", ""},
        {"saOrdreAlpha", S, "tri", "Alphabetical order", "", "sa", "sortalpha", "Alt+A", "", kFlagNone, "", ""},
        {"saOuvrirDossierPrefere", S, "open", "Open the preferred folder", "", "f7", "openpreferred", "F7", "", kFlagNone, "folder-open", ""},
        {"ccDossierParent", S, "mono", "Parent folder", "", "f", "parent", "Ctrl+F", "", kFlagNone, "go-up", "DossierParent"},
        {"ccConvertirDV1", S, "multi", "Convert in type 1", "", "1", "converttype1", "Ctrl+Num+1", "Shift+Ctrl+1", kFlagNone, "", "ConvertirDV1"},
        {"ccSupprimerFichier", S, "multi", "Delete the files", "", "del", "delete", "Shift+Del", "", kFlagNone, "edit-delete", "SupprimerFichier"},
        {"saSelectionnerTout", S, "list", "Select all", "", "a", "selectall", "Ctrl+A", "", kFlagNone, "edit-select-all", ""},
        {"saOuvrirTout", S, "open", "Open all", "", "oa", "openall", "Ctrl+F7", "", kFlagNone, "", ""},
        {"saOuvrirunDossier", S, "open", "Open a folder...", "", "l", "openfolder", "Ctrl+L", "", kFlagNone, "folder", ""},
        {"saInterrompreTous", S, "permanent", "Abort all", "", "", "", "Shift+Esc", "", kFlagNone, "", ""},
        {"saSauverListe", S, "list", "Save the list as...", "", "s", "savelist", "Ctrl+S", "", kFlagNone, "document-save-as", ""},
        {"saOuvrirPlayList", S, "open", "Open a playlist...", "", "u", "playlist", "Ctrl+U", "", kFlagNone, "", ""},
        {"saOuvrirDefaultPlayList", S, "open", "Open the default playlist", "", "dp", "defaultplaylist", "Shift+F7", "", kFlagNone, "", ""},
        {"saTriTaille", S, "tri", "Sort by size", "", "ss", "sortbysize", "Alt+S", "", kFlagNone, "", ""},
        {"saTrierModify", S, "tri", "Sort by filedate", "", "sf", "sortbyfiledate", "Alt+F", "", kFlagNone, "", ""},
        {"ccOpenFichierF3", S, "multi", "Open with...", "", "f3", "openf3", "F3", "", kFlagNone, "", "OpenFichierF3"},
        {"ccOpenFichierF4", S, "multi", "Open with...", "", "f4", "openf4", "F4", "", kFlagNone, "", "OpenFichierF4"},
        {"saOuvrirScript", S, "open", "Launch a script", "", "os", "openscript", "Ctrl+Shift+L", "", kFlagNone, "system-run", ""},
        {"saTriDatecode", S, "tri", "Sort by datecode", "", "sd", "sortbydate", "Alt+D", "", kFlagNone, "", ""},
        {"ccAnniversaire", S, "permanent", "Birthday", "", "", "", "", "", kFlagNone, "", "Anniversaire"},
        {"ccVisitHomepage", S, "permanent", "Visit the homepage of %s", "", "hp", "homepage", "Alt+H", "", kFlagNone, "", "VisitHomePage"},
        {"ccSendMail", S, "permanent", "Send an e-mail", "", "sm", "sendmail", "Alt+M", "", kFlagNone, "", "SendMail"},
        {"ccVisitBlog", S, "permanent", "Visit the blog", "", "bg", "blog", "Alt+B", "", kFlagNone, "", "VisitBlog"},
        {"saViderListe", S, "list", "Empty the list", "", "el", "emptylist", "Ctrl+Del", "", kFlagNone, "edit-clear", ""},
        {"taBasculerListe", T, "mono", "Show the list", "Hide the list", "f6", "showlist", "F6", "", kFlagOn, "", ""},
        {"taApropos", T, "permanent", "About...", "Close the \"About\" panel", "f1", "about", "F1", "", kFlagNone, "help-about", ""},
        {"taOptions", T, "permanent", "Settings", "Close the settings panel", "f10", "options", "F10", "", kFlagNone, "preferences-system", ""},
        {"taFullscreen", T, "mono", "Fullscreen", "Quit the fullscreen", "fs", "fullscreen", "Alt+Return", "Ctrl+F11", kFlagNone, "view-fullscreen", ""},
        {"taSelectionnerOuverts", T, "open", "Select the files when opened", "Do not select the files when opened", "so", "selectwhenopen", "", "", kFlagNone, "", ""},
        {"saOterFichier", S, "multi", "Remove the files", "", "rem", "remove", "Del", "", kFlagNone, "", ""},
        {"taRaccourcis", T, "permanent", "Display the shortcuts", "Hide the shortcuts", "f11", "shortcuts", "F11", "", kFlagNone, "preferences-desktop-keyboard-shortcuts", ""},
        {"saPlayStop", T, "mono", "Play", "Pause", "py", "play", "Space", "Ctrl+Space", kFlagAuto, "media-playback-start", ""},
        {"saIncVolume", S, "mono", "Increase the volume", "", "iv", "incvolume", "Num++", "", kFlagNone, "", ""},
        {"saDecVolume", S, "mono", "Decrease the volume", "", "dv", "decvolume", "Num+-", "", kFlagNone, "", ""},
        {"saNextFrame", S, "Naviguer", "Move forward one frame", "", "nf", "nextframe", "Ctrl+Right", "", kFlagNone, "", ""},
        {"saNextSecond", S, "Naviguer", "Move forward one second", "", "ns", "nextsecond", "Ctrl+Down", "", kFlagNone, "", ""},
        {"saNextMinute", S, "Naviguer", "Move forward one minute", "", "nm", "nextminute", "Ctrl+PgDown", "", kFlagNone, "", ""},
        {"saAvanceEnd", S, "Naviguer", "Move to the end", "", "ne", "end", "Ctrl+End", "", kFlagNone, "", ""},
        {"saNextScene", S, "Naviguer", "Move forward to next scene", "", "f9", "nextscene", "F9", "", kFlagNone, "", ""},
        {"saPreviousFrame", S, "Naviguer", "Move back one frame", "", "pf", "previousframe", "Ctrl+Left", "", kFlagNone, "", ""},
        {"saPreviousSecond", S, "Naviguer", "Move back one second", "", "ps", "previoussecond", "Ctrl+Up", "", kFlagNone, "", ""},
        {"saPreviousMinute", S, "Naviguer", "Move back one minute", "", "pm", "previousminute", "Ctrl+PgUp", "", kFlagNone, "", ""},
        {"saHome", S, "Naviguer", "Move back to start", "", "ph", "home", "Ctrl+Home", "", kFlagNone, "", ""},
        {"saPreviousScene", S, "Naviguer", "Move back to previous scene", "", "f8", "previousscene", "F8", "", kFlagNone, "", ""},
        {"saTriTimecode", S, "tri", "Sort by timecode", "", "st", "sorttimecode", "Alt+T", "", kFlagNone, "", ""},
        {"saTriDuree", S, "tri", "Sorted by duration", "", "su", "sortduration", "Alt+U", "", kFlagNone, "", ""},
        {"taMute", T, "mono", "Turn sound off", "Turn sound on", "m", "mute", "Ctrl+M", "", kFlagNone, "audio-volume-muted", ""},
        {"taAfficherIncrustation", T, "mono", "Display the inlay", "Hide  inlay", "di", "displayinlay", "Alt+I", "", kFlagNone, "insert-text", ""},
        {"taEditerIncrust", T, "mono", "Edit the inlay", "Stop editing the Inlay", "ei", "editinlay", "Alt+J", "", kFlagNone, "format-text-bold", ""},
        {"ccDecalageHoraire", S, "multi", "Add a time difference", "", "td", "timedifference", "", "", kFlagNone, "appointment-new", "DecalageHoraire"},
        {"taEditerScenes", T, "mono", "Edit the scenes", "Quit the Scenes Editor", "es", "editscenes", "Alt+E", "", kFlagNone, "x-office-document", ""},
        {"saEnregistrerScn", S, "Scenes", "Save the scn file", "", "scn", "savescn", "", "", kFlagNone, "document-save", ""},
        {"saSupprimerScene", S, "Scenes", "Delete a scene", "", "ds", "deletescene", "", "", kFlagNone, "list-remove", ""},
        {"saInsererScene", S, "Scenes", "Insert a scene", "", "is", "insertscene", "", "", kFlagNone, "list-add", ""},
        {"taListeGauche", T, "mono", "List at right", "List at Left", "ww", "mirror", "Alt+W", "", kFlagNone, "", ""},
        {"taVideoSeule", T, "mono", "Display the video only", "Complete Display", "vo", "videoonly", "Ctrl+Return", "", kFlagNone, "", ""},
        {"ccCreerScnByDate", S, "multi", "Create a scn file by datecode", "", "cd", "createscnbydate", "", "", kFlagNone, "", "CreerScnByDate"},
        {"ccCutScenes", S, "multi", "Split in scenes", "", "c", "cutscenes", "Ctrl+C", "", kFlagNone, "", "CutScenes"},
        {"ccConvertirDV2", S, "multi", "Convert in type 2", "", "2", "converttype2", "Ctrl+Num+2", "Ctrl+Shift+2", kFlagNone, "", "ConvertirDV2"},
        {"ccRecompresserDV2", S, "multi", "Recompress into DV type 2", "", "g", "recompressdv2", "Ctrl+G", "", kFlagNone, "", "RecompresserDV2"},
        {"ccCorrigerType2", S, "multi", "Fix the DV type 2", "", "ft", "fixtype2", "Ctrl+Shift+2", "", kFlagNone, "", "CorrigerType2"},
        {"ccConvertirNTSC", S, "multi", "Convert in NTSC", "", "n", "convertntsc", "Ctrl+N", "", kFlagNone, "", "ConvertirNTSC"},
        {"ccConvertirPal", S, "multi", "Convert in Pal", "", "p", "convertpal", "Ctrl+P", "", kFlagNone, "", "ConvertirPal"},
        {"ccIncruster", S, "multi", "Inlay in the video", "", "i", "inlay", "Ctrl+I", "", kFlagNone, "", "Incruster"},
        {"ccDecalerHoraire", S, "multi", "Fix a time difference", "", "e", "settimedifference", "Ctrl+E", "", kFlagNone, "", "DecalerHoraire"},
        {"ccExtraireAudio", S, "multi", "Extract audio", "", "w", "extractaudio", "Ctrl+W", "", kFlagNone, "", "ExtraireAudio"},
        {"ccCreerScnByContenu", S, "multi", "Create a scn file with content", "", "$", "createscnbycontent", "Ctrl+;", "", kFlagNone, "", "CreerScnByContenu"},
        {"ccSupprimerScn", S, "multi", "Delete the scn file", "", "z", "deletescn", "Ctrl+Z", "", kFlagNone, "", "SupprimerScn"},
        {"ccCreerSrt", S, "multi", "Create a srt file with subtitles", "", "sr", "createsrt", "Ctrl+Shift+S", "", kFlagNone, "", "CreerSrt"},
        {"ccSupprimerSrt", S, "multi", "Delete the srt file", "", "dt", "deletesrt", "Ctrl+Shift+Z", "", kFlagNone, "", "SupprimerSrt"},
        {"ccExporterScenesTexte", S, "multi", "Export the scenes as text", "", "x", "exportscntext", "Ctrl+X", "", kFlagNone, "", "ExporterScenesTexte"},
        {"ccExporterScenesExcel", S, "multi", "Export the scenes to Excel", "", "xe", "exportexcel", "Ctrl+Shift+X", "", kFlagNone, "", "ExporterScenesExcel"},
        {"ccQuillmark", S, "multi", "Open with Quillmark", "", "f2", "quillmark", "F2", "", kFlagNone, "", "Quillmark"},
        {"ccDefaultPlayer", S, "mono", "Play with the default media player", "", "f5", "defaultplayer", "F5", "", kFlagNone, "", "DefaultPlayer"},
        {"saRiffHeader", S, "mono", "Read the RIFF header", "", "h", "riffheader", "Ctrl+H", "", kFlagNone, "", "RiffHeader"},
        {"ccFrequenceVideo", S, "multi", "Fix the video framerate", "", "y", "frequency", "Ctrl+Y", "", kFlagNone, "", "FrequenceVideo"},
        {"ccModifierCodec", S, "multi", "Change the codec", "", "k", "codec", "Ctrl+K", "", kFlagNone, "", "ModifierCodec"},
        {"ccAjouterDatecode", S, "Renommer", "Add datecode", "", "d", "adddatecode", "Ctrl+D", "", kFlagNone, "", "AjouterDatecode"},
        {"ccAjouterTimecode", S, "Renommer", "Add timecode", "", "t", "addtimecode", "Ctrl+T", "", kFlagNone, "", "AjouterTimecode"},
        {"ccRenommer", S, "Renommer", "Rename", "", "r", "rename", "Ctrl+R", "", kFlagNone, "", "Renommer"},
        {"ccDateFichier", S, "multi", "Modify the date of file", "", "b", "changefiledate", "Ctrl+B", "", kFlagNone, "", "DateFichier"},
        {"ccPurgerNom", S, "Renommer", "Shorten the name", "", "sh", "shorten", "Ctrl+Q", "", kFlagNone, "", "PurgerNom"},
        {"ccExporterScenesCalc", S, "multi", "Export the scenes to OOo.Calc", "", "ec", "exportooocalc", "", "", kFlagNone, "", "ExporterScenesCalc"},
        {"ccExporterScenesWriter", S, "multi", "Export the scenes to OOo.Writer", "", "ew", "exportooowriter", "", "", kFlagNone, "", "ExporterScenesWriter"},
        {"ccExporterScenesWord", S, "multi", "Export the scenes to Word", "", "xw", "exportword", "", "", kFlagNone, "", "ExporterScenesWord"},
        {"ccConvertir16x9", S, "multi", "Convert to 16x9", "", "16x9", "convert16x9", "", "", kFlagNone, "", "Convertir16x9"},
        {"ccConvertir4x3", S, "multi", "Convert to 4x3", "", "4x3", "convert4x3", "", "", kFlagNone, "", "Convertir4x3"},
        {"saCopierImagedansPP", S, "mono", "Copy the current image to the clipboard", "", "f12", "copyimage", "F12", "", kFlagNone, "", ""},
        {"ccCreerScnByIntervalle", S, "multi", "Create a scn file with fixed durations", "", "ci", "createscnbyinterval", "Ctrl+Shift+;", "", kFlagNone, "", "CreerScnByIntervalle"},
        {"saBarreListe", S, "permanent", "List", "", "lb", "listbar", "", "", kFlagOn, "", ""},
        {"saBarreVideo", S, "permanent", "Video", "", "vb", "videobar", "", "", kFlagOn, "", ""},
        {"saBarreScenes", S, "permanent", "Scenes", "", "sb", "scenesbar", "", "", kFlagHidden, "", ""},
        {"sabarreOuvrir", S, "permanent", "Open", "", "ob", "openbar", "", "", kFlagOn, "", ""},
        {"saBarreInterface", S, "permanent", "Interface", "", "ib", "interfacebar", "", "", kFlagOn, "", ""},
        {"saVueReduite", S, "mono", "Reduced size", "", "rd", "reduce", "Ctrl+F6", "", kFlagNone, "", ""},
        {"taEditerTitres", T, "Scenes", "Edit the title", "Finish editing titles", "", "", "", "", kFlagNone, "text-x-generic", ""},
        {"taDeinterlace", T, "mono", "Deinterlace", "Stop deinterlacing", "di", "deinterlace", "Ctrl+F12", "", kFlagAuto, "view-refresh", ""},
        {"saDureeTotale", S, "list", "Total duration of videos", "", "", "", "Ctrl+J", "", kFlagNone, "", ""},
    };
    // clang-format on
    return rows;
}

const std::vector<TMenuLayout> &MainMenuLayout()
{
    static const std::vector<TMenuLayout> menus = {
        {"mnuFichiers",
         "Files",
         {"saOuvrirFichiers",
          "saCollerFichiers",
          "saOuvrirunDossier",
          "saOuvrirDossierPrefere",
          "saOuvrirTout",
          "-",
          "saOuvrirPlayList",
          "saOuvrirDefaultPlayList",
          "saSauverListe",
          "-",
          "taBasculerListe",
          ">Sort the list",
          "saOrdreAlpha",
          "saTriTaille",
          "saTrierModify",
          "saTriDatecode",
          "saTriTimecode",
          "saTriDuree",
          "<",
          "saViderListe",
          "saDureeTotale",
          "-",
          "saQuitter"}},
        {"mnuAffichage",
         "Display",
         {"taBasculerListe", ">Tool bars", "sabarreOuvrir", "saBarreVideo", "saBarreScenes",
          "saBarreListe", "saBarreInterface", "<", "-", "taVideoSeule", "taListeGauche",
          "taFullscreen", "saVueReduite"}},
        {"mnuVideo",
         "Video",
         {"saPlayStop", "taMute", "saIncVolume", "saDecVolume", "taDeinterlace", "-", "ccQuillmark",
          "ccOpenFichierF3", "ccOpenFichierF4", "ccDefaultPlayer", "-", "saRiffHeader",
          "ccFrequenceVideo", "ccModifierCodec", "ccDateFichier", "-", "ccDossierParent",
          "saOterFichier", "ccSupprimerFichier"}},
        {"mnuRenommer",
         "Rename",
         {"ccAjouterDatecode", "ccAjouterTimecode", "ccRenommer", "-", "ccPurgerNom"}},
        {"mnuConvertir",
         "Convert",
         {"ccConvertirDV1", "ccConvertirDV2", "ccRecompresserDV2", "ccCorrigerType2", "-",
          "ccConvertirNTSC", "ccConvertirPal", "ccConvertir4x3", "ccConvertir16x9", "-",
          "ccDecalerHoraire", "ccExtraireAudio"}},
        {"mnuIncrust",
         "Inlay",
         {"taAfficherIncrustation", "taEditerIncrust", "ccIncruster", "-", "ccCreerSrt",
          "ccSupprimerSrt"}},
        {"mnuScenes",
         "Scenes",
         {"taEditerScenes", "-", "ccCreerScnByContenu", "ccCreerScnByDate",
          "ccCreerScnByIntervalle", "ccSupprimerScn", "-", "ccExporterScenesTexte",
          "ccExporterScenesWriter", "ccExporterScenesCalc", "ccExporterScenesExcel",
          "ccExporterScenesWord", "-", "ccCutScenes"}},
        {"mnuAide",
         "?",
         {"taRaccourcis", "taOptions", "taApropos", "ccVisitHomepage", "ccSendMail",
          "ccVisitBlog"}},
    };
    return menus;
}

const std::vector<TMenuLayout> &PopupLayout()
{
    static const std::vector<TMenuLayout> popups = {
        {"mainPopup",
         "",
         {"saOuvrirFichiers",
          "saCollerFichiers",
          "saOuvrirunDossier",
          "saOuvrirDossierPrefere",
          "saOuvrirPlayList",
          "saOuvrirScript",
          "-",
          "saViderListe",
          "saSauverListe",
          "=Save the detailed list",
          "saSelectionnerTout",
          ">Sort",
          "saOrdreAlpha",
          "saTriTaille",
          "saTrierModify",
          "saTriDatecode",
          "saTriTimecode",
          "saTriDuree",
          "<",
          "-",
          "taRaccourcis",
          "taOptions",
          "taApropos",
          "saQuitter"}},
        {"pmWindow",
         "",
         {"taFullscreen", "-", "saPlayStop", "taMute", "-", "saCopierImagedansPP", "-",
          "taListeGauche", "taVideoSeule"}},
    };
    return popups;
}

const std::vector<TMenuLayout> &ToolbarLayout()
{
    static const std::vector<TMenuLayout> bars = {
        {"tbOuvrir",
         "Open files",
         {"saOuvrirFichiers", "saCollerFichiers", "saOuvrirDossierPrefere", "saOuvrirScript"}},
        {"tbVideo",
         "Change the Video",
         {"taMute", "taAfficherIncrustation", "taDeinterlace", "taFullscreen", "ccDossierParent",
          "ccDecalageHoraire", "taEditerScenes", "taEditerIncrust"}},
        {"tbScenes",
         "",
         {"saInsererScene", "saSupprimerScene", "taEditerTitres", "saEnregistrerScn"}},
        {"tbListe", "list", {"saViderListe", "saSauverListe", "saSelectionnerTout"}},
        {"tbInterface", "Interface", {"taRaccourcis", "taOptions", "taApropos", "saQuitter"}},
    };
    return bars;
}

TActionList::TActionList(QObject *owner)
{
    for (const TActionRow &row : ActionCatalogue()) {
        const QString name = QString::fromUtf8(row.name);
        TCustomSuperAction *action = nullptr;
        if (row.kind == TActionKind::Toggle) {
            auto *toggle = new TtoggleAction(owner);
            toggle->FalseCaption = QString::fromUtf8(row.caption);
            toggle->TrueCaption = QString::fromUtf8(row.trueCaption);
            toggle->FalseHint = toggle->FalseCaption;
            toggle->TrueHint = toggle->TrueCaption;
            action = toggle;
        } else {
            auto *plain = new TSuperAction(owner);
            plain->setCaption(QString::fromUtf8(row.caption));
            plain->setHint(plain->Caption());
            action = plain;
        }
        action->setObjectName(name);
        action->Category = QString::fromUtf8(row.category);
        action->setSwitch(QString::fromUtf8(row.switchName));
        action->setToken(QString::fromUtf8(row.token));
        action->setShortCut(QKeySequence(QString::fromUtf8(row.key)));
        QList<QKeySequence> secondary;
        for (const QString &key : QString::fromUtf8(row.secondary).split(u';', Qt::SkipEmptyParts))
            secondary << QKeySequence(key);
        action->setSecondaryShortcuts(secondary);
        action->setAutoCheck((row.flags & kFlagAuto) != 0);
        action->SetChecked((row.flags & kFlagOn) != 0);
        action->setVisible((row.flags & kFlagHidden) == 0);
        if (*row.icon)
            action->setIcon(QIcon::fromTheme(QString::fromUtf8(row.icon)));
        m_actions << action;
        m_byName.insert(name, action);
    }
    m_clashes = ResolveShortcutClashes(m_actions);
}

TCustomSuperAction *TActionList::Find(const QString &name) const
{
    TCustomSuperAction *action = m_byName.value(name);
    if (action == nullptr)
        throw std::out_of_range("no action named " + name.toStdString());
    return action;
}

TSuperAction *TActionList::Plain(const QString &name) const
{
    auto *plain = qobject_cast<TSuperAction *>(Find(name));
    if (plain == nullptr)
        throw std::out_of_range(name.toStdString() + " is a two-state action");
    return plain;
}

TtoggleAction *TActionList::Toggle(const QString &name) const
{
    auto *toggle = qobject_cast<TtoggleAction *>(Find(name));
    if (toggle == nullptr)
        throw std::out_of_range(name.toStdString() + " is a plain action");
    return toggle;
}

QStringList TActionList::WithoutBehaviour() const
{
    QStringList names;
    for (QAction *action : m_actions) {
        bool bound = false;
        if (auto *plain = qobject_cast<TSuperAction *>(action))
            bound = static_cast<bool>(plain->Onexecute);
        else if (auto *toggle = qobject_cast<TtoggleAction *>(action))
            bound = toggle->OnfalseExecute && toggle->OnTrueExecute;
        if (!bound)
            names << action->objectName();
    }
    return names;
}

void TActionList::FillMenu(QMenu *menu, const QStringList &entries, int &at) const
{
    while (at < entries.size()) {
        const QString &entry = entries[at++];
        if (entry == u"<")
            return;
        if (entry == u"-") {
            menu->addSeparator();
        } else if (entry.startsWith(u'>')) {
            QMenu *sub = menu->addMenu(entry.mid(1));
            FillMenu(sub, entries, at);
        } else if (entry.startsWith(u'=')) {
            // An entry of its own, not an action of the list.
            QAction *own = menu->addAction(entry.mid(1));
            own->setObjectName(entry.mid(1));
            own->setEnabled(false);
        } else {
            menu->addAction(Find(entry));
        }
    }
}

void TActionList::FillMenuBar(QMenuBar *bar) const
{
    for (const TMenuLayout &layout : MainMenuLayout()) {
        QMenu *menu = bar->addMenu(QString::fromUtf8(layout.title));
        menu->setObjectName(QString::fromUtf8(layout.objectName));
        int at = 0;
        FillMenu(menu, layout.entries, at);
    }
}

QMenu *TActionList::MakePopup(const QString &objectName, QWidget *parent) const
{
    for (const TMenuLayout &layout : PopupLayout()) {
        if (objectName != QString::fromUtf8(layout.objectName))
            continue;
        auto *menu = new QMenu(parent);
        menu->setObjectName(objectName);
        int at = 0;
        FillMenu(menu, layout.entries, at);
        return menu;
    }
    return nullptr;
}

QToolBar *TActionList::MakeToolbar(const TMenuLayout &layout, QWidget *parent) const
{
    auto *bar = new QToolBar(QString::fromUtf8(layout.title), parent);
    bar->setObjectName(QString::fromUtf8(layout.objectName));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const QString &entry : layout.entries)
        bar->addAction(Find(entry));
    return bar;
}

} // namespace vidora
