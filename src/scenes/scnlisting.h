#pragma once

// The "_scn.txt" listing of a scene list: a comment header, one line per
// scene, a trailer. Text as TwriteFile writes it (UTF-8, CR LF); the file
// takes its name only when complete.
#include "scenes/scenemodel.h"
#include "scenes/uscenes.h"

#include <QDateTime>
#include <QLocale>

#include <cstdint>
#include <exception>
#include <functional>

namespace vidora {

// What the header and trailer name besides the video.
struct TListingTexts
{
    QString versionText;                         // "7.0.5"
    QString languageCode = QStringLiteral("En"); // of the program's texts
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    QLocale locale;
};

class TWriteScn_text : public TwriteFile
{
public:
    // Writes the header for the video; the file is `outName`, by default the
    // video's name with its extension replaced by "_scn.txt".
    TWriteScn_text(const QString &videoName, const TListingTexts &texts,
                   const QString &outName = QString());
    // Finishes the file as Finish does, unless discarded or destroyed by an
    // exception: a listing cut short by a failure is never put in place.
    ~TWriteScn_text() override;

    // "  n, start, end, duration, datecode, timecode, title, subtitle": the
    // scene's texts as they stand (the caller fills details first).
    void AddScene(const TSceneClass &scene);
    // Writes the trailer with the present time and puts the file in place;
    // false, with ErrorString, when the file could not be written.
    bool Finish();

private:
    TListingTexts m_texts;
    std::uint16_t m_counter = 0;
    bool m_finished = false;
    int m_uncaught = std::uncaught_exceptions(); // those under way at construction
};

} // namespace vidora
