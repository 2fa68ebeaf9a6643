#pragma once

// Reading the files a person hands the program (scripts, playlists, scene
// files, the settings file) without being held up by them: only a regular
// file (or a link to one) of bounded size is read, so a FIFO never blocks the
// GUI thread and a link to a device is never read without end. Text that is
// not understood is told on standard error.
#include <QByteArray>
#include <QString>

#include <optional>

namespace vidora {

struct TFileRead
{
    std::optional<QByteArray> bytes; // none: not read (see error)
    bool missing = false;            // the file does not exist
    QString error;                   // the path and the reason when not read
};

// The whole content of `path` when it is a regular file of at most
// `maxBytes` bytes. A FIFO, a device, a socket or a folder is refused without
// being opened for reading in a way that could block; so is a file larger
// than `maxBytes` (also one that grows past it while read).
TFileRead ReadRegularFile(const QString &path, qint64 maxBytes);

struct TTextRead
{
    std::optional<QString> text; // none: not read or not text (see error)
    bool missing = false;
    QString error;
};

// ReadRegularFile, then DecodeTextFile; bytes that are not text are refused
// with the reason "it is not a text file".
TTextRead ReadTextFile(const QString &path, qint64 maxBytes);

// Writes "vidora: " + message and a line break on standard error.
void TellOnStdErr(const QString &message);

} // namespace vidora
