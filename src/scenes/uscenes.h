#pragma once

// Line-oriented text files written beside a video: the ".srt" subtitles of
// the subtitle command (the scene listing comes later).
//
// Text is written as UTF-8 without a byte-order mark, each line ended by
// CR LF. A file is written under a temporary name beside its final name and
// takes that name only when Close says it is complete: an existing file of
// that name stays untouched until then, and a writer that is discarded,
// destroyed unclosed (a run that was aborted or failed) or fails leaves it
// as it was.
#include <QString>

#include <cstdint>
#include <memory>

namespace vidora {

class DurableFile;

class TwriteFile
{
public:
    // Opens the temporary file; a failure is kept and reported by Close.
    explicit TwriteFile(const QString &fileName);
    // Discards an unclosed writer's lines: only Close commits.
    virtual ~TwriteFile();
    TwriteFile(const TwriteFile &) = delete;
    TwriteFile &operator=(const TwriteFile &) = delete;

    // Writes the text and CR LF at the end of the file.
    void WriteLine(const QString &text);
    // Puts the complete file in place under its name. False, with the
    // reason in ErrorString, when the file could not be created or written
    // (nothing then replaces an existing file). Later calls return the same.
    bool Close();
    // Drops what was written: no file appears, an existing one is kept.
    void Discard();

    const QString &FileName() const { return m_fileName; }
    QString ErrorString() const { return m_error; }

private:
    QString m_fileName;
    std::unique_ptr<DurableFile> m_file; // null once closed or discarded
    QString m_error;
    bool m_ok = true;
};

// The subtitles of a video, fed each time the shown text changes: the text
// shown until then becomes one cue. Not thread-safe; the calls come one at a
// time (the streaming thread, then the stopping thread for the last).
class TWriteSrt : public TwriteFile
{
public:
    // Writes the video's name with its extension replaced by ".srt"; cue
    // times are frame numbers at `fps` frames a second.
    TWriteSrt(const QString &videoName, double fps);

    // The text (Line1, Line2) shows from `frame` on; two empty lines hide it.
    // Ends the pending cue at `frame`. The last call, at the frame after the
    // last, passes two empty lines.
    void AddTitle(std::int32_t frame, const QString &line1, const QString &line2);

    // The name with the extension (from the last "." of the file name)
    // replaced by `extension`, or appended when there is none.
    static QString ChangeFileExt(const QString &path, const QString &extension);

private:
    double m_fps;
    std::int32_t m_pendingStart = 0;
    std::int32_t m_counter = 0;
    bool m_pending = false;
    QString m_line1;
    QString m_line2;
};

} // namespace vidora
