#pragma once

// The action data module on the command engine as the program runs it: the
// module's commands over video entries of a scripted list, the processing
// module's notices ending the engine's wait, a fake preview, and DV sources
// of every kind made once per test program.
#include "support/engine_fixture.h"

#include "commands/dmaction.h"
#include "files/avifichier.h"
#include "files/cdmgraphrun.h"
#include "files/enginelist.h"
#include "platform/gui_thread.h"
#include "settings/settings.h"
#include "support/dvfiles.h"
#include "support/tools.h"
#include "video/graphs/convertirdvunit.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <memory>

namespace vidora::test {

// A DV source of the tables.
struct DvSource
{
    int type = 2; // DV type 1 or 2
    bool ntsc = false;
    bool wide = false;
    bool sound = true; // type 2 only: an audio stream

    QString Name() const
    {
        return QStringLiteral("t%1%2%3%4.avi")
            .arg(type)
            .arg(ntsc ? "ntsc" : "pal")
            .arg(wide ? "169" : "43")
            .arg(sound ? "" : "mute");
    }
};

inline void PrintTo(const DvSource &s, std::ostream *os)
{
    *os << s.Name().toStdString();
}

// The sources, made once: 3 frames dated 2005-06-07 08:09:10, time code
// 01:02:03:04, 48 kHz stereo.
inline QString SourceFile(const DvSource &s)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath(s.Name());
    if (QFileInfo::exists(path))
        return path;
    const QByteArray raw =
        ffmpegRawDv(folder.path(), {.ntsc = s.ntsc, .wide = s.wide, .frames = 3});
    if (raw.isEmpty())
        return {};
    if (s.type == 1) {
        writeFileBytes(path, dvType1Avi(raw));
    } else {
        const QString rawPath = QDir(folder.path())
                                    .filePath(QStringLiteral("raw%1%2-3.dv")
                                                  .arg(s.ntsc ? "ntsc" : "pal")
                                                  .arg(s.wide ? "-wide" : ""));
        if (!ffmpegDvType2Avi(rawPath, path, s.sound))
            return {};
    }
    return path;
}

class FakePreview : public IActionPreview
{
public:
    QString LoadedFile() const override { return loaded; }
    void CloseGraph() override
    {
        closedWith = QFile(loaded).size() > 0 ? readFileBytes(loaded) : QByteArray();
        ++closes;
        loaded.clear();
    }

    QString loaded;
    int closes = 0;
    QByteArray closedWith; // the file's bytes when the preview let go of it
};

class DmActionStage : public EngineStage
{
protected:
    DmActionStage()
    {
        ConnectCdmToEngine(cdm, engine);
        cdm.SetSettings(&settings);
        engine.SetFichierClass(TaviEntryFactory());
        action.Preview = &preview;
    }

    ~DmActionStage() override
    {
        engine.AbortAll();
        while (engine.IsRunning())
            runQueuedGuiCalls(std::chrono::milliseconds(10));
    }

    // A copy of the source in the test folder as a selected list entry.
    std::shared_ptr<TaviFichier> AddSource(const DvSource &s)
    {
        const QString from = SourceFile(s);
        EXPECT_FALSE(from.isEmpty()) << "ffmpeg could not make " << s.Name().toStdString();
        const QString to = Path(s.Name());
        QFile::remove(to);
        EXPECT_TRUE(QFile::copy(from, to));
        return AddEntry(to);
    }

    std::shared_ptr<TaviFichier> AddEntry(const QString &path)
    {
        auto entry = TAfficherFichier::Create(path, TaviReading{});
        source.AddEntry(entry);
        source.SetSelected(entry, true);
        if (!source.CurrentEntry())
            source.SetCurrent(entry);
        return entry;
    }

    tAbstractCmd &Command(const char *name)
    {
        tAbstractCmd *command = action.FindCommand(QString::fromLatin1(name));
        EXPECT_NE(command, nullptr) << name;
        return *command;
    }

    // Runs a command of the module over the selected entries.
    bool Run(const char *name, const QStringList &params = {})
    {
        return RunToEnd(Command(name), &params);
    }

    SettingValues settings;
    FakePreview preview;
    TCdm cdm;
    TdmAction action{settings, cdm};
};

// ffprobe's values of one stream, comma-separated in the order asked.
inline QString ProbeStream(const QString &path, const QString &selector, const QString &entries)
{
    const ToolResult r =
        runTool("ffprobe", {"-v", "error", "-select_streams", selector, "-show_entries",
                            "stream=" + entries, "-of", "csv=p=0", path});
    return QString::fromUtf8(r.out).trimmed();
}

inline QString MediaInfoDate(const QString &path)
{
    return QString::fromUtf8(runTool("mediainfo", {"--Inform=General;%Recorded_Date%", path}).out)
        .trimmed();
}

} // namespace vidora::test
