#pragma once

// Files written whole or not at all. The bytes go to a temporary file beside
// the target; Commit writes out what is buffered, checks that every byte was
// taken, flushes the data to the disk (fdatasync), then renames the file over
// the target. Any failure removes the temporary file and leaves the older
// file of that name as it was; the failure names the path and the system's
// reason ("No space left on device").
//
// The temporary name is the target's, hidden, cut where the file system's
// limit on a name would be passed, and given a random ending: a target whose
// name has the longest length allowed can still be replaced. A target that
// is a symbolic link is replaced at the place the link points to, so the
// link stays; a file that is replaced keeps its permissions, a new one gets
// those of any new file (0666 less the umask).
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace vidora {

// Failures the writer meets in tests, as a full or failing disk would. Set
// for the whole process by DurableWriteFaultsScope (tests only).
struct DurableWriteFaults
{
    // Bytes past this offset of a file do not fit: a write writes what fits
    // and fails with ENOSPC.
    std::optional<std::int64_t> spaceLimit = std::nullopt;
    int createError = 0; // errno of creating the temporary file; 0: none
    int syncError = 0;   // errno of the flush before the rename; 0: none
    int renameError = 0; // errno of the final rename; 0: none
};

class DurableWriteFaultsScope
{
public:
    explicit DurableWriteFaultsScope(const DurableWriteFaults &faults);
    ~DurableWriteFaultsScope();
    DurableWriteFaultsScope(const DurableWriteFaultsScope &) = delete;
    DurableWriteFaultsScope &operator=(const DurableWriteFaultsScope &) = delete;
};

// The start of a temporary file's name for `fileName` (a file name, no
// folder) in `folder` (as the system spells them): the name hidden and cut
// at a UTF-8 character boundary, so that it and `endingLength` more bytes
// stay within the folder's file system's limit on a name.
QByteArray TemporaryNameBase(const QByteArray &folder, const QByteArray &fileName,
                             int endingLength);

// Creates a new file named TemporaryNameBase + "." + six random characters
// in `folder`, opened for reading and writing with mode 0666 less the umask.
// Returns its descriptor and sets `name` to its path, or -1 with errno set.
int CreateTemporaryBeside(const QByteArray &folder, const QByteArray &fileName, QByteArray &name);

class DurableFile
{
public:
    explicit DurableFile(const QString &path);
    // Removes the temporary file unless Commit succeeded.
    ~DurableFile();
    DurableFile(const DurableFile &) = delete;
    DurableFile &operator=(const DurableFile &) = delete;

    // Creates the temporary file. False (with ErrorString) when it cannot.
    bool Open();
    // Appends bytes (buffered). False once any step failed; the first
    // failure is kept.
    bool Write(const QByteArray &bytes);
    // Puts the complete file in place. False when anything failed, from
    // Open on; the temporary file is then gone and the target untouched.
    // Once it succeeded, later calls return true and later writes fail.
    bool Commit();
    // Drops what was written: removes the temporary file.
    void Discard();

    const QString &FileName() const { return m_path; }
    // "<path>: <system's reason>", empty while nothing failed.
    const QString &ErrorString() const { return m_error; }
    // The system's reason alone.
    const QString &Reason() const { return m_reason; }

private:
    bool flushBuffer();
    void fail(int error);
    void removeTemporary();

    QString m_path;
    QByteArray m_target; // where the rename goes (a link's target), encoded
    QByteArray m_temporary;
    QByteArray m_buffer;
    std::int64_t m_written = 0;
    int m_fd = -1;
    bool m_failed = false;
    bool m_committed = false;
    QString m_error;
    QString m_reason;
};

// Writes `bytes` as the whole file `path` through DurableFile. False with
// `error` set to "<path>: <reason>" when it could not.
bool WriteFileDurably(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace vidora
