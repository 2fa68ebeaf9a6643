#include "ui/valueforms.h"

#include "commands/dialogvalues.h"
#include "platform/shell/widgets/prepareform.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace vidora {

namespace {

QPushButton *AddButton(QHBoxLayout *row, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    row->addWidget(button);
    return button;
}

QButtonGroup *AddChoices(QVBoxLayout *layout, const QStringList &texts, QWidget *parent)
{
    auto *group = new QButtonGroup(parent);
    for (int i = 0; i < texts.size(); ++i) {
        auto *button = new QRadioButton(texts.at(i), parent);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    group->button(0)->setChecked(true);
    return group;
}

} // namespace

// --- TCodecForm --------------------------------------------------------------

TCodecForm::TCodecForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Change the video codec"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Indicate the new codec"), this));
    layout->addWidget(new QLabel(QStringLiteral("(4 characters)"), this));
    rgCodec = AddChoices(layout,
                         {QStringLiteral("dvsd (Microsoft)"), QStringLiteral("dsvd"),
                          QStringLiteral("CDVC (Canopus)"), QStringLiteral("personalized")},
                         this);
    le = new QLineEdit(this);
    le->setPlaceholderText(QStringLiteral("Personalized codec"));
    layout->addWidget(le);
    auto *buttons = new QHBoxLayout;
    OkBtn = AddButton(buttons, QStringLiteral("OK"), this);
    CancelBtn = AddButton(buttons, QStringLiteral("Cancel"), this);
    layout->addLayout(buttons);
    connect(rgCodec, &QButtonGroup::idClicked, this, [this] { UpdateEdit(); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        CodecAccepted = false;
        reject();
    });
    UpdateEdit();
    PrepareForm(this);
}

void TCodecForm::SetCodec(const QString &codec)
{
    const TCodecChoice choice = CodecChoiceFor(codec);
    rgCodec->button(int(choice))->setChecked(true);
    le->setText(choice == TCodecChoice::Personalized ? codec : QString());
    UpdateEdit();
}

void TCodecForm::UpdateEdit()
{
    const bool personalized = rgCodec->checkedId() == int(TCodecChoice::Personalized);
    le->setEnabled(personalized);
    if (personalized && isVisible())
        le->setFocus();
}

void TCodecForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CodecAccepted = false;
    UpdateEdit();
}

void TCodecForm::OkClick()
{
    const auto code = CodecFromChoice(TCodecChoice(rgCodec->checkedId()), le->text());
    CodecAccepted = code.has_value();
    if (code)
        NewFourCC = *code;
    if (CodecAccepted)
        accept();
    else
        reject();
}

// --- TFrequenceForm ------------------------------------------------------------

TFrequenceForm::TFrequenceForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Fix the video framerate"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Indicate the new framerate in frames/sec."), this));
    layout->addWidget(
        new QLabel(QStringLiteral("The audio frequency will remain unchanged."), this));
    rgFreq = AddChoices(layout,
                        {QStringLiteral("25 frames/sec (Pal)"),
                         QStringLiteral("29.97 frames/sec (NTSC)"), QStringLiteral("personalized")},
                        this);
    le = new QLineEdit(this);
    le->setPlaceholderText(QStringLiteral("Personalized frequency"));
    le->setEnabled(false);
    layout->addWidget(le);
    auto *buttons = new QHBoxLayout;
    OkBtn = AddButton(buttons, QStringLiteral("OK"), this);
    CancelBtn = AddButton(buttons, QStringLiteral("Cancel"), this);
    layout->addLayout(buttons);
    connect(rgFreq, &QButtonGroup::idClicked, this,
            [this](int id) { le->setEnabled(id == int(TFrequenceChoice::Personalized)); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        FrameRateAccepted = false;
        reject();
    });
    PrepareForm(this);
}

void TFrequenceForm::OkClick()
{
    const auto rate = FrameRateFromChoice(TFrequenceChoice(rgFreq->checkedId()), le->text());
    FrameRateAccepted = rate.has_value();
    if (rate)
        NewFrameRate = *rate;
    if (FrameRateAccepted)
        accept();
    else
        reject();
}

// --- TIntervalleForm -------------------------------------------------------------

TIntervalleForm::TIntervalleForm(QWidget *parent) : QDialog(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("To create a scn file by cutting the video"), this));
    layout->addWidget(new QLabel(
        QStringLiteral("at regular intervals, indicate the duration in seconds:"), this));
    Edit = new QLineEdit(this);
    layout->addWidget(Edit);
    auto *buttons = new QHBoxLayout;
    ApplyBtn = AddButton(buttons, QStringLiteral("Apply"), this);
    AbortBtn = AddButton(buttons, QStringLiteral("Abort"), this);
    layout->addLayout(buttons);
    connect(ApplyBtn, &QPushButton::clicked, this, [this] { ApplyClick(); });
    connect(AbortBtn, &QPushButton::clicked, this, [this] {
        IntervalAccepted = false;
        reject();
    });
    PrepareForm(this);
}

void TIntervalleForm::ApplyClick()
{
    const auto seconds = IntervalFromText(Edit->text());
    SceneInterval = seconds.value_or(0);
    if (!seconds)
        return; // the dialog stays open
    IntervalAccepted = true;
    accept();
}

// --- TDecalageForm -----------------------------------------------------------------

TDecalageForm::TDecalageForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Fix a time difference"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto *layout = new QVBoxLayout(this);

    SimplePanel = new QWidget(this);
    auto *simple = new QHBoxLayout(SimplePanel);
    rxHeureSolo = new QSpinBox(SimplePanel);
    rxHeureSolo->setRange(-kOffsetHoursLimit, kOffsetHoursLimit);
    simple->addWidget(rxHeureSolo);
    simple->addWidget(new QLabel(QStringLiteral("hours"), SimplePanel));
    layout->addWidget(SimplePanel);

    gbFin = new QGroupBox(QStringLiteral("New date"), this);
    auto *advanced = new QHBoxLayout(gbFin);
    DateEdit2 = new QDateEdit(gbFin);
    DateEdit2->setMinimumDate(QDate(1900, 1, 1));
    DateEdit2->setMaximumDate(QDate(9999, 12, 31));
    advanced->addWidget(DateEdit2);
    const auto spin = [&](int max) {
        auto *box = new QSpinBox(gbFin);
        box->setRange(0, max);
        advanced->addWidget(box);
        return box;
    };
    RxSpinEdit4 = spin(23);
    RxSpinEdit5 = spin(59);
    RxSpinEdit6 = spin(59);
    gbFin->hide();
    layout->addWidget(gbFin);

    LabResultat = new QLabel(this);
    LabResultat->setToolTip(QStringLiteral("Difference between fixed time and original time"));
    layout->addWidget(LabResultat);
    AdvancedBox = new QCheckBox(QStringLiteral("Advanced"), this);
    layout->addWidget(AdvancedBox);

    auto *buttons = new QHBoxLayout;
    CancelBtn = AddButton(buttons, QStringLiteral("Cancel"), this);
    CancelBtn->setToolTip(QStringLiteral("Close this window without applying modifications"));
    OkBtn = AddButton(buttons, QStringLiteral("Ok"), this);
    OkBtn->setToolTip(QStringLiteral("Apply the modifications and close the window"));
    ToZeroBtn = AddButton(buttons, QStringLiteral("To zero"), this);
    layout->addLayout(buttons);

    connect(OkBtn, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(ToZeroBtn, &QPushButton::clicked, this, [this] { ToZeroClick(); });
    connect(AdvancedBox, &QCheckBox::toggled, this, [this](bool on) { SetAdvanced(on); });
    for (QSpinBox *box : {rxHeureSolo, RxSpinEdit4, RxSpinEdit5, RxSpinEdit6})
        connect(box, &QSpinBox::valueChanged, this, [this] { EditChanged(); });
    connect(DateEdit2, &QDateEdit::dateChanged, this, [this] { EditChanged(); });
    PrepareForm(this);
}

void TDecalageForm::UpdateOffset()
{
    if (Advanced) {
        double day = RecordedDate;
        try {
            day = FromQDate(DateEdit2->date());
        } catch (const std::exception &) {
        }
        const double candidate = day + RxSpinEdit4->value() / 24.0 + RxSpinEdit5->value() / 1440.0 +
                                 RxSpinEdit6->value() / 86400.0;
        Offset = candidate - RecordedDate;
    } else {
        Offset = SimpleModeOffset(rxHeureSolo->value(), NewDate - RecordedDate);
    }
    LabResultat->setText(FormatOffsetText(Offset));
    NewDate = RecordedDate + Offset;
}

void TDecalageForm::SyncOffsetControls()
{
    m_updating = true;
    try {
        rxHeureSolo->setValue(OffsetHours(NewDate - RecordedDate));
        const DateTimeParts next = DecodeDateTime(NewDate);
        RxSpinEdit4->setValue(next.time.hour);
        RxSpinEdit5->setValue(next.time.minute);
        RxSpinEdit6->setValue(next.time.second);
        DateEdit2->setDate(ToQDate(NewDate));
    } catch (const std::exception &) {
        // A date outside the calendar leaves the edits as they are.
    }
    UpdateOffset();
    if (OnPreviewOffset)
        OnPreviewOffset(Offset);
    m_updating = false;
}

void TDecalageForm::EditChanged()
{
    if (m_updating)
        return;
    UpdateOffset();
    SyncOffsetControls();
}

void TDecalageForm::OkClick()
{
    Accepted = true;
    accept();
}

void TDecalageForm::CancelClick()
{
    Accepted = false;
    Offset = StoredOffset;
    if (OnPreviewOffset)
        OnPreviewOffset(Offset);
    reject();
}

void TDecalageForm::ToZeroClick()
{
    NewDate = RecordedDate;
    SyncOffsetControls();
}

void TDecalageForm::SetAdvanced(bool on)
{
    Advanced = on;
    gbFin->setVisible(on);
    SimplePanel->setVisible(!on);
}

void TDecalageForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Accepted = false;
    SyncOffsetControls();
}

} // namespace vidora
