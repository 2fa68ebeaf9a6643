#pragma once

// The file source: one output pin that hands the file's bytes to a splitter
// by random-access reads (IAsyncReader); it has no streaming thread of its
// own. The output proposes Stream/AVI for a RIFF AVI file, Stream otherwise.
#include "platform/media/filter.h"
#include "platform/media/interfaces.h"

#include <mutex>

namespace vidora::media {

class FileSourceFilter final : public Filter, public IFileSourceFilter
{
public:
    FileSourceFilter();
    ~FileSourceFilter() override;

    std::vector<Pin *> pins() override { return {&m_output}; }
    OutputPin &output() { return m_output; }

    bool Load(const QString &path, const MediaType *type) override;
    QString GetCurFile() const override;

    std::vector<MediaType> proposeTypes(const Pin &pin) override;
    bool checkPinType(const Pin &pin, const MediaType &type) override;
    void *pinInterface(const Pin &pin, const std::type_info &type) override;

private:
    class Reader final : public IAsyncReader
    {
    public:
        explicit Reader(FileSourceFilter &owner) : m_owner(owner) {}
        std::int64_t Length() const override;
        bool SyncRead(std::int64_t position, std::size_t size, void *buffer) override;

    private:
        FileSourceFilter &m_owner;
    };

    void close();

    OutputPin m_output;
    Reader m_reader{*this};
    mutable std::mutex m_mutex;
    // guarded by m_mutex; written by Load on the control thread
    int m_fd = -1;
    std::int64_t m_length = 0;
    QString m_path;
    MediaType m_type;
};

} // namespace vidora::media
