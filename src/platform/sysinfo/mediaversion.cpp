#include "platform/sysinfo/mediaversion.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/version.h>
}

namespace vidora {

void GetDirectXVersion(QString &text)
{
    // The loaded library's own number, which may be newer than the headers
    // the program was built with.
    const unsigned version = avcodec_version();
    text = QStringLiteral("libavcodec %1.%2.%3")
               .arg(AV_VERSION_MAJOR(version))
               .arg(AV_VERSION_MINOR(version))
               .arg(AV_VERSION_MICRO(version));
}

} // namespace vidora
