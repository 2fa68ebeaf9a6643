// The command table of the action data module: one row per command, in the
// order of the command list. A new command is one more row (and its handlers
// in the module).
#include "commands/dmaction.h"

#include <array>

namespace vidora {

namespace {

using enum TCmdClass;
using enum TcmdNombre;
using enum TUpdateDisplay;
using enum TUpdateFile;
using M = TdmAction;

constexpr TCmdCategory kNoCategory = TCmdCategory::None;
constexpr TCmdCategory kConversion = TCmdCategory::Conversion;
constexpr TCmdCategory kRename = TCmdCategory::Rename;
constexpr TCmdCategory kScenes = TCmdCategory::Scenes;

// clang-format off
const std::array kRows{
    // File and shell commands.
    TCommandRow{"ViderListe", Custom, fnNone, udFinal, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::ViderListeExecution, nullptr},
    TCommandRow{"DossierParent", Custom, fnSingle, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::DossierParentExecution, nullptr},
    TCommandRow{"SupprimerFichier", Custom, fnSelect, udFinal, ufNone, false, nullptr, nullptr, kNoCategory,
                &M::SupprimerFichierFileCondition, false, nullptr,
                &M::SupprimerFichierFileConFirmation, nullptr, &M::SupprimerFichierExecution, nullptr},
    TCommandRow{"OpenFichierF3", Custom, fnSelect, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, &M::OpenFichierF3CommandCondition, nullptr, nullptr,
                &M::OpenFichierF3Execution, nullptr},
    TCommandRow{"OpenFichierF4", Custom, fnSelect, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, &M::OpenFichierF4CommandCondition, nullptr, nullptr,
                &M::OpenFichierF4Execution, nullptr},
    TCommandRow{"Quillmark", Custom, fnSelect, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                &M::QuillmarkFileCondition, false, nullptr, nullptr, nullptr,
                &M::QuillmarkExecution, nullptr},
    TCommandRow{"DefaultPlayer", Custom, fnSingle, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::DefaultPlayerExecution, nullptr},
    TCommandRow{"RiffHeader", Custom, fnSingle, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::RiffHeaderExecution, nullptr},
    TCommandRow{"VisitHomePage", Custom, fnNone, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::VisitHomePageExecution, nullptr},
    TCommandRow{"SendMail", Custom, fnNone, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::SendMailExecution, nullptr},
    TCommandRow{"VisitBlog", Custom, fnNone, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, &M::VisitBlogCommandCondition, nullptr, nullptr,
                &M::VisitBlogExecution, nullptr},
    TCommandRow{"Anniversaire", Custom, fnNone, udNone, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, &M::AnniversaireCommandCondition, nullptr, nullptr,
                &M::AnniversaireExecution, nullptr},
    TCommandRow{"DecalageHoraire", Cmd, fnSelect, udFinal, ufNone, false, nullptr, nullptr, kNoCategory,
                nullptr, false, nullptr, nullptr, nullptr, &M::DecalageHoraireExecution, nullptr},

    // Video commands.
    TCommandRow{"ConvertirDV1", Graph, fnSelect, udFinal, ufAdd, true,
                "Converting %s in type 1", "An error occured while converting %s in type 1", kConversion,
                &M::ConvertirDV1FileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::ConvertirDV1BuildGraph, "_type1.avi"},
    TCommandRow{"ConvertirDV2", Graph, fnSelect, udFinal, ufAdd, true,
                "Converting %s in type 2", "An error occured while converting %s in type 2", kConversion,
                &M::ConvertirDV2FileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::ConvertirDV2BuildGraph, "_type2.avi"},
    TCommandRow{"RecompresserDV2", Graph, fnSelect, udFinal, ufAdd, true,
                "Compressing %s in DV type 2", "An error occured while compressing %s in DV type 2", kConversion,
                &M::RecompresserDV2FileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::RecompresserDV2BuildGraph, "_dvtype2.avi"},
    TCommandRow{"CorrigerType2", Graph, fnSelect, udFinal, ufAdd, true,
                "Fixing %s as video of type 2", "An error occured while fixing %s as video of type 2", kConversion,
                &M::CorrigerType2FileCondition, true, nullptr, nullptr,
                nullptr, nullptr, &M::CorrigerType2BuildGraph, "_fixed.avi"},
    TCommandRow{"ConvertirNTSC", Graph, fnSelect, udFinal, ufAdd, true,
                "Converting %s in NTSC", "An error occured while converting %s in NTSC", kConversion,
                &M::ConvertirNTSCFileCondition, true, nullptr, nullptr,
                nullptr, nullptr, &M::ConvertirNTSCBuildGraph, "_ntsc.avi"},
    TCommandRow{"ConvertirPal", Graph, fnSelect, udFinal, ufAdd, true,
                "Converting %s in Pal", "An error occured while converting %s in Pal", kConversion,
                &M::ConvertirPalFileCondition, true, nullptr, nullptr,
                nullptr, nullptr, &M::ConvertirPalBuildGraph, "_pal.avi"},
    TCommandRow{"Incruster", Graph, fnSelect, udFinal, ufAdd, true,
                "Inlaying in %s", "An error occured while inlaying in %s", kConversion,
                &M::IncrusterFileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::IncrusterBuildGraph, "_in.avi"},
    TCommandRow{"DecalerHoraire", Graph, fnSelect, udFinal, ufAdd, true,
                "Setting a time difference in %s", "An eror occured while setting a time difference in %s", kConversion,
                &M::isDVFileCondition, false, nullptr, nullptr,
                &M::DecalerHoraireDestination, nullptr, &M::DecalerHoraireBuildGraph},
    TCommandRow{"Convertir16x9", Graph, fnSelect, udFinal, ufAdd, true,
                "Converting %s to 16x9", "An error occured while converting %s to 16x9", kConversion,
                &M::Convertir16x9FileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::Convertir16x9BuildGraph, "_16x9.avi"},
    TCommandRow{"Convertir4x3", Graph, fnSelect, udFinal, ufAdd, true,
                "Converting %s to 4x3", "Error while converting %s to 4x3", kConversion,
                &M::Convertir4x3FileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::Convertir4x3BuildGraph, "_4x3.avi"},
    TCommandRow{"ExtraireAudio", Graph, fnSelect, udNone, ufNone, true,
                "Extracting audio from %s", "An error occured while extracting audio from %s", kConversion,
                &M::ExtraireAudioFileCondition, false, nullptr, nullptr,
                nullptr, nullptr, &M::ExtraireAudioBuildGraph, ".wav"},

    // Scene commands. The graph builds of the scene-file, subtitle and
    // cutting commands are set by the module (their runs commit their files
    // only when complete; the cut has one pass per scene).
    TCommandRow{"CreerScnByDate", Graph, fnSelect, udFinal, ufReload, true,
                "Creating a scn file for %s by datecode", "Error while creating a scn file for %s ", kConversion,
                &M::ScenesDateFileCondition, true, nullptr, nullptr,
                &M::ScenesDateDestination, nullptr, nullptr, nullptr},
    TCommandRow{"CreerScnByContenu", Graph, fnSelect, udEach, ufReload, true,
                "Creating a scn file by content for %s", "An error occured while creating a scn file by content for %s", kConversion,
                &M::CreerScnByContenuFileCondition, false, nullptr, nullptr,
                &M::ScenesDateDestination, nullptr, nullptr, nullptr},
    TCommandRow{"CreerScnByIntervalle", Cmd, fnSelect, udEach, ufReload, true,
                "Creating a scn file for %s with fixed durations", "Error while creating a scn file for %s ", kConversion,
                nullptr, false, nullptr, nullptr,
                &M::ScenesDateDestination, &M::CreerScnByIntervalleExecution, nullptr, nullptr},
    TCommandRow{"CutScenes", Graph, fnSelect, udNone, ufAdd, true,
                "Extracting from %s the scene %d ", "An error occured while extracting scenes from %s", kConversion,
                &M::CutScenesFileCondition, false, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr},
    TCommandRow{"CreerSrt", Graph, fnSelect, udEach, ufReload, true,
                "Creating a srt file for %s", "An error occured while creating a srt file for %s", kConversion,
                &M::CreerSrtFileCondition, false, nullptr, nullptr,
                &M::CreerSrtDestination, nullptr, nullptr, nullptr},
    TCommandRow{"SupprimerSrt", Fast, fnSelect, udEach, ufReload, false,
                "Deleting the srt file of %s", "An error occured while deleting the srt file of %s", kConversion,
                &M::SupprimerSrtFileCondition, false, nullptr, &M::SupprimerSrtFileConFirmation,
                nullptr, &M::SupprimerSrtExecution, nullptr, nullptr},
    TCommandRow{"SupprimerScn", Fast, fnSelect, udEach, ufReload, false,
                "Deleting the scn file of %s", "An error occured while deleting the scn file of %s", kConversion,
                &M::hasScnFileCondition, false, nullptr, &M::SupprimerScnFileConFirmation,
                nullptr, &M::SupprimerScnExecution, nullptr, nullptr},
    TCommandRow{"ExporterScenesTexte", Cmd, fnSelect, udNone, ufNone, true,
                "Exporting the scenes of %s  to a  text file", "Error while exporting the scenes of %s to a text file", kScenes,
                &M::hasScnFileCondition, false, nullptr, nullptr,
                &M::ExporterScenesTexteDestination, &M::ExporterScenesTexteExecution, nullptr, nullptr},
    TCommandRow{"ExporterScenesExcel", Cmd, fnSelect, udNone, ufNone, true,
                "Exporting the scenes of %s to Excel", "Error while exporting the scenes of %s to Excel", kScenes,
                &M::hasScnFileCondition, false, nullptr, nullptr,
                &M::ExporterScenesExcelDestination, &M::ExporterScenesExcelExecution, nullptr, nullptr},
    TCommandRow{"ExporterScenesWord", Cmd, fnSelect, udNone, ufNone, true,
                "Exorting the scenes of %s to Word", "Error while exporting the scenes of %s to Word", kScenes,
                &M::hasScnFileCondition, false, nullptr, nullptr,
                &M::ExporterScenesWordDestination, &M::ExporterScenesWordExecution, nullptr, nullptr},
    TCommandRow{"ExporterScenesCalc", Cmd, fnSelect, udNone, ufNone, true,
                "Exporting the scenes of %s to OOo.Calc", "Error while exporting the scenes of %s to OOo.Calc", kScenes,
                &M::hasScnFileCondition, false, nullptr, nullptr,
                &M::ExporterScenesCalcDestination, &M::ExporterScenesCalcExecution, nullptr, nullptr},
    TCommandRow{"ExporterScenesWriter", Cmd, fnSelect, udNone, ufNone, true,
                "Exporting the scenes of %s to OOo.Writer", "Error while exporting the scenes of  %s to OOo.Writer", kScenes,
                &M::hasScnFileCondition, false, nullptr, nullptr,
                &M::ExporterScenesWriterDestination, &M::ExporterScenesWriterExecution, nullptr, nullptr},

    // Codec, frame-rate and file-date commands. A refused value or a file
    // that cannot be changed is reported, never passed over in silence.
    TCommandRow{"ModifierCodec", Fast, fnSelect, udFinal, ufReload, false, nullptr,
                "An error occured while changing the codec of %s", kNoCategory,
                nullptr, false, nullptr, &M::ModifierCodecFileConFirmation, nullptr,
                &M::ModifierCodecExecution, nullptr},
    TCommandRow{"FrequenceVideo", Fast, fnSelect, udFinal, ufReload, false, nullptr,
                "An error occured while changing the frame rate of %s", kNoCategory,
                &M::FrequenceVideoFileCondition, false, nullptr, &M::FrequenceVideoFileConFirmation,
                nullptr, &M::FrequenceVideoExecution, nullptr},
    TCommandRow{"DateFichier", Fast, fnSelect, udFinal, ufReload, false, nullptr,
                "An error occured while changing the dates of %s", kNoCategory,
                &M::hasDatecodeFileCondition, true, nullptr, &M::DateFichierFileConFirmation,
                nullptr, &M::DateFichierExecution, nullptr},

    // Rename commands.
    TCommandRow{"PurgerNom", Rename, fnSelect, udNone, ufRename, false, nullptr,
                "An error occured while renaming %s", kRename,
                &M::PurgerNomFileCondition, true, nullptr, nullptr,
                &M::PurgerNomDestinationHandler, &M::RenommerExecution, nullptr},
    TCommandRow{"AjouterDatecode", Rename, fnSelect, udNone, ufRename, false, nullptr,
                "An error occured while renaming %s", kRename,
                &M::hasDatecodeFileCondition, true, nullptr, nullptr,
                &M::AjouterDatecodeDestination, &M::RenommerExecution, nullptr},
    TCommandRow{"AjouterTimecode", Rename, fnSelect, udNone, ufRename, false, nullptr,
                "An error occured while renaming %s", kRename,
                &M::AjouterTimecodeFileCondition, true, nullptr, nullptr,
                &M::AjouterTimecodeDestination, &M::RenommerExecution, nullptr},
    TCommandRow{"Renommer", Rename, fnSelect, udNone, ufRename, false, nullptr,
                "An error occured while renaming %s", kRename,
                &M::hasDatecodeFileCondition, true, nullptr, nullptr,
                &M::RenommerDestination, &M::RenommerExecution, nullptr},
};
// clang-format on

} // namespace

std::span<const TCommandRow> CommandTable()
{
    return kRows;
}

} // namespace vidora
