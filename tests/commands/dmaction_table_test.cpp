// The command table against the program's list of commands, row by row; the
// name list; and the scopes that need a file none of the DV tables hold (a
// non-DV AVI, interleaved DV with a sound stream).
#include "dmaction_stage.h"

#include "formats/aviinfo.h"
#include "support/avi_files.h"
#include "support/riffbuilder.h"

#include <map>
#include <string>

namespace vidora::test {
namespace {

using enum TcmdNombre;
using enum TUpdateDisplay;
using enum TUpdateFile;

struct ExpectedRow
{
    const char *name;
    TCmdClass kind;
    TcmdNombre nombre;
    TUpdateDisplay display;
    TUpdateFile update;
    bool progress;
    const char *start;
    const char *error;
    TCmdCategory category;
};

constexpr TCmdClass C = TCmdClass::Custom;
constexpr TCmdClass F = TCmdClass::Fast;
constexpr TCmdClass K = TCmdClass::Cmd;
constexpr TCmdClass G = TCmdClass::Graph;
constexpr TCmdClass R = TCmdClass::Rename;
constexpr TCmdCategory None = TCmdCategory::None;
constexpr TCmdCategory Conv = TCmdCategory::Conversion;
constexpr TCmdCategory Ren = TCmdCategory::Rename;
constexpr TCmdCategory Scn = TCmdCategory::Scenes;

// clang-format off
const ExpectedRow kExpected[] = {
    {"ViderListe", C, fnNone, udFinal, ufNone, false, "", "", None},
    {"DossierParent", C, fnSingle, udNone, ufNone, false, "", "", None},
    {"SupprimerFichier", C, fnSelect, udFinal, ufNone, false, "", "", None},
    {"OpenFichierF3", C, fnSelect, udNone, ufNone, false, "", "", None},
    {"OpenFichierF4", C, fnSelect, udNone, ufNone, false, "", "", None},
    {"Quillmark", C, fnSelect, udNone, ufNone, false, "", "", None},
    {"DefaultPlayer", C, fnSingle, udNone, ufNone, false, "", "", None},
    {"RiffHeader", C, fnSingle, udNone, ufNone, false, "", "", None},
    {"VisitHomePage", C, fnNone, udNone, ufNone, false, "", "", None},
    {"SendMail", C, fnNone, udNone, ufNone, false, "", "", None},
    {"VisitBlog", C, fnNone, udNone, ufNone, false, "", "", None},
    {"Anniversaire", C, fnNone, udNone, ufNone, false, "", "", None},
    {"DecalageHoraire", K, fnSelect, udFinal, ufNone, false, "", "", None},
    {"ConvertirDV1", G, fnSelect, udFinal, ufAdd, true, "Converting %s in type 1", "An error occured while converting %s in type 1", Conv},
    {"ConvertirDV2", G, fnSelect, udFinal, ufAdd, true, "Converting %s in type 2", "An error occured while converting %s in type 2", Conv},
    {"RecompresserDV2", G, fnSelect, udFinal, ufAdd, true, "Compressing %s in DV type 2", "An error occured while compressing %s in DV type 2", Conv},
    {"CorrigerType2", G, fnSelect, udFinal, ufAdd, true, "Fixing %s as video of type 2", "An error occured while fixing %s as video of type 2", Conv},
    {"ConvertirNTSC", G, fnSelect, udFinal, ufAdd, true, "Converting %s in NTSC", "An error occured while converting %s in NTSC", Conv},
    {"ConvertirPal", G, fnSelect, udFinal, ufAdd, true, "Converting %s in Pal", "An error occured while converting %s in Pal", Conv},
    {"Incruster", G, fnSelect, udFinal, ufAdd, true, "Inlaying in %s", "An error occured while inlaying in %s", Conv},
    {"DecalerHoraire", G, fnSelect, udFinal, ufAdd, true, "Setting a time difference in %s", "An eror occured while setting a time difference in %s", Conv},
    {"Convertir16x9", G, fnSelect, udFinal, ufAdd, true, "Converting %s to 16x9", "An error occured while converting %s to 16x9", Conv},
    {"Convertir4x3", G, fnSelect, udFinal, ufAdd, true, "Converting %s to 4x3", "Error while converting %s to 4x3", Conv},
    {"ExtraireAudio", G, fnSelect, udNone, ufNone, true, "Extracting audio from %s", "An error occured while extracting audio from %s", Conv},
    {"CreerScnByDate", G, fnSelect, udFinal, ufReload, true, "Creating a scn file for %s by datecode", "Error while creating a scn file for %s ", Conv},
    {"CreerScnByContenu", G, fnSelect, udEach, ufReload, true, "Creating a scn file by content for %s", "An error occured while creating a scn file by content for %s", Conv},
    {"CreerScnByIntervalle", K, fnSelect, udEach, ufReload, true, "Creating a scn file for %s with fixed durations", "Error while creating a scn file for %s ", Conv},
    {"CutScenes", G, fnSelect, udNone, ufAdd, true, "Extracting from %s the scene %d ", "An error occured while extracting scenes from %s", Conv},
    {"CreerSrt", G, fnSelect, udEach, ufReload, true, "Creating a srt file for %s", "An error occured while creating a srt file for %s", Conv},
    {"SupprimerSrt", F, fnSelect, udEach, ufReload, false, "Deleting the srt file of %s", "An error occured while deleting the srt file of %s", Conv},
    {"SupprimerScn", F, fnSelect, udEach, ufReload, false, "Deleting the scn file of %s", "An error occured while deleting the scn file of %s", Conv},
    {"ExporterScenesTexte", K, fnSelect, udNone, ufNone, true, "Exporting the scenes of %s  to a  text file", "Error while exporting the scenes of %s to a text file", Scn},
    {"ExporterScenesExcel", K, fnSelect, udNone, ufNone, true, "Exporting the scenes of %s to Excel", "Error while exporting the scenes of %s to Excel", Scn},
    {"ExporterScenesWord", K, fnSelect, udNone, ufNone, true, "Exorting the scenes of %s to Word", "Error while exporting the scenes of %s to Word", Scn},
    {"ExporterScenesCalc", K, fnSelect, udNone, ufNone, true, "Exporting the scenes of %s to OOo.Calc", "Error while exporting the scenes of %s to OOo.Calc", Scn},
    {"ExporterScenesWriter", K, fnSelect, udNone, ufNone, true, "Exporting the scenes of %s to OOo.Writer", "Error while exporting the scenes of  %s to OOo.Writer", Scn},
    {"ModifierCodec", F, fnSelect, udFinal, ufReload, false, "", "An error occured while changing the codec of %s", None},
    {"FrequenceVideo", F, fnSelect, udFinal, ufReload, false, "", "An error occured while changing the frame rate of %s", None},
    {"DateFichier", F, fnSelect, udFinal, ufReload, false, "", "An error occured while changing the dates of %s", None},
    {"PurgerNom", R, fnSelect, udNone, ufRename, false, "", "An error occured while renaming %s", Ren},
    {"AjouterDatecode", R, fnSelect, udNone, ufRename, false, "", "An error occured while renaming %s", Ren},
    {"AjouterTimecode", R, fnSelect, udNone, ufRename, false, "", "An error occured while renaming %s", Ren},
    {"Renommer", R, fnSelect, udNone, ufRename, false, "", "An error occured while renaming %s", Ren},
};
// clang-format on

bool IsKind(const tAbstractCmd &command, TCmdClass kind)
{
    switch (kind) {
    case TCmdClass::Custom:
        return dynamic_cast<const tCustomCmd *>(&command) != nullptr;
    case TCmdClass::Fast:
        return dynamic_cast<const TFastcmd *>(&command) != nullptr;
    case TCmdClass::Cmd:
        return dynamic_cast<const Tcmd *>(&command) != nullptr;
    case TCmdClass::Graph:
        return dynamic_cast<const TGraphCmd *>(&command) != nullptr;
    case TCmdClass::Rename:
        return dynamic_cast<const TRenameCmd *>(&command) != nullptr;
    }
    return false;
}

class DmActionTable : public DmActionStage
{};

TEST_F(DmActionTable, EveryCommandIsMadeAsTabledAndFoundByItsName)
{
    ASSERT_EQ(action.cl.Count(), int(std::size(kExpected)));
    for (int i = 0; i < action.cl.Count(); ++i) {
        const ExpectedRow &e = kExpected[i];
        const tAbstractCmd &c = action.cl.At(i);
        SCOPED_TRACE(e.name);
        EXPECT_EQ(c.Name, e.name);
        EXPECT_TRUE(IsKind(c, e.kind));
        EXPECT_EQ(c.Nombre, e.nombre);
        EXPECT_EQ(c.UpdateDisplay, e.display);
        EXPECT_EQ(c.UpdateFile, e.update);
        EXPECT_EQ(c.ShowProgress, e.progress);
        EXPECT_EQ(c.NbPasses, 0);
        EXPECT_EQ(c.StartMessage, e.start);
        EXPECT_EQ(c.ErrorMessage, e.error);
        ASSERT_NE(action.RowOf(c), nullptr);
        EXPECT_EQ(action.RowOf(c)->category, e.category);
        EXPECT_EQ(action.FindCommand(QString(e.name).toLower()), &c);
        EXPECT_EQ(action.FindCommand(QString(e.name).toUpper()), &c);
    }
    EXPECT_EQ(action.FindCommand("ccViderListe"), nullptr);
}

// The commands an action hands a value to, each with the dialog that asks
// for it; every other command takes none and asks nothing.
TEST_F(DmActionTable, OnlyTheCommandsThatAskForAValueTakeOne)
{
    using enum TCmdPreparation;
    const std::map<std::string, TCmdPreparation> withValue = {{"DecalageHoraire", TimeOffset},
                                                              {"DecalerHoraire", TimeOffset},
                                                              {"CreerScnByIntervalle", Interval},
                                                              {"ModifierCodec", Codec},
                                                              {"FrequenceVideo", FrameRate}};
    int found = 0;
    for (const TCommandRow &row : CommandTable()) {
        SCOPED_TRACE(row.name);
        const auto it = withValue.find(row.name);
        const bool takes = it != withValue.end();
        found += takes ? 1 : 0;
        EXPECT_EQ(row.takesValue, takes);
        EXPECT_EQ(row.preparation, takes ? it->second : None);
    }
    EXPECT_EQ(found, int(withValue.size()));
}

// A probe that reports what the test says, for scopes no real file here has.
class ScriptedProbe : public IProbe
{
public:
    explicit ScriptedProbe(ProbeValues values) : m_values(std::move(values)) {}
    ProbeValues Probe(const QString &) override { return m_values; }

private:
    ProbeValues m_values;
};

TEST_F(DmActionTable, InterleavedDvWithASoundStreamCanBeFixed)
{
    writeFileBytes(Path("iavs.avi"), buildAvi(dvType1Layout()).bytes);
    ProbeValues values;
    values.ok = true;
    values.streamCount = 2;
    values.hasDv = true;
    values.video = ProbeVideoFormat{makeFourCC("dvsd"), 720, 576, 400000, 0};
    values.dvInfo = ProbeDvInfo{.vAuxSrc = 1u << 21};
    TaviReading reading;
    reading.probe = std::make_shared<ScriptedProbe>(values);
    const auto entry = TAfficherFichier::Create(Path("iavs.avi"), reading);
    ASSERT_TRUE(entry->Data().interleavedType2);
    bool visible = false;
    bool enabled = false;
    Command("CorrigerType2").FileCondition(entry, visible, enabled);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(visible);
    // A type 1 file whose codec is not "dvsd" is neither converted to NTSC
    // nor shown the command.
    values.streamCount = 1;
    values.video->compression = makeFourCC("CDVC");
    reading.probe = std::make_shared<ScriptedProbe>(values);
    const auto cdvc = TAfficherFichier::Create(Path("iavs.avi"), reading);
    ASSERT_EQ(cdvc->Data().dvType, 1);
    Command("ConvertirNTSC").FileCondition(cdvc, visible, enabled);
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(visible);
    Command("ExtraireAudio").FileCondition(cdvc, visible, enabled);
    EXPECT_FALSE(visible) << "hidden for type 1 with another codec";
}

TEST_F(DmActionTable, AnAviThatIsNotDvIsRecompressedToDvType2)
{
    const QString in = Path("mjpeg.avi");
    ASSERT_TRUE(ffmpegMake({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi",
                            "-i", "sine=frequency=440:sample_rate=48000", "-t", "0.2", "-c:v",
                            "mjpeg", "-c:a", "pcm_s16le", in}));
    const auto entry = AddEntry(in);
    ASSERT_FALSE(entry->Data().isDv);
    for (const char *name : {"ConvertirDV1", "ConvertirDV2", "Incruster", "DecalerHoraire",
                             "Convertir16x9", "ConvertirNTSC", "DateFichier"}) {
        bool visible = true;
        bool enabled = true;
        Command(name).FileCondition(entry, visible, enabled);
        EXPECT_FALSE(enabled) << name;
    }
    ASSERT_TRUE(Run("RecompresserDV2"));
    EXPECT_TRUE(Errors().empty());
    const QString out = Path("mjpeg_dvtype2.avi");
    EXPECT_EQ(dest.Names(), QStringList{"mjpeg_dvtype2.avi"});
    EXPECT_EQ(ProbeStream(out, "v:0", "codec_name,width,height"), "dvvideo,720,576");
    EXPECT_EQ(ProbeStream(out, "a:0", "codec_name,sample_rate"), "pcm_s16le,48000");
    EXPECT_EQ(decodeErrors(out), QString());
}

} // namespace
} // namespace vidora::test
