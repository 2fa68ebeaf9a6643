#pragma once

// The video view of the main window: the preview's pictures in the video
// window, a message in place of or over the video, the position slider, the
// time-stamp line and the overlay placement sliders. A 40 ms timer writes the
// texts of the frame shown into the information frame's display record; the
// step handlers move the preview by a frame, a second or a minute, or to
// either end.
#include "files/avifichier.h"
#include "platform/media/widgets/video_frame_view.h"
#include "settings/settings.h"
#include "ui/linkedit.h"
#include "ui/ubaseframe.h"
#include "ui/vuetexts.h"
#include "video/graphs/viewgraph.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace vidora {

// What the preview needs of a list entry.
TPreviewEntry PreviewEntryOf(const TaviFichier &entry);

class TVueFrame : public QWidget, public IPreviewView
{
    Q_OBJECT
public:
    explicit TVueFrame(QWidget *parent = nullptr);

    // Not owned; set once before use.
    void SetPreview(Tviewdm *viewdm) { m_viewdm = viewdm; }
    void SetSettings(const SettingValues *settings) { m_settings = settings; }
    void SetDisplayRecord(TDisplayRecord *record) { m_record = record; }
    // The file the view shows; null when none.
    void SetCurrentFile(std::shared_ptr<const TaviFichier> file) { m_file = std::move(file); }
    const std::shared_ptr<const TaviFichier> &CurrentFile() const { return m_file; }
    void SetFullScreen(bool on, const QRect &screen);

    // IPreviewView
    void ShowVideoUnavailable(TVideoMessageCode code) override;
    void ShowAudioOnly(TVideoMessageCode code) override;
    void ShowVideo() override;
    void SetPositionSlider(int position) override;
    std::shared_ptr<media::IVideoSink> VideoSink() override { return vw->sink(); }

    void SetVideoMessage(TVideoMessageCode code);
    void ShowMessagePanel();
    void ShowMessageOverVideo();
    void ArrangeView();
    void Timer1Timer();
    // What each tick of timer1 runs; Timer1Timer when none is set.
    void SetTickHandler(std::function<void()> tick) { m_tick = std::move(tick); }
    // Shows the position text under the picture; the view is arranged again
    // when the text is wider than its label.
    void ShowTimeStamp(const QString &text);

    void tbChanged();
    void tbMouseDown();
    void tbMouseUp();
    void aeAvanceLow() { Step(VueStep::Low, 1); }
    void aeReculeLow() { Step(VueStep::Low, -1); }
    void aeAvanceMedium() { Step(VueStep::Medium, 1); }
    void aeReculeMedium() { Step(VueStep::Medium, -1); }
    void aeAvanceHigh() { Step(VueStep::High, 1); }
    void aeReculeHigh() { Step(VueStep::High, -1); }
    void aeAvanceEnd();
    void aeReculeStart();

    // The position the timer last read.
    std::int64_t CurrentPosition() const { return m_currentPosition; }

    media::VideoFrameView *vw;
    TLinkEdit *rxVue;
    QTimer *timer1;
    QSlider *tb;
    QLabel *labTimeStamp;
    QSlider *incrustHorz;
    QSlider *incrustVert;
    QWidget *Shape1;
    QFrame *Panel1;
    QFrame *Bevelleft;
    QFrame *bevelRight;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The position tick, in milliseconds: its interval, and how much longer
    // the timer waits after a frame.
    static constexpr int kTickInterval = 40;
    static constexpr int kTickStandBy = 10;

    void Tick();
    void RunTick();
    void FramePresented();
    void Step(VueStep step, int direction);
    // Runs a display operation; a failure is reported in a message box.
    template <class F>
    void Guarded(F operation);

    Tviewdm *m_viewdm = nullptr;
    const SettingValues *m_settings = nullptr;
    SettingValues m_defaultSettings;
    TDisplayRecord *m_record = nullptr;
    std::shared_ptr<const TaviFichier> m_file;
    bool m_fullScreen = false;
    QRect m_screen;
    std::int64_t m_currentPosition = 0;
    TVueTextsMaker m_texts;
    std::function<void()> m_tick;
    QElapsedTimer m_sinceTick; // since the last tick; invalid before the first
    // The DigitForm of the time stamp that last fitted its label, in the
    // font it had; null when a text must be measured.
    QString m_fittedForm;
    QFont m_fittedFont;
};

} // namespace vidora
