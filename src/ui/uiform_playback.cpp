// The main window's position tick and its texts; the playback actions are
// PlaybackActions', full screen FullScreen's.
#include "ui/ubaseframe.h"
#include "ui/uiform.h"
#include "ui/uvueframe.h"
#include "video/graphs/viewgraph.h"

#include <QCoreApplication>

namespace vidora {

void TUIForm::Timerproc()
{
    if (!ActiveFichier)
        return;
    VueFrame->Timer1Timer();
    const TDisplayRecord &record = BaseFrame->DisplayRecord();
    TPositionInfo info;
    info.datecode = record.datecode;
    info.timecode = record.timecode;
    info.sliderPosition = record.sliderPosition;
    // The preview counts in frames when it has a frame rate, else in 100 ns.
    info.position = PositionText(VueFrame->CurrentPosition(), m_viewdm.FrameRate());
    info.audio = record.audio;
    info.audioRate = record.audioRate;
    info.picture = record.codec;
    QCoreApplication::postEvent(this, new TPositionEvent(std::move(info)));
}

void TUIForm::WMUpdatePosition(const TPositionInfo &info)
{
    BaseFrame->labDatecode->setText(info.datecode);
    BaseFrame->LabTimecode->setText(info.timecode);
    VueFrame->SetPositionSlider(info.sliderPosition);
    VueFrame->ShowTimeStamp(info.position);
    if (!ActiveFichier)
        return;
    const TaviData &fileData = ActiveFichier->Data();
    if (fileData.isDv && fileData.dvType == 1 && !info.audio.isEmpty()) {
        BaseFrame->LabAudio1->setText(info.audio);
        BaseFrame->LabAudio2->setText(info.audioRate);
        if (!fileData.aspectText.isEmpty())
            BaseFrame->LabImage->setText(info.picture);
    }
}

} // namespace vidora
