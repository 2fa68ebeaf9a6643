#include "support/lebytes.h"

#include "formats/riff.h"

#include <gtest/gtest.h>

namespace vidora::test {

quint32 le32At(const QByteArray &bytes, qint64 at)
{
    return le32At(std::span(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                            std::size_t(bytes.size())),
                  at < 0 ? std::size_t(-1) : std::size_t(at));
}

quint32 le32At(std::span<const std::uint8_t> bytes, std::size_t at)
{
    if (at > bytes.size() || bytes.size() - at < 4) {
        ADD_FAILURE() << "a 32-bit value at " << at << " passes the end of " << bytes.size()
                      << " bytes";
        return 0;
    }
    return readLE32(bytes.data() + at);
}

void putLe(QByteArray &bytes, qint64 at, quint64 value, int width)
{
    for (int i = 0; i < width && at >= 0 && at + i < bytes.size(); ++i)
        bytes[at + i] = char(value >> (8 * i));
}

} // namespace vidora::test
