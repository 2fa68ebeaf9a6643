#pragma once

// The program's logging categories. A failure that cannot reach a person
// (a worker's last report, a step of closing) is written here, so it leaves a
// trace; enable or silence them with QT_LOGGING_RULES ("vidora.*=false").
#include <QLoggingCategory>

#include <exception>

namespace vidora {

Q_DECLARE_LOGGING_CATEGORY(lcFiles) // "vidora.files": opening files, running commands
Q_DECLARE_LOGGING_CATEGORY(lcUi)    // "vidora.ui": the main window

// The text of the exception being handled, for a message; call inside a catch.
QString CurrentExceptionText();

} // namespace vidora
