#include "scenes/widgets/edittitresform.h"

#include "scenes/edittitres.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vidora {

TEditerTitresForm::TEditerTitresForm(std::function<const TSceneClass *()> shownScene,
                                     std::function<TSceneContext()> context, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), m_shownScene(std::move(shownScene)),
      m_context(std::move(context))
{
    setWindowTitle(QStringLiteral("Edit the title of a scene"));
    auto *layout = new QVBoxLayout(this);

    auto *toolbar = new QToolBar(this);
    const auto button = [&](const QString &text) {
        auto *b = new QToolButton(toolbar);
        b->setText(text);
        toolbar->addWidget(b);
        return b;
    };
    btnEmpty = button(QStringLiteral("Empty"));
    btnStudio = button(QStringLiteral("Studio"));
    btnCancel = button(QStringLiteral("Cancel"));
    btnAll = button(QStringLiteral("All"));
    btnApply = button(QStringLiteral("Apply"));
    layout->addWidget(toolbar);

    auto *help = new QLabel(
        QStringLiteral("Define the captions of one or several scenes.\n"
                       "Use following codes:\n"
                       "%F name of file without extension, %E extension of file, %P path of file, "
                       "%D datecode, %T timecode, %C codec, %U duration, %I dimension of image, "
                       "%A audio format, %N scene number\n"
                       "You may also emty the captions, or use the default Studio template."),
        this);
    help->setWordWrap(true);
    layout->addWidget(help);
    auto *hint =
        new QLabel(QStringLiteral("When this panel is visible, add CTRL to the keys like "
                                  "Space, +, -, del to launch the corresponding commands. "),
                   this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto *group = new QGroupBox(QStringLiteral("templates for title / sub-title"), this);
    auto *groupLayout = new QVBoxLayout(group);
    edTitre = new QLineEdit(group);
    edSoustitre = new QLineEdit(group);
    groupLayout->addWidget(edTitre);
    groupLayout->addWidget(edSoustitre);
    layout->addWidget(group);
    LabTitres = new QLabel(this);
    layout->addWidget(LabTitres);

    connect(edTitre, &QLineEdit::textChanged, this, &TEditerTitresForm::RefreshPreview);
    connect(edSoustitre, &QLineEdit::textChanged, this, &TEditerTitresForm::RefreshPreview);
    connect(btnEmpty, &QToolButton::clicked, this, [this] {
        edTitre->clear();
        edSoustitre->clear();
    });
    connect(btnStudio, &QToolButton::clicked, this, [this] {
        edTitre->setText(kStudioTitleTemplate);
        edSoustitre->setText(kStudioSubtitleTemplate);
    });
    connect(btnCancel, &QToolButton::clicked, this, [this] { Close(kTitlesCancel); });
    connect(btnAll, &QToolButton::clicked, this, [this] { Close(kTitlesApplyAll); });
    connect(btnApply, &QToolButton::clicked, this, [this] { Close(kTitlesApplyShown); });
}

void TEditerTitresForm::LoadFromScene(const TSceneClass *scene)
{
    const TSceneContext context = m_context();
    edTitre->setText(scene ? TitleToTemplate(scene->Title, scene, context) : QString());
    edSoustitre->setText(scene ? TitleToTemplate(scene->Subtitle, scene, context) : QString());
}

void TEditerTitresForm::RefreshPreview()
{
    const TSceneClass *scene = m_shownScene();
    if (!scene) {
        LabTitres->setText(edTitre->text() + QLatin1Char('\n') + edSoustitre->text());
        return;
    }
    const TSceneContext context = m_context();
    LabTitres->setText(ExpandTitleTemplate(edTitre->text(), *scene, context) + QLatin1Char('\n') +
                       ExpandTitleTemplate(edSoustitre->text(), *scene, context));
}

void TEditerTitresForm::Close(std::uint8_t choice)
{
    Choice = choice;
    close();
}

void TEditerTitresForm::closeEvent(QCloseEvent *event)
{
    // The titles action decides: it applies Choice and hides the window.
    event->ignore();
    emit closeRequested();
}

} // namespace vidora
