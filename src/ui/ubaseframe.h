#pragma once

// The information frame under the video: the active file's values, and the
// display record the video view's timer fills with the frame being shown.
#include "files/avifichier.h"
#include "settings/settings.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>

#include <memory>

namespace vidora {

class Tviewdm;

// The texts of the frame being shown, written by the video view's timer.
struct TDisplayRecord
{
    QString datecode;
    QString timecode;
    int sliderPosition = 0;
    QString audio;
    QString audioRate;
    QString codec;
};

// The texts ShowFile puts in the value labels, worked out without them.
struct TBaseFrameTexts
{
    QString name;
    QString datecode;
    QString offset; // empty: the offset label is hidden
    bool scn = false;
    bool srt = false;
    QString timecode;
    QString codec;
    QString image;
    QString duration;
    QString fps;
    QString audio1;
    QString audio2;
    QString hint;
};
TBaseFrameTexts BaseFrameTexts(const TaviFichier &entry, const QString &datecodeFormat);

// The pixel height of the file name's font: 13, smaller when the name at 13
// pixels is wider than `room`, never below the height of 8 points.
int FileNameFontPixels(int textWidthAt13, int room);

class TBaseFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TBaseFrame(QWidget *parent = nullptr);

    void SetSettings(const SettingValues *settings) { m_settings = settings; }
    // The preview that Clear stops and empties; not owned.
    void SetPreview(Tviewdm *viewdm) { m_viewdm = viewdm; }

    void Setup();
    void ShowFile(const std::shared_ptr<const TaviFichier> &entry);
    void Clear();

    // The entry whose information is shown; null after Clear.
    const std::shared_ptr<const TaviFichier> &CurrentFile() const { return m_current; }
    TDisplayRecord &DisplayRecord() { return m_record; }

    QFrame *BevelNom;
    QLabel *LabNom;
    QLabel *labDatecode;
    QLabel *LabTimecode;
    QLabel *LabCodec;
    QLabel *LabImage;
    QLabel *LabDuree;
    QLabel *labFPS;
    QLabel *LabAudio1;
    QLabel *LabAudio2;
    QLabel *labscn;
    QLabel *labsrt;
    QLabel *labDecalage;
    QProgressBar *Gauge1;
    QProgressBar *Gauge2;
    // "Datecode", "timecode", "codec", "Image", "Duration", "Fps", "Audio", "scn"
    QList<QLabel *> Captions;

private:
    const SettingValues *m_settings = nullptr;
    SettingValues m_defaultSettings;
    Tviewdm *m_viewdm = nullptr;
    std::shared_ptr<const TaviFichier> m_current;
    TDisplayRecord m_record;
};

} // namespace vidora
