// The conversion graphs of the processing module, run through the command
// engine as the program runs them, checked with ffprobe and our own parsers.
#include "cdm_stage.h"

#include "formats/aviinfo.h"
#include "support/avi_files.h"
#include "support/tools.h"

namespace vidora::test {
namespace {

class CdmConversion : public CdmStage
{};

TEST_F(CdmConversion, Type1ToType2KeepsEveryFrameAndTheAudio)
{
    const QByteArray raw = makeRawDv(m_dir.path(), 25);
    ASSERT_FALSE(raw.isEmpty());
    const QString in = Path("tape.avi");
    writeFileBytes(in, type1Avi(raw));

    ASSERT_TRUE(RunCommand(in, [](TCdm &cdm, const QString &s, const QString &o) {
        return cdm.BuildToType2Graph(s, o);
    }));
    EXPECT_TRUE(Errors().empty());
    const QString out = Path("tape_out.avi");
    const QStringList streams = probeStreams(out);
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].toStdString(), "dvvideo,video,25");
    EXPECT_TRUE(streams[1].startsWith("pcm_s16le,audio,")) << streams[1].toStdString();
    EXPECT_EQ(decodeErrors(out), QString());
    EXPECT_EQ(dest.Names(), QStringList{"tape_out.avi"});
}

TEST_F(CdmConversion, AFileThatIsNotAviLeavesNoOutput)
{
    const QString in = Path("notes.avi");
    writeFileBytes(in, QByteArray(5000, 'x'));
    ASSERT_TRUE(RunCommand(in, [](TCdm &cdm, const QString &s, const QString &o) {
        return cdm.BuildToType2Graph(s, o);
    }));
    EXPECT_FALSE(QFile::exists(Path("notes_out.avi")));
    EXPECT_TRUE(dest.Names().isEmpty());
}

} // namespace
} // namespace vidora::test
