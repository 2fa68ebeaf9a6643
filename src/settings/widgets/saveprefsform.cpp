#include "settings/widgets/saveprefsform.h"

#include "platform/shell/widgets/prepareform.h"
#include "ui/linkedit.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace vidora {

TSavePrefsForm::TSavePrefsForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SavePrefsForm"));
    setWindowTitle(QStringLiteral("Saving the preferences of Vidora"));
    resize(420, 300);

    LinkEdit1 = new TLinkEdit(this);
    LinkEdit1->setObjectName(QStringLiteral("LinkEdit1"));
    LinkEdit1->SetRichText(QStringLiteral(
        "<br><size 10><i>Do you want to save your preferences and find them again on next "
        "start?<br><br>"
        "Click on your choice:</i><br><br>* either to save them in the registry (normal "
        "mode).<br>* "
        "either to save them in an ini-file (portable mode).<br>* either not to save them. In the "
        "last "
        "case, all preferences will be lost, and the default values will be loaded on the next "
        "start.<br></size>"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    const char *captions[] = {"Normal", "Portable", "None"};
    for (std::uint8_t choice = 0; choice < 3; ++choice) {
        auto *button = new QPushButton(QString::fromLatin1(captions[choice]), this);
        button->setObjectName(QString::fromLatin1(captions[choice]) + QStringLiteral("Btn"));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, choice] { choose(choice); });
        buttons->addWidget(button);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LinkEdit1, 1);
    layout->addLayout(buttons);
    PrepareForm(this);
}

void TSavePrefsForm::choose(std::uint8_t choice)
{
    Choice = choice;
    Accepted = true;
    accept();
}

} // namespace vidora
