#pragma once

// The ".scn" scene file beside a video: an object archive of the classes
// "SourceTape", "Clip" and "Scene" holding the scene count, the intervals,
// the thumbnail offsets and the captions.
//
// Layout (little-endian; S(x) is a string: FF FE FF, the character count,
// the UTF-16LE characters; 255 characters or more take FF FE FF FF and a
// 16-bit count, 65535 or more FF FE FF FF FF FF and a 32-bit count):
//
//   63 26 01 00 04 00 00 00, FF FF 03 00 0A 00 "SourceTape", S(video path),
//   00 00 00 00 00 00 0C 00, scene count (16 bits), the scene records.
//
// First record: FF FF 01 00 04 00 "Clip" 50 F1 F2 00, FF FF 01 00 05 00
// "Scene", S(""), DW 0, DW EndFrame, DW 0, 01 80 (the SourceTape class),
// S(video path), DW 0, DW 0, DW EndFrame, [DW ThumbOffset], [S(caption)].
// Later records: 03 80 F0 F1 F2 00, 05 80, S(""), DW start, DW length, DW 0,
// 07 00 (the SourceTape object), DW start, DW length, DW start,
// [DW ThumbOffset], [S(caption)].
// F1 is 80 when the scene has a title or subtitle (the caption is
// Title CR LF Subtitle), F2 is 40 when its thumbnail offset is not 0. The
// first scene is stored as starting at frame 0.
#include "scenes/scenemodel.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace vidora {

// Scene files larger than this are refused rather than read: 65535 scenes
// with long captions fit many times over.
inline constexpr qint64 kMaxScnFileBytes = 64 * 1024 * 1024;

// The name of a video's companion file: its extension (from the last "." of
// the file name) replaced by `ending`, or `ending` appended.
QString CompanionFileName(const QString &videoName, const QString &ending);

// Writes the scene file of a video, scene by scene; the file takes its name
// only when complete (Close, or the destructor), so an existing scene file
// stays as it was until then, and a discarded or failed writer leaves it
// untouched. Fed on one thread at a time (a streaming thread, then the
// stopping thread).
class TwriteScene
{
public:
    explicit TwriteScene(const QString &videoName);
    // Commits as Close does, unless discarded.
    ~TwriteScene();
    TwriteScene(const TwriteScene &) = delete;
    TwriteScene &operator=(const TwriteScene &) = delete;

    // The most scenes a file holds (its count has 16 bits).
    static constexpr std::uint16_t kMaxScenes = 0xFFFF;

    // Adds the scene's record and counts it. Throws std::range_error when
    // the scene ends before it starts (nothing is added then). A scene past
    // kMaxScenes fails the writer: nothing more is added and Close returns
    // false, with the reason, leaving the old file untouched.
    void AddScene(const TSceneClass &scene);
    // Puts the file in place. A writer without a scene leaves a file that
    // ends before the count, which the reader refuses. False, with the reason
    // in ErrorString, when it could not be written; later calls return the same.
    bool Close();
    // Drops what was added: the folder stays as it was.
    void Discard();

    const QString &FileName() const { return m_fileName; }
    const QString &ErrorString() const { return m_error; }
    std::uint16_t Count() const { return m_count; }
    // The bytes of the file as it would be written now.
    const QByteArray &Bytes() const { return m_bytes; }

private:
    QString m_fileName;
    QString m_videoName;
    QByteArray m_bytes;
    qsizetype m_countPos = 0; // where the 16-bit count goes
    std::uint16_t m_count = 0;
    bool m_done = false;
    bool m_ok = true;
    QString m_error;
};

// Reads a scene file into `list` (emptied first): one item per stored scene,
// numbered from 1, its caption as text. True only when every stored scene
// was read and the records end where the file does (a count that the bytes
// contradict is a fault); on a missing, short or malformed file the scenes
// read before the fault stay in the list and the one being read is not added.
// Only a regular file of at most kMaxScnFileBytes is read (a FIFO or a link to
// a device is refused at once); when the file could not be read at all,
// `readError` (if given) gets the path and the reason.
bool LoadScnFile(const QString &scnFileName, TSceneList &list, const TSceneContext &context,
                 QString *readError = nullptr);
// The same from the file's bytes.
bool LoadScnBytes(const QByteArray &bytes, TSceneList &list, const TSceneContext &context);

} // namespace vidora
