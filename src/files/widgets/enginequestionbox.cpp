#include "files/widgets/enginequestionbox.h"

#include <QApplication>
#include <QMessageBox>

namespace vidora {

TModalResult EngineQuestionBox::Confirm(const QString &text, bool toAllButtons)
{
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    if (toAllButtons)
        buttons |= QMessageBox::NoToAll | QMessageBox::YesToAll;
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, buttons,
                    m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return TModalResult::mrYes;
    case QMessageBox::No:
        return TModalResult::mrNo;
    case QMessageBox::NoToAll:
        return TModalResult::mrNoToAll;
    case QMessageBox::YesToAll:
        return TModalResult::mrYesToAll;
    default:
        return TModalResult::mrCancel;
    }
}

} // namespace vidora
