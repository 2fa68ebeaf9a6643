#pragma once

// The file writer: one input pin; each sample is written at the byte offset
// given by its start time (a multiplexer's positions), or after the last
// byte written when it has no time. Its input pin also answers IStream for
// positional writes (headers), from streaming or from a filter's Stop.
//
// Where the bytes go: a temporary file beside the target, created when the
// graph leaves Stopped with the user's usual permissions (0666 less the
// umask). Its name is the target's, hidden and with a random ending, cut
// short where the file system's name limit would be passed. When the graph
// stops after it completed with no error and no abort (keepsOutput), the
// data is flushed to the disk and the temporary file renamed over the
// target (overwrite mode, or a target that does not exist yet); otherwise it
// is deleted, so the previous file of that name survives a failed run. The
// writer stops last (stopRank), after every filter that may still write to
// it. A failed write, flush, close or rename raises error-abort with the
// system's reason; raised while the graph stops, the stopping caller reads
// it from the graph (hadError, lastError). It never writes over a file that
// the graph reads, nor over a folder.
#include "platform/media/interfaces.h"
#include "platform/media/renderer.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace vidora::media {

// Failures a test makes the writer meet, as a full or failing disk would.
struct FileWriterFaults
{
    // Bytes past this offset do not fit: a write writes what fits and fails
    // with ENOSPC.
    std::optional<std::int64_t> spaceLimit;
    int syncError = 0;   // errno of the flush before the rename; 0: none
    int renameError = 0; // errno of the final rename; 0: none
};

class FileWriterFilter final : public RendererFilter, public IFileSinkFilter2
{
public:
    FileWriterFilter();
    ~FileWriterFilter() override;

    bool SetFileName(const QString &path, const MediaType *type) override;
    QString GetCurFile() const override;
    bool SetMode(std::uint32_t flags) override;
    std::uint32_t GetMode() const override;

    bool CheckInputType(const MediaType &type) override;
    Flow DoRenderSample(const MediaSample &sample) override;
    bool StartStreaming() override;
    bool UsesClock() const override { return false; }
    int stopRank() const override { return 1; }
    void Stop() override;
    void *pinInterface(const Pin &pin, const std::type_info &type) override;
    Flow endOfStream(InputPin &pin) override;

    // For tests: the failures of the next runs. While stopped.
    void injectFaults(const FileWriterFaults &faults);

private:
    class Stream final : public IStream
    {
    public:
        explicit Stream(FileWriterFilter &owner) : m_owner(owner) {}
        bool Seek(std::int64_t position) override;
        bool Write(const void *data, std::size_t size) override;
        std::int64_t Read(void *data, std::size_t size) override;

    private:
        FileWriterFilter &m_owner;
    };

    bool writesOverSource(const QString &path) const;
    // m_mutex held. False on a failure, kept in m_failure (the first one).
    bool writeAt(std::int64_t position, const void *data, std::size_t size);
    // m_mutex held: the step's failure with errno's reason.
    void fail(const char *what, int error);
    // m_mutex held: the failure not yet reported, taken.
    std::string takeFailure();
    void discardTemporary(); // m_mutex held
    // m_mutex held: flushes, closes and renames the temporary file into place.
    void commitTemporary();

    Stream m_stream{*this};
    std::atomic<bool> m_endOfStream{false};
    mutable std::mutex m_mutex;
    // guarded by m_mutex
    QString m_path;
    std::optional<MediaType> m_type;
    std::uint32_t m_mode = 0;
    int m_fd = -1;
    QByteArray m_temporary;  // the temporary file's name, as the system spells it
    std::string m_failure;   // a failure to report
    bool m_reported = false; // this run's failure was reported
    FileWriterFaults m_faults;
    std::int64_t m_position = 0; // IStream position
    std::int64_t m_end = 0;      // end of the data written by samples
};

} // namespace vidora::media
