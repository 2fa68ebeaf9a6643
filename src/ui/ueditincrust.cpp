#include "ui/ueditincrust.h"

#include "formats/datetime.h"
#include "platform/shell/widgets/prepareform.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>

#include <exception>
#include <vector>

namespace vidora {

namespace {

QString formatOr(const QString &pattern, double value)
{
    try {
        return FormatDateTime(pattern, value);
    } catch (const std::exception &) {
        return QString();
    }
}

QToolButton *toolButton(QWidget *parent, const QString &text, bool checkable = false)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setCheckable(checkable);
    return button;
}

} // namespace

QString ExpandTemplate(const QString &line, int lineNumber, const TaviFichier *file)
{
    if (file == nullptr)
        return line;
    QString text = line;
    text.replace(QStringLiteral("%D"),
                 lineNumber == 1 ? QStringLiteral("%D1") : QStringLiteral("%D2"),
                 Qt::CaseInsensitive);
    const QFileInfo info(file->Path());
    const QString suffix = info.suffix();
    const TaviData &data = file->Data();
    const std::pair<const char *, QString> codes[] = {
        {"%F", info.completeBaseName()},
        {"%E", suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix},
        {"%P", info.absolutePath() + QLatin1Char('/')},
        {"%C", data.codec},
        {"%I", data.pictureText + data.aspectText},
        {"%A", data.audioFormatText},
        {"%U", data.videoDurationText},
    };
    for (const auto &[code, value] : codes)
        text.replace(QLatin1String(code), value, Qt::CaseInsensitive);
    return text;
}

QString PreviewText(const QString &line, const TaviFichier *file, const QString &format1,
                    const QString &format2, double now)
{
    const double date =
        file != nullptr && file->Data().recDateTime > 0 ? file->Data().recDateTime : now;
    QString text = line;
    text.replace(QStringLiteral("%D1"), formatOr(format1, date), Qt::CaseInsensitive);
    text.replace(QStringLiteral("%D2"), formatOr(format2, date), Qt::CaseInsensitive);
    const QString timecode = file != nullptr && file->Data().timecodeText.size() > 3
                                 ? file->Data().timecodeText
                                 : QStringLiteral("0:54:32:10");
    text.replace(QStringLiteral("%T"), timecode, Qt::CaseInsensitive);
    return text;
}

std::pair<QString, QString> IncrustLines(std::uint8_t whatIncrust, const QString &perso1,
                                         const QString &perso2, const TaviFichier *file)
{
    switch (whatIncrust) {
    case 0:
        return {QStringLiteral("%D1"), QStringLiteral("%D2")};
    case 1:
        return {QString(), QStringLiteral("%T")};
    default:
        return {ExpandTemplate(perso1, 1, file), ExpandTemplate(perso2, 2, file)};
    }
}

TEditIncrustForm::TEditIncrustForm(SettingValues *settings, Tviewdm *viewdm, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), m_settings(settings), m_viewdm(viewdm)
{
    setWindowTitle(QStringLiteral("Edit the inlay"));
    tbDatecode = toolButton(this, QStringLiteral("Datecode"), true);
    tbTimecode = toolButton(this, QStringLiteral("Timecode"), true);
    tbTexte = toolButton(this, QStringLiteral("Text"), true);
    ToolbarButton971 = toolButton(this, QStringLiteral("D"));
    ToolbarButton972 = toolButton(this, QStringLiteral("T"));
    ToolbarButton973 = toolButton(this, QStringLiteral("P"));
    for (QToolButton *b : {tbDatecode, ToolbarButton971})
        b->setToolTip(QStringLiteral("Click to inlay datecode"));
    for (QToolButton *b : {tbTimecode, ToolbarButton972})
        b->setToolTip(QStringLiteral("Click to inlay timecode"));
    auto *content = new QButtonGroup(this);
    content->addButton(tbDatecode, 0);
    content->addButton(tbTimecode, 1);
    content->addButton(tbTexte, 2);
    edPerso1 = new QLineEdit(this);
    edPerso2 = new QLineEdit(this);
    cbDatecode1 = new QComboBox(this);
    cbDatecode1->setEditable(true);
    cbDatecode1->addItems({"ddddd", "tt", "dddddd", "ddddd tt", "dddddd tt", "d mmm yyyy"});
    cbDatecode2 = new QComboBox(this);
    cbDatecode2->setEditable(true);
    cbDatecode2->addItems({"tt", "ddddd", "dddddd", "ddddd t", "dddddd tt", "d mmm yyyy"});
    FontComboBox1 = new QFontComboBox(this);
    cbSize = new QComboBox(this);
    cbSize->setEditable(true);
    cbSize->addItems({"auto", "8", "9", "10", "11", "12", "14", "16", "18", "20", "22", "24", "26",
                      "28", "36", "48", "72"});
    tbBold = toolButton(this, QStringLiteral("B"), true);
    tbItalic = toolButton(this, QStringLiteral("I"), true);
    tbUnderline = toolButton(this, QStringLiteral("U"), true);
    ColorButton = toolButton(this, QStringLiteral("Colour"));
    tbLeftAlign = toolButton(this, QStringLiteral("Left"), true);
    tbCenter = toolButton(this, QStringLiteral("Centre"), true);
    tbRightAlign = toolButton(this, QStringLiteral("Right"), true);
    tbSousTitre = toolButton(this, QStringLiteral("Subtitle"), true);
    auto *alignment = new QButtonGroup(this);
    alignment->addButton(tbLeftAlign, 0);
    alignment->addButton(tbCenter, 1);
    alignment->addButton(tbRightAlign, 2);
    alignment->addButton(tbSousTitre, 3);
    tbBorder = toolButton(this, QString());
    tbBorder->setPopupMode(QToolButton::InstantPopup);
    auto *borders = new QMenu(tbBorder);
    borders->addAction(QStringLiteral("No border"), this, [this] { BorderChosen(0); });
    borders->addAction(QStringLiteral("1 pixel"), this, [this] { BorderChosen(1); });
    for (int pixels = 2; pixels <= 5; ++pixels)
        borders->addAction(QStringLiteral("%1 pixels").arg(pixels), this,
                           [this, pixels] { BorderChosen(pixels); });
    tbBorder->setMenu(borders);
    rbPermanent = new QRadioButton(QStringLiteral("permanently"), this);
    rbUnique = new QRadioButton(QStringLiteral("once"), this);
    rbScene = new QRadioButton(QStringLiteral("on each new scene"), this);
    rbJour = new QRadioButton(QStringLiteral("on each new day"), this);
    edDuree = new QLineEdit(this);
    edDuree->setToolTip(QStringLiteral("Duration (in seconds)"));
    labDatecode = new QLabel(this);
    LabTimecode = new QLabel(this);
    LabTexte = new QLabel(this);
    btShowOverlay = toolButton(this, QStringLiteral("Show"));
    btClose = toolButton(this, QStringLiteral("Close"));

    // One row per group of controls, three columns.
    auto *grid = new QGridLayout(this);
    const std::vector<std::vector<QWidget *>> rows = {
        {tbDatecode, tbTimecode, tbTexte},
        {labDatecode, LabTimecode, LabTexte},
        {ToolbarButton971, ToolbarButton972, ToolbarButton973},
        {edPerso1},
        {edPerso2},
        {cbDatecode1, cbDatecode2},
        {FontComboBox1, cbSize},
        {tbBold, tbItalic, tbUnderline},
        {ColorButton, tbBorder},
        {tbLeftAlign, tbCenter, tbRightAlign},
        {tbSousTitre},
        {rbPermanent, rbUnique},
        {rbScene, rbJour},
        {edDuree},
        {btShowOverlay, btClose},
    };
    for (int row = 0; row < int(rows.size()); ++row) {
        const auto &cells = rows[std::size_t(row)];
        for (int col = 0; col < int(cells.size()); ++col)
            grid->addWidget(cells[std::size_t(col)], row, col, 1, cells.size() == 1 ? 3 : 1);
    }

    PrepareForm(this);
    FillFromSettings();

    connect(tbDatecode, &QToolButton::clicked, this, [this] { ChooseContent(0); });
    connect(ToolbarButton971, &QToolButton::clicked, this, [this] { ChooseContent(0); });
    connect(tbTimecode, &QToolButton::clicked, this, [this] { ChooseContent(1); });
    connect(ToolbarButton972, &QToolButton::clicked, this, [this] { ChooseContent(1); });
    connect(tbTexte, &QToolButton::clicked, this, [this] { ChooseContent(2); });
    connect(ToolbarButton973, &QToolButton::clicked, this, [this] { ChooseContent(2); });
    // The personal lines are settings ("texte1", "texte2") like the rest of
    // the form: kept as typed, they are saved and shown again next time.
    for (QLineEdit *line : {edPerso1, edPerso2})
        connect(line, &QLineEdit::textChanged, this, [this, line](const QString &text) {
            Change([&] {
                (line == edPerso1 ? m_settings->Text1 : m_settings->Text2) = text;
                RefreshSamples();
            });
        });
    connect(cbDatecode1, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        Change([&] {
            m_settings->Incrust.DateFormat1 = text;
            RefreshSamples();
        });
    });
    connect(cbDatecode2, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        Change([&] {
            m_settings->Incrust.DateFormat2 = text;
            RefreshSamples();
        });
    });
    connect(FontComboBox1, &QFontComboBox::textActivated, this, [this](const QString &name) {
        Change([&] {
            m_settings->Incrust.Font.Name = name;
            UpdateIncrustText();
        });
    });
    connect(cbSize, &QComboBox::currentTextChanged, this, &TEditIncrustForm::SizeChanged);
    connect(tbBold, &QToolButton::toggled, this, [this](bool on) {
        Change([&] {
            m_settings->Incrust.Font.Bold = on;
            UpdateIncrustText();
        });
    });
    connect(tbItalic, &QToolButton::toggled, this, [this](bool on) {
        Change([&] {
            m_settings->Incrust.Font.Italic = on;
            UpdateIncrustText();
        });
    });
    connect(tbUnderline, &QToolButton::toggled, this, [this](bool on) {
        Change([&] {
            m_settings->Incrust.Font.Underline = on;
            UpdateIncrustText();
        });
    });
    connect(ColorButton, &QToolButton::clicked, this, [this] {
        const TfontRecord &font = m_settings->Incrust.Font;
        const QColor current(font.Color & 0xFF, (font.Color >> 8) & 0xFF,
                             (font.Color >> 16) & 0xFF);
        const QColor chosen = QColorDialog::getColor(current, this);
        if (chosen.isValid())
            ColourChosen(chosen);
    });
    for (QToolButton *b : {tbLeftAlign, tbCenter, tbRightAlign, tbSousTitre})
        connect(b, &QToolButton::clicked, this,
                [this, alignment, b] { AlignmentChosen(std::uint8_t(alignment->id(b))); });
    const std::pair<QRadioButton *, std::uint8_t> whens[] = {
        {rbPermanent, 0}, {rbUnique, 1}, {rbScene, 2}, {rbJour, 3}};
    for (const auto &[button, when] : whens)
        connect(button, &QRadioButton::toggled, this, [this, when = when](bool on) {
            if (on)
                Change([&] {
                    m_settings->Incrust.When = when;
                    UpdateIncrustText();
                });
        });
    connect(edDuree, &QLineEdit::textChanged, this, &TEditIncrustForm::DurationChanged);
    connect(btShowOverlay, &QToolButton::clicked, this, [this] {
        if (OnShowOverlay)
            OnShowOverlay();
    });
    connect(btClose, &QToolButton::clicked, this, [this] {
        if (OnToggleEditor)
            OnToggleEditor();
    });
}

template <class F>
void TEditIncrustForm::Change(F change)
{
    if (!m_filling)
        change();
}

void TEditIncrustForm::FillFromSettings()
{
    m_filling = true;
    const SettingValues &s = *m_settings;
    const TincrustRec &rec = s.Incrust;
    const std::uint8_t align = s.IncrustAlignment;
    tbLeftAlign->setChecked(align == 0);
    tbCenter->setChecked(align == 1);
    tbRightAlign->setChecked(align == 2);
    edPerso1->setText(s.Text1);
    edPerso2->setText(s.Text2);
    cbDatecode1->setCurrentText(rec.DateFormat1);
    cbDatecode2->setCurrentText(rec.DateFormat2);
    FontComboBox1->setCurrentIndex(FontComboBox1->findText(rec.Font.Name));
    cbSize->setCurrentText(QString::number(rec.Font.Size));
    tbBold->setChecked(rec.Font.Bold != 0);
    tbItalic->setChecked(rec.Font.Italic != 0);
    tbUnderline->setChecked(rec.Font.Underline != 0);
    edDuree->setText(QString::number(rec.Seconds));
    for (QRadioButton *b : {rbPermanent, rbUnique, rbScene, rbJour})
        b->setChecked(false);
    switch (rec.When) {
    case 0:
        rbPermanent->setChecked(true);
        break;
    case 1:
        rbUnique->setChecked(true);
        break;
    case 2:
        rbScene->setChecked(true);
        break;
    case 3:
        rbJour->setChecked(true);
        break;
    default:
        break;
    }
    tbBorder->setText(rec.Outline == 0 ? QString() : QString::number(rec.Outline));
    m_filling = false;
}

void TEditIncrustForm::SetCurrentFile(std::shared_ptr<const TaviFichier> file)
{
    m_file = std::move(file);
    RefreshSamples();
}

void TEditIncrustForm::RefreshSamples()
{
    const QString f1 = cbDatecode1->currentText();
    const QString f2 = cbDatecode2->currentText();
    const double now = FromQDateTime(QDateTime::currentDateTime());
    const TaviFichier *file = m_file.get();
    labDatecode->setText(PreviewText(QStringLiteral("%D1"), file, f1, f2, now) + "\n" +
                         PreviewText(QStringLiteral("%D2"), file, f1, f2, now));
    LabTimecode->setText(PreviewText(QString(), file, f1, f2, now) + "\n" +
                         PreviewText(QStringLiteral("%T"), file, f1, f2, now));
    LabTexte->setText(PreviewText(ExpandTemplate(edPerso1->text(), 1, file), file, f1, f2, now) +
                      "\n" +
                      PreviewText(ExpandTemplate(edPerso2->text(), 2, file), file, f1, f2, now));
    UpdateIncrustText();
}

void TEditIncrustForm::UpdateIncrustText()
{
    TincrustRec &rec = m_settings->Incrust;
    std::tie(rec.Line1, rec.Line2) =
        IncrustLines(m_settings->WhatIncrust, edPerso1->text(), edPerso2->text(), m_file.get());
    if (m_viewdm == nullptr)
        return;
    m_viewdm->Superposer().SetOptions(rec);
    m_viewdm->Refresh();
}

void TEditIncrustForm::ChooseContent(std::uint8_t what)
{
    m_settings->WhatIncrust = what;
    if (!m_settings->IsIncrustOn && OnShowOverlay)
        OnShowOverlay();
    UpdateIncrustText();
}

void TEditIncrustForm::SizeChanged(const QString &text)
{
    Change([&] {
        TincrustRec &rec = m_settings->Incrust;
        if (text == QLatin1String("auto")) {
            rec.AutoSize = 1;
        } else {
            rec.AutoSize = 0;
            bool ok = false;
            const int size = text.trimmed().toInt(&ok);
            if (ok && size > 0)
                rec.Font.Size = size;
        }
        UpdateIncrustText();
    });
}

void TEditIncrustForm::DurationChanged(const QString &text)
{
    Change([&] {
        bool ok = false;
        const int seconds = text.trimmed().toInt(&ok);
        m_settings->Incrust.Seconds = ok ? seconds : 5;
        UpdateIncrustText();
    });
}

void TEditIncrustForm::AlignmentChosen(std::uint8_t alignment)
{
    m_settings->IncrustAlignment = alignment;
    if (alignment == 3 && OnHorizontalSlider)
        OnHorizontalSlider(500);
    if (m_viewdm == nullptr)
        return;
    m_viewdm->Superposer().SetAlignment(alignment);
    m_viewdm->Refresh();
}

void TEditIncrustForm::BorderChosen(int pixels)
{
    m_settings->Incrust.Outline = pixels;
    tbBorder->setText(pixels == 0 ? QString() : QString::number(pixels));
    UpdateIncrustText();
}

void TEditIncrustForm::ColourChosen(const QColor &colour)
{
    // 0x00BBGGRR
    m_settings->Incrust.Font.Color =
        std::int32_t(colour.red() | (colour.green() << 8) | (colour.blue() << 16));
    UpdateIncrustText();
}

void TEditIncrustForm::closeEvent(QCloseEvent *event)
{
    // The action hides the form, so that its checked state stays right.
    event->ignore();
    if (OnToggleEditor)
        OnToggleEditor();
}

} // namespace vidora
