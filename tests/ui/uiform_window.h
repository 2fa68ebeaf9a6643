#pragma once

// The main window as its tests use it: shown with a temporary home and
// stored settings, a file opened into its list, its actions run by name.
#include "files/widgets/fichierlistbox.h"
#include "platform/media/graph.h"
#include "platform/media/interfaces.h"
#include "support/dvfiles.h"
#include "support/isolatedhome.h"
#include "support/tools.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vidora::test {

// Stores settings the way the program does, so windows made later load them.
inline void StoreWindowSize(QSize size)
{
    Settings stored(SettingsEnvironment::forRunningProgram());
    stored.PreferencesMode = kPreferencesRegistry;
    // At the top left: the offscreen screen is 800 x 600, and the stored
    // place is brought onto the screen.
    stored.Left = 0;
    stored.Top = 0;
    stored.Width = size.width();
    stored.Height = size.height();
    stored.SavePreferences();
}

// A DV type-1 PAL clip of `frames` frames in `dir`.
inline QString WriteClip(const QString &dir, int frames)
{
    const QString path = QDir(dir).filePath(QStringLiteral("clip%1.avi").arg(frames));
    writeFileBytes(path, dvType1Avi(ffmpegRawDv(dir, {.frames = frames})));
    return path;
}

class Window
{
public:
    Window()
    {
        form->Switch1->Arguments.clear();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    ~Window()
    {
        settings.PreferencesMode = kPreferencesRegistry;
        form->close();
    }

    // Opens the file into the list and waits until it is shown (a loaded
    // machine may take seconds).
    bool Open(const QString &path)
    {
        form->Lframe->lf->ListModel()->OpenFichiers({path});
        if (!QTest::qWaitFor(
                [&] {
                    return form->ActiveFichier && viewdm.GraphReady() &&
                           form->VideFrame->isHidden();
                },
                30000))
            return false;
        // The open's pause completes and its event is handled.
        const bool cued = viewdm.graph().GetState(std::chrono::seconds(30)).complete;
        QTest::qWait(100);
        return cued;
    }
    TCustomSuperAction *Action(const char *name) const
    {
        return form->al().Find(QString::fromLatin1(name));
    }
    void Run(const char *name) const { ASSERT_TRUE(Action(name)->Execute()) << name; }
    QRect Client() const { return form->VueFrame->parentWidget()->rect(); }
    std::int32_t AudioVolume()
    {
        for (media::Filter *filter : viewdm.graph().filters())
            if (auto *audio = filter->queryInterface<media::IBasicAudio>())
                return audio->get_Volume();
        ADD_FAILURE() << "no audio renderer";
        return 1;
    }
    std::int64_t Position() const { return viewdm.CurrentPosition().value_or(-1); }

    Settings settings{SettingsEnvironment::forRunningProgram()};
    Tviewdm viewdm;
    std::unique_ptr<TUIForm> form = std::make_unique<TUIForm>(settings, viewdm);
};

} // namespace vidora::test
