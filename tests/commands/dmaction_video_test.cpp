// Every command of the action module on real DV files of each kind (type 1
// and 2, PAL and NTSC, 4:3 and 16:9, with and without a sound stream): which
// commands are enabled and shown, and each video command run through the
// engine, its output checked with ffprobe and mediainfo.
#include "dmaction_stage.h"

#include "formats/aviinfo.h"
#include "support/avi_files.h"

namespace vidora::test {
namespace {

// Whether a command is in scope for the source, and shows: written out from
// the command table's conditions.
struct Scope
{
    bool enabled;
    bool visible;
};

Scope ExpectedScope(const std::string &name, const DvSource &s)
{
    const bool t1 = s.type == 1;
    const bool t2 = s.type == 2;
    const bool sound = t1 || s.sound;
    if (name == "ConvertirDV1")
        return {t2, true};
    if (name == "ConvertirDV2")
        return {t1, true};
    if (name == "RecompresserDV2")
        return {false, true};
    if (name == "CorrigerType2") // none of these holds interleaved DV and a sound stream
        return {false, false};
    if (name == "ConvertirNTSC")
        return {!s.ntsc, !s.ntsc};
    if (name == "ConvertirPal")
        return {s.ntsc, s.ntsc};
    if (name == "Convertir16x9")
        return {!s.wide, true};
    if (name == "Convertir4x3")
        return {s.wide, true};
    if (name == "ExtraireAudio")
        return {sound, true};
    if (name == "FrequenceVideo")
        return {t2, true};
    if (name == "PurgerNom") // "t2pal43.avi" holds no "_"
        return {false, false};
    if (name == "Quillmark") // no sibling program here
        return {false, true};
    // The scene commands that need a ".scn" or ".srt" file: there is none.
    if (name == "CutScenes" || name == "SupprimerSrt" || name == "SupprimerScn" ||
        name.rfind("ExporterScenes", 0) == 0)
        return {false, true};
    return {true, true};
}

int FrameCount(const QString &path)
{
    const ToolResult r =
        runTool("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                            "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed().toInt();
}

// What a video command writes.
struct Output
{
    const char *command;
    QString ending;
    QStringList params;
};

class DmActionVideo : public DmActionStage, public testing::WithParamInterface<DvSource>
{};

TEST_P(DmActionVideo, EveryCommandIsInScopeAsTabledAndEveryVideoCommandWritesItsFile)
{
    const DvSource s = GetParam();
    const auto entry = AddSource(s);
    ASSERT_TRUE(entry->Data().isDv);
    ASSERT_EQ(entry->Data().dvType, s.type);

    for (int i = 0; i < action.cl.Count(); ++i) {
        tAbstractCmd &command = action.cl.At(i);
        bool visible = true;
        bool enabled = true;
        command.FileCondition(entry, visible, enabled);
        const Scope expected = ExpectedScope(command.Name.toStdString(), s);
        EXPECT_EQ(enabled, expected.enabled) << command.Name.toStdString();
        EXPECT_EQ(visible, expected.visible) << command.Name.toStdString();
    }

    const int height = s.ntsc ? 480 : 576;
    const QString aspect = s.wide ? "16:9" : "4:3";
    const QString date = MediaInfoDate(entry->Path());
    ASSERT_FALSE(date.isEmpty()) << "mediainfo reads no recording date";
    const int frames = 3;

    const std::vector<Output> outputs = {
        {"ConvertirDV1", "_type1.avi", {}}, {"ConvertirDV2", "_type2.avi", {}},
        {"ConvertirNTSC", "_ntsc.avi", {}}, {"ConvertirPal", "_pal.avi", {}},
        {"Incruster", "_in.avi", {}},       {"DecalerHoraire", "_(+1days12h).avi", {"1.5"}},
        {"Convertir16x9", "_16x9.avi", {}}, {"Convertir4x3", "_4x3.avi", {}},
        {"ExtraireAudio", ".wav", {}},
    };
    const QString base = Path(QFileInfo(s.Name()).completeBaseName());
    for (const Output &o : outputs) {
        if (!ExpectedScope(o.command, s).enabled)
            continue;
        SCOPED_TRACE(o.command);
        const QString out = base + o.ending;
        const auto before = log.Events().size();
        ASSERT_TRUE(Run(o.command, o.params));
        EXPECT_TRUE(Errors().empty()) << Errors().front();
        ASSERT_TRUE(QFileInfo::exists(out)) << out.toStdString();
        const auto events = log.Events();
        const bool added =
            std::find(events.begin() + long(before), events.end(),
                      "dst add " + QFileInfo(out).fileName().toStdString()) != events.end();
        EXPECT_EQ(added, std::string(o.command) != "ExtraireAudio") << "list update as tabled";

        const std::string command = o.command;
        if (command == "ExtraireAudio") {
            EXPECT_EQ(ProbeStream(out, "a:0", "codec_name,sample_rate,channels"),
                      "pcm_s16le,48000,2");
            continue;
        }
        const QStringList types = [&] {
            QStringList t;
            const TAviParam param(out);
            for (const TAvistream &stream : param.Streams())
                t << fourCCBytesText(stream.fccType());
            return t;
        }();
        const bool outType1 =
            command == "ConvertirDV1" || (s.type == 1 && command != "ConvertirDV2");
        if (outType1)
            EXPECT_EQ(types, QStringList{"iavs"});
        else
            EXPECT_EQ(types.value(0), "vids");
        const int outHeight = command == "ConvertirNTSC"  ? 480
                              : command == "ConvertirPal" ? 576
                                                          : height;
        const QString outAspect = command == "Convertir16x9"  ? "16:9"
                                  : command == "Convertir4x3" ? "4:3"
                                                              : aspect;
        EXPECT_EQ(ProbeStream(out, "v:0", "codec_name,height,display_aspect_ratio"),
                  QString("dvvideo,%1,%2").arg(outHeight).arg(outAspect));
        if (command != "ConvertirNTSC" && command != "ConvertirPal") {
            EXPECT_EQ(FrameCount(out), frames);
        }
        if (command == "DecalerHoraire")
            EXPECT_NE(MediaInfoDate(out), date);
        else
            EXPECT_EQ(MediaInfoDate(out), date);
        EXPECT_EQ(decodeErrors(out), QString());
    }
}

std::vector<DvSource> AllSources()
{
    std::vector<DvSource> sources;
    for (const int type : {1, 2})
        for (const bool ntsc : {false, true})
            for (const bool wide : {false, true})
                for (const bool sound : {true, false})
                    if (type == 2 || sound)
                        sources.push_back({type, ntsc, wide, sound});
    return sources;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DmActionVideo, testing::ValuesIn(AllSources()),
    [](const testing::TestParamInfo<DvSource> &caseInfo) {
        return QFileInfo(caseInfo.param.Name()).completeBaseName().toStdString();
    });

} // namespace
} // namespace vidora::test
