#pragma once

// The command engine's questions as message boxes of the program.
#include "files/engineinterfaces.h"

class QWidget;

namespace vidora {

class EngineQuestionBox : public IEngineQuestions
{
public:
    // `parent` (may be none) owns the boxes while they are shown.
    explicit EngineQuestionBox(QWidget *parent = nullptr) : m_parent(parent) {}

    // A modal confirmation box with the question icon: Yes, No, Cancel, and
    // with `toAllButtons` No to all and Yes to all. Closing the box answers
    // Cancel.
    TModalResult Confirm(const QString &text, bool toAllButtons) override;

private:
    QWidget *m_parent;
};

} // namespace vidora
