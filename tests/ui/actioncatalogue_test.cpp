// The main window's action catalogue against the program's published
// command list: every action's kind, captions, names and keys, in order, and
// every menu, pop-up and toolbar with its entries in order.
#include "ui/actioncatalogue.h"

#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace vidora;

namespace {

// name|kind|category|caption|true caption|switch|token|keys as published
const char *const kPublished = R"(
saQuitter|S|permanent|Quit||qt|quit|Alt+F4; "Ctrl+Q"
saCollerFichiers|S|open|Paste files||v|paste|Ctrl+V
saOuvrirFichiers|S|open|Open...||o|openfiles|Ctrl+O
saInterrompre|S|permanent|Abort||||Esc
saOrdreAlpha|S|tri|Alphabetical order||sa|sortalpha|Alt+A
saOuvrirDossierPrefere|S|open|Open the preferred folder||f7|openpreferred|F7
ccDossierParent|S|mono|Parent folder||f|parent|Ctrl+F
ccConvertirDV1|S|multi|Convert in type 1||1|converttype1|Ctrl+Num 1; "Shift+CTRL+1"
ccSupprimerFichier|S|multi|Delete the files||del|delete|Shift+Del
saSelectionnerTout|S|list|Select all||a|selectall|Ctrl+A
saOuvrirTout|S|open|Open all||oa|openall|Ctrl+F7
saOuvrirunDossier|S|open|Open a folder...||l|openfolder|Ctrl+L
saInterrompreTous|S|permanent|Abort all||||Shift+Esc
saSauverListe|S|list|Save the list as...||s|savelist|Ctrl+S
saOuvrirPlayList|S|open|Open a playlist...||u|playlist|Ctrl+U
saOuvrirDefaultPlayList|S|open|Open the default playlist||dp|defaultplaylist|Shift+F7
saTriTaille|S|tri|Sort by size||ss|sortbysize|Alt+S
saTrierModify|S|tri|Sort by filedate||sf|sortbyfiledate|Alt+F
ccOpenFichierF3|S|multi|Open with...||f3|openf3|F3
ccOpenFichierF4|S|multi|Open with...||f4|openf4|F4
saOuvrirScript|S|open|Launch a script||os|openscript|Ctrl+Shift+L
saTriDatecode|S|tri|Sort by datecode||sd|sortbydate|Alt+D
ccAnniversaire|S|permanent|Birthday||||
ccVisitHomepage|S|permanent|Visit the homepage of %s||hp|homepage|Alt+H
ccSendMail|S|permanent|Send an e-mail||sm|sendmail|Alt+M
ccVisitBlog|S|permanent|Visit the blog||bg|blog|Alt+B
saViderListe|S|list|Empty the list||el|emptylist|Ctrl+Del
taBasculerListe|T|mono|Show the list|Hide the list|f6|showlist|F6
taApropos|T|permanent|About...|Close the "About" panel|f1|about|F1
taOptions|T|permanent|Settings|Close the settings panel|f10|options|F10
taFullscreen|T|mono|Fullscreen|Quit the fullscreen|fs|fullscreen|Alt+Enter; "CTRL+F11"
taSelectionnerOuverts|T|open|Select the files when opened|Do not select the files when opened|so|selectwhenopen|
saOterFichier|S|multi|Remove the files||rem|remove|Del
taRaccourcis|T|permanent|Display the shortcuts|Hide the shortcuts|f11|shortcuts|F11
saPlayStop|T|mono|Play|Pause|py|play|Space; "CTRl+Space"
saIncVolume|S|mono|Increase the volume||iv|incvolume|Num +
saDecVolume|S|mono|Decrease the volume||dv|decvolume|Num -
saNextFrame|S|Naviguer|Move forward one frame||nf|nextframe|Ctrl+Right
saNextSecond|S|Naviguer|Move forward one second||ns|nextsecond|Ctrl+Down
saNextMinute|S|Naviguer|Move forward one minute||nm|nextminute|Ctrl+PgDn
saAvanceEnd|S|Naviguer|Move to the end||ne|end|Ctrl+End
saNextScene|S|Naviguer|Move forward to next scene||f9|nextscene|F9
saPreviousFrame|S|Naviguer|Move back one frame||pf|previousframe|Ctrl+Left
saPreviousSecond|S|Naviguer|Move back one second||ps|previoussecond|Ctrl+Up
saPreviousMinute|S|Naviguer|Move back one minute||pm|previousminute|Ctrl+PgUp
saHome|S|Naviguer|Move back to start||ph|home|Ctrl+Home
saPreviousScene|S|Naviguer|Move back to previous scene||f8|previousscene|F8
saTriTimecode|S|tri|Sort by timecode||st|sorttimecode|Alt+T
saTriDuree|S|tri|Sorted by duration||su|sortduration|Alt+U
taMute|T|mono|Turn sound off|Turn sound on|m|mute|Ctrl+M
taAfficherIncrustation|T|mono|Display the inlay|Hide  inlay|di|displayinlay|Alt+I
taEditerIncrust|T|mono|Edit the inlay|Stop editing the Inlay|ei|editinlay|Alt+J
ccDecalageHoraire|S|multi|Add a time difference||td|timedifference|
taEditerScenes|T|mono|Edit the scenes|Quit the Scenes Editor|es|editscenes|Alt+E
saEnregistrerScn|S|Scenes|Save the scn file||scn|savescn|
saSupprimerScene|S|Scenes|Delete a scene||ds|deletescene|
saInsererScene|S|Scenes|Insert a scene||is|insertscene|
taListeGauche|T|mono|List at right|List at Left|ww|mirror|Alt+W
taVideoSeule|T|mono|Display the video only|Complete Display|vo|videoonly|Ctrl+Enter
ccCreerScnByDate|S|multi|Create a scn file by datecode||cd|createscnbydate|
ccCutScenes|S|multi|Split in scenes||c|cutscenes|Ctrl+C
ccConvertirDV2|S|multi|Convert in type 2||2|converttype2|Ctrl+Num 2; "CTRL+SHIFT+2"
ccRecompresserDV2|S|multi|Recompress into DV type 2||g|recompressdv2|Ctrl+G
ccCorrigerType2|S|multi|Fix the DV type 2||ft|fixtype2|Ctrl+Shift+2
ccConvertirNTSC|S|multi|Convert in NTSC||n|convertntsc|Ctrl+N
ccConvertirPal|S|multi|Convert in Pal||p|convertpal|Ctrl+P
ccIncruster|S|multi|Inlay in the video||i|inlay|Ctrl+I
ccDecalerHoraire|S|multi|Fix a time difference||e|settimedifference|Ctrl+E
ccExtraireAudio|S|multi|Extract audio||w|extractaudio|Ctrl+W
ccCreerScnByContenu|S|multi|Create a scn file with content||$|createscnbycontent|Ctrl+;
ccSupprimerScn|S|multi|Delete the scn file||z|deletescn|Ctrl+Z
ccCreerSrt|S|multi|Create a srt file with subtitles||sr|createsrt|Ctrl+Shift+S
ccSupprimerSrt|S|multi|Delete the srt file||dt|deletesrt|Ctrl+Shift+Z
ccExporterScenesTexte|S|multi|Export the scenes as text||x|exportscntext|Ctrl+X
ccExporterScenesExcel|S|multi|Export the scenes to Excel||xe|exportexcel|Ctrl+Shift+X
ccQuillmark|S|multi|Open with Quillmark||f2|quillmark|F2
ccDefaultPlayer|S|mono|Play with the default media player||f5|defaultplayer|F5
saRiffHeader|S|mono|Read the RIFF header||h|riffheader|Ctrl+H
ccFrequenceVideo|S|multi|Fix the video framerate||y|frequency|Ctrl+Y
ccModifierCodec|S|multi|Change the codec||k|codec|Ctrl+K
ccAjouterDatecode|S|Renommer|Add datecode||d|adddatecode|Ctrl+D
ccAjouterTimecode|S|Renommer|Add timecode||t|addtimecode|Ctrl+T
ccRenommer|S|Renommer|Rename||r|rename|Ctrl+R
ccDateFichier|S|multi|Modify the date of file||b|changefiledate|Ctrl+B
ccPurgerNom|S|Renommer|Shorten the name||sh|shorten|Ctrl+Q
ccExporterScenesCalc|S|multi|Export the scenes to OOo.Calc||ec|exportooocalc|
ccExporterScenesWriter|S|multi|Export the scenes to OOo.Writer||ew|exportooowriter|
ccExporterScenesWord|S|multi|Export the scenes to Word||xw|exportword|
ccConvertir16x9|S|multi|Convert to 16x9||16x9|convert16x9|
ccConvertir4x3|S|multi|Convert to 4x3||4x3|convert4x3|
saCopierImagedansPP|S|mono|Copy the current image to the clipboard||f12|copyimage|F12
ccCreerScnByIntervalle|S|multi|Create a scn file with fixed durations||ci|createscnbyinterval|Ctrl+Shift+;
saBarreListe|S|permanent|List||lb|listbar|
saBarreVideo|S|permanent|Video||vb|videobar|
saBarreScenes|S|permanent|Scenes||sb|scenesbar|
sabarreOuvrir|S|permanent|Open||ob|openbar|
saBarreInterface|S|permanent|Interface||ib|interfacebar|
saVueReduite|S|mono|Reduced size||rd|reduce|Ctrl+F6
taEditerTitres|T|Scenes|Edit the title|Finish editing titles|||
taDeinterlace|T|mono|Deinterlace|Stop deinterlacing|di|deinterlace|Ctrl+F12
saDureeTotale|S|list|Total duration of videos||||Ctrl+J
)";

const char *const kMenus = R"(
Files: saOuvrirFichiers, saCollerFichiers, saOuvrirunDossier, saOuvrirDossierPrefere, saOuvrirTout, -, saOuvrirPlayList, saOuvrirDefaultPlayList, saSauverListe, -, taBasculerListe, Sort the list[saOrdreAlpha, saTriTaille, saTrierModify, saTriDatecode, saTriTimecode, saTriDuree], saViderListe, saDureeTotale, -, saQuitter
Display: taBasculerListe, Tool bars[sabarreOuvrir, saBarreVideo, saBarreScenes, saBarreListe, saBarreInterface], -, taVideoSeule, taListeGauche, taFullscreen, saVueReduite
Video: saPlayStop, taMute, saIncVolume, saDecVolume, taDeinterlace, -, ccQuillmark, ccOpenFichierF3, ccOpenFichierF4, ccDefaultPlayer, -, saRiffHeader, ccFrequenceVideo, ccModifierCodec, ccDateFichier, -, ccDossierParent, saOterFichier, ccSupprimerFichier
Rename: ccAjouterDatecode, ccAjouterTimecode, ccRenommer, -, ccPurgerNom
Convert: ccConvertirDV1, ccConvertirDV2, ccRecompresserDV2, ccCorrigerType2, -, ccConvertirNTSC, ccConvertirPal, ccConvertir4x3, ccConvertir16x9, -, ccDecalerHoraire, ccExtraireAudio
Inlay: taAfficherIncrustation, taEditerIncrust, ccIncruster, -, ccCreerSrt, ccSupprimerSrt
Scenes: taEditerScenes, -, ccCreerScnByContenu, ccCreerScnByDate, ccCreerScnByIntervalle, ccSupprimerScn, -, ccExporterScenesTexte, ccExporterScenesWriter, ccExporterScenesCalc, ccExporterScenesExcel, ccExporterScenesWord, -, ccCutScenes
?: taRaccourcis, taOptions, taApropos, ccVisitHomepage, ccSendMail, ccVisitBlog
)";
const char *const kPopups = R"(
mainPopup: saOuvrirFichiers, saCollerFichiers, saOuvrirunDossier, saOuvrirDossierPrefere, saOuvrirPlayList, saOuvrirScript, -, saViderListe, saSauverListe, Save the detailed list, saSelectionnerTout, Sort[saOrdreAlpha, saTriTaille, saTrierModify, saTriDatecode, saTriTimecode, saTriDuree], -, taRaccourcis, taOptions, taApropos, saQuitter
pmWindow: taFullscreen, -, saPlayStop, taMute, -, saCopierImagedansPP, -, taListeGauche, taVideoSeule
)";
const char *const kToolbars = R"(
tbOuvrir: saOuvrirFichiers, saCollerFichiers, saOuvrirDossierPrefere, saOuvrirScript
tbVideo: taMute, taAfficherIncrustation, taDeinterlace, taFullscreen, ccDossierParent, ccDecalageHoraire, taEditerScenes, taEditerIncrust
tbScenes: saInsererScene, saSupprimerScene, taEditerTitres, saEnregistrerScn
tbListe: saViderListe, saSauverListe, saSelectionnerTout
tbInterface: taRaccourcis, taOptions, taApropos, saQuitter
)";

// A key as the command list writes it ("Ctrl+Num 1", "Alt+Enter", "Num +")
// in Qt's words.
QKeySequence PublishedKey(QString text)
{
    text = text.trimmed();
    text.remove(u'"');
    text.replace(QStringLiteral("Num +"), QStringLiteral("Num++"));
    text.replace(QStringLiteral("Num -"), QStringLiteral("Num+-"));
    text.replace(QStringLiteral("Num "), QStringLiteral("Num+"));
    text.replace(QStringLiteral("Enter"), QStringLiteral("Return"));
    text.replace(QStringLiteral("PgDn"), QStringLiteral("PgDown"));
    return QKeySequence(text);
}

QString Describe(const QList<QAction *> &actions)
{
    QStringList parts;
    for (QAction *action : actions) {
        if (action->isSeparator())
            parts << QStringLiteral("-");
        else if (action->menu())
            parts << action->menu()->title() + u'[' + Describe(action->menu()->actions()) + u']';
        else
            parts << action->objectName();
    }
    return parts.join(QStringLiteral(", "));
}

QStringList Lines(const char *text)
{
    return QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(ActionCatalogue, EveryActionMatchesThePublishedList)
{
    QObject owner;
    TActionList list(&owner);
    const QStringList rows = Lines(kPublished);
    ASSERT_EQ(list.Actions().size(), rows.size());

    // The keys the clash resolution took away still belong to the list.
    QHash<QString, QList<QKeySequence>> dropped;
    for (const ShortcutClash &clash : list.Clashes())
        dropped[clash.dropped->objectName()] << clash.key;

    for (int i = 0; i < rows.size(); ++i) {
        const QStringList c = rows[i].split(u'|');
        ASSERT_EQ(c.size(), 8) << rows[i].toStdString();
        auto *action = static_cast<TCustomSuperAction *>(list.Actions()[i]);
        SCOPED_TRACE(c[0].toStdString());
        EXPECT_EQ(action->objectName(), c[0]);
        EXPECT_EQ(action->Category, c[2]);
        EXPECT_EQ(action->Switch(), c[5]);
        EXPECT_EQ(action->Token(), c[6]);
        if (c[1] == u"T") {
            auto *toggle = qobject_cast<TtoggleAction *>(action);
            ASSERT_NE(toggle, nullptr);
            EXPECT_EQ(toggle->FalseCaption, c[3]);
            EXPECT_EQ(toggle->TrueCaption, c[4]);
            EXPECT_EQ(toggle->Caption(), toggle->Checked() ? c[4] : c[3]);
        } else {
            ASSERT_NE(qobject_cast<TSuperAction *>(action), nullptr);
            EXPECT_EQ(action->Caption(), c[3]);
        }
        QList<QKeySequence> expected;
        for (const QString &key : c[7].split(QStringLiteral("; "), Qt::SkipEmptyParts))
            expected << PublishedKey(key);
        QList<QKeySequence> actual;
        if (!action->ShortCut().isEmpty())
            actual << action->ShortCut();
        actual << action->SecondaryShortcuts() << dropped.value(action->objectName());
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
        EXPECT_EQ(actual, expected);
    }
}

TEST(ActionCatalogue, StartStatesFollowTheFlags)
{
    QObject owner;
    TActionList list(&owner);
    for (const char *name :
         {"taBasculerListe", "saBarreListe", "saBarreVideo", "sabarreOuvrir", "saBarreInterface"})
        EXPECT_TRUE(list.Find(QString::fromUtf8(name))->Checked()) << name;
    EXPECT_FALSE(list.Find(QStringLiteral("saBarreScenes"))->isVisible());
    EXPECT_TRUE(list.Find(QStringLiteral("saPlayStop"))->AutoCheck());
    EXPECT_TRUE(list.Find(QStringLiteral("taDeinterlace"))->AutoCheck());
    EXPECT_FALSE(list.Find(QStringLiteral("taMute"))->AutoCheck());
    EXPECT_EQ(list.Find(QStringLiteral("taBasculerListe"))->Caption(),
              QStringLiteral("Hide the list"));
}

TEST(ActionCatalogue, ShortcutClashesAreResolvedOnce)
{
    QObject owner;
    TActionList list(&owner);
    QStringList clashes;
    for (const ShortcutClash &clash : list.Clashes())
        clashes << QStringLiteral("%1 kept by %2%3, dropped by %4%5")
                       .arg(clash.key.toString(), clash.kept->objectName(),
                            clash.keptPrimary ? QString() : QStringLiteral(" (secondary)"),
                            clash.dropped->objectName(),
                            clash.droppedPrimary ? QString() : QStringLiteral(" (secondary)"));
    for (const QString &line : clashes)
        std::printf("clash: %s\n", qPrintable(line));
    EXPECT_EQ(
        clashes,
        (QStringList{
            QStringLiteral(
                "Ctrl+Shift+2 kept by ccConvertirDV2 (secondary), dropped by ccCorrigerType2"),
            QStringLiteral("Ctrl+Q kept by saQuitter (secondary), dropped by ccPurgerNom"),
        }));
    // Every key now belongs to one action.
    QHash<QKeySequence, QString> owners;
    for (QAction *action : list.Actions()) {
        for (const QKeySequence &key : action->shortcuts()) {
            if (key.isEmpty())
                continue;
            EXPECT_FALSE(owners.contains(key))
                << key.toString().toStdString() << " " << owners.value(key).toStdString() << " "
                << action->objectName().toStdString();
            owners.insert(key, action->objectName());
        }
    }
}

TEST(ActionCatalogue, MenusPopupsAndToolbarsHoldTheirEntriesInOrder)
{
    QWidget window;
    TActionList list(&window);
    QMenuBar bar;
    list.FillMenuBar(&bar);
    QStringList menus;
    for (QAction *menu : bar.actions())
        menus << menu->menu()->title() + QStringLiteral(": ") + Describe(menu->menu()->actions());
    EXPECT_EQ(menus, Lines(kMenus));

    QStringList popups;
    for (const char *name : {"mainPopup", "pmWindow"}) {
        QMenu *popup = list.MakePopup(QString::fromUtf8(name), &window);
        ASSERT_NE(popup, nullptr);
        popups << QString::fromUtf8(name) + QStringLiteral(": ") + Describe(popup->actions());
    }
    // The pop-up's own entry carries its caption as its name.
    EXPECT_EQ(popups, Lines(kPopups));

    QStringList bars;
    for (const TMenuLayout &layout : ToolbarLayout()) {
        QToolBar *toolbar = list.MakeToolbar(layout, &window);
        EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        bars << toolbar->objectName() + QStringLiteral(": ") + Describe(toolbar->actions());
    }
    EXPECT_EQ(bars, Lines(kToolbars));
}
