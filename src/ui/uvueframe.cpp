#include "ui/uvueframe.h"

#include "platform/shell/widgets/prepareform.h"
#include "video/filters/dv_scenedetect.h"
#include "video/filters/overlaylayout.h"

#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

#include <cstdlib>
#include <exception>

namespace vidora {

namespace {

// The 20 × 20 hatched square in the corner of the picture.
class HatchedSquare final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QBrush(Qt::black, Qt::DiagCrossPattern));
    }
};

// The position slider. A new value repaints it only when the handle moves:
// while a long video plays, the position changes at every tick and the
// handle about once in many seconds.
class PositionSlider final : public QSlider
{
public:
    using QSlider::QSlider;

protected:
    void sliderChange(SliderChange change) override
    {
        if (change == SliderValueChange) {
            const int at = handlePlace();
            if (at >= 0 && at == m_handleAt)
                return;
            m_handleAt = at;
        } else {
            forget();
        }
        QSlider::sliderChange(change);
    }

    void resizeEvent(QResizeEvent *event) override
    {
        forget();
        QSlider::resizeEvent(event);
    }

    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
            forget();
        QSlider::changeEvent(event);
    }

private:
    // The handle's offset along the groove for the value now, as the style
    // places it: the distance it travels from the least value to the
    // greatest, measured once for the slider's size, shared out as the style
    // does. -1 when the style gives no such distance.
    int handlePlace()
    {
        if (m_travel < 0) {
            QStyleOptionSlider option;
            initStyleOption(&option);
            auto at = [&](int value) {
                option.sliderPosition = value;
                const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option,
                                                             QStyle::SC_SliderHandle, this);
                return orientation() == Qt::Horizontal ? handle.x() : handle.y();
            };
            m_travel = std::abs(at(maximum()) - at(minimum()));
        }
        if (m_travel == 0)
            return -1;
        return QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(), m_travel,
                                               invertedAppearance());
    }

    void forget()
    {
        m_travel = -1;
        m_handleAt = -1;
    }

    int m_travel = -1;   // see handlePlace; -1: not measured
    int m_handleAt = -1; // where the handle was last painted for; -1: unknown
};

} // namespace

TPreviewEntry PreviewEntryOf(const TaviFichier &entry)
{
    const TaviData &data = entry.Data();
    TPreviewEntry preview;
    preview.FileName = entry.Path();
    preview.IsDv = data.isDv;
    preview.CodecText = data.codec.isEmpty() ? kNotAvailable : data.codec;
    preview.AudioText = data.audioText.isEmpty() ? kNotAvailable : data.audioText;
    preview.FrameRate = data.frameRate;
    preview.DateOffset = entry.TimeOffset();
    return preview;
}

TVueFrame::TVueFrame(QWidget *parent)
    : QWidget(parent), vw(new media::VideoFrameView(this)), rxVue(new TLinkEdit(this)),
      timer1(new QTimer(this)), tb(new PositionSlider(Qt::Horizontal, this)),
      labTimeStamp(new QLabel(this)), incrustHorz(new QSlider(Qt::Horizontal, this)),
      incrustVert(new QSlider(Qt::Vertical, this)), Shape1(new HatchedSquare(this)),
      Panel1(new QFrame(this)), Bevelleft(new QFrame(this)), bevelRight(new QFrame(this))
{
    PrepareForm(this);
    QPalette black = vw->palette();
    black.setColor(QPalette::Window, Qt::black);
    vw->setPalette(black);

    Panel1->setAutoFillBackground(true);
    rxVue->setFrameShape(QFrame::NoFrame);
    rxVue->SetBaseAlignment(LinkAlignment::Center);
    rxVue->resize(360, 200);
    rxVue->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rxVue->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette panel = rxVue->palette();
    panel.setColor(QPalette::Base, Panel1->palette().color(QPalette::Window));
    rxVue->setPalette(panel);
    rxVue->hide();

    timer1->setInterval(kTickInterval);
    connect(timer1, &QTimer::timeout, this, &TVueFrame::Tick);
    connect(vw, &media::VideoFrameView::framePresented, this, &TVueFrame::FramePresented);

    tb->setRange(0, Tviewdm::kSliderMaximum);
    tb->setToolTip(QStringLiteral("Trackbar to navigate through the video.\n"
                                  "One may also use the arrow keys from the keyboard\n"
                                  "as well as F8 and F9 to change the scene."));
    connect(tb, &QSlider::valueChanged, this, &TVueFrame::tbChanged);
    connect(tb, &QSlider::sliderPressed, this, &TVueFrame::tbMouseDown);
    connect(tb, &QSlider::sliderReleased, this, &TVueFrame::tbMouseUp);

    labTimeStamp->setAlignment(Qt::AlignCenter);
    QFont stamp(QStringLiteral("Times New Roman"));
    stamp.setPixelSize(13);
    labTimeStamp->setFont(stamp);
    QPalette navy = labTimeStamp->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    labTimeStamp->setPalette(navy);
    // Opaque, as the slider: what changes at each tick of a playing video
    // repaints itself only, not the frame and the window beneath it as well.
    labTimeStamp->setAutoFillBackground(true);
    tb->setAutoFillBackground(true);

    for (QSlider *slider : {incrustHorz, incrustVert}) {
        slider->setRange(0, kOverlayScale);
        slider->setPageStep(100);
    }
    incrustVert->hide();

    Shape1->resize(20, 20);
    Shape1->setCursor(Qt::PointingHandCursor);
    Shape1->setToolTip(QStringLiteral("Click on this corner to display or hide\n"
                                      "the sliders for setting the position of inlay."));
    Shape1->hide();

    for (QFrame *bevel : {Bevelleft, bevelRight})
        bevel->setFrameShape(QFrame::VLine);
}

template <class F>
void TVueFrame::Guarded(F operation)
{
    try {
        operation();
    } catch (const std::exception &) {
        QMessageBox::critical(
            this, QStringLiteral("Vidora"),
            QStringLiteral(
                "Please tell Vesk Tobrek that occured the failure: Error in AfficherCode"));
    }
}

void TVueFrame::SetVideoMessage(TVideoMessageCode code)
{
    if (!m_file)
        return;
    rxVue->SetRichText(
        VideoMessageMarkup(code, QFileInfo(m_file->Path()).fileName(), m_file->Data().codec));
}

void TVueFrame::ShowVideoUnavailable(TVideoMessageCode code)
{
    Guarded([&] {
        SetVideoMessage(code);
        ShowMessagePanel();
    });
}

void TVueFrame::ShowAudioOnly(TVideoMessageCode code)
{
    Guarded([&] {
        SetVideoMessage(code);
        ShowMessageOverVideo();
        // The position goes on moving with the sound.
        timer1->start();
    });
}

void TVueFrame::ShowMessagePanel()
{
    // No picture stays behind the message.
    vw->hide();
    Shape1->hide();
    tb->hide();
    labTimeStamp->hide();
    Panel1->show();
    rxVue->show();
    Panel1->raise();
    rxVue->raise();
}

void TVueFrame::ShowMessageOverVideo()
{
    vw->show();
    vw->lower();
    Shape1->hide();
    Panel1->show();
    tb->show();
    labTimeStamp->show();
    Panel1->raise();
    rxVue->show();
    rxVue->raise();
}

void TVueFrame::ShowVideo()
{
    vw->show();
    Shape1->show();
    tb->show();
    labTimeStamp->show();
    rxVue->hide();
    // The backdrop of the messages would hide the picture.
    Panel1->hide();
    timer1->start();
}

void TVueFrame::SetPositionSlider(int position)
{
    // From code, the slider only shows the position: it never seeks.
    const QSignalBlocker quiet(tb);
    tb->setValue(position);
}

void TVueFrame::SetFullScreen(bool on, const QRect &screen)
{
    m_fullScreen = on;
    m_screen = screen;
    ArrangeView();
}

void TVueFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ArrangeView();
}

void TVueFrame::ShowTimeStamp(const QString &text)
{
    labTimeStamp->setText(text);
    // Measuring the text takes longer than all the rest of a tick. With every
    // digit as wide as the others (digits made to line up in columns are not
    // kerned), a text that differs from the one that last fitted only in its
    // digits is as wide, and fits too.
    const QFont &font = labTimeStamp->font();
    const QString form = DigitForm(text);
    if (!m_fittedForm.isNull() && form == m_fittedForm && font == m_fittedFont)
        return;
    // The label is as wide as its text was when the view was arranged.
    if (labTimeStamp->sizeHint().width() > labTimeStamp->width())
        ArrangeView();
    const bool fits = labTimeStamp->sizeHint().width() <= labTimeStamp->width();
    m_fittedForm = fits && DigitsEvenlyWide(QFontMetrics(font)) ? form : QString();
    m_fittedFont = font;
}

void TVueFrame::ArrangeView()
{
    // The label takes the width of its text of now: measured again at the next.
    m_fittedForm = QString();
    if (!m_file)
        return;
    VueLayoutInput input;
    input.client = rect();
    input.fullScreen = m_fullScreen;
    input.screen = m_screen;
    input.picture = QSize(m_file->Data().width, m_file->Data().height);
    input.message = rxVue->size();
    input.timeLabel = labTimeStamp->sizeHint();
    input.sliderHeight = tb->sizeHint().height();
    input.incrustHorzHeight = incrustHorz->sizeHint().height();
    input.incrustVertWidth = incrustVert->sizeHint().width();
    input.shape = Shape1->size();
    const std::optional<VueLayout> layout = ArrangeVueLayout(input);
    if (!layout)
        return;
    vw->setGeometry(layout->video);
    Panel1->setGeometry(layout->video);
    rxVue->setGeometry(layout->message);
    labTimeStamp->setGeometry(layout->timeLabel);
    tb->setGeometry(layout->slider);
    incrustHorz->setGeometry(layout->incrustHorz);
    incrustVert->setGeometry(layout->incrustVert);
    Shape1->setGeometry(layout->shape);
    Shape1->raise();
    Bevelleft->setGeometry(0, 0, 2, height());
    bevelRight->setGeometry(width() - 2, 0, 2, height());
}

void TVueFrame::Timer1Timer()
{
    if (!m_file || m_viewdm == nullptr)
        return;
    const TaviData &fileData = m_file->Data();
    const SettingValues &settings = m_settings ? *m_settings : m_defaultSettings;
    // The detector and the renderer run on one streaming thread, so the
    // detector's last frame is the one shown.
    const TVueTexts &texts = m_texts.Texts(
        m_viewdm->SceneDetectActive(), m_viewdm->SceneDetect().LastInfo(),
        fileData.isDv && fileData.dvType == 1, fileData.pictureText, settings.FormatShowDatecode);
    if (m_record != nullptr) {
        m_record->datecode = texts.datecode;
        m_record->timecode = texts.timecode;
        m_record->audio = texts.audio;
        m_record->audioRate = texts.audioRate;
        m_record->codec = texts.codec;
    }
    media::IMediaSeeking *seeking = m_viewdm->Seeking();
    if (!m_viewdm->GraphReady() || seeking == nullptr ||
        m_viewdm->State() == media::FilterState::Stopped)
        return;
    const std::optional<std::int64_t> position = seeking->GetCurrentPosition();
    if (!position)
        return;
    m_currentPosition = *position;
    if (const auto slider =
            SliderPositionOf(*position, m_viewdm->StartPosition(), m_viewdm->StopPosition())) {
        SetPositionSlider(*slider);
        if (m_record != nullptr)
            m_record->sliderPosition = *slider;
    }
}

void TVueFrame::Tick()
{
    // After a stand-by the timer keeps its own pace again.
    if (timer1->interval() != kTickInterval)
        timer1->setInterval(kTickInterval);
    RunTick();
}

void TVueFrame::RunTick()
{
    m_sinceTick.start();
    if (m_tick)
        m_tick();
    else
        Timer1Timer();
}

void TVueFrame::FramePresented()
{
    // Frames that come at the tick's pace (25 a second) bring the tick with
    // them: the texts, the slider and the picture are then painted in one
    // pass, and a playing video wakes the thread once a frame instead of
    // twice. After each, the timer stands by a little longer than its
    // interval, so that the next frame comes first; it ticks on its own when
    // no frame comes. A frame that comes just after the timer ticked moves
    // the timer's stand-by to it, and the next frame brings the tick. Frames
    // at another pace leave the tick on the timer's.
    if (!timer1->isActive() || m_viewdm == nullptr ||
        std::abs(m_viewdm->FrameRate() * kTickInterval - 1000) > 50)
        return;
    timer1->start(kTickInterval + kTickStandBy);
    if (!m_sinceTick.isValid() || m_sinceTick.elapsed() >= kTickInterval / 2)
        RunTick();
}

void TVueFrame::tbChanged()
{
    if (m_viewdm != nullptr && m_viewdm->GraphReady())
        m_viewdm->SetPosition(
            PositionOfSlider(tb->value(), m_viewdm->StartPosition(), m_viewdm->StopPosition()));
    timer1->start();
}

void TVueFrame::tbMouseDown()
{
    timer1->stop();
}

void TVueFrame::tbMouseUp()
{
    timer1->start();
}

void TVueFrame::Step(VueStep step, int direction)
{
    if (m_viewdm == nullptr)
        return;
    const VueStepSize size = VueStepSizeOf(step, m_viewdm->FrameRate());
    if (size.inFrames)
        m_viewdm->SeekBy(std::int32_t(direction * size.amount));
    else
        m_viewdm->SeekByTime(direction * size.amount);
    Timer1Timer();
}

void TVueFrame::aeAvanceEnd()
{
    if (m_viewdm == nullptr)
        return;
    m_viewdm->SeekTo(m_viewdm->StopPosition());
    Timer1Timer();
}

void TVueFrame::aeReculeStart()
{
    if (m_viewdm == nullptr)
        return;
    m_viewdm->SeekTo(m_viewdm->StartPosition());
    Timer1Timer();
}

} // namespace vidora
