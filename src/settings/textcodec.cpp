#include "settings/textcodec.h"

#include <QStringDecoder>

#include <array>

namespace vidora {

namespace {

// Windows-1252 at 0x80..0x9F; the five unassigned codes keep their C1 value,
// and every other byte is its Latin-1 character.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCp1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text += (code >= 0x80 && code < 0xA0) ? QChar(kCp1252High[code - 0x80]) : QChar(code);
    }
    return text;
}

QString decodeWith(QStringConverter::Encoding encoding, const QByteArray &bytes)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace

QString DecodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeWith(QStringConverter::Utf8, bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE"))
        return decodeWith(QStringConverter::Utf16LE, bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return decodeWith(QStringConverter::Utf16BE, bytes.mid(2));
    switch (Utf16WithoutMark(bytes)) {
    case TUtf16Guess::LittleEndian:
        return decodeWith(QStringConverter::Utf16LE, bytes);
    case TUtf16Guess::BigEndian:
        return decodeWith(QStringConverter::Utf16BE, bytes);
    case TUtf16Guess::None:
        break;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
}

TUtf16Guess Utf16WithoutMark(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() % 2 != 0)
        return TUtf16Guess::None;
    const qsizetype units = bytes.size() / 2;
    qsizetype zeroFirst = 0;
    qsizetype zeroSecond = 0;
    for (qsizetype i = 0; i < units; ++i) {
        zeroFirst += bytes.at(2 * i) == 0 ? 1 : 0;
        zeroSecond += bytes.at(2 * i + 1) == 0 ? 1 : 0;
    }
    if (zeroFirst == 0 && zeroSecond * 2 >= units)
        return TUtf16Guess::LittleEndian;
    if (zeroSecond == 0 && zeroFirst * 2 >= units)
        return TUtf16Guess::BigEndian;
    return TUtf16Guess::None;
}

std::optional<QString> DecodeTextFile(const QByteArray &bytes)
{
    QString text = DecodeText(bytes);
    qsizetype controls = 0;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == 0)
            return std::nullopt;
        const bool allowed = code == u'\t' || code == u'\n' || code == u'\v' || code == u'\f' ||
                             code == u'\r' || code == 0x1A; // 0x1A: an old end-of-file mark
        if ((code < 0x20 || code == 0x7F) && !allowed)
            ++controls;
    }
    if (controls * 32 > text.size())
        return std::nullopt;
    return text;
}

} // namespace vidora
