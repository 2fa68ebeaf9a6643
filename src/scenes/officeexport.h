#pragma once

// Exports of a scene list to a spreadsheet (".xls", ".ods") or a document
// (".doc", ".odt"). The program does not drive the office itself: it hands
// the scene list (texts and thumbnails) to the helper program vidora-office,
// which builds and stores the file in a LibreOffice of its own, and waits for
// it with a time-out. Without LibreOffice or the helper the export fails with
// a message naming what to install, and no file is written.
//
// Like the other writers, an export is fed scene by scene and finished; the
// output file appears only when complete, and a failed export leaves an
// existing file of that name as it was.
#include "scenes/scenemodel.h"

#include <QDateTime>
#include <QImage>
#include <QLocale>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace vidora {

enum class TOfficeFormat {
    Xls,
    Doc,
    Ods,
    Odt
};

// The output file's ending for MakeOutputPath: ".xls", ".doc", ".ods", ".odt".
QString OfficeEnding(TOfficeFormat format);

struct TOfficeSetup
{
    QString helperPath;     // vidora-office; empty: DefaultOfficeHelper()
    QString officePath;     // soffice.bin; empty: FindOfficeProgram()
    int timeoutMs = 120000; // the whole export, office start included
    QString appVersionText; // "Vidora 7.0.5"
    QString versionText;    // "7.0.5"
    QString languageCode = QStringLiteral("En");
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    QLocale locale;
    // Asked while the helper runs (the exporting thread); true ends the
    // helper, and its office, at once. None: the export runs to its end.
    std::function<bool()> aborted;
};

// The helper beside the running program, or $VIDORA_OFFICE_HELPER.
QString DefaultOfficeHelper();
// LibreOffice's soffice.bin ($VIDORA_OFFICE, else the installed one, else
// the one beside an "soffice" on the PATH); empty when there is none.
QString FindOfficeProgram();
// What to install when LibreOffice, or its part for the format, is missing;
// empty when the office at `officePath` can make the format.
QString OfficeMissingMessage(const QString &officePath, TOfficeFormat format);

// The video's file name without folder and extension, without the characters
// a sheet name cannot hold ([ ] * ? : / \ and a leading or trailing
// apostrophe), at most 31 characters; "Scenes" when nothing is left.
QString OfficeSheetName(const QString &videoName);

class TOfficeExport
{
public:
    TOfficeExport(TOfficeFormat format, const QString &videoName, const QString &outName,
                  TOfficeSetup setup);
    virtual ~TOfficeExport();
    TOfficeExport(const TOfficeExport &) = delete;
    TOfficeExport &operator=(const TOfficeExport &) = delete;

    // The scene as it stands: a scene whose details were never filled goes
    // out with empty texts and no picture. A document's thumbnails are
    // written out as they come, a few at a time, so that a long list never
    // holds them all.
    void AddScene(const TSceneClass &scene);
    // Runs the export; false, with the reason in ErrorString, when no file
    // was made. Later calls return the same.
    bool Finish();
    // The export was ended by the setup's abort request (Finish is false).
    bool Aborted() const { return m_aborted; }

    const QString &OutName() const { return m_outName; }
    const QString &ErrorString() const { return m_error; }
    int SceneCount() const { return static_cast<int>(m_scenes.size()); }

private:
    struct Scene
    {
        QString number, start, end, duration, datecode, timecode, title, subtitle, picture;
        QImage thumbnail; // to be written as `picture` when the export runs
    };
    bool Run();
    // Writes the thumbnails of the scenes from m_written on.
    void WriteThumbnails();

    TOfficeFormat m_format;
    QString m_videoName;
    QString m_outName;
    TOfficeSetup m_setup;
    QTemporaryDir m_work; // the job file and the thumbnails
    std::vector<Scene> m_scenes;
    std::size_t m_written = 0; // scenes whose thumbnails are written
    bool m_finished = false;
    bool m_aborted = false;
    bool m_ok = false;
    QString m_error;
};

// The writers by the names the program gives them: an ".xls" workbook, a
// ".doc" document, an ".ods" spreadsheet, an ".odt" text.
class TWriteExcel : public TOfficeExport
{
public:
    TWriteExcel(const QString &videoName, const QString &outName, TOfficeSetup setup)
        : TOfficeExport(TOfficeFormat::Xls, videoName, outName, std::move(setup))
    {}
};

class TWriteWord : public TOfficeExport
{
public:
    TWriteWord(const QString &videoName, const QString &outName, TOfficeSetup setup)
        : TOfficeExport(TOfficeFormat::Doc, videoName, outName, std::move(setup))
    {}
};

class TWriteOoCalc : public TOfficeExport
{
public:
    TWriteOoCalc(const QString &videoName, const QString &outName, TOfficeSetup setup)
        : TOfficeExport(TOfficeFormat::Ods, videoName, outName, std::move(setup))
    {}
};

class TWriteOoWriter : public TOfficeExport
{
public:
    TWriteOoWriter(const QString &videoName, const QString &outName, TOfficeSetup setup)
        : TOfficeExport(TOfficeFormat::Odt, videoName, outName, std::move(setup))
    {}
};

} // namespace vidora
