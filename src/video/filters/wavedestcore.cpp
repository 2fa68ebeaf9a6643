#include "video/filters/wavedestcore.h"

#include <algorithm>

namespace vidora {

namespace {

// Bytes of the header around the format block: "RIFF", size, "WAVE",
// "fmt ", size, then "data", size.
constexpr std::uint32_t kHeaderBytesBesideFormat = 28;

// Writes a FOURCC or a little-endian 32-bit value at `at` and returns the
// position after it.
std::size_t putFourCc(std::vector<std::uint8_t> &out, std::size_t at, const char (&code)[5])
{
    std::copy_n(code, 4, out.begin() + static_cast<std::ptrdiff_t>(at));
    return at + 4;
}

std::size_t putLe32(std::vector<std::uint8_t> &out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return at + 4;
}

} // namespace

std::vector<std::uint8_t> BuildWaveHeader(std::span<const std::uint8_t> formatBlock,
                                          std::uint32_t dataBytes)
{
    const auto formatBytes = static_cast<std::uint32_t>(formatBlock.size());
    std::vector<std::uint8_t> header(formatBytes + kHeaderBytesBesideFormat);
    std::size_t at = putFourCc(header, 0, "RIFF");
    at = putLe32(header, at, dataBytes + formatBytes + 20); // everything after this field
    at = putFourCc(header, at, "WAVE");
    at = putFourCc(header, at, "fmt ");
    at = putLe32(header, at, formatBytes);
    at = static_cast<std::size_t>(std::copy(formatBlock.begin(), formatBlock.end(),
                                            header.begin() + static_cast<std::ptrdiff_t>(at)) -
                                  header.begin());
    at = putFourCc(header, at, "data");
    putLe32(header, at, dataBytes);
    return header;
}

WaveDestCore::WaveDestCore(std::uint64_t maxFileBytes)
    : m_maxFileBytes(std::min(maxFileBytes, kMaxFileBytes))
{}

bool WaveDestCore::formatAccepted(std::span<const std::uint8_t> formatBlock)
{
    return formatBlock.size() >= kMinFormatBytes &&
           formatBlock.size() <= kMaxFileBytes - kHeaderBytesBesideFormat;
}

bool WaveDestCore::fail(const QString &message)
{
    m_errorMessage = message;
    return false;
}

bool WaveDestCore::startStreaming(std::span<const std::uint8_t> formatBlock)
{
    m_started = false;
    m_dataBytes = 0;
    m_errorMessage.clear();
    if (!formatAccepted(formatBlock))
        return fail(QStringLiteral("The audio format block of %1 bytes is not a WAVE format "
                                   "(at least %2 bytes).")
                        .arg(formatBlock.size())
                        .arg(kMinFormatBytes));
    m_format.assign(formatBlock.begin(), formatBlock.end());
    m_headerSize = static_cast<std::uint32_t>(m_format.size()) + kHeaderBytesBesideFormat;
    m_started = true;
    return true;
}

bool WaveDestCore::place(std::uint64_t length, Placement &placement)
{
    if (!m_started)
        return fail(QStringLiteral("The WAVE writer received audio before it was started."));
    const std::uint64_t position = std::uint64_t{m_headerSize} + m_dataBytes;
    if (position > m_maxFileBytes || length > m_maxFileBytes - position)
        return fail(QStringLiteral("The WAVE file would grow past 4 GiB, the most its sizes "
                                   "can describe."));
    placement.start = position;
    placement.stop = position + length;
    m_dataBytes += static_cast<std::uint32_t>(length);
    return true;
}

bool WaveDestCore::stopStreaming(PositionalWriter *writer)
{
    if (!m_started)
        return fail(QStringLiteral("The WAVE writer was not started."));
    m_started = false;
    if (writer == nullptr)
        return fail(QStringLiteral("The WAVE writer has no file to write its header to."));
    const std::vector<std::uint8_t> header = BuildWaveHeader(m_format, m_dataBytes);
    if (!writer->writeAt(0, header))
        return fail(QStringLiteral("The WAVE header could not be written."));
    return true;
}

} // namespace vidora
