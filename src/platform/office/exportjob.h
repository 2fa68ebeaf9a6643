#pragma once

// The scene list the program hands the office helper, read from the job's
// JSON file (written by the scenes library's office export):
//
//   { "format": "xls" | "doc" | "ods" | "odt",
//     "video": full path, "output": full path,
//     "office": the soffice.bin to start, "timeoutMs": whole run,
//     "appVersionText": "Vidora 7.0.5", "versionText": "7.0.5", "language": "En",
//     "exportDate": the export's date and time as the footers show it,
//     "terminatedAt": the closing line's date and time,
//     "sheetName": the sheet's name, "title": the document's title,
//     "scenes": [ { "number", "start", "end", "duration", "datecode",
//                   "timecode", "title", "subtitle": texts,
//                   "picture": a PNG file or "" } ] }
#include <QString>
#include <QStringList>

#include <vector>

namespace vidora::office {

struct JobScene
{
    QString number, start, end, duration, datecode, timecode, title, subtitle;
    QString picture; // PNG file; empty for none
};

struct ExportJob
{
    QString format;
    QString video;
    QString output;
    QString office;
    int timeoutMs = 120000;
    QString appVersionText;
    QString versionText;
    QString language;
    QString exportDate;
    QString terminatedAt;
    QString sheetName;
    QString title;
    std::vector<JobScene> scenes;

    bool isSpreadsheet() const { return format == "xls" || format == "ods"; }
    // The store filter and the first bytes of a file it writes.
    QString filterName() const;
    QByteArray magic() const;
};

// Throws std::runtime_error when the file cannot be read or lacks a field.
ExportJob ReadJob(const QString &path);

} // namespace vidora::office
