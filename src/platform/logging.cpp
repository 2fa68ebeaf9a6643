#include "platform/logging.h"

#include <QString>

namespace vidora {

Q_LOGGING_CATEGORY(lcFiles, "vidora.files")
Q_LOGGING_CATEGORY(lcUi, "vidora.ui")

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("an unknown failure");
    }
}

} // namespace vidora
