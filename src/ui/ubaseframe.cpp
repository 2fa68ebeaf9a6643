#include "ui/ubaseframe.h"

#include "formats/datetime.h"
#include "video/graphs/viewgraph.h"

#include <QFontMetrics>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <exception>

namespace vidora {

namespace {

QString formatDate(const QString &pattern, DateTimeValue value, const QString &fallback)
{
    try {
        return FormatDateTime(pattern, value);
    } catch (const std::exception &) {
        return fallback;
    }
}

// The frame's size: the list column's width and the height of its top row.
constexpr int kWidth = 296;

// 8 points at the program's 96 pixels an inch, rounded up.
constexpr int kSmallestNamePixels = (8 * 96 + 71) / 72;

} // namespace

int FileNameFontPixels(int textWidthAt13, int room)
{
    if (textWidthAt13 <= room || textWidthAt13 <= 0)
        return 13;
    return std::max(kSmallestNamePixels, std::max(room, 0) * 13 / textWidthAt13);
}

TBaseFrameTexts BaseFrameTexts(const TaviFichier &entry, const QString &datecodeFormat)
{
    const TaviData &data = entry.Data();
    TBaseFrameTexts texts;
    texts.name = entry.Name();
    texts.datecode = data.recDateTime > 0
                         ? formatDate(datecodeFormat, data.recDateTime, data.datecodeText)
                         : data.datecodeText;
    if (entry.TimeOffset() > 0)
        texts.offset = QStringLiteral("+") + entry.TimeOffsetText();
    else if (entry.TimeOffset() < 0)
        texts.offset = entry.TimeOffsetText();
    texts.scn = data.hasScn;
    texts.srt = data.hasSrt;
    texts.timecode = data.timecodeText;
    texts.codec = data.codec;
    if (data.isDv) {
        if (data.dvType == 1)
            texts.codec += QStringLiteral(" (type 1)");
        else if (data.dvType == 2)
            texts.codec += data.interleavedType2 ? QStringLiteral(" (type 2 iavs)")
                                                 : QStringLiteral(" (type 2)");
        else
            texts.codec += QStringLiteral(" (atypical)");
    }
    texts.image = data.pictureText + data.aspectText;
    texts.duration = data.videoDurationText;
    if (!data.audioDurationText.isEmpty() && data.audioDurationText != data.videoDurationText)
        texts.duration += QStringLiteral(" (") + data.audioDurationText + QStringLiteral(")");
    texts.fps = data.frameRate > 0 ? QString::number(data.frameRate, 'g', 15) : QString();
    texts.audio1 = data.audioText;
    texts.audio2 = data.audioFormatText;
    texts.hint = QStringLiteral("File     : ") + entry.Path() + QLatin1Char('\n') +
                 QStringLiteral("Size     : ") + QLocale().toString(qlonglong(entry.Size())) +
                 QLatin1Char('\n') + QStringLiteral("Modified : ") +
                 formatDate(datecodeFormat, entry.LastWriteDate(), QString());
    return texts;
}

TBaseFrame::TBaseFrame(QWidget *parent)
    : QFrame(parent), BevelNom(new QFrame(this)), LabNom(new QLabel(BevelNom)),
      labDatecode(new QLabel(this)), LabTimecode(new QLabel(this)), LabCodec(new QLabel(this)),
      LabImage(new QLabel(this)), LabDuree(new QLabel(this)), labFPS(new QLabel(this)),
      LabAudio1(new QLabel(this)), LabAudio2(new QLabel(this)), labscn(new QLabel(this)),
      labsrt(new QLabel(this)), labDecalage(new QLabel(this)), Gauge1(new QProgressBar(this)),
      Gauge2(new QProgressBar(this))
{
    // Opaque: the frame stands in the list column over whatever the window
    // shows beneath it.
    setAutoFillBackground(true);
    BevelNom->setFrameShape(QFrame::Panel);
    BevelNom->setFrameShadow(QFrame::Sunken);
    BevelNom->setGeometry(4, 4, kWidth - 8, 22);
    LabNom->setGeometry(5, 2, BevelNom->width() - 10, 18);
    labscn->setText(QStringLiteral("scn"));
    labsrt->setText(QStringLiteral("srt"));
    for (int i = 0; i < 8; ++i)
        Captions << new QLabel(this);
    // One row a caption under the file name, its value beside it (the audio
    // on two rows, the markers last): labels at one place would cover each
    // other's texts, and a label that changes would repaint all of them.
    constexpr int kTop = 30, kRow = 16, kCaptionX = 6, kValueX = 80, kValueWidth = 210;
    auto row = [](int i) { return kTop + i * kRow; };
    for (int i = 0; i < Captions.size(); ++i)
        Captions[i]->setGeometry(kCaptionX, row(i < 7 ? i : i + 1), kValueX - kCaptionX - 4, kRow);
    const QList<QLabel *> values = {labDatecode, LabTimecode, LabCodec,  LabImage,
                                    LabDuree,    labFPS,      LabAudio1, LabAudio2};
    for (int i = 0; i < values.size(); ++i) {
        values[i]->setGeometry(kValueX, row(i), kValueWidth, kRow);
        // Opaque: a value that changes while a video plays repaints itself
        // only, not the frame and the window beneath it as well.
        values[i]->setAutoFillBackground(true);
    }
    labscn->setGeometry(kValueX, row(8), 30, kRow);
    labsrt->setGeometry(kValueX + 34, row(8), 30, kRow);
    labDecalage->setGeometry(kValueX + 68, row(8), kValueWidth - 68, kRow);
    // The last row: a command's progress at the left while it runs, the
    // volume at the right at all times.
    constexpr int kGaugeTop = 182, kGaugeHeight = 18, kVolumeWidth = 90;
    Gauge2->setGeometry(kWidth - 4 - kVolumeWidth, kGaugeTop, kVolumeWidth, kGaugeHeight);
    Gauge1->setGeometry(kCaptionX, kGaugeTop, Gauge2->x() - 8 - kCaptionX, kGaugeHeight);
    Gauge1->hide();
}

void TBaseFrame::Setup()
{
    const QStringList captions = {"Datecode", "timecode", "codec", "Image",
                                  "Duration", "Fps",      "Audio", "scn"};
    for (qsizetype i = 0; i < Captions.size(); ++i) {
        Captions[i]->setText(captions[i]);
        QFont font = Captions[i]->font();
        font.setFamily(QStringLiteral("Arial"));
        Captions[i]->setFont(font);
    }
}

void TBaseFrame::ShowFile(const std::shared_ptr<const TaviFichier> &entry)
{
    if (!entry)
        return;
    m_current = entry;
    const SettingValues &settings = m_settings ? *m_settings : m_defaultSettings;
    const TBaseFrameTexts texts = BaseFrameTexts(*entry, settings.FormatShowDatecode);

    QFont name = LabNom->font();
    name.setPixelSize(13);
    const int width = QFontMetrics(name).horizontalAdvance(texts.name);
    name.setPixelSize(FileNameFontPixels(width, BevelNom->width() - 10));
    LabNom->setFont(name);
    LabNom->setText(texts.name);

    labDatecode->setText(texts.datecode);
    labDecalage->setText(texts.offset);
    labDecalage->setVisible(!texts.offset.isEmpty());
    labscn->setVisible(texts.scn);
    labsrt->setVisible(texts.srt);
    LabTimecode->setText(texts.timecode);
    LabCodec->setText(texts.codec);
    LabImage->setText(texts.image);
    LabDuree->setText(texts.duration);
    labFPS->setText(texts.fps);
    LabAudio1->setText(texts.audio1);
    LabAudio2->setText(texts.audio2);
    setToolTip(texts.hint);
}

void TBaseFrame::Clear()
{
    const QString none = QStringLiteral("---");
    for (QLabel *label : {LabNom, labDatecode, LabTimecode, LabCodec, LabImage, LabDuree, labFPS,
                          LabAudio1, LabAudio2})
        label->setText(none);
    labscn->hide();
    labsrt->hide();
    labDecalage->clear();
    labDecalage->hide();
    m_current.reset();
    if (m_viewdm != nullptr)
        m_viewdm->ResetGraph();
}

} // namespace vidora
