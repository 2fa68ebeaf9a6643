#include "scenes/uscenes.h"

#include "formats/dsfunctions.h"

#include "platform/durablefile.h"

namespace vidora {

TwriteFile::TwriteFile(const QString &fileName)
    : m_fileName(fileName), m_file(std::make_unique<DurableFile>(fileName))
{
    if (!m_file->Open()) {
        m_ok = false;
        m_error = m_file->ErrorString();
        m_file.reset();
    }
}

TwriteFile::~TwriteFile()
{
    Discard();
}

void TwriteFile::WriteLine(const QString &text)
{
    if (!m_file)
        return;
    if (!m_file->Write(text.toUtf8() + "\r\n") && m_ok) {
        m_ok = false;
        m_error = m_file->ErrorString();
    }
}

bool TwriteFile::Close()
{
    if (!m_file)
        return m_ok;
    if (!m_ok) {
        m_file->Discard();
    } else if (!m_file->Commit()) {
        m_ok = false;
        m_error = m_file->ErrorString();
    }
    m_file.reset();
    return m_ok;
}

void TwriteFile::Discard()
{
    if (!m_file)
        return;
    m_file->Discard();
    m_file.reset();
}

TWriteSrt::TWriteSrt(const QString &videoName, double fps)
    : TwriteFile(ChangeFileExt(videoName, QStringLiteral(".srt"))), m_fps(fps)
{}

QString TWriteSrt::ChangeFileExt(const QString &path, const QString &extension)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype cut = dot > slash ? dot : path.size();
    return path.left(cut) + extension;
}

void TWriteSrt::AddTitle(std::int32_t frame, const QString &line1, const QString &line2)
{
    if (m_pending) {
        ++m_counter;
        WriteLine(QString::number(m_counter));
        WriteLine(FrameToSrtTime(m_pendingStart, m_fps) + QStringLiteral(" --> ") +
                  FrameToSrtTime(frame, m_fps));
        WriteLine(m_line1);
        WriteLine(m_line2);
        WriteLine(QString());
    }
    if (line1.isEmpty() && line2.isEmpty()) {
        m_pending = false;
        return;
    }
    // A cue always has two lines; an empty one is a single blank.
    m_pending = true;
    m_pendingStart = frame;
    m_line1 = line1.isEmpty() ? QStringLiteral(" ") : line1;
    m_line2 = line2.isEmpty() ? QStringLiteral(" ") : line2;
}

} // namespace vidora
