#pragma once

// The file writer: one input pin; each sample is written at the byte offset
// given by its start time (a multiplexer's positions), or after the last
// byte written when it has no time. Its input pin also answers IStream for
// positional writes (headers), from streaming or from a filter's Stop.
//
// Where the bytes go: a temporary file beside the target, created when the
// graph leaves Stopped. When the graph stops after it completed with no
// error, the temporary file is renamed over the target (overwrite mode, or a
// target that does not exist yet); after an abort or an error it is deleted,
// so the previous file of that name survives a failed run. The writer stops
// last (stopRank), after every filter that may still write to it.
// It never writes over a file that the graph reads.
#include "platform/media/interfaces.h"
#include "platform/media/renderer.h"

#include <mutex>

namespace vidora::media {

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
    bool writeAt(std::int64_t position, const void *data, std::size_t size); // m_mutex held
    void discardTemporary();                                                 // m_mutex held

    Stream m_stream{*this};
    std::atomic<bool> m_endOfStream{false};
    mutable std::mutex m_mutex;
    // guarded by m_mutex
    QString m_path;
    std::optional<MediaType> m_type;
    std::uint32_t m_mode = 0;
    int m_fd = -1;
    QString m_temporary;
    std::int64_t m_position = 0; // IStream position
    std::int64_t m_end = 0;      // end of the data written by samples
};

} // namespace vidora::media
