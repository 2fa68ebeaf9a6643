#pragma once

// The list entry of a video file: at creation it reads everything the list,
// the information panel, the commands and the sort orders need about the
// file. Reading only reads: the file's bytes and dates are never changed.
#include "files/graphprobe.h"
#include "files/listfichier.h"
#include "files/probevalues.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace vidora {

// Held for the whole reading of a video entry, on whichever thread creates it
// (the GUI, an opening thread, the command worker): the probe keeps one graph
// for the process, so two readings never overlap.
std::mutex &EntryReadingLock();

// What a video entry's reading needs besides the file.
struct TaviReading
{
    // The probe graph unless another probe is given; none probes nothing.
    std::shared_ptr<IProbe> probe = DefaultProbe();
    // The setting "Format pour Afficher Datecode", a date-time pattern.
    QString datecodeFormat = QStringLiteral("ddddd tt");
};

// Marks of the datecode sort text: they sort after every date and after "N/A".
inline const QString kDatecodeNotRead = QStringLiteral("\u00fe");    // "þ", before reading
inline const QString kDatecodeUnreadable = QStringLiteral("\u00ff"); // "ÿ", reading failed
inline const QString kNotAvailable = QStringLiteral("N/A");

enum class TDvStandard : std::uint8_t {
    Pal = 0,     // 625 lines
    Ntsc = 1,    // 525 lines
    Unknown = 2, // not determined
};

// The values read from a video file.
struct TaviData
{
    // "yyyymmddhhnnss" of the recording date, "N/A" for DV without a date,
    // kDatecodeUnreadable when reading failed, kDatecodeNotRead before.
    QString datecodeSort = kDatecodeNotRead;
    // The recording date in the display pattern, "N/A", empty, or "-".
    QString datecodeText = QStringLiteral("-");
    DateTimeValue recDateTime = 0;
    // "hh.mm.ss.ff", "N/A", empty, or "-".
    QString timecodeText = QStringLiteral("-");
    // The video compression code as four characters ("dvsd"), or empty.
    QString codec;
    int dvType = 0; // 1 or 2 for DV files
    // Interleaved DV in a file of two or more streams.
    bool interleavedType2 = false;
    // width + " x " + height, then " (Pal" or " (NTSC" for DV; "N/A" without video.
    QString pictureText;
    // " 16x9)" or " 4x3)", DV only.
    QString aspectText;
    // For DV the height is the display height of the aspect.
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t videoDuration = 0; // 100 ns units
    QString videoDurationText;
    std::int64_t frameCount = 0; // past 2^31 for the longest files
    double frameRate = 0;        // frames per second
    QString audioText;
    QString audioDurationText;
    std::uint32_t dvVAuxSrc = 0;
    std::uint32_t videoBitRate = 0;
    QString audioFormatText;
    TDvStandard standard = TDvStandard::Unknown;
    bool hasScn = false;
    bool hasSrt = false;
    bool isDv = false;
    std::uint32_t audioSampleRate = 0; // Hz
    std::uint32_t audioBitsPerSample = 0;
    QString channelsText;
    bool wide = false; // 16:9
};

class TaviFichier : public TSRFichier
{
public:
    static std::shared_ptr<TaviFichier> Create(const QString &path, const TaviReading &reading);
    static std::shared_ptr<TaviFichier>
    CreateFromSearchRec(const QString &folder, const QFileInfo &found, const TaviReading &reading);

    void SetFileName(const QString &path) override;
    QString GetSortKey(const TSortIndex &order) const override;

    const TaviData &Data() const { return m_data; }

    // The offset, in days, that renaming and the file-date command add to the
    // recording date, with its text; set by the main window (GUI thread).
    double TimeOffset() const { return m_timeOffset; }
    const QString &TimeOffsetText() const { return m_timeOffsetText; }
    void SetTimeOffset(double days, const QString &text);

protected:
    // Reads the file found while searching `folder`; every creation path ends here.
    void Read(const QString &folder, const QFileInfo &found, const TaviReading &reading);

private:
    void ReadVideo(const ProbeValues &probe);
    void ReadAudio(const ProbeValues &probe);
    void ReadDv(const ProbeValues &probe, const TaviReading &reading);
    void UpdateOwnKeys();

    TaviData m_data;
    double m_timeOffset = 0;
    QString m_timeOffsetText;
    QString m_datecodeKey;
    QString m_timecodeKey;
    QString m_durationKey;
};

// The entry class the main window gives the command engine; it adds nothing.
class TAfficherFichier : public TaviFichier
{
public:
    static std::shared_ptr<TAfficherFichier> Create(const QString &path,
                                                    const TaviReading &reading);
    static std::shared_ptr<TAfficherFichier>
    CreateFromSearchRec(const QString &folder, const QFileInfo &found, const TaviReading &reading);
};

} // namespace vidora
