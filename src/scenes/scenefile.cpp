#include "scenes/scenefile.h"

#include "platform/durablefile.h"
#include "settings/inputfiles.h"
#include "settings/settings.h"
#include "settings/textcodec.h"

#include <QFile>

#include <stdexcept>

namespace vidora {
namespace {

void PutU16(QByteArray &out, std::uint32_t v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void PutU32(QByteArray &out, std::uint32_t v)
{
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void PutBytes(QByteArray &out, std::initializer_list<std::uint8_t> bytes)
{
    for (std::uint8_t b : bytes)
        out.append(char(b));
}

// S(x): FF FE FF, the count (1 byte; FF + 16 bits; FF FFFF + 32 bits), UTF-16LE.
void PutString(QByteArray &out, const QString &text)
{
    PutBytes(out, {0xFF, 0xFE, 0xFF});
    const auto n = static_cast<std::uint32_t>(text.size());
    if (n < 0xFF) {
        out.append(char(n));
    } else if (n < 0xFFFF) {
        out.append(char(0xFF));
        PutU16(out, n);
    } else {
        PutBytes(out, {0xFF, 0xFF, 0xFF});
        PutU32(out, n);
    }
    for (QChar c : text)
        PutU16(out, c.unicode());
}

// Reads a scene file front to back; every read that runs out of data sets
// `ok` false, and the record being read is then dropped.
class ArchiveReader
{
public:
    explicit ArchiveReader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_bytes.size(); }

    // The next n bytes; empty (and not ok) when fewer are left.
    QByteArray Block(qsizetype n)
    {
        if (!m_ok || m_bytes.size() - m_pos < n) {
            m_ok = false;
            return QByteArray();
        }
        QByteArray block = m_bytes.mid(m_pos, n);
        m_pos += n;
        return block;
    }

    std::uint32_t U8() { return Unsigned(1); }
    std::uint32_t U16() { return Unsigned(2); }
    std::uint32_t U32() { return Unsigned(4); }

    QString String()
    {
        const std::uint32_t l = U8();
        if (l == 0 || !m_ok)
            return QString();
        if (l < 0xFF)
            return Text8(l);
        const std::uint32_t w = U16();
        if (w == 0 || !m_ok)
            return QString();
        if (w <= 1023)
            return Text8(w);
        if (w != 0xFFFE)
            return QString(); // an unknown form: nothing more is read
        std::uint32_t n = U8();
        if (n == 0xFF) {
            n = U16();
            if (n == 0xFFFF)
                n = U32();
        }
        if (n == 0 || !m_ok)
            return QString();
        if (n > static_cast<std::uint32_t>((m_bytes.size() - m_pos) / 2)) {
            m_ok = false;
            return QString();
        }
        QString text(static_cast<qsizetype>(n), Qt::Uninitialized);
        for (std::uint32_t i = 0; i < n; ++i)
            text[i] = QChar(static_cast<char16_t>(U16()));
        const qsizetype nul = text.indexOf(QChar(0));
        return nul < 0 ? text : text.left(nul);
    }

private:
    std::uint32_t Unsigned(int size)
    {
        const QByteArray b = Block(size);
        std::uint32_t v = 0;
        for (qsizetype i = b.size() - 1; i >= 0; --i)
            v = (v << 8) | static_cast<std::uint8_t>(b[i]);
        return v;
    }

    // 8-bit text (UTF-8, else Windows-1252), ending at a 0 byte.
    QString Text8(std::uint32_t n)
    {
        QByteArray b = Block(n);
        const qsizetype nul = b.indexOf('\0');
        if (nul >= 0)
            b.truncate(nul);
        return DecodeText(b);
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// The optional fields at the end of a record, then the scene joins the list.
bool FinishScene(ArchiveReader &in, bool hasCaption, bool hasOffset,
                 std::shared_ptr<TSceneClass> scene, TSceneList &list)
{
    scene->ThumbOffset = hasOffset ? in.U32() : 0;
    if (hasCaption) {
        SplitFirstTwoLines(in.String(), scene->Title, scene->Subtitle);
    } else {
        scene->ClearTitles();
    }
    if (!in.ok())
        return false;
    list.push_back(TSceneItem{scene->GetCaption(), std::move(scene)});
    return true;
}

} // namespace

QString CompanionFileName(const QString &videoName, const QString &ending)
{
    const qsizetype slash = videoName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = videoName.lastIndexOf(QLatin1Char('.'));
    return videoName.left(dot > slash ? dot : videoName.size()) + ending;
}

TwriteScene::TwriteScene(const QString &videoName)
    : m_fileName(CompanionFileName(videoName, QStringLiteral(".scn"))), m_videoName(videoName)
{
    PutBytes(m_bytes, {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00});
    PutBytes(m_bytes, {0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00});
    m_bytes.append("SourceTape");
    PutString(m_bytes, videoName);
    PutBytes(m_bytes, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00});
    m_countPos = m_bytes.size();
}

TwriteScene::~TwriteScene()
{
    Close();
}

void TwriteScene::AddScene(const TSceneClass &scene)
{
    if (m_done)
        return;
    const std::uint32_t length = scene.Length(); // throws before anything is added
    // The count has 16 bits: a file of more scenes would read back as a few.
    // The writer fails, and Close leaves the old file as it was.
    if (m_count == kMaxScenes) {
        m_done = true;
        m_ok = false;
        m_error = QStringLiteral("%1: a scene file cannot hold more than %2 scenes")
                      .arg(m_fileName)
                      .arg(kMaxScenes);
        return;
    }
    const bool hasCaption = !scene.Title.isEmpty() || !scene.Subtitle.isEmpty();
    const bool hasOffset = scene.ThumbOffset != 0;
    const std::uint8_t f1 = hasCaption ? 0x80 : 0x00;
    const std::uint8_t f2 = hasOffset ? 0x40 : 0x00;
    QByteArray &out = m_bytes;
    if (m_count == 0) {
        PutU16(out, 0); // the count, rewritten below
        PutBytes(out, {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00});
        out.append("Clip");
        PutBytes(out, {0x50, f1, f2, 0x00});
        PutBytes(out, {0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00});
        out.append("Scene");
        PutString(out, QString());
        PutU32(out, 0);
        PutU32(out, scene.EndFrame);
        PutU32(out, 0);
        PutBytes(out, {0x01, 0x80});
        PutString(out, m_videoName);
        PutU32(out, 0);
        PutU32(out, 0);
        PutU32(out, scene.EndFrame);
    } else {
        PutBytes(out, {0x03, 0x80, 0xF0, f1, f2, 0x00, 0x05, 0x80});
        PutString(out, QString());
        PutU32(out, scene.StartFrame);
        PutU32(out, length);
        PutU32(out, 0);
        PutBytes(out, {0x07, 0x00});
        PutU32(out, scene.StartFrame);
        PutU32(out, length);
        PutU32(out, scene.StartFrame);
    }
    if (hasOffset)
        PutU32(out, scene.ThumbOffset);
    if (hasCaption)
        PutString(out, scene.Title + QStringLiteral("\r\n") + scene.Subtitle);
    ++m_count;
    out[m_countPos] = char(m_count & 0xFF);
    out[m_countPos + 1] = char(m_count >> 8);
}

bool TwriteScene::Close()
{
    if (m_done)
        return m_ok;
    m_done = true;
    if (!WriteFileDurably(m_fileName, m_bytes, &m_error))
        m_ok = false;
    return m_ok;
}

void TwriteScene::Discard()
{
    m_done = true;
}

bool LoadScnBytes(const QByteArray &bytes, TSceneList &list, const TSceneContext &context)
{
    list.clear();
    try {
        ArchiveReader in(bytes);
        in.Block(24);
        in.String(); // the video's path
        const QByteArray head = in.Block(26);
        if (!in.ok())
            return false;
        const std::uint32_t count =
            static_cast<std::uint8_t>(head[8]) | (static_cast<std::uint8_t>(head[9]) << 8);
        // The first record is always there; a count of 0 contradicts it.
        if (count == 0)
            return false;
        bool hasCaption = (static_cast<std::uint8_t>(head[21]) & 0x80) != 0;
        bool hasOffset = (static_cast<std::uint8_t>(head[22]) & 0x40) != 0;

        in.Block(9);
        in.String();
        in.U32();
        const std::uint32_t firstLength = in.U32();
        in.Block(6);
        in.String();
        in.U32();
        in.U32();
        in.U32();
        if (!in.ok())
            return false;
        auto first = std::make_shared<TSceneClass>(0, firstLength, context);
        first->Number = 1;
        if (!FinishScene(in, hasCaption, hasOffset, std::move(first), list))
            return false;

        for (std::uint32_t k = 2; k <= count; ++k) {
            const QByteArray flags = in.Block(8);
            if (!in.ok())
                return false;
            hasCaption = (static_cast<std::uint8_t>(flags[3]) & 0x80) != 0;
            hasOffset = (static_cast<std::uint8_t>(flags[4]) & 0x40) != 0;
            in.String();
            const std::uint32_t start = in.U32();
            const std::uint32_t length = in.U32();
            in.Block(6);
            in.U32();
            in.U32();
            in.U32();
            if (!in.ok() || length > UINT32_MAX - start)
                return false;
            auto scene = std::make_shared<TSceneClass>(start, start + length, context);
            scene->Number = static_cast<std::int32_t>(k);
            if (!FinishScene(in, hasCaption, hasOffset, std::move(scene), list))
                return false;
        }
        // Records past the count: the count is not the file's (a count that
        // wrapped past 65535 reads as a few scenes).
        return in.atEnd();
    } catch (const std::exception &) {
        return false;
    }
}

bool LoadScnFile(const QString &scnFileName, TSceneList &list, const TSceneContext &context,
                 QString *readError)
{
    list.clear();
    const TFileRead file = ReadRegularFile(scnFileName, kMaxScnFileBytes);
    if (!file.bytes) {
        if (readError != nullptr)
            *readError = file.error;
        return false;
    }
    return LoadScnBytes(*file.bytes, list, context);
}

} // namespace vidora
