#pragma once

// The four small dialogs that ask for the one value a command needs: the
// codec code, the frame rate, the scene interval and the time offset. The
// caller fills a dialog, runs it and reads its value; the conversion of what
// the user typed is in dialogvalues.h.
#include "formats/datetime.h"

#include <QDialog>
#include <QString>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace vidora {

// "Change the video codec".
class TCodecForm : public QDialog
{
    Q_OBJECT

public:
    explicit TCodecForm(QWidget *parent = nullptr);

    // Presets the choice from the current file's codec.
    void SetCodec(const QString &codec);
    // OK: the chosen code into NewFourCC, CodecAccepted when it is one.
    void OkClick();

    QString NewFourCC;
    bool CodecAccepted = false;

    QButtonGroup *rgCodec = nullptr; // ids are TCodecChoice values
    QLineEdit *le = nullptr;
    QPushButton *OkBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void UpdateEdit();
};

// "Fix the video framerate".
class TFrequenceForm : public QDialog
{
    Q_OBJECT

public:
    explicit TFrequenceForm(QWidget *parent = nullptr);

    // OK: the chosen rate into NewFrameRate, FrameRateAccepted when it is
    // a number above 0 in the user's locale.
    void OkClick();

    double NewFrameRate = 0;
    bool FrameRateAccepted = false;

    QButtonGroup *rgFreq = nullptr; // ids are TFrequenceChoice values
    QLineEdit *le = nullptr;
    QPushButton *OkBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
};

// Asks the duration of the scenes made at regular intervals.
class TIntervalleForm : public QDialog
{
    Q_OBJECT

public:
    explicit TIntervalleForm(QWidget *parent = nullptr);

    // Takes the edit's value; closes only for an interval above 0.
    void ApplyClick();

    int SceneInterval = 0;
    bool IntervalAccepted = false;

    QLineEdit *Edit = nullptr;
    QPushButton *ApplyBtn = nullptr;
    QPushButton *AbortBtn = nullptr;
};

// "Fix a time difference": the offset between the recording date and the
// date the user wants, in days.
class TDecalageForm : public QDialog
{
    Q_OBJECT

public:
    explicit TDecalageForm(QWidget *parent = nullptr);

    // Set by the caller before showing.
    DateTimeValue RecordedDate = 0;
    DateTimeValue NewDate = 0;
    // The stored offset ("Décalage Horaire") that Cancel goes back to.
    double StoredOffset = 0;
    // Gives the preview's overlay an offset and redraws it; none: no preview.
    std::function<void(double offset)> OnPreviewOffset;

    double Offset = 0;
    bool Accepted = false;
    bool Advanced = false;

    void UpdateOffset();
    void SyncOffsetControls();
    void OkClick();
    void CancelClick();
    void ToZeroClick();
    void SetAdvanced(bool on);

    QWidget *SimplePanel = nullptr;
    QSpinBox *rxHeureSolo = nullptr;
    QGroupBox *gbFin = nullptr;
    QDateEdit *DateEdit2 = nullptr;
    QSpinBox *RxSpinEdit4 = nullptr; // hour
    QSpinBox *RxSpinEdit5 = nullptr; // minute
    QSpinBox *RxSpinEdit6 = nullptr; // second
    QLabel *LabResultat = nullptr;
    QCheckBox *AdvancedBox = nullptr;
    QPushButton *CancelBtn = nullptr;
    QPushButton *OkBtn = nullptr;
    QPushButton *ToZeroBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void EditChanged();

    bool m_updating = false;
};

} // namespace vidora
