#include "formats/fpsunit.h"

#include "formats/avilayout.h"
#include "formats/rounding.h"

#include <QFile>

#include <cmath>
#include <limits>

namespace vidora {

namespace {

// Offsets of the patched fields inside their chunk's data; a field counts as
// found only when all of its bytes lie inside the chunk.
constexpr qint64 kHandlerField = avi::strh::kHandlerOffset;
constexpr qint64 kScaleField = avi::strh::kScaleOffset; // dwRate follows it
constexpr qint64 kCompressionField = avi::bih::kCompressionOffset;

constexpr quint32 kRate = 1000000;

// The stream kind of the last stream header decides what the next "strf"
// holds; only a "vids" header is followed by a BITMAPINFOHEADER.
enum class StreamKind {
    Video,
    Interleaved,
    Other,
};

AviHeaderPositions scanDevice(QIODevice &device)
{
    AviHeaderPositions found;
    const riff::Tree tree = riff::walkTree(device);
    riff::BoundedReader reader(device);
    StreamKind kind = StreamKind::Other;
    for (const riff::Chunk &chunk : tree.chunks) {
        // A field counts only when both its chunk and the chunk's list hold it.
        qint64 held = chunk.dataSize();
        if (chunk.parent >= 0)
            held = qMin(held, tree.chunks[std::size_t(chunk.parent)].end() - chunk.dataOffset);
        if (chunk.id == riff::kStrh) {
            const auto type = held >= 4 ? reader.fourCCAt(chunk.dataOffset) : std::nullopt;
            kind = !type                  ? StreamKind::Other
                   : *type == riff::kVids ? StreamKind::Video
                   : *type == riff::kIavs ? StreamKind::Interleaved
                                          : StreamKind::Other;
            if (kind != StreamKind::Other) {
                found.handler = held >= kHandlerField + 4 ? chunk.dataOffset + kHandlerField : -1;
                found.scale = held >= kScaleField + 8 ? chunk.dataOffset + kScaleField : -1;
            }
        } else if (chunk.id == riff::kStrf && kind == StreamKind::Video) {
            found.compression =
                held >= kCompressionField + 4 ? chunk.dataOffset + kCompressionField : -1;
        }
    }
    return found;
}

QString openError(const QString &fileName, const QFile &file)
{
    return QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString());
}

// Writes the bytes at a position the scan found inside the file; the file
// never grows.
bool writeAt(QFile &file, qint64 position, const QByteArray &bytes)
{
    return position >= 0 && position + bytes.size() <= file.size() && file.seek(position) &&
           file.write(bytes) == bytes.size();
}

} // namespace

AviHeaderPositions ScanAviHeader(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return scanDevice(file);
}

FourCC ReadAviCodec(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AviFileError(openError(fileName, file).toStdString());
    const AviHeaderPositions found = scanDevice(file);
    if (found.handler < 0)
        return 0;
    riff::BoundedReader reader(file);
    const auto code = reader.fourCCAt(found.handler);
    if (!code) {
        throw AviFileError(
            QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()).toStdString());
    }
    return *code;
}

bool WriteAviCodec(const QString &fileName, FourCC codec)
{
    if (!isPrintableFourCC(codec))
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const AviHeaderPositions found = scanDevice(file);
    if (found.handler < 0 && found.compression < 0)
        return false;
    const QByteArray bytes = bytesLE32(codec);
    if (found.handler >= 0 && !writeAt(file, found.handler, bytes))
        return false;
    if (found.compression >= 0 && !writeAt(file, found.compression, bytes))
        return false;
    return file.flush();
}

void WriteAviFrameRate(const QString &fileName, double fps)
{
    constexpr double kMaxScale = std::numeric_limits<quint32>::max();
    const double exact = double(kRate) / fps;
    // Checked before rounding so that the rounding stays within its range.
    const bool valid = std::isfinite(fps) && fps > 0 && exact <= kMaxScale + 1.0;
    const std::int64_t scale = valid ? roundHalfEven(exact) : 0;
    if (scale < 1 || scale > std::int64_t(kMaxScale)) {
        throw AviFileError(QStringLiteral("The frame rate %1 is not valid for %2")
                               .arg(QString::number(fps), fileName)
                               .toStdString());
    }

    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        throw AviFileError(openError(fileName, file).toStdString());
    const AviHeaderPositions found = scanDevice(file);
    if (found.scale < 0) {
        throw AviFileError(
            QStringLiteral("No video stream header found in %1").arg(fileName).toStdString());
    }
    if (!writeAt(file, found.scale, bytesLE32(quint32(scale)) + bytesLE32(kRate)) ||
        !file.flush()) {
        throw AviFileError(
            QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()).toStdString());
    }
}

FourCC StrToFourCC(const QString &text)
{
    FourCC code = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = i < text.size() ? text[i].toLatin1() : ' ';
        code |= FourCC(quint8(c)) << (8 * i);
    }
    return code;
}

QString FourCCToStr(FourCC code)
{
    return fourCCBytesText(code);
}

bool isPrintableFourCC(FourCC code)
{
    for (int i = 0; i < 4; ++i) {
        const quint8 c = (code >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

std::optional<FourCC> FourCCFromText(const QString &text)
{
    if (text.size() > 4)
        return std::nullopt;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return std::nullopt;
    }
    return StrToFourCC(text);
}

} // namespace vidora
